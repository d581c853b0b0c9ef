// Serial ports as tests see them: the size of every write a program makes on a port.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace w95 {

// Told the port's name as the program opened it ("COM5") and the byte count of every WriteFile
// on a serial port, before the bytes go out. For tests; an empty function removes it.
using CommWriteObserver = std::function<void(const std::string& port, DWORD count)>;
void SetCommWriteObserver(CommWriteObserver observer);

}  // namespace w95
