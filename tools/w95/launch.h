// Starting the machine's programs as Windows would: a command line names an installed program
// (found without regard to case, ".exe" added where Windows adds it); the program receives exactly
// that command line. Shared by run, boot and logon.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace w95tool {

// Starts the program named by COMMAND_LINE in the machine this process uses, with
// W95_COMMAND_LINE set to the command line and W95_MACHINE to the machine (W95_USER and the rest
// of the environment pass through), waits for its end and returns its exit code (128 + the signal
// when a signal ended it). Throws std::runtime_error when there is no such program or it cannot
// be started.
int RunWindowsProgram(const std::string& command_line);

// The string values of the key at KEY_PATH below HKEY_LOCAL_MACHINE, in the order the registry
// keeps them: (value name, command line). Empty when the key does not exist.
std::vector<std::pair<std::string, std::string>> StartListEntries(const std::string& key_path);

// Runs every entry of the start list at KEY_PATH, one after the other, each to its end, as the
// system does at a start or a logon. The list is read before the first program runs, since the
// programs may remove their own entries. An entry that cannot be started is reported on stderr
// and the next runs all the same. Returns 0 when every entry started, 1 otherwise.
int RunStartList(const std::string& key_path);

}  // namespace w95tool
