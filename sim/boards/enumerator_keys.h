// The hardware enumerator's view of the boards: the keys it keeps under HKEY_LOCAL_MACHINE\ENUM,
// written through the layer's registry functions as the enumerator would at boot.
#pragma once

#include "board_file.h"

namespace boardsim {

// PCI boards: ENUM\PCI\<device key>\<instance key> with "HWRevision" (when the board has one);
// ISA boards: ENUM\ROOT\MULTIFUNCTION\<instance key> with "HardwareID". Keys are created in file
// order, so the registry enumerates them in that order. An instance key left by an earlier run
// is replaced. Throws std::runtime_error naming the key that could not be written.
void WriteEnumeratorKeys(const BoardFile& file);

}  // namespace boardsim
