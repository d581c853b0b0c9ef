// w95: prepares and drives an emulated Windows 95 machine.
//   w95 [--machine DIR] COMMAND ARGS...
// The machine is DIR, else $W95_MACHINE, else ~/.w95.
#include "commands.h"

#include "machine.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

namespace w95tool {
namespace {

const Command kCommands[] = {
    {"init", "", "make the machine, or complete it keeping what it holds", RunInit},
    {"config", "NAME VALUE",
     "set platform (95, 98, nt), screen (800x600), dialog-base-units (8x16) or tick-start (ms)",
     RunConfig},
    {"regedit", "import FILE | export [KEY] | fault KEY deny-write-open|fail-value-writes|clear",
     "read or write REGEDIT4 files; mark a key for failing registry calls (tests)", RunRegedit},
    {"install", "[--from BUILD_DIR]",
     "put the built programs and modem images into C:\\WINDOWS\\SYSTEM\\tarvex", RunInstall},
    {"run", "\"COMMAND LINE\"", "run an installed program with exactly that command line", RunRun},
    {"boot", "", "run every RunServices entry in order, as a system start does", RunBoot},
    {"logon", "", "run every Run entry in order, as a logon does", RunLogon},
    {"journal", "[--follow] [--windows] [driver|ui|progman ...]",
     "show what the machine's journals recorded, as readable lines in time order", RunJournal},
};

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: w95 [--machine DIR] COMMAND ...\n");
    for (const auto& command : kCommands) {
        std::fprintf(out, "  w95 %s%s%s\n      %s\n", command.name, *command.usage ? " " : "",
                     command.usage, command.summary);
    }
    std::fprintf(out, "The machine is DIR, else $W95_MACHINE, else ~/.w95.\n");
}

int Main(const Args& args) {
    size_t next = 0;
    if (next < args.size() && args[next] == "--machine") {
        if (next + 1 >= args.size()) {
            std::fprintf(stderr, "w95: --machine needs a directory\n");
            PrintUsage(stderr);
            return 2;
        }
        w95::UseMachine(args[next + 1]);
        next += 2;
    }
    if (next >= args.size()) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string& name = args[next];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return 0;
    }
    for (const auto& command : kCommands) {
        if (name != command.name)
            continue;
        try {
            return command.run(Args(args.begin() + next + 1, args.end()));
        } catch (const UsageError& e) {
            std::fprintf(stderr, "w95 %s: %s\n", command.name, e.what());
            PrintUsage(stderr);
            return 2;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "w95 %s: %s\n", command.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "w95: unknown command %s\n", name.c_str());
    PrintUsage(stderr);
    return 2;
}

}  // namespace

void RequireMachine() {
    auto dir = w95::MachineDir();
    if (!std::filesystem::exists(dir / "registry.db")) {
        throw std::runtime_error("no machine at " + dir.string() + " (make one with w95 init)");
    }
}

}  // namespace w95tool

int main(int argc, char** argv) {
    return w95tool::Main(w95tool::Args(argv + 1, argv + argc));
}
