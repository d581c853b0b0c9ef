// w95 run "COMMAND LINE": starts the installed program that the command line names, with exactly
// that command line, and returns its exit code when it ends.
#include "commands.h"
#include "launch.h"

namespace w95tool {

int RunRun(const Args& args) {
    if (args.size() != 1)
        throw UsageError("run takes one COMMAND LINE, quoted as one argument");
    RequireMachine();
    return RunWindowsProgram(args[0]);
}

}  // namespace w95tool
