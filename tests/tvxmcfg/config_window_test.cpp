// The configuration window and its dialog, run for real from the program's own resources, with
// the user answering in process.
#include "tvxmcfg.h"

#include "machine.h"
#include "registry.h"
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"
#include "window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

#define SETTINGS_KEY "Software\\norvane\\tarvexport"
#define STARTUP_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"

using w95::UserAction;
using w95::UserWait;
using w95test::Control;

// The state that the entry and detection leave before the window opens.
void Detected(BYTE kinds, std::vector<LONG> flags, LONG firstIsa = -1) {
    ZeroMemory(&ModemSettings, sizeof(ModemSettings));
    ZeroMemory(BoardNeedsFirmware, sizeof(BoardNeedsFirmware));
    for (size_t i = 0; i < flags.size(); ++i)
        ModemSettings.BoardFlags[i] = flags[i];
    ModemSettings.CountryCode = CountryTable[0].Code;
    DetectedSettings = ModemSettings;
    DetectedKinds = kinds;
    FirstIsaBoard = firstIsa;
}

class ConfigWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        w95::SetUserCallback(nullptr);
        w95::ResetThreadWindows();
    }

    // Runs the window; the user takes ACTIONS in order, message boxes are answered "ok".
    // Records what each window wait showed.
    void Run(std::vector<UserAction> actions) {
        actions_ = std::move(actions);
        next_ = 0;
        w95::SetUserCallback([this](const UserWait& wait) -> std::optional<UserAction> {
            if (wait.kind == UserWait::Kind::MessageBox) {
                boxes_.push_back(wait.text);
                return UserAction::Answer("ok");
            }
            waits_.push_back(wait);
            HWND window = GetActiveWindow();
            RECT rect{};
            GetWindowRect(window, &rect);
            sizes_.push_back({rect.right - rect.left, rect.bottom - rect.top});
            if (next_ >= actions_.size()) {
                // Closing ends the window, so a test that goes wrong still ends.
                ADD_FAILURE() << "the window waits for more than the test's actions";
                return UserAction::Close();
            }
            return actions_[next_++];
        });
        RunConfigWindow(reinterpret_cast<HINSTANCE>(0x00400000), SW_SHOWNORMAL);
    }

    bool SettingsStored() { return RegKeyExists(SETTINGS_KEY) != 0; }

    std::optional<DWORD> Stored(const char* name) {
        DWORD value = 0;
        if (RegFetchDword(SETTINGS_KEY, name, &value) != REG_OK)
            return std::nullopt;
        return value;
    }

    std::string StartupEntry() {
        char text[300];
        RegFetchString(STARTUP_KEY, "TarvexModem Config", text, sizeof(text));
        return text;
    }

    w95test::TempMachine machine_;
    std::vector<UserAction> actions_;
    size_t next_ = 0;
    std::vector<UserWait> waits_;
    std::vector<std::pair<LONG, LONG>> sizes_;
    std::vector<std::string> boxes_;
};

TEST_F(ConfigWindowTest, WindowSizeComesFromTheSystemFontsBaseUnits) {
    struct Case {
        const char* units;
        LONG width, height;
    };
    const Case cases[] = {{"8x16", 310, 150}, {"10x20", 387, 187}, {"7x15", 271, 140}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        w95::SetMachineSetting("dialog-base-units", c.units);
        Detected(0, {});
        sizes_.clear();
        Run({UserAction::Click(300)});
        ASSERT_EQ(sizes_.size(), 1u);
        EXPECT_EQ(sizes_[0], std::make_pair(c.width, c.height));
        w95::ResetThreadWindows();
    }
    auto created = w95test::JournalEvents("ui", "window");
    ASSERT_FALSE(created.empty());
    EXPECT_EQ(created[0]["action"], "created");
    EXPECT_EQ(created[0]["class"], "TarvexModem");
    EXPECT_EQ(created[0]["title"], "TvxMCfg");
    EXPECT_EQ(created[0]["ex_style"], WS_EX_TOPMOST);
    EXPECT_EQ(created[0]["style"], WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN);
}

