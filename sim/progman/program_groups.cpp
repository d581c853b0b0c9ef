#include "program_groups.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace progman {
namespace {

// Longest group name or caption; Windows limits a name in a path to 255 characters, and the
// item file adds ".item".
constexpr size_t kMaxName = 240;

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsForbiddenInName(unsigned char c) {
    return c < 0x20 || std::strchr("\\/:*?\"<>|", c);
}

// A group name must be usable as one folder name as it stands.
bool IsValidGroupName(const std::string& name) {
    if (name.empty() || name.size() > kMaxName)
        return false;
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return IsForbiddenInName(static_cast<unsigned char>(c)); })) {
        return false;
    }
    return name.find_first_not_of(". ") != std::string::npos;
}

// The file name of an item: its caption with the characters that no file name may hold
// replaced, so that any caption can be stored.
std::string ItemFileName(const std::string& caption) {
    std::string name = caption;
    for (char& c : name) {
        if (IsForbiddenInName(static_cast<unsigned char>(c)))
            c = '_';
    }
    if (name.find_first_not_of(". ") == std::string::npos)
        name = "_" + name;
    return name + ".item";
}

// The caption an item gets when the command gives none: its program's file name without the
// folder and the extension, as the program manager shows it.
std::string DefaultCaption(const std::string& command_line) {
    std::string program = command_line;
    if (!program.empty() && program[0] == '"') {
        size_t end = program.find('"', 1);
        program = program.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    } else {
        program = program.substr(0, program.find(' '));
    }
    size_t slash = program.find_last_of("\\/:");
    if (slash != std::string::npos)
        program = program.substr(slash + 1);
    size_t dot = program.rfind('.');
    if (dot != std::string::npos && dot > 0)
        program = program.substr(0, dot);
    return program;
}

bool ArgumentCount(const ExecuteCommand& command, size_t least, size_t most, std::string& why) {
    if (command.arguments.size() >= least && command.arguments.size() <= most)
        return true;
    why = command.name + " takes " + std::to_string(least) + " to " + std::to_string(most) +
          " arguments, not " + std::to_string(command.arguments.size());
    return false;
}

}  // namespace

std::string ItemFileText(const std::string& command_line, const std::string& caption) {
    return "CommandLine=" + command_line + "\nCaption=" + caption + "\n";
}

ProgramGroups::ProgramGroups(fs::path programs_folder) : folder_(std::move(programs_folder)) {}

bool ProgramGroups::Execute(const ExecuteCommand& command, std::string& why) {
    const std::string name = Lowered(command.name);
    if (name == "creategroup")
        return CreateGroup(command, why);
    if (name == "showgroup")
        return ShowGroup(command, why);
    if (name == "additem")
        return AddItem(command, why);
    if (name == "deletegroup")
        return DeleteGroup(command, why);
    why = "unknown command " + command.name;
    return false;
}

fs::path ProgramGroups::FindGroup(const std::string& name) const {
    std::error_code error;
    if (fs::is_directory(folder_ / name, error))
        return folder_ / name;
    const std::string wanted = Lowered(name);
    for (const auto& entry : fs::directory_iterator(folder_, error)) {
        if (entry.is_directory(error) && Lowered(entry.path().filename().string()) == wanted) {
            return entry.path();
        }
    }
    return {};
}

// CreateGroup(name[, group file[, common]]): makes the group, or takes the existing one of
// that name, and makes it the group that items go into.
bool ProgramGroups::CreateGroup(const ExecuteCommand& command, std::string& why) {
    if (!ArgumentCount(command, 1, 3, why))
        return false;
    const std::string& name = command.arguments[0];
    if (!IsValidGroupName(name)) {
        why = "not a group name: " + name;
        return false;
    }
    fs::path group = FindGroup(name);
    if (group.empty()) {
        group = folder_ / name;
        std::error_code error;
        fs::create_directories(group, error);
        if (error) {
            why = "cannot create " + group.string() + ": " + error.message();
            return false;
        }
    }
    current_group_ = group;
    return true;
}

// ShowGroup(name, show command[, common]): the group must exist; it becomes the group that items
// go into.
bool ProgramGroups::ShowGroup(const ExecuteCommand& command, std::string& why) {
    if (!ArgumentCount(command, 2, 3, why))
        return false;
    const std::string& show = command.arguments[1];
    if (show.empty() || show.size() > 2 ||
        !std::all_of(show.begin(), show.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(show) < 1 || std::stoi(show) > 8) {
        why = "not a show command: " + show;
        return false;
    }
    fs::path group = FindGroup(command.arguments[0]);
    if (group.empty() || !IsValidGroupName(command.arguments[0])) {
        why = "no group " + command.arguments[0];
        return false;
    }
    current_group_ = group;
    return true;
}

// AddItem(command line[, caption[, icon path[, icon index[, x, y[, folder[, hot key[,
// minimised[, separate]]]]]]]]): adds the item to the group last created or shown, replacing an
// item of the same caption.
bool ProgramGroups::AddItem(const ExecuteCommand& command, std::string& why) {
    if (!ArgumentCount(command, 1, 10, why))
        return false;
    const std::string& command_line = command.arguments[0];
    if (command_line.empty()) {
        why = "an item needs a command line";
        return false;
    }
    std::error_code error;
    if (current_group_.empty() || !fs::is_directory(current_group_, error)) {
        why = "no group to add the item to";
        return false;
    }
    std::string caption = command.arguments.size() > 1 && !command.arguments[1].empty()
                              ? command.arguments[1]
                              : DefaultCaption(command_line);
    if (caption.empty() || caption.size() > kMaxName) {
        why = "not a caption: " + caption;
        return false;
    }
    fs::path item = current_group_ / ItemFileName(caption);
    std::ofstream out(item, std::ios::binary | std::ios::trunc);
    out << ItemFileText(command_line, caption);
    out.close();
    if (!out) {
        why = "cannot write " + item.string();
        return false;
    }
    return true;
}

// DeleteGroup(name[, common]): removes the group with its items; a group that does not exist
// cannot be removed.
bool ProgramGroups::DeleteGroup(const ExecuteCommand& command, std::string& why) {
    if (!ArgumentCount(command, 1, 2, why))
        return false;
    fs::path group =
        IsValidGroupName(command.arguments[0]) ? FindGroup(command.arguments[0]) : fs::path();
    if (group.empty()) {
        why = "no group " + command.arguments[0];
        return false;
    }
    std::error_code error;
    fs::remove_all(group, error);
    if (error) {
        why = "cannot remove " + group.string() + ": " + error.message();
        return false;
    }
    if (current_group_ == group)
        current_group_.clear();
    return true;
}

}  // namespace progman
