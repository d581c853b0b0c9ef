// The program entry: builds the process's command line and hands WinMain its tail, as the start-up
// code of a Windows program does.
#include <windows.h>

#include "command_line.h"
#include "module.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

int main(int argc, char** argv) {
    // The machine tool passes the exact command line it was given; children must not inherit it.
    if (const char* given = std::getenv("W95_COMMAND_LINE")) {
        w95::SetProcessCommandLine(given);
        ::unsetenv("W95_COMMAND_LINE");
    } else {
        w95::SetProcessCommandLine(w95::JoinArguments(argc, argv));
    }
    char* command_line = GetCommandLineA();
    char* tail = command_line + (w95::CommandLineTail(command_line) - command_line);
    return WinMain(w95::ProgramInstance(), nullptr, tail, 1 /* SW_SHOWNORMAL */);
}
