// w95 config NAME VALUE: one machine setting (platform, screen, dialog base units, tick start).
#include "commands.h"

#include "machine.h"

namespace w95tool {

int RunConfig(const Args& args) {
    if (args.size() != 2)
        throw UsageError("config takes a NAME and a VALUE");
    RequireMachine();
    try {
        w95::SetMachineSetting(args[0], args[1]);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
    return 0;
}

}  // namespace w95tool
