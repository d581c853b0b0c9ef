// Stored settings, the start-up entry and when the settings are applied at once.
#include "tvxmcfg.h"

#include "registry_fixture.h"
#include "registry_store.h"
#include "temp_machine.h"
#include "tvxmcfg_state.h"
#include "ui_journal.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using w95test::ReadDword;
using w95test::ReadString;

const char* const kSettings = "Software\\norvane\\tarvexport";
const char* const kStartup = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kStartupValue = "TarvexModem Config";
const std::string kStartupCommand =
    std::string("C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg /AUTO") + '\0';
const char* const kDriverBoxCaption = "TvxMCfg";  // shown when the apply step finds no driver

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w95test::AnswerMessageBoxesWithDefaults();
        ResetProgramState();
    }

    // Detection's outcome, set directly.
    void Detected(LONG board0, LONG board1, BYTE kinds, LONG firstIsa) {
        ModemSettings.BoardFlags[0] = board0;
        ModemSettings.BoardFlags[1] = board1;
        if (kinds & KIND_PCI_REV001)
            BoardNeedsFirmware[0] = 1;
        DetectedKinds = kinds;
        FirstIsaBoard = firstIsa;
        DetectedSettings = ModemSettings;
    }

    void Save(bool b0, bool b1, const char* country) {
        BOOL checked[MAX_BOARDS] = {b0, b1, FALSE, FALSE};
        EXPECT_EQ(SaveModemSettings(checked, country), 0);
    }

    std::vector<std::string> BoxCaptions() {
        std::vector<std::string> captions;
        for (const auto& box : w95test::MessageBoxes())
            captions.push_back(box["caption"]);
        return captions;
    }

    w95test::TempMachine machine_;
};

TEST_F(SettingsTest, DefaultCountryWithoutRevision001BoardStoresBoardsAndAppliesNothing) {
    w95test::ImportRegistry(std::string("[HKEY_LOCAL_MACHINE\\") + kSettings +
                            "]\n\"ModemCountry\"=dword:00000005\n\n[HKEY_LOCAL_MACHINE\\" +
                            kStartup + "]\n\"TarvexModem Config\"=\"old\"\n");
    Detected(BOARD_IS_MODEM, 0, KIND_ISA_MODEM, -1);
    Save(true, true, "United States");

    EXPECT_FALSE(ReadDword(kSettings, "ModemCountry"));
    EXPECT_EQ(ReadDword(kSettings, "TarvexModem0"), 1u);
    EXPECT_EQ(ReadDword(kSettings, "TarvexModem1"), 3u);  // checked, not detected
    EXPECT_FALSE(ReadDword(kSettings, "TarvexModem2"));
    EXPECT_EQ(ReadDword(kSettings, "FirstISATarvex"), 0xFFFFFFFFu);
    EXPECT_FALSE(ReadString(kStartup, kStartupValue));
    EXPECT_TRUE(BoxCaptions().empty());  // nothing applied: the driver was never asked
}

TEST_F(SettingsTest, Revision001BoardWritesTheStartupEntryAndApplies) {
    Detected(BOARD_IS_MODEM, 0, KIND_PCI_REV001, 0);
    Save(false, false, "United States");

    EXPECT_FALSE(ReadDword(kSettings, "ModemCountry"));
    EXPECT_EQ(ReadDword(kSettings, "TarvexModem0"), 2u);   // detected, unchecked by the user
    EXPECT_FALSE(ReadDword(kSettings, "FirstISATarvex"));  // 0 is the default
    EXPECT_EQ(ReadString(kStartup, kStartupValue), kStartupCommand);
    EXPECT_EQ(BoxCaptions(), std::vector<std::string>{kDriverBoxCaption});
}

