// The reset utility run in process against the board simulator: start-up and its refusals, the
// board menu, the board dialog's rows, the reset sequences as the driver journal records them,
// painting, Help and the About box. The user answers through the in-process callback.
#include "tvxreset.h"

#include "boardsim_process.h"
#include "gdi_objects.h"
#include "machine.h"
#include "module.h"
#include "progman_process.h"
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"
#include "window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

namespace {

namespace fs = std::filesystem;
using w95::UserAction;
using w95::UserWait;
using w95test::Control;

std::string Board(int ports, const std::string& names = "") {
    std::string port_field = names.empty() ? std::to_string(ports) : "[" + names + "]";
    return R"({"bus":"pci","revision":"002","ports":)" + port_field + "}";
}

std::string BoardFile(const std::vector<std::string>& boards, int delay = 2,
                      const std::string& extra = "") {
    std::string text =
        R"({"modem_reset_delay":)" + std::to_string(delay) + extra + R"(,"boards":[)";
    for (size_t i = 0; i < boards.size(); ++i)
        text += (i ? "," : "") + boards[i];
    return text + "]}";
}

// Port objects named NAME0, NAME1, ... for a board of COUNT ports.
std::string NamedPorts(int count, const std::string& prefix) {
    std::string ports;
    for (int i = 0; i < count; ++i)
        ports += (i ? "," : "") + std::string(R"({"name":")") + prefix + std::to_string(i) + "\"}";
    return ports;
}

struct Request {
    int code;
    int board;
    int port;
    uint64_t t;
};

std::vector<Request> PortRequests() {
    std::vector<Request> requests;
    for (const auto& event : w95test::JournalEvents("driver", "request")) {
        if (event.contains("board"))
            requests.push_back({event["code"].get<int>(), event["board"].get<int>(),
                                event["port"].get<int>(), event["t"].get<uint64_t>()});
    }
    return requests;
}

const w95::UserMenuItem* MenuItemOf(const UserWait& wait, int id) {
    for (const auto& item : wait.menu) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

struct SeenBox {
    std::string caption, text;
    unsigned style;
    bool owned;
    bool main_window_enabled;
};

class ResetUtilityTest : public ::testing::Test {
  protected:
    void TearDown() override {
        w95::SetUserCallback(nullptr);
        w95::ResetThreadWindows();
    }

    void StartBoards(const std::string& board_file) { boards_.emplace(machine_.dir(), board_file); }

    // Runs the program; the user takes ACTIONS in order at the windows and answers every box
    // "ok". When the actions run out the user leaves through Exit (or closes a dialog).
    void Run(std::vector<UserAction> actions) {
        size_t next = 0;
        int extra = 0;
        w95::SetUserCallback([&](const UserWait& wait) -> std::optional<UserAction> {
            if (wait.kind == UserWait::Kind::MessageBox) {
                boxes_.push_back({wait.caption, wait.text, wait.style, wait.owned,
                                  IsWindowEnabled(MainWindow) != FALSE});
                return UserAction::Answer("ok");
            }
            waits_.push_back(wait);
            main_enabled_at_waits_.push_back(IsWindowEnabled(MainWindow) != FALSE);
            if (waits_.size() == 1)
                first_pixels_ = w95::WindowPixels(MainWindow);
            if (next < actions.size())
                return actions[next++];
            if (++extra > 4)
                ADD_FAILURE() << "the program does not end";
            return wait.class_name == "TvxReset" ? UserAction::Menu(IDM_EXIT) : UserAction::Close();
        });
        result_ = WinMain(w95::ProgramInstance(), nullptr, const_cast<char*>(""), SW_SHOWNORMAL);
        w95::SetUserCallback(nullptr);
    }

    w95test::TempMachine machine_;
    std::optional<w95test::BoardsimProcess> boards_;
    std::vector<UserWait> waits_;
    std::vector<SeenBox> boxes_;
    std::vector<bool> main_enabled_at_waits_;
    std::optional<w95::PixelSurface> first_pixels_;
    int result_ = -1;
};

TEST_F(ResetUtilityTest, MenuOffersTheBoardsThatHavePorts) {
    struct Case {
        const char* name;
        std::vector<std::string> boards;
        std::vector<int> enabled;
        std::vector<int> greyed;
    };
    const Case cases[] = {
        {"boards at indexes 0 and 2",
         {Board(2), Board(0), Board(3)},
         {IDM_BOARD1, IDM_BOARD3, IDM_RESET_ALL},
         {IDM_BOARD2, IDM_BOARD4}},
        {"no board has ports",
         {Board(0), Board(0)},
         {},
         {IDM_BOARD1, IDM_BOARD2, IDM_BOARD3, IDM_BOARD4, IDM_RESET_ALL}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        waits_.clear();
        boards_.reset();
        StartBoards(BoardFile(c.boards));
        Run({});
        ASSERT_FALSE(waits_.empty());
        const UserWait& main = waits_[0];
        for (int id : c.enabled) {
            ASSERT_NE(MenuItemOf(main, id), nullptr) << id;
            EXPECT_TRUE(MenuItemOf(main, id)->enabled) << id;
        }
        for (int id : c.greyed) {
            ASSERT_NE(MenuItemOf(main, id), nullptr) << id;
            EXPECT_FALSE(MenuItemOf(main, id)->enabled) << id;
        }
        for (int id : {IDM_EXIT, IDM_HELP_TOPICS, IDM_ABOUT})
            EXPECT_TRUE(MenuItemOf(main, id)->enabled) << id;
        w95::ResetThreadWindows();
    }
}

TEST_F(ResetUtilityTest, DialogShowsTheRowsThePortCountCallsFor) {
    struct Case {
        int ports;
        int rows;
    };
    const Case cases[] = {{1, 4}, {4, 4}, {5, 4}, {6, 6}, {7, 6}, {8, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.ports) + " ports");
        waits_.clear();
        boards_.reset();
        StartBoards(
            BoardFile({Board(c.ports, NamedPorts(c.ports, "P" + std::to_string(c.ports) + "_"))}));
        Run({UserAction::Menu(IDM_BOARD1), UserAction::Click(IDOK)});
        ASSERT_GE(waits_.size(), 2u);
        const UserWait& dialog = waits_[1];
        EXPECT_EQ(dialog.caption, "Board 1");
        for (int port = 0; port < 8; ++port) {
            SCOPED_TRACE("port " + std::to_string(port));
            const w95::UserControl* button = Control(dialog, IDC_RESET_PORT0 + port);
            const w95::UserControl* label = Control(dialog, IDC_PORT_NAME0 + port);
            if (port >= c.rows) {
                EXPECT_EQ(button, nullptr);
                EXPECT_EQ(label, nullptr);
                continue;
            }
            ASSERT_NE(button, nullptr);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(button->text, "Reset");
            // A row beyond the board's ports shows what the record holds there: nothing.
            std::string name =
                port < c.ports ? "P" + std::to_string(c.ports) + "_" + std::to_string(port) : "";
            EXPECT_EQ(label->text, name);
        }
        const w95::UserControl* ok = Control(dialog, IDOK);
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->focused);
        w95::ResetThreadWindows();
    }
}

TEST_F(ResetUtilityTest, SinglePortResetSendsTheKeyThreeTimesWithItsWaits) {
    StartBoards(BoardFile({Board(4), Board(6)}, 3));
    Run({UserAction::Menu(IDM_BOARD2), UserAction::Click(IDC_RESET_PORT0 + 5),
         UserAction::Click(IDOK)});
    ASSERT_GE(waits_.size(), 2u);
    EXPECT_EQ(waits_[1].caption, "Board 2");
    auto requests = PortRequests();
    ASSERT_EQ(requests.size(), 3u);
    const int codes[] = {DRV_MODEM_RESET_ON, DRV_MODEM_RESET_OFF, DRV_MODEM_INIT};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(requests[i].code, codes[i]);
        EXPECT_EQ(requests[i].board, 1);
        EXPECT_EQ(requests[i].port, 5);
    }
    EXPECT_GE(requests[1].t - requests[0].t, 40u);
    EXPECT_GE(requests[2].t - requests[1].t, 300u);
    // The wait cursor is shown for the sequence and the previous one restored.
    auto cursors = w95test::JournalEvents("ui", "cursor");
    ASSERT_GE(cursors.size(), 2u);
    EXPECT_EQ(cursors[cursors.size() - 2]["cursor"], "wait");
    EXPECT_EQ(cursors.back()["cursor"], "arrow");
}

