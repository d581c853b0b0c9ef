// The machine tool's commands. Each command lives in its own cmd_<name>.cpp and has one row in the
// table of main.cpp.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace w95tool {

using Args = std::vector<std::string>;

// A command line that does not match the command's usage: main prints the usage, exits 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Command {
    const char* name;
    const char* usage;        // the arguments after the name, for the usage text
    const char* summary;      // one line on what the command does
    int (*run)(const Args&);  // the arguments after the name; returns the exit status
};
// Other failures are thrown as std::exception: main prints "w95 NAME: what()" and exits 1.

// Throws unless the machine this process uses has been made with `w95 init`.
void RequireMachine();

int RunInit(const Args& args);
int RunConfig(const Args& args);
int RunRegedit(const Args& args);
int RunInstall(const Args& args);
int RunRun(const Args& args);
int RunBoot(const Args& args);
int RunLogon(const Args& args);
int RunJournal(const Args& args);

}  // namespace w95tool