TEST_F(SettingsTest, CountryTextChoosesTheStoredCode) {
    struct Case {
        const char* text;
        std::optional<DWORD> stored;
    };
    for (const Case& c : {Case{"Japan", 43u}, Case{"Canada", 20u}, Case{"Atlantis", std::nullopt},
                          Case{"japan", std::nullopt}, Case{"No Country Code", std::nullopt}}) {
        SCOPED_TRACE(c.text);
        Detected(BOARD_IS_MODEM, 0, KIND_PCI_REV002, -1);
        Save(true, false, c.text);
        EXPECT_EQ(ReadDword(kSettings, "ModemCountry"), c.stored);
        // Another country than the first row makes the start-up entry whatever the boards.
        EXPECT_EQ(ReadString(kStartup, kStartupValue).has_value(), c.stored.has_value());
    }
}

TEST_F(SettingsTest, LoadLaysOverridesAndCountryOverDetection) {
    w95test::ImportRegistry(std::string("[HKEY_LOCAL_MACHINE\\") + kSettings +
                            "]\n\"TarvexModem0\"=dword:00000002\n\"TarvexModem1\"=dword:00000001\n"
                            "\"TarvexModem2\"=dword:00000003\n\"ModemCountry\"=dword:00000063\n");
    Detected(BOARD_IS_MODEM, BOARD_IS_MODEM, 0, -1);
    ModemSettings.CountryCode = 5;

    LoadModemSettings();

    EXPECT_EQ(ModemSettings.BoardFlags[0], 2);  // overridden: unchecked
    EXPECT_EQ(ModemSettings.BoardFlags[1], 1);  // a stored 1 is ignored
    EXPECT_EQ(ModemSettings.BoardFlags[2], 3);  // overridden: checked
    EXPECT_EQ(ModemSettings.BoardFlags[3], 0);
    EXPECT_EQ(ModemSettings.CountryCode, 99);  // kept although no row carries it
    EXPECT_EQ(DetectedSettings.CountryCode, 22);
}

TEST_F(SettingsTest, LoadWithoutSettingsKeepsDetection) {
    Detected(BOARD_IS_MODEM, 0, KIND_ISA_MODEM, 0);
    ModemSettings.CountryCode = 5;
    LoadModemSettings();
    EXPECT_EQ(ModemSettings.BoardFlags[0], 1);
    EXPECT_EQ(ModemSettings.CountryCode, 22);
}

TEST_F(SettingsTest, StoredFirstIsaBoardRoundTrips) {
    EXPECT_EQ(ReadStoredFirstIsaBoard(), 0);  // no settings key
    for (LONG first : {-1, 0, 2}) {
        Detected(0, 0, 0, first);
        Save(false, false, "United States");
        EXPECT_EQ(ReadStoredFirstIsaBoard(), first);
    }
}

TEST_F(SettingsTest, RegistryFailuresAreShownAndTheSaveGoesOn) {
    w95::SetRegistryFault("Software\\norvane", w95::RegistryFault::DenyWriteOpen, true);
    w95::SetRegistryFault(kStartup, w95::RegistryFault::FailValueWrites, true);
    Detected(BOARD_IS_MODEM, 0, KIND_PCI_REV001, 0);
    Save(true, false, "Germany");

    // The key could not be made, its writes fail silently, the start-up value's write is shown,
    // and the settings are still applied.
    auto boxes = w95test::MessageBoxes();
    ASSERT_EQ(BoxCaptions(), (std::vector<std::string>{"Could not create key", "Reg. Error 1E",
                                                       kDriverBoxCaption}));
    EXPECT_EQ(boxes[0]["text"], kSettings);
    EXPECT_FALSE(w95test::KeyExists(kSettings));
}

TEST_F(SettingsTest, ValueWriteFailuresAreShownOncePerValue) {
    w95test::ImportRegistry(std::string("[HKEY_LOCAL_MACHINE\\") + kSettings + "]\n");
    w95::SetRegistryFault(kSettings, w95::RegistryFault::FailValueWrites, true);
    Detected(0, 0, KIND_ISA_MODEM, 1);
    Save(true, true, "United States");
    // Written: TarvexModem0, TarvexModem1 and FirstISATarvex; the removals fail silently.
    EXPECT_EQ(BoxCaptions(),
              (std::vector<std::string>{"Reg. Error 1F", "Reg. Error 1F", "Reg. Error 1F"}));
}

}  // namespace
