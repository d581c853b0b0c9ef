// REGEDIT4 text files: how fixtures and demo machines are seeded (import) and how a machine's
// registry is inspected (export). Only HKEY_LOCAL_MACHINE exists on the emulated machine.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace w95 {

// A malformed REGEDIT4 text: what() reads "line N: what is wrong".
class RegeditError : public std::runtime_error {
  public:
    RegeditError(int line, const std::string& problem);
    int line() const { return line_; }

  private:
    int line_;
};

// Applies a REGEDIT4 text to the machine's registry in one transaction. A malformed text is
// refused whole with RegeditError and changes nothing. Test faults do not apply: importing is the
// administrator's tool, not a program's registry call.
void ImportRegedit(const std::string& text);

// The same for a file; std::runtime_error when the file cannot be read.
void ImportRegeditFile(const std::filesystem::path& file);

// The key and its whole subtree as REGEDIT4 text: keys and values in creation order, each value in
// the form that imports back to the same type and bytes. KEY is relative to HKEY_LOCAL_MACHINE or
// starts with "HKEY_LOCAL_MACHINE\"; empty for the whole registry. std::runtime_error when the key
// does not exist or a name cannot be written in REGEDIT4 (a line break in it).
std::string ExportRegedit(const std::string& key);

// KEY relative to HKEY_LOCAL_MACHINE: drops a leading "HKEY_LOCAL_MACHINE" or
// "HKEY_LOCAL_MACHINE\" (any case); std::runtime_error for another root ("HKEY_CURRENT_USER\...").
std::string KeyBelowRoot(const std::string& key);

}  // namespace w95