TEST_F(ResetUtilityTest, ResetAllHoldsEveryModemThenReleasesAllBeforeOneCommonWait) {
    StartBoards(BoardFile({Board(2), Board(0), Board(3)}, 4));
    Run({UserAction::Menu(IDM_RESET_ALL)});
    auto requests = PortRequests();
    const std::vector<std::pair<int, int>> ports = {{0, 0}, {0, 1}, {2, 0}, {2, 1}, {2, 2}};
    const int codes[] = {DRV_MODEM_RESET_ON, DRV_MODEM_RESET_OFF, DRV_MODEM_INIT};
    ASSERT_EQ(requests.size(), 15u);
    for (size_t phase = 0; phase < 3; ++phase) {
        for (size_t i = 0; i < ports.size(); ++i) {
            const Request& r = requests[phase * ports.size() + i];
            SCOPED_TRACE("request " + std::to_string(phase * ports.size() + i));
            EXPECT_EQ(r.code, codes[phase]);
            EXPECT_EQ(std::make_pair(r.board, r.port), ports[i]);
        }
    }
    EXPECT_GE(requests[5].t - requests[4].t, 20u);    // the hold, after the last RESET_ON
    EXPECT_GE(requests[10].t - requests[9].t, 400u);  // the common wait, after the last release
}

