// tvxgroup through its real executable, installed in a machine with the program manager running,
// on the virtual clock so that the one-minute wait costs no minute and can still be measured; the
// group builder in process where its limits are what is tested; and the start lists of `w95 boot`
// and `w95 logon` that run it.
#include <windows.h>

#include "group_builder.h"
#include "machine.h"
#include "progman_process.h"
#include "registry.h"
#include "temp_machine.h"
#include "ui_journal.h"

#include <gtest/gtest.h>

#include <set>

namespace fs = std::filesystem;

namespace {

constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr char kGroup[] = "Norvane TarvexPort TarvexModem";
constexpr char kProgram[] = "C:\\WINDOWS\\SYSTEM\\tarvex\\TVXGROUP.EXE";
constexpr uint32_t kTickStart = 1000000;
constexpr uint32_t kBuildDelay = 60000;

const char kCreateModem[] = "Create TarvexModem Group";
const char kCreatePort[] = "Create TarvexPort Group";
const char kRemove[] = "Remove TarvexPort Group";
const char kUnrelated[] = "Unrelated";

const std::vector<std::string> kModemCommands = {
    "[DeleteGroup(Norvane TarvexPort TarvexModem)]",
    "[CreateGroup(Norvane TarvexPort TarvexModem,tarvex.grp)]",
    "[ShowGroup(Norvane TarvexPort TarvexModem,2)]",
    "[AddItem(C:\\WINDOWS\\SYSTEM\\tarvex\\sercon32.exe,Serial Console)]",
    "[AddItem(C:\\WINDOWS\\SYSTEM\\tarvex\\linewtch.exe,Line Watch)]",
    "[AddItem(C:\\WINDOWS\\SYSTEM\\tarvex\\tvxreset.exe,TarvexModem Reset)]",
    "[AddItem(C:\\WINDOWS\\SYSTEM\\tarvex\\tvxmcfg.exe,TarvexModem Config)]",
};
const std::vector<std::string> kPortCommands(kModemCommands.begin(), kModemCommands.begin() + 5);
const std::vector<std::string> kRemoveCommands(kModemCommands.begin(), kModemCommands.begin() + 1);

std::string W95Binary() {
    return (fs::path(TARVEX_BUILD_DIR) / "tools" / "w95").string();
}

class TvxgroupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto installed = W95({"install"});
        ASSERT_EQ(installed.status, 0) << installed.errors;
        w95::SetMachineSetting("tick-start", std::to_string(kTickStart));
        for (const char* name : {kCreateModem, kCreatePort, kRemove, kUnrelated}) {
            std::string command = std::string(kProgram) + " " + name;
            ASSERT_EQ(RegPutString(kRunKey, name, command.c_str(), REG_SZ), REG_OK);
        }
    }

    w95test::ProcessResult W95(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {W95Binary(), "--machine", machine_.dir().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return w95test::RunProcess(argv, {"W95_VIRTUAL_CLOCK=1"});
    }

    // `w95 run` with the program's path and TAIL after one blank, as a Run value starts it.
    int RunTvxgroup(const std::string& tail) {
        auto result = W95({"run", tail.empty() ? kProgram : std::string(kProgram) + " " + tail});
        EXPECT_TRUE(result.errors.empty()) << result.errors;
        return result.status;
    }

    std::set<std::string> RunValuesLeft() {
        std::set<std::string> left;
        for (const char* name : {kCreateModem, kCreatePort, kRemove, kUnrelated}) {
            char data[MAX_PATH];
            if (RegFetchString(kRunKey, name, data, sizeof(data)) == REG_OK)
                left.insert(name);
        }
        return left;
    }

    std::vector<nlohmann::json> Executes() { return w95test::JournalEvents("progman", "execute"); }

    std::vector<std::string> CommandsSent() {
        std::vector<std::string> commands;
        for (const auto& event : Executes())
            commands.push_back(event["command"]);
        return commands;
    }

    fs::path GroupFolder() { return machine_.path("c/WINDOWS/Start Menu/Programs") / kGroup; }

    std::set<std::string> GroupItems() {
        std::set<std::string> items;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(GroupFolder(), error)) {
            items.insert(entry.path().filename().string());
        }
        return items;
    }

    w95test::TempMachine machine_;
};

struct TailCase {
    const char* name;
    const char* tail;
    const char* platform;
    const std::vector<std::string>* commands;  // nullptr: none
    const char* removed;                       // the Run value removed, or nullptr
    bool waits;                                // the first command comes after the minute
};

void PrintTo(const TailCase& c, std::ostream* out) {
    *out << '"' << c.tail << '"';
}

class TvxgroupTail : public TvxgroupTest, public ::testing::WithParamInterface<TailCase> {};

