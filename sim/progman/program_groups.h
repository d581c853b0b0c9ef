// The program groups of the start menu: one folder per group under
// <machine>/c/WINDOWS/Start Menu/Programs/, one small text file per item ("<caption>.item")
// holding its command line and caption. Carries out the four execute commands.
#pragma once

#include "execute_parser.h"

#include <filesystem>
#include <string>

namespace progman {

// The file of an item: "CommandLine=...\nCaption=...\n".
std::string ItemFileText(const std::string& command_line, const std::string& caption);

class ProgramGroups {
  public:
    explicit ProgramGroups(std::filesystem::path programs_folder);

    // Carries out one command; false, with the reason in WHY, for what cannot be done: an
    // unknown command, wrong arguments, a name that cannot be a folder, a group that does not
    // exist, an item with no group to go into.
    bool Execute(const ExecuteCommand& command, std::string& why);

    const std::filesystem::path& folder() const { return folder_; }

  private:
    bool CreateGroup(const ExecuteCommand& command, std::string& why);
    bool ShowGroup(const ExecuteCommand& command, std::string& why);
    bool AddItem(const ExecuteCommand& command, std::string& why);
    bool DeleteGroup(const ExecuteCommand& command, std::string& why);

    // The folder of the group named NAME (names compare without regard to case), or empty.
    std::filesystem::path FindGroup(const std::string& name) const;

    std::filesystem::path folder_;
    // The group that AddItem adds to: the one last created or shown.
    std::filesystem::path current_group_;
};

}  // namespace progman
