// The program manager simulator, driven through the machine's DDE client library: start and
// stop, the four execute commands, argument forms, refusals and the journal.
#include <windows.h>

#include <ddeml.h>

#include "machine.h"
#include "progman_process.h"
#include "temp_machine.h"
#include "ui_journal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <set>

namespace fs = std::filesystem;

namespace {

HDDEDATA CALLBACK NoAnswer(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// One conversation with PROGMAN through the client library, as a program holds it.
class ProgmanClient {
  public:
    explicit ProgmanClient(const char* topic = "PROGMAN") {
        EXPECT_EQ(DdeInitializeA(&instance_, NoAnswer, APPCMD_CLIENTONLY, 0), DMLERR_NO_ERROR);
        service_ = DdeCreateStringHandleA(instance_, "PROGMAN", CP_WINANSI);
        topic_ = DdeCreateStringHandleA(instance_, topic, CP_WINANSI);
        conversation_ = DdeConnect(instance_, service_, topic_, nullptr);
    }
    ~ProgmanClient() {
        DdeDisconnect(conversation_);
        DdeUninitialize(instance_);
    }

    bool connected() const { return conversation_ != nullptr; }
    DWORD instance() const { return instance_; }
    HCONV conversation() const { return conversation_; }

    // Sends TEXT and its NUL as one execute request; DMLERR_NO_ERROR on a positive
    // acknowledgement, else the client library's error.
    UINT Execute(const std::string& text) {
        HDDEDATA data = DdeCreateDataHandle(instance_, (LPBYTE)text.c_str(), (DWORD)text.size() + 1,
                                            0, nullptr, CF_TEXT, 0);
        DWORD result = 0;
        if (DdeClientTransaction((LPBYTE)data, 0xFFFFFFFF, conversation_, nullptr, 0, XTYP_EXECUTE,
                                 5000, &result)) {
            return DMLERR_NO_ERROR;
        }
        return DdeGetLastError(instance_);
    }

  private:
    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HCONV conversation_ = nullptr;
};

class ProgmanTest : public ::testing::Test {
  protected:
    fs::path Programs() const { return machine_.path("c/WINDOWS/Start Menu/Programs"); }
    fs::path Group(const std::string& name) const { return Programs() / name; }

    // Every file and folder under the start menu's Programs folder, relative to it.
    std::set<std::string> Tree() const {
        std::set<std::string> entries;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(Programs(), error)) {
            entries.insert(entry.path().lexically_relative(Programs()).string());
        }
        return entries;
    }

    std::vector<nlohmann::json> Executes() const {
        return w95test::JournalEvents("progman", "execute");
    }

    w95test::TempMachine machine_;
};

class ProgmanStartAndStop : public ProgmanTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProgmanStartAndStop, ServesWhileRunningAndRemovesItsSocketOnTheSignal) {
    w95test::ProgmanProcess progman(machine_.dir());
    EXPECT_TRUE(fs::exists(machine_.path("dde/PROGMAN")));
    {
        ProgmanClient client;
        ASSERT_TRUE(client.connected());
        EXPECT_EQ(client.Execute("[CreateGroup(Tools)]"), DMLERR_NO_ERROR);
        // The signal comes while a conversation is open.
        EXPECT_EQ(progman.Stop(GetParam()), 0);
        EXPECT_FALSE(fs::exists(machine_.path("dde/PROGMAN")));
        EXPECT_EQ(client.Execute("[ShowGroup(Tools,1)]"), (UINT)DMLERR_SERVER_DIED);
    }
    ProgmanClient late;
    EXPECT_FALSE(late.connected());
}

INSTANTIATE_TEST_SUITE_P(Signals, ProgmanStartAndStop, ::testing::Values(SIGTERM, SIGINT));

TEST_F(ProgmanTest, ASecondServerForTheMachineIsRefusedAndAStaleSocketIsReplaced) {
    {
        w95test::ProgmanProcess first(machine_.dir());
        auto second = w95test::RunProcess(
            {w95test::ProgmanBinary().string(), "--machine", machine_.dir().string()}, {},
            std::chrono::seconds(10));
        EXPECT_EQ(second.status, 1);
        EXPECT_NE(second.errors.find("already runs"), std::string::npos) << second.errors;
        ProgmanClient client;  // the first still serves
        EXPECT_TRUE(client.connected());
    }
    // A socket file that nobody listens on, as a server that was killed leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = machine_.path("dde/PROGMAN").string();
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    w95test::ProgmanProcess again(machine_.dir());
    ProgmanClient client;
    EXPECT_TRUE(client.connected());
}

