// The utility's run modes through the installed executable: the command-line tail decides
// between the configuration window, the automatic run and nothing.
#include "machine.h"
#include "progman_process.h"
#include "registry.h"
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

#define SETTINGS_KEY "Software\\norvane\\tarvexport"

struct RunCase {
    const char* name;
    std::string command_line;
    std::optional<DWORD> stored_first_isa;  // "FirstISATarvex" before the run
    const char* platform;
    std::string script;                // the user's actions; empty: nobody at the machine
    std::vector<std::string> windows;  // classes of the windows created, in order
    std::vector<std::string> box_captions;
};

// Cases print by name, not as raw bytes.
void PrintTo(const RunCase& c, std::ostream* out) {
    *out << c.name;
}

class RunModesTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunModesTest, CommandLineChoosesTheMode) {
    const RunCase& c = GetParam();
    w95test::TempMachine machine;
    fs::path w95_tool = fs::path(TARVEX_BUILD_DIR) / "tools" / "w95";
    auto installed =
        w95test::RunProcess({w95_tool.string(), "--machine", machine.dir().string(), "install"});
    ASSERT_EQ(installed.status, 0) << installed.errors;
    w95::SetMachineSetting("platform", c.platform);
    if (c.stored_first_isa) {
        RegMakeKey(SETTINGS_KEY);
        RegPutDword(SETTINGS_KEY, "FirstISATarvex", *c.stored_first_isa);
    }
    std::vector<std::string> environment = {"W95_USER="};
    if (!c.script.empty()) {
        fs::path script = machine.path("user.txt");
        std::ofstream(script) << c.script;
        environment = {"W95_USER=" + script.string()};
    }
    auto run = w95test::RunProcess(
        {w95_tool.string(), "--machine", machine.dir().string(), "run", c.command_line},
        environment);
    EXPECT_EQ(run.status, 0) << run.errors;

    std::vector<std::string> created;
    for (const auto& event : w95test::JournalEvents("ui", "window")) {
        if (event["action"] == "created")
            created.push_back(event["class"].get<std::string>());
    }
    EXPECT_EQ(created, c.windows);
    std::vector<std::string> captions;
    for (const auto& box : w95test::MessageBoxes())
        captions.push_back(box["caption"].get<std::string>());
    EXPECT_EQ(captions, c.box_captions);
}

const char kProgram[] = "C:\\WINDOWS\\SYSTEM\\tarvex\\TVXMCFG";
const std::vector<std::string> kConfigWindow = {"TarvexModem", "#32770"};
const std::vector<std::string> kNoWindow = {};
const std::string kCancel = "click 300\n";

INSTANTIATE_TEST_SUITE_P(
    Tvxmcfg, RunModesTest,
    ::testing::Values(
        RunCase{"NtFamilyEndsAtOnce", kProgram, std::nullopt, "nt", "", kNoWindow, {}},
        RunCase{
            "EmptyTailOpensTheWindow", kProgram, std::nullopt, "95", kCancel, kConfigWindow, {}},
        RunCase{"LowerCaseSwitchDoesNothing",
                std::string(kProgram) + " /auto",
                std::nullopt,
                "95",
                "",
                kNoWindow,
                {}},
        RunCase{"BlankAfterTheSwitchDoesNothing",
                std::string(kProgram) + " /AUTO ",
                uint32_t{0},
                "98",
                "",
                kNoWindow,
                {}},
        RunCase{"OtherArgumentDoesNothing",
                std::string(kProgram) + " /CONFIG",
                std::nullopt,
                "95",
                "",
                kNoWindow,
                {}},
        // No board: the first ISA board is -1, and a missing value reads as 0.
        RunCase{"AutoWithoutStoredSettingsWarnsAndOpensTheWindow",
                std::string(kProgram) + " /AUTO",
                std::nullopt,
                "95",
                "answer ok\n" + kCancel,
                kConfigWindow,
                {"TvxMCfg Warning"}},
        RunCase{"AutoWithMatchingStoredIndexRunsWithoutTheWindow",
                std::string(kProgram) + "   /AUTO",
                uint32_t{0xFFFFFFFF},
                "95",
                "",
                {"STATIC"},
                {"TvxMCfg"}}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(InitializingWindowTest, AutomaticRunShowsItMinimisedWithItsCaption) {
    w95test::TempMachine machine;
    fs::path w95_tool = fs::path(TARVEX_BUILD_DIR) / "tools" / "w95";
    ASSERT_EQ(
        w95test::RunProcess({w95_tool.string(), "--machine", machine.dir().string(), "install"})
            .status,
        0);
    RegMakeKey(SETTINGS_KEY);
    RegPutDword(SETTINGS_KEY, "FirstISATarvex", 0xFFFFFFFF);
    auto run = w95test::RunProcess({w95_tool.string(), "--machine", machine.dir().string(), "run",
                                    std::string(kProgram) + " /AUTO"},
                                   {"W95_USER="});
    EXPECT_EQ(run.status, 0) << run.errors;
    auto events = w95test::JournalEvents("ui", "window");
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0]["action"], "created");
    EXPECT_EQ(events[0]["title"], "TarvexModem Initializing...");
    EXPECT_EQ(events[0]["ex_style"], WS_EX_TOPMOST);
    EXPECT_EQ(events[0]["style"], WS_MINIMIZE | WS_CLIPCHILDREN | WS_CAPTION);
    EXPECT_EQ(events[1]["action"], "shown");
    EXPECT_EQ(events[1]["state"], "minimized");
    // The driver is absent: the run tells so, then ends without destroying the window.
    auto boxes = w95test::MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(boxes[0]["text"].get<std::string>().find("Failed to intialize"), std::string::npos);
}

}  // namespace
