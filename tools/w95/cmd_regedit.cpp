// w95 regedit: REGEDIT4 import and export of the machine's registry, and the test faults.
//   regedit import FILE
//   regedit export [KEY]                 (REGEDIT4 on standard output)
//   regedit fault KEY deny-write-open|fail-value-writes|clear
// Faults add up: a key can carry both; clear removes both from the key.
#include "commands.h"

#include "regedit.h"
#include "registry_store.h"

#include <cstdio>

namespace w95tool {
namespace {

int Import(const Args& args) {
    if (args.size() != 2)
        throw UsageError("regedit import takes one FILE");
    RequireMachine();
    w95::ImportRegeditFile(args[1]);
    return 0;
}

int Export(const Args& args) {
    if (args.size() > 2)
        throw UsageError("regedit export takes at most one KEY");
    RequireMachine();
    std::string text = w95::ExportRegedit(args.size() == 2 ? args[1] : "");
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        throw std::runtime_error("cannot write to standard output");
    }
    return 0;
}

int Fault(const Args& args) {
    if (args.size() != 3)
        throw UsageError("regedit fault takes a KEY and a fault");
    const std::string& mode = args[2];
    if (mode != "deny-write-open" && mode != "fail-value-writes" && mode != "clear") {
        throw UsageError("unknown fault " + mode +
                         " (deny-write-open, fail-value-writes or clear)");
    }
    RequireMachine();
    std::string key = w95::KeyBelowRoot(args[1]);
    if (mode == "deny-write-open") {
        w95::SetRegistryFault(key, w95::RegistryFault::DenyWriteOpen, true);
    } else if (mode == "fail-value-writes") {
        w95::SetRegistryFault(key, w95::RegistryFault::FailValueWrites, true);
    } else {
        w95::SetRegistryFault(key, w95::RegistryFault::DenyWriteOpen, false);
        w95::SetRegistryFault(key, w95::RegistryFault::FailValueWrites, false);
    }
    return 0;
}

}  // namespace

int RunRegedit(const Args& args) {
    if (args.empty())
        throw UsageError("regedit needs import, export or fault");
    if (args[0] == "import")
        return Import(args);
    if (args[0] == "export")
        return Export(args);
    if (args[0] == "fault")
        return Fault(args);
    throw UsageError("unknown regedit command " + args[0]);
}

}  // namespace w95tool