TEST_P(TvxgroupTail, SendsTheCommandsOfItsActionAndRemovesOnlyThatRunValue) {
    const TailCase& c = GetParam();
    w95::SetMachineSetting("platform", c.platform);
    w95test::ProgmanProcess progman(machine_.dir());

    EXPECT_EQ(RunTvxgroup(c.tail), 0);

    const std::vector<std::string> none;
    EXPECT_EQ(CommandsSent(), c.commands ? *c.commands : none);
    auto executes = Executes();
    for (const auto& event : executes) {
        // Each command goes as text with its terminating NUL.
        EXPECT_EQ(event["bytes"], event["command"].get<std::string>().size() + 1);
        EXPECT_EQ(event["format"], CF_TEXT);
    }
    if (!executes.empty()) {
        uint32_t first = executes.front()["client_tick"];
        if (c.waits) {
            EXPECT_GE(first - kTickStart, kBuildDelay);
        } else {
            EXPECT_LT(first - kTickStart, kBuildDelay);
        }
    }

    std::set<std::string> left = {kCreateModem, kCreatePort, kRemove, kUnrelated};
    if (c.removed)
        left.erase(c.removed);
    EXPECT_EQ(RunValuesLeft(), left);
    EXPECT_TRUE(w95test::MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tails, TvxgroupTail,
    ::testing::Values(
        TailCase{"modem", "/ADD /TM", "95", &kModemCommands, kCreateModem, true},
        TailCase{"port", "/ADD /TP", "98", &kPortCommands, kCreatePort, true},
        TailCase{"remove", "/REMOVE", "95", &kRemoveCommands, kRemove, false},
        TailCase{"modem_wins_over_port", "/ADD /TM /TP", "95", &kModemCommands, kCreateModem, true},
        TailCase{"switches_in_any_order", "/TP /ADD", "95", &kPortCommands, kCreatePort, true},
        TailCase{"switches_glued", "/ADD/TM", "95", &kModemCommands, kCreateModem, true},
        TailCase{"remove_not_alone", "/REMOVE /ADD /TP", "95", &kPortCommands, kCreatePort, true},
        TailCase{"remove_with_blank", "/REMOVE ", "95", nullptr, nullptr, false},
        TailCase{"add_alone", "/ADD", "95", nullptr, nullptr, false},
        TailCase{"group_without_add", "/TM", "95", nullptr, nullptr, false},
        TailCase{"lower_case_add", "/add /tm", "95", nullptr, nullptr, false},
        TailCase{"lower_case_remove", "/remove", "95", nullptr, nullptr, false},
        TailCase{"empty", "", "95", nullptr, nullptr, false},
        TailCase{"nt_add", "/ADD /TM", "nt", nullptr, nullptr, false},
        TailCase{"nt_remove", "/REMOVE", "nt", nullptr, nullptr, false}),
    [](const ::testing::TestParamInfo<TailCase>& info) { return std::string(info.param.name); });

TEST_F(TvxgroupTest, BuildsTheModemGroupWithItsFourItemsUnderTheWaitCursor) {
    w95test::ProgmanProcess progman(machine_.dir());
    EXPECT_EQ(RunTvxgroup("/ADD /TM"), 0);
    EXPECT_EQ(GroupItems(),
              (std::set<std::string>{"Serial Console.item", "Line Watch.item",
                                     "TarvexModem Reset.item", "TarvexModem Config.item"}));
    EXPECT_EQ(w95test::ReadFileText(GroupFolder() / "TarvexModem Config.item"),
              "CommandLine=C:\\WINDOWS\\SYSTEM\\tarvex\\tvxmcfg.exe\nCaption=TarvexModem Config\n");
    auto cursors = w95test::JournalEvents("ui", "cursor");
    ASSERT_EQ(cursors.size(), 2u);
    EXPECT_EQ(cursors[0]["cursor"], "wait");
    EXPECT_EQ(cursors[1]["cursor"], "arrow");
}

TEST_F(TvxgroupTest, ThePortGroupReplacesTheModemGroupAndRemoveTakesEitherForm) {
    w95test::ProgmanProcess progman(machine_.dir());
    EXPECT_EQ(RunTvxgroup("/ADD /TM"), 0);
    EXPECT_EQ(RunTvxgroup("/ADD /TP"), 0);
    EXPECT_EQ(GroupItems(), (std::set<std::string>{"Serial Console.item", "Line Watch.item"}));

    EXPECT_EQ(RunTvxgroup("/REMOVE"), 0);
    EXPECT_FALSE(fs::exists(GroupFolder()));
    auto executes = Executes();
    ASSERT_FALSE(executes.empty());
    EXPECT_EQ(executes.back()["command"], kRemoveCommands[0]);
    EXPECT_EQ(executes.back()["ok"], true);
    EXPECT_EQ(RunValuesLeft(), (std::set<std::string>{kUnrelated}));
}

TEST_F(TvxgroupTest, WithoutAProgramManagerNothingIsBuiltAndTheRunValueGoesAllTheSame) {
    EXPECT_EQ(RunTvxgroup("/ADD /TM"), 0);
    EXPECT_FALSE(fs::exists(GroupFolder()));
    EXPECT_EQ(RunValuesLeft(), (std::set<std::string>{kCreatePort, kRemove, kUnrelated}));

    // The builder itself: every transaction fails, and the result is still 0.
    EXPECT_EQ(CreateProgramGroup(ModemGroupTable, "C:\\WINDOWS\\SYSTEM\\tarvex"), GROUP_BUILT);
    EXPECT_EQ(RemoveProgramGroup(PortGroupTable, "C:\\WINDOWS\\SYSTEM\\tarvex"), GROUP_BUILT);
    EXPECT_FALSE(fs::exists(GroupFolder()));
    EXPECT_TRUE(Executes().empty());
}

TEST_F(TvxgroupTest, AnItemCommandTooLongForTheBufferIsLeftOutAndTheOthersGo) {
    w95test::ProgmanProcess progman(machine_.dir());
    // With this folder the Serial Console item makes a command of 249 characters, the most that
    // fits the 250-byte buffer with its NUL; the two items of the system's own programs make 252.
    const std::string folder = "C:\\" + std::string(207, 'f');
    ASSERT_EQ(folder.size(), 210u);
    EXPECT_EQ(CreateProgramGroup(ModemGroupTable, folder.c_str()), GROUP_BUILT);

    auto commands = CommandsSent();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[3], "[AddItem(" + folder + "\\sercon32.exe,Serial Console)]");
    EXPECT_EQ(commands[3].size(), 249u);
    EXPECT_EQ(commands[4], "[AddItem(" + folder + "\\linewtch.exe,Line Watch)]");
    EXPECT_EQ(GroupItems(), (std::set<std::string>{"Serial Console.item", "Line Watch.item"}));
}

