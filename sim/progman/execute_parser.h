// The program manager's execute strings: one or more bracketed commands such as
// [CreateGroup(Name,name.grp)][ShowGroup(Name,2)], each a name with an optional list of arguments
// separated by commas. An argument is quoted ("a, b") or taken as written; an unquoted one keeps
// its inner blanks and may hold parentheses, since only the ")" before the closing "]" ends the
// list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace progman {

struct ExecuteCommand {
    std::string name;
    std::vector<std::string> arguments;
};

// The commands of TEXT in order, or nullopt when TEXT is not a well-formed execute string (then
// none of its commands is to be carried out).
std::optional<std::vector<ExecuteCommand>> ParseExecuteString(const std::string& text);

}  // namespace progman