// Socket addresses hold only about a hundred characters; a deeper machine is served all the same,
// and a second server there still finds the first listening.
TEST_F(ProgmanTest, ServesAMachineWhosePathIsTooLongForASocketAddress) {
    auto deep = machine_.dir() / std::string(60, 'd') / std::string(60, 'e');
    w95::InitMachine(deep);
    w95::UseMachine(deep);
    ASSERT_GT((deep / "dde/PROGMAN").string().size(), sizeof(sockaddr_un::sun_path));
    w95test::ProgmanProcess progman(deep);
    auto second =
        w95test::RunProcess({w95test::ProgmanBinary().string(), "--machine", deep.string()}, {},
                            std::chrono::seconds(10));
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.errors.find("already runs"), std::string::npos) << second.errors;
    ProgmanClient client;
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.Execute("[CreateGroup(Tools)]"), DMLERR_NO_ERROR);
    EXPECT_TRUE(fs::is_directory(deep / "c/WINDOWS/Start Menu/Programs/Tools"));
}

TEST_F(ProgmanTest, RefusesAConversationOnAnotherTopic) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client("SYSTEM");
    EXPECT_FALSE(client.connected());
    EXPECT_EQ(DdeGetLastError(client.instance()), (UINT)DMLERR_NO_CONV_ESTABLISHED);
    auto connects = w95test::JournalEvents("progman", "connect");
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0]["topic"], "SYSTEM");
    EXPECT_EQ(connects[0]["ok"], false);
}

TEST_F(ProgmanTest, BuildsAGroupWithItemFilesAndJournalsEachCommand) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    ASSERT_TRUE(client.connected());
    const std::vector<std::string> commands = {
        "[CreateGroup(Norvane Tools,tools.grp)]",
        "[ShowGroup(Norvane Tools,2)]",
        // Unquoted, with blanks and with parentheses inside the path.
        "[AddItem(C:\\Program Files (old)\\watch.exe,Line Watch)]",
        // Quoted, so that the comma belongs to the caption; blanks around arguments drop.
        "[AddItem( \"C:\\tools\\con.exe /fast\" , \"Console, serial\" )]",
        // No caption: the program's name.
        "[AddItem(C:\\tools\\Reset.EXE)]",
    };
    for (const auto& command : commands)
        EXPECT_EQ(client.Execute(command), DMLERR_NO_ERROR);

    EXPECT_EQ(Tree(), (std::set<std::string>{"Norvane Tools", "Norvane Tools/Line Watch.item",
                                             "Norvane Tools/Console, serial.item",
                                             "Norvane Tools/Reset.item"}));
    EXPECT_EQ(w95test::ReadFileText(Group("Norvane Tools") / "Line Watch.item"),
              "CommandLine=C:\\Program Files (old)\\watch.exe\nCaption=Line Watch\n");
    EXPECT_EQ(w95test::ReadFileText(Group("Norvane Tools") / "Console, serial.item"),
              "CommandLine=C:\\tools\\con.exe /fast\nCaption=Console, serial\n");
    EXPECT_EQ(w95test::ReadFileText(Group("Norvane Tools") / "Reset.item"),
              "CommandLine=C:\\tools\\Reset.EXE\nCaption=Reset\n");

    auto executes = Executes();
    ASSERT_EQ(executes.size(), commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(executes[i]["command"], commands[i]);
        EXPECT_EQ(executes[i]["ok"], true);
        EXPECT_EQ(executes[i]["bytes"], commands[i].size() + 1);  // the NUL came along
        EXPECT_EQ(executes[i]["format"], CF_TEXT);
    }
}

TEST_F(ProgmanTest, ItemsGoIntoTheGroupLastCreatedOrShownWhateverTheCase) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    for (const char* command :
         {"[CreateGroup(First)]", "[CreateGroup(Second)]", "[AddItem(C:\\a.exe,A)]",
          "[showgroup(FIRST,1)]", "[AddItem(C:\\b.exe,B)]", "[CREATEGROUP(second)]",
          "[AddItem(C:\\c.exe,C)]"}) {
        EXPECT_EQ(client.Execute(command), DMLERR_NO_ERROR) << command;
    }
    EXPECT_EQ(Tree(), (std::set<std::string>{"First", "First/B.item", "Second", "Second/A.item",
                                             "Second/C.item"}));
}

