// w95 boot: a system start, as far as the programs see it: every command line of the RunServices
// key runs, in order, each to its end.
#include "commands.h"
#include "launch.h"

namespace w95tool {

int RunBoot(const Args& args) {
    if (!args.empty())
        throw UsageError("boot takes no arguments");
    RequireMachine();
    return RunStartList("Software\\Microsoft\\Windows\\CurrentVersion\\RunServices");
}

}  // namespace w95tool
