// The utility's module-level state as the program entry sets it up before detection.
#pragma once

#include "tvxmcfg.h"

inline void ResetProgramState() {
    ZeroMemory(&ModemSettings, sizeof(ModemSettings));
    ZeroMemory(&DetectedSettings, sizeof(DetectedSettings));
    ZeroMemory(BoardNeedsFirmware, sizeof(BoardNeedsFirmware));
    ModemSettings.CountryCode = DetectedSettings.CountryCode = CountryTable[0].Code;
    DetectedKinds = 0;
    FirstIsaBoard = -1;
    BoardCount = 0;
}