TEST_F(ProgmanTest, ACaptionThatCannotBeAFileNameIsStoredAsGiven) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    EXPECT_EQ(client.Execute("[CreateGroup(G)][AddItem(C:\\x.exe,\"In/Out: A|B?\")]"),
              DMLERR_NO_ERROR);
    EXPECT_EQ(w95test::ReadFileText(Group("G") / "In_Out_ A_B_.item"),
              "CommandLine=C:\\x.exe\nCaption=In/Out: A|B?\n");
}

TEST_F(ProgmanTest, DeleteGroupRemovesTheGroupWithItsItems) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    EXPECT_EQ(client.Execute("[CreateGroup(G)][AddItem(C:\\x.exe,X)]"), DMLERR_NO_ERROR);
    EXPECT_EQ(client.Execute("[DeleteGroup(g)]"), DMLERR_NO_ERROR);
    EXPECT_TRUE(Tree().empty());
    // The group that items went into is gone, and with it the place for new items.
    EXPECT_EQ(client.Execute("[AddItem(C:\\y.exe,Y)]"), (UINT)DMLERR_NOTPROCESSED);
    EXPECT_EQ(client.Execute("[DeleteGroup(G)]"), (UINT)DMLERR_NOTPROCESSED);
    EXPECT_TRUE(Tree().empty());
}

TEST_F(ProgmanTest, CommandsOfOneRequestStopAtTheFirstThatFails) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    EXPECT_EQ(client.Execute("[CreateGroup(A)] [DeleteGroup(Missing)] [CreateGroup(B)]"),
              (UINT)DMLERR_NOTPROCESSED);
    EXPECT_EQ(Tree(), (std::set<std::string>{"A"}));
    auto executes = Executes();
    ASSERT_EQ(executes.size(), 1u);
    EXPECT_EQ(executes[0]["ok"], false);
    EXPECT_NE(executes[0]["error"].get<std::string>().find("Missing"), std::string::npos);
}

struct Refusal {
    const char* why;
    const char* command;
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.command;
}

class ProgmanRefusal : public ProgmanTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ProgmanRefusal, IsAcknowledgedNegativelyAndChangesNothing) {
    w95test::ProgmanProcess progman(machine_.dir());
    ProgmanClient client;
    ASSERT_EQ(client.Execute("[CreateGroup(Kept)]"), DMLERR_NO_ERROR);
    ASSERT_EQ(client.Execute("[CreateGroup(Existing)][DeleteGroup(Existing)]"), DMLERR_NO_ERROR);
    // Now no group is current: Existing, the last one made current, is gone.
    auto before = Tree();

    EXPECT_EQ(client.Execute(GetParam().command), (UINT)DMLERR_NOTPROCESSED);

    EXPECT_EQ(Tree(), before);
    EXPECT_TRUE(fs::is_directory(machine_.path("c/WINDOWS")));
    EXPECT_FALSE(fs::exists(machine_.path("c/escape")));
    auto executes = Executes();
    ASSERT_FALSE(executes.empty());
    EXPECT_EQ(executes.back()["command"], GetParam().command);
    EXPECT_EQ(executes.back()["ok"], false);
    EXPECT_TRUE(executes.back().contains("error"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProgmanRefusal,
    ::testing::Values(Refusal{"missing group", "[DeleteGroup(Existing)]"},
                      Refusal{"no brackets", "CreateGroup(New)"},
                      Refusal{"unterminated", "[CreateGroup(New)"},
                      Refusal{"unclosed list", "[CreateGroup(New]"},
                      Refusal{"unterminated quote", "[CreateGroup(\"New)]"},
                      Refusal{"text after", "[CreateGroup(New)] tail"}, Refusal{"empty", ""},
                      Refusal{"unknown command", "[Reload(New)]"},
                      Refusal{"too many arguments", "[DeleteGroup(Kept,0,1)]"},
                      Refusal{"show missing", "[ShowGroup(Existing,2)]"},
                      Refusal{"show command", "[ShowGroup(Kept,9)]"},
                      Refusal{"show command text", "[ShowGroup(Kept,x)]"},
                      Refusal{"no current group", "[AddItem(C:\\x.exe,X)]"},
                      Refusal{"empty command line", "[CreateGroup(Kept)][AddItem(,X)]"},
                      Refusal{"parent folder", "[CreateGroup(..)]"},
                      Refusal{"separator", "[CreateGroup(..\\..\\escape)]"},
                      Refusal{"slash", "[CreateGroup(\"../../escape\")]"},
                      Refusal{"delete outside", "[DeleteGroup(..)]"},
                      Refusal{"empty name", "[CreateGroup()]"}),
    [](const ::testing::TestParamInfo<Refusal>& info) {
        std::string name = info.param.why;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

}  // namespace
