// w95 logon: a user's logon: every command line of the Run key runs, in order, each to its end.
#include "commands.h"
#include "launch.h"

namespace w95tool {

int RunLogon(const Args& args) {
    if (!args.empty())
        throw UsageError("logon takes no arguments");
    RequireMachine();
    return RunStartList("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace w95tool