TEST_F(ConfigWindowTest, DialogShowsBoardsAndTheCountriesOfTheDetectedKinds) {
    struct Case {
        const char* name;
        BYTE kinds;
        LONG country;
        std::vector<std::string> items;
        std::string text;
    };
    std::vector<std::string> isa_in_table_order = {"United States", "France", "Germany",
                                                   "Italy",         "Sweden", "United Kingdom"};
    const Case cases[] = {
        {"ISA board only", KIND_ISA_MODEM, 22, isa_in_table_order, "United States"},
        {"no modem board", 0, 22, {}, "United States"},
        {"stored country offered", KIND_ISA_MODEM, 6, isa_in_table_order, "Germany"},
        {"stored country not offered", KIND_ISA_MODEM, 20, isa_in_table_order, "United States"},
        {"Japan and Philippines share 43: the later row", KIND_PCI_REV002, 43, {}, "Philippines"},
        {"revision 001 board: only the first row",
         KIND_PCI_REV001,
         22,
         {"United States"},
         "United States"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Detected(c.kinds, {BOARD_IS_MODEM, 0, BOARD_IS_MODEM | BOARD_OVERRIDDEN, BOARD_OVERRIDDEN});
        RegMakeKey(SETTINGS_KEY);
        RegPutDword(SETTINGS_KEY, "ModemCountry", static_cast<DWORD>(c.country));
        waits_.clear();
        Run({UserAction::Click(300)});
        ASSERT_EQ(waits_.size(), 1u);
        const UserWait& wait = waits_[0];
        EXPECT_EQ(wait.caption, "TvxMCfg");
        const w95::UserControl* combo = Control(wait, 400);
        ASSERT_NE(combo, nullptr);
        if (c.kinds & KIND_PCI_REV002) {
            EXPECT_EQ(combo->items.size(), 13u);
        } else {
            EXPECT_EQ(combo->items, c.items);
        }
        EXPECT_EQ(combo->text, c.text);
        EXPECT_TRUE(Control(wait, 501)->checked);
        EXPECT_FALSE(Control(wait, 502)->checked);
        EXPECT_TRUE(Control(wait, 503)->checked);
        EXPECT_FALSE(Control(wait, 504)->checked);
        EXPECT_TRUE(Control(wait, 501)->focused) << "the first tab stop has the focus";
        w95::ResetThreadWindows();
    }
}

TEST_F(ConfigWindowTest, OkStoresTheChoicesAndAppliesThemWhenTheCountryIsNotTheFirst) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM, 0}, 0);
    Run({UserAction::Click(501), UserAction::Click(502), UserAction::SetText(400, "Germany"),
         UserAction::Click(301)});
    EXPECT_EQ(Stored("ModemCountry"), std::optional<DWORD>(6));
    EXPECT_EQ(Stored("TarvexModem0"), std::optional<DWORD>(BOARD_OVERRIDDEN));
    EXPECT_EQ(Stored("TarvexModem1"), std::optional<DWORD>(BOARD_IS_MODEM | BOARD_OVERRIDDEN));
    EXPECT_EQ(Stored("TarvexModem2"), std::nullopt);
    EXPECT_EQ(Stored("FirstISATarvex"), std::nullopt) << "the first ISA board at 0 is the default";
    EXPECT_EQ(StartupEntry(), "C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg /AUTO");
    // Applying reads the driver's configuration; without a driver that is reported.
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("Failed to intialize TarvexPort driver"), std::string::npos);
    auto ended = w95test::JournalEvents("ui", "window");
    EXPECT_EQ(ended.back()["action"], "hidden") << "EndDialog hides the dialog";
    EXPECT_TRUE(IsWindow(ConfigDialog)) << "the windows stay until the program ends";
}

TEST_F(ConfigWindowTest, OkWithTheFirstCountryAndNoRevision001BoardStoresWithoutApplying) {
    struct Case {
        const char* name;
        std::string typed;  // empty: keep the text the dialog shows
        std::optional<DWORD> country;
    };
    const Case cases[] = {
        {"the offered default", "", std::nullopt},
        {"a name in other letter case", "germany", std::nullopt},
        {"a name that no row has", "Atlantis", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM});
        boxes_.clear();
        std::vector<UserAction> actions;
        if (!c.typed.empty())
            actions.push_back(UserAction::SetText(400, c.typed));
        actions.push_back(UserAction::Click(301));
        Run(actions);
        EXPECT_EQ(Stored("ModemCountry"), c.country);
        EXPECT_EQ(Stored("TarvexModem0"), std::optional<DWORD>(BOARD_IS_MODEM));
        EXPECT_EQ(Stored("FirstISATarvex"), std::optional<DWORD>(0xFFFFFFFFu));
        EXPECT_EQ(StartupEntry(), "");
        EXPECT_TRUE(boxes_.empty()) << "nothing is applied, so the driver is not asked";
        w95::ResetThreadWindows();
    }
}

