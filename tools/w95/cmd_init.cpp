// w95 init: makes the machine directory a fresh Windows 95 machine (an existing one keeps what it
// holds and gains what it lacks).
#include "commands.h"

#include "machine.h"

#include <cstdio>

namespace w95tool {

int RunInit(const Args& args) {
    if (!args.empty())
        throw UsageError("init takes no arguments");
    auto dir = w95::MachineDir();
    w95::InitMachine(dir);
    std::printf("machine ready at %s\n", dir.c_str());
    return 0;
}

}  // namespace w95tool