TEST_F(TvxgroupTest, LogonRunsTheRunEntryThatBuildsTheGroupAndRemovesItself) {
    // Only the entry the installation leaves, spelled as a user might, without ".exe".
    for (const char* name : {kCreatePort, kRemove, kUnrelated})
        RegRemoveValue(kRunKey, name);
    ASSERT_EQ(RegPutString(kRunKey, kCreateModem, "C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxGroup /ADD /TM",
                           REG_SZ),
              REG_OK);
    w95test::ProgmanProcess progman(machine_.dir());

    auto logon = W95({"logon"});
    EXPECT_EQ(logon.status, 0) << logon.errors;

    EXPECT_EQ(CommandsSent(), kModemCommands);
    EXPECT_EQ(GroupItems(),
              (std::set<std::string>{"Serial Console.item", "Line Watch.item",
                                     "TarvexModem Reset.item", "TarvexModem Config.item"}));
    EXPECT_TRUE(RunValuesLeft().empty());

    // A second logon has nothing left to run.
    EXPECT_EQ(W95({"logon"}).status, 0);
    EXPECT_EQ(CommandsSent().size(), kModemCommands.size());
}

TEST_F(TvxgroupTest, BootRunsTheRunServicesEntriesInTheirOrder) {
    ASSERT_EQ(RegPutString(kRunServicesKey, "First",
                           "C:\\WINDOWS\\SYSTEM\\tarvex\\tvxgroup /ADD /TP", REG_SZ),
              REG_OK);
    ASSERT_EQ(RegPutString(kRunServicesKey, "Second",
                           "c:\\windows\\system\\TARVEX\\TVXGROUP /REMOVE", REG_SZ),
              REG_OK);
    ASSERT_EQ(RegPutString(kRunServicesKey, "Broken", "C:\\nowhere\\missing.exe", REG_SZ), REG_OK);
    w95test::ProgmanProcess progman(machine_.dir());

    auto boot = W95({"boot"});
    // The entry that names no program is reported, and the others ran.
    EXPECT_EQ(boot.status, 1);
    EXPECT_NE(boot.errors.find("Broken"), std::string::npos) << boot.errors;

    std::vector<std::string> expected = kPortCommands;
    expected.push_back(kRemoveCommands[0]);
    EXPECT_EQ(CommandsSent(), expected);
    EXPECT_FALSE(fs::exists(GroupFolder()));
    // The Run key is the logon's: boot left it alone apart from what tvxgroup removed.
    EXPECT_EQ(RunValuesLeft(), (std::set<std::string>{kCreateModem, kUnrelated}));
}

TEST_F(TvxgroupTest, RunRefusesACommandLineThatNamesNoInstalledProgram) {
    auto result = W95({"run", "C:\\WINDOWS\\SYSTEM\\tarvex\\nothing /ADD"});
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.errors.find("nothing"), std::string::npos) << result.errors;
}

}  // namespace