TEST_F(ResetUtilityTest, EscapeLeavesTheDialogOpenAndTheCloseBoxEndsIt) {
    StartBoards(BoardFile({Board(4)}));
    Run({UserAction::Menu(IDM_BOARD1), UserAction::Key("esc"), UserAction::Close(),
         UserAction::Menu(IDM_EXIT)});
    ASSERT_EQ(waits_.size(), 4u);
    EXPECT_EQ(waits_[1].caption, "Board 1");
    EXPECT_EQ(waits_[2].caption, "Board 1");  // still up after Esc
    EXPECT_EQ(waits_[3].class_name, "TvxReset");
    EXPECT_TRUE(PortRequests().empty());
}

TEST_F(ResetUtilityTest, ExitClosesTheDriverHandle) {
    StartBoards(BoardFile({Board(1)}));
    HANDLE held = INVALID_HANDLE_VALUE;
    w95::SetUserCallback(nullptr);
    size_t step = 0;
    w95::SetUserCallback([&](const UserWait&) -> std::optional<UserAction> {
        held = DriverHandle;
        return step++ == 0 ? UserAction::Menu(IDM_EXIT) : UserAction::Close();
    });
    EXPECT_EQ(WinMain(w95::ProgramInstance(), nullptr, const_cast<char*>(""), SW_SHOWNORMAL), 0);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    PortKey key = 0;
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(held, DRV_MODEM_INIT, &key, 4, &key, 4, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(ResetUtilityTest, StartUpFailuresAreToldAndEndTheProgramUnshown) {
    struct Case {
        const char* name;
        const char* platform;
        std::optional<std::string> board_file;
        std::string text;
    };
    const Case cases[] = {
        {"NT family", "nt", BoardFile({Board(2)}),
         "This utility is for Win95/98 only.\n\nUse the driver setup program to reset\nthe "
         "TarvexModems in Window NT."},
        {"no driver", "95", std::nullopt,
         "Unable to communicate with the TarvexModem driver.\nCheck the configuration or "
         "reinstall the hardware."},
        {"configuration request fails", "98",
         BoardFile({Board(2)}, 2, R"(,"driver":{"get_config_error":31})"),
         "Unable to obtain TarvexModem configuration data.\nPlease run the \"TvxMCfg\" utility "
         "or contact Technical Support.\n(Error = 1f)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        boxes_.clear();
        waits_.clear();
        boards_.reset();
        w95::SetMachineSetting("platform", c.platform);
        if (c.board_file)
            StartBoards(*c.board_file);
        size_t requests_before = w95test::JournalEvents("driver", "request").size();
        Run({});
        EXPECT_EQ(result_, 0);
        EXPECT_TRUE(waits_.empty());  // the window never showed
        EXPECT_FALSE(IsWindowVisible(MainWindow));
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].caption, "TvxReset");
        EXPECT_EQ(boxes_[0].text, c.text);
        EXPECT_EQ(boxes_[0].style, static_cast<unsigned>(MB_ICONWARNING));
        EXPECT_FALSE(boxes_[0].owned);
        if (std::string(c.platform) == "nt") {
            EXPECT_EQ(w95test::JournalEvents("driver", "request").size(), requests_before);
        }
        w95::ResetThreadWindows();
    }
}

TEST_F(ResetUtilityTest, WindowIsCentredOnTheScreenAroundTheLogo) {
    struct Case {
        const char* screen;
        int x, y;
    };
    const Case cases[] = {{"800x600", 225, 258}, {"1024x768", 337, 342}};
    StartBoards(BoardFile({Board(1)}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        w95::SetMachineSetting("screen", c.screen);
        waits_.clear();
        Run({});
        auto windows = w95test::JournalEvents("ui", "window");
        nlohmann::json created;
        for (const auto& event : windows) {
            if (event["action"] == "created" && event["class"] == "TvxReset")
                created = event;
        }
        ASSERT_FALSE(created.is_null());
        EXPECT_EQ(created["x"], c.x);
        EXPECT_EQ(created["y"], c.y);
        EXPECT_EQ(created["title"], "TarvexModem Reset Utility");
        EXPECT_EQ(created["style"], WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
        EXPECT_EQ(created["ex_style"], WS_EX_DLGMODALFRAME);
        ASSERT_TRUE(first_pixels_);
        EXPECT_EQ(first_pixels_->width, MAIN_CLIENT_WIDTH);
        EXPECT_EQ(first_pixels_->height, MAIN_CLIENT_HEIGHT);
        w95::ResetThreadWindows();
    }
}

TEST_F(ResetUtilityTest, PaintingShowsTheLogoFromTheWindowsCorner) {
    std::ifstream in(fs::path(TARVEX_SOURCE_DIR) / "tvxreset" / "logo.bmp", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(file.size(), 14u);
    auto logo = w95::DecodePackedDib(file.data() + 14, file.size() - 14);  // past the file header
    ASSERT_TRUE(logo);
    StartBoards(BoardFile({Board(1)}));
    Run({});
    ASSERT_TRUE(first_pixels_);
    ASSERT_EQ(first_pixels_->width, logo->width);
    ASSERT_EQ(first_pixels_->height, logo->height);
    EXPECT_TRUE(first_pixels_->pixels == logo->pixels);
    EXPECT_NE(logo->At(0, 0), 0xFFFFFFu);  // the corner is drawn, not the background
}

TEST_F(ResetUtilityTest, HelpTopicsAsksForContextOneOfTheHelpFile) {
    StartBoards(BoardFile({Board(1)}));
    Run({UserAction::Menu(IDM_HELP_TOPICS)});
    auto help = w95test::JournalEvents("ui", "winhelp");
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0]["file"], "TvxReset.hlp");
    EXPECT_EQ(help[0]["command"], HELP_CONTEXT);
    EXPECT_EQ(help[0]["data"], 1);
}

TEST_F(ResetUtilityTest, AboutBoxCentresTheVersionBlocksTexts) {
    StartBoards(BoardFile({Board(1)}));
    Run({UserAction::Menu(IDM_ABOUT)});
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "About TvxReset");
    EXPECT_EQ(boxes_[0].text,
              "         TarvexModem Reset Utility\n"
              "               Version 1.11\n"
              " Copyright (C) Norvane. All rights reserved.");
    EXPECT_EQ(boxes_[0].style, static_cast<unsigned>(MB_TASKMODAL | MB_ICONINFORMATION));
    EXPECT_TRUE(boxes_[0].owned);
    EXPECT_FALSE(boxes_[0].main_window_enabled);  // the owner is disabled while the box is up
    // ... and enabled again when the user acts after it.
    ASSERT_GE(main_enabled_at_waits_.size(), 2u);
    EXPECT_TRUE(main_enabled_at_waits_[1]);
}

TEST(AboutTextTest, FileWithoutVersionBlockGivesTheDefaults) {
    w95test::TempMachine machine;
    char text[ABOUT_TEXT_SIZE];
    const std::string expected =
        " TarvexModem Reset Utility\n"
        "            \n"  // the empty version line: its pad of spaces alone
        "  Copyright (C) Norvane";
    std::string other_file = "Z:" + w95test::BoardsimBinary().string();
    for (char& c : other_file) {
        if (c == '/')
            c = '\\';
    }
    ComposeAboutText(other_file.c_str(), text);
    EXPECT_EQ(std::string(text), expected);
    ComposeAboutText(nullptr, text);
    EXPECT_EQ(std::string(text), expected);
}

TEST(BoardDialogTest, PortCountBeyondEightShowsEightRowsWithNamesCutToTheirField) {
    w95test::TempMachine machine;
    ZeroMemory(&Config, sizeof(Config));
    Config.Boards[0].PortCount = 12;
    for (int port = 0; port < MAX_PORTS_PER_BOARD; ++port)
        wsprintfA(Config.Boards[0].PortNames[port], "COM%d", 20 + port);
    // A name that fills all 16 bytes shows cut to 15 characters.
    memset(Config.Boards[0].PortNames[7], 'X', PORT_NAME_SIZE);
    std::vector<UserWait> waits;
    w95::SetUserCallback([&](const UserWait& wait) -> std::optional<UserAction> {
        waits.push_back(wait);
        return UserAction::Click(IDOK);
    });
    DialogBoxParamA(w95::ProgramInstance(), MAKEINTRESOURCEA(IDD_BOARD), nullptr, BoardDialogProc,
                    0);
    w95::SetUserCallback(nullptr);
    ASSERT_EQ(waits.size(), 1u);
    for (int port = 0; port < 8; ++port)
        EXPECT_NE(Control(waits[0], IDC_RESET_PORT0 + port), nullptr) << port;
    ASSERT_NE(Control(waits[0], IDC_PORT_NAME0 + 7), nullptr);
    EXPECT_EQ(Control(waits[0], IDC_PORT_NAME0 + 7)->text, std::string(15, 'X'));
    EXPECT_EQ(Control(waits[0], IDC_PORT_NAME0 + 3)->text, "COM23");
    EXPECT_EQ(BoardPortCount(0), 8u);
    w95::ResetThreadWindows();
}

TEST(ResetUtilityProgramTest, GreyedBoardCannotBeChosenFromTheMenu) {
    w95test::TempMachine machine;
    fs::path w95_tool = fs::path(TARVEX_BUILD_DIR) / "tools" / "w95";
    auto installed =
        w95test::RunProcess({w95_tool.string(), "--machine", machine.dir().string(), "install"});
    ASSERT_EQ(installed.status, 0) << installed.errors;
    w95test::BoardsimProcess boards(machine.dir(), BoardFile({Board(2), Board(0), Board(3)}));
    fs::path script = machine.path("user.txt");
    std::ofstream(script) << "menu 40003\nclose\nmenu 40002\n";
    auto run = w95test::RunProcess({w95_tool.string(), "--machine", machine.dir().string(), "run",
                                    "C:\\WINDOWS\\SYSTEM\\tarvex\\TVXRESET"},
                                   {"W95_USER=" + script.string()});
    EXPECT_EQ(run.status, w95::kUserErrorExitCode) << run.errors;
    EXPECT_NE(run.errors.find("user.txt"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("40002"), std::string::npos) << run.errors;
    // The enabled board's dialog opened before: it was titled Board 3.
    bool board3 = false;
    for (const auto& event : w95test::JournalEvents("ui", "window"))
        board3 = board3 || event["title"] == "Board 3";
    EXPECT_TRUE(board3);
}

}  // namespace