TEST_F(ConfigWindowTest, TypedNameOfACountryNotOfferedIsStillFound) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM});
    Run({UserAction::SetText(400, "Canada"), UserAction::Click(301)});
    EXPECT_EQ(Stored("ModemCountry"), std::optional<DWORD>(20));
}

TEST_F(ConfigWindowTest, LongTypedTextIsCutAt58Characters) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM});
    // The dialog reads at most 58 characters into its buffer; the rest never reaches it.
    Run({UserAction::SetText(400, std::string(500, 'x')), UserAction::Click(301)});
    EXPECT_EQ(Stored("ModemCountry"), std::nullopt);
}

TEST_F(ConfigWindowTest, CancelAndCloseStoreNothing) {
    for (const UserAction& end : {UserAction::Click(300), UserAction::Close()}) {
        SCOPED_TRACE(w95::FormatUserAction(end));
        Detected(KIND_PCI_REV001, {BOARD_IS_MODEM});
        Run({UserAction::Click(502), UserAction::SetText(400, "Germany"), end});
        EXPECT_FALSE(SettingsStored());
        EXPECT_EQ(StartupEntry(), "");
        EXPECT_TRUE(boxes_.empty());
        w95::ResetThreadWindows();
    }
}

TEST_F(ConfigWindowTest, EscapeAndEnterOnACheckBoxDoNothing) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM});
    Run({UserAction::Key("esc"), UserAction::Key("enter"), UserAction::Key("space"),
         UserAction::Key("enter"), UserAction::Click(300)});
    ASSERT_EQ(waits_.size(), 5u) << "the dialog stays after Esc and Enter";
    EXPECT_TRUE(Control(waits_[2], 501)->checked) << "Enter did not toggle the box";
    EXPECT_FALSE(Control(waits_[3], 501)->checked) << "space did";
    EXPECT_TRUE(Control(waits_[4], 501)->focused);
    EXPECT_FALSE(SettingsStored());
}

TEST_F(ConfigWindowTest, EnterOnAFocusedPushButtonPressesIt) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM});
    // Tab from the last check box goes to the combo box, then to OK.
    Run({UserAction::Key("tab"), UserAction::Key("tab"), UserAction::Key("tab"),
         UserAction::Key("tab"), UserAction::Key("tab"), UserAction::Key("enter")});
    EXPECT_TRUE(Control(waits_[4], 400)->focused);
    EXPECT_TRUE(Control(waits_[5], 301)->focused);
    EXPECT_TRUE(SettingsStored()) << "Enter on OK is OK";
}

TEST_F(ConfigWindowTest, DefaultsPutBackWhatDetectionFound) {
    Detected(KIND_ISA_MODEM, {BOARD_IS_MODEM, 0, 0, 0});
    RegMakeKey(SETTINGS_KEY);
    RegPutDword(SETTINGS_KEY, "ModemCountry", 6);
    RegPutDword(SETTINGS_KEY, "TarvexModem2", BOARD_IS_MODEM | BOARD_OVERRIDDEN);
    Run({UserAction::Click(501), UserAction::SetText(400, "Italy"), UserAction::Click(303),
         UserAction::Click(300)});
    ASSERT_EQ(waits_.size(), 4u);
    EXPECT_EQ(Control(waits_[0], 400)->text, "Germany") << "the stored country at first";
    EXPECT_TRUE(Control(waits_[0], 503)->checked) << "the stored override at first";
    const UserWait& after = waits_[3];
    EXPECT_TRUE(Control(after, 501)->checked);
    EXPECT_FALSE(Control(after, 503)->checked);
    EXPECT_EQ(Control(after, 400)->text, "United States") << "not the stored country";
    EXPECT_EQ(Control(after, 400)->items.size(), 6u);
}

TEST_F(ConfigWindowTest, HelpOpensTheContentsAndTheDialogStays) {
    Detected(0, {});
    Run({UserAction::Click(302), UserAction::Click(300)});
    EXPECT_EQ(waits_.size(), 2u);
    auto help = w95test::JournalEvents("ui", "winhelp");
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0]["file"], "TVXMCFG.HLP");
    EXPECT_EQ(help[0]["command"], HELP_CONTENTS);
    EXPECT_EQ(help[0]["data"], 0);
}

}  // namespace
