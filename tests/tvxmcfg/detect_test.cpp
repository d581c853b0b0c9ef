// Board detection over enumerator keys seeded from REGEDIT4 fixtures.
#include "tvxmcfg.h"

#include "registry_fixture.h"
#include "temp_machine.h"
#include "tvxmcfg_state.h"
#include "ui_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string PciInstance(const std::string& device, const std::string& instance,
                        const std::string& revisionLine) {
    std::string text = "[HKEY_LOCAL_MACHINE\\ENUM\\PCI\\" + device + "\\" + instance + "]\n";
    if (!revisionLine.empty())
        text += revisionLine + "\n";
    return text + "\n";
}

std::string PciModem(const std::string& instance, const std::string& revision) {
    return PciInstance("VEN_1D2C&DEV_000C", instance, "\"HWRevision\"=\"" + revision + "\"");
}

std::string IsaInstance(const std::string& instance, const std::string& id) {
    return "[HKEY_LOCAL_MACHINE\\ENUM\\ROOT\\MULTIFUNCTION\\" + instance + "]\n\"HardwareID\"=\"" +
           id + "\"\n\n";
}

struct DetectCase {
    const char* name;
    std::string registry;
    std::vector<LONG> flags;  // BoardFlags of the boards found, in index order
    std::vector<BYTE> needsFirmware;
    BYTE kinds;
    LONG firstIsa;
    std::vector<std::string> boxes;  // texts of the message boxes, in order
};

// Cases print by name, not as raw bytes.
void PrintTo(const DetectCase& c, std::ostream* out) {
    *out << c.name;
}

std::string LongName(char letter, size_t length) {
    return std::string(length, letter);
}

const std::vector<DetectCase>& Cases() {
    static const std::vector<DetectCase> cases = {
        {"IsaModemAlone", IsaInstance("0001", "TRVX1002M"), {1}, {0}, 1, 0, {}},
        {"PciRevision001BeforeIsa",
         PciModem("BUS_00&DEV_0A", "001") + IsaInstance("0001", "TRVX1002M"),
         {1, 1},
         {1, 0},
         3,
         1,
         {}},
        {"PciRevision002", PciModem("BUS_00&DEV_0A", "002"), {1}, {0}, 4, -1, {}},
        {"PciPortBoardTwoInstances",
         PciInstance("VEN_1D2C&DEV_0004", "A", "") + PciInstance("VEN_1D2C&DEV_0004", "B", ""),
         {0, 0},
         {0, 0},
         0,
         -1,
         {}},
        {"LowerCaseDeviceKeyIgnored",
         PciInstance("ven_1d2c&dev_000c", "A", "\"HWRevision\"=\"001\""),
         {},
         {},
         0,
         -1,
         {}},
        {"AnyCharacterAtPositionEight",
         PciInstance("VEN_1D2C-DEV_000D", "A", "\"HWRevision\"=\"001\""),
         {1},
         {1},
         2,
         -1,
         {}},
        {"UnknownRevisionIsReported",
         PciModem("A", "003"),
         {0},
         {0},
         0,
         -1,
         {"Unknown TarvexModem PCI hardware revision : 003"}},
        {"MissingRevisionUsesIndexSilently",
         PciInstance("VEN_1D2C&DEV_000C", "A", ""),
         {0},
         {0},
         0,
         -1,
         {}},
        {"RevisionWithoutTerminator",
         PciInstance("VEN_1D2C&DEV_000C", "A", "\"HWRevision\"=hex:30,30,31"),
         {1},
         {1},
         2,
         -1,
         {}},
        {"RevisionTooLongForItsBuffer",
         PciInstance("VEN_1D2C&DEV_000C", "A", "\"HWRevision\"=\"0010000X\""),
         {0},
         {0},
         0,
         -1,
         {}},
        {"IsaIdentifiersOfTheFamily",
         IsaInstance("1", "TRVX1002") + IsaInstance("2", "TRVX1002MC") +
             IsaInstance("3", "TRVX1002MX"),
         {0, 0, 0},
         {0, 0, 0},
         0,
         0,
         {}},
        {"IsaModemControllerNeverFirst",
         IsaInstance("1", "TRVX1002MC") + IsaInstance("2", "TRVX1002M"),
         {0, 1},
         {0, 0},
         1,
         1,
         {}},
        {"IsaSkipsLongNamesAndStrangers",
         IsaInstance("ABCDEFGHIJK", "TRVX1002M") + IsaInstance("2", "PNP0501") +
             IsaInstance("3", "TRVX1002M"),
         {1},
         {0},
         1,
         0,
         {}},
        {"IsaIdentifierWithoutTerminator",
         "[HKEY_LOCAL_MACHINE\\ENUM\\ROOT\\MULTIFUNCTION\\1]\n"
         "\"HardwareID\"=hex:54,52,56,58,31,30,30,32,4d\n\n",
         {1},
         {0},
         1,
         0,
         {}},
        {"FourBoardsAtMost",
         PciModem("A", "001") + PciModem("B", "002") + IsaInstance("1", "TRVX1002M") +
             IsaInstance("2", "TRVX1002") + IsaInstance("3", "TRVX1002M"),
         {1, 1, 1, 0},
         {1, 0, 0, 0},
         7,
         2,
         {}},
        {"FourPciBoardsLeaveNoIsaIndex",
         PciModem("A", "001") + PciModem("B", "001") + PciModem("C", "001") + PciModem("D", "001") +
             IsaInstance("1", "TRVX1002M"),
         {1, 1, 1, 1},
         {1, 1, 1, 1},
         2,
         -1,
         {}},
        {"InstancePathTooLongIsPassedOver",
         PciInstance("VEN_1D2C&DEV_000C" + LongName('x', 60), LongName('y', 90),
                     "\"HWRevision\"=\"001\""),
         {0},
         {0},
         0,
         -1,
         {}},
    };
    return cases;
}

class DetectTest : public ::testing::TestWithParam<DetectCase> {};

TEST_P(DetectTest, FindsTheBoards) {
    const DetectCase& c = GetParam();
    w95test::TempMachine machine;
    w95test::ImportRegistry("REGEDIT4\n\n" + c.registry);
    w95test::AnswerMessageBoxesWithDefaults();
    ResetProgramState();

    DetectBoards();

    ASSERT_EQ(BoardCount, LONG(c.flags.size()));
    for (size_t i = 0; i < MAX_BOARDS; ++i) {
        LONG flags = i < c.flags.size() ? c.flags[i] : 0;
        BYTE needs = i < c.needsFirmware.size() ? c.needsFirmware[i] : 0;
        EXPECT_EQ(ModemSettings.BoardFlags[i], flags) << "board " << i;
        EXPECT_EQ(BoardNeedsFirmware[i], needs) << "board " << i;
    }
    EXPECT_EQ(DetectedKinds, c.kinds);
    EXPECT_EQ(FirstIsaBoard, c.firstIsa);
    EXPECT_EQ(0, memcmp(&DetectedSettings, &ModemSettings, sizeof(ModemSettings)));

    auto boxes = w95test::MessageBoxes();
    ASSERT_EQ(boxes.size(), c.boxes.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i]["text"], c.boxes[i]);
        EXPECT_EQ(boxes[i]["caption"], "Error");
        EXPECT_EQ(boxes[i]["style"], 0);
        EXPECT_EQ(boxes[i]["owner"], false);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, DetectTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
