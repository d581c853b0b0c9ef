#include "paths.h"

#include "machine.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace fs = std::filesystem;

namespace w95 {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsValidComponent(const std::string& name) {
    for (unsigned char c : name) {
        if (c < 0x20 || std::strchr("<>:\"|?*", c))
            return false;
    }
    return true;
}

bool EntryExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

// The spelling under which NAME exists in DIR: NAME itself when it exists so, else the first in
// byte order of the entries that differ from it only in case.
std::optional<std::string> FindEntry(const fs::path& dir, const std::string& name) {
    if (EntryExists(dir / name))
        return name;
    std::optional<std::string> best;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        std::string candidate = entry.path().filename().string();
        if (SameIgnoringCase(candidate, name) && (!best || candidate < *best))
            best = candidate;
    }
    return best;
}

// Splits the part after the drive into names, with "." dropped and ".." taken back lexically,
// never above the root, as Windows does.
std::optional<std::vector<std::string>> SplitComponents(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        std::string name = text.substr(start, end - start);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            if (!IsValidComponent(name))
                return std::nullopt;
            names.push_back(std::move(name));
        }
        start = end + 1;
    }
    return names;
}

bool HasDirectoryPart(const std::string& program) {
    return std::any_of(program.begin(), program.end(),
                       [](char c) { return IsSeparator(c) || c == ':'; });
}

bool HasExtension(const std::string& program) {
    auto last_separator = program.find_last_of("\\/:");
    auto name_start = last_separator == std::string::npos ? 0 : last_separator + 1;
    return program.find('.', name_start) != std::string::npos;
}

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Path REL (lexically normal) below ROOT, or nullopt when it lies outside.
std::optional<fs::path> Below(const fs::path& path, const fs::path& root) {
    fs::path relative = path.lexically_relative(root);
    if (relative.empty())
        return std::nullopt;
    auto first = relative.begin();
    if (first != relative.end() && *first == "..")
        return std::nullopt;
    return relative;
}

std::string WithBackslashes(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

}  // namespace

HostPath ToHostPath(const std::string& windows_path) {
    HostPath result;
    if (windows_path.empty()) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    std::string rest = windows_path;
    fs::path root;
    if (rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') {
        char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        if (drive == 'C') {
            root = DriveCRoot();
        } else if (drive == 'Z') {
            root = "/";
        } else {
            result.error = ERROR_PATH_NOT_FOUND;
            return result;
        }
        // "C:name" is relative to the drive's current directory, which is always its root here.
        rest.erase(0, 2);
    } else if (IsSeparator(rest[0])) {
        root = DriveCRoot();  // the current drive
    } else {
        std::error_code error;
        root = fs::current_path(error);
        if (error)
            root = DriveCRoot();
    }

    auto names = SplitComponents(rest);
    if (!names) {
        result.error = ERROR_INVALID_NAME;
        return result;
    }

    fs::path current = root;
    bool existing = true;  // every component so far exists
    result.parent_exists = true;
    for (size_t i = 0; i < names->size(); ++i) {
        const std::string& name = (*names)[i];
        bool last = i + 1 == names->size();
        std::optional<std::string> found;
        if (existing)
            found = FindEntry(current, name);
        current /= found ? *found : name;
        if (!last) {
            std::error_code error;
            existing = found && fs::is_directory(current, error);
            if (!existing)
                result.parent_exists = false;
        }
    }
    result.path = current;
    return result;
}

std::optional<fs::path> ResolveProgramPath(const std::string& program) {
    if (program.empty())
        return std::nullopt;
    std::vector<std::string> names;
    if (!HasExtension(program))
        names.push_back(program + ".exe");
    names.push_back(program);

    std::vector<std::string> folders;
    if (HasDirectoryPart(program)) {
        folders.push_back("");
    } else {
        folders = {"", "C:\\WINDOWS\\SYSTEM\\", "C:\\WINDOWS\\"};
    }
    for (const auto& folder : folders) {
        for (const auto& name : names) {
            HostPath candidate = ToHostPath(folder + name);
            if (candidate.error == ERROR_SUCCESS && IsRegularFile(candidate.path)) {
                return candidate.path;
            }
        }
    }
    return std::nullopt;
}

std::string ToWindowsPath(const fs::path& host_path) {
    std::error_code error;
    fs::path absolute = fs::absolute(host_path, error).lexically_normal();
    if (!absolute.empty() && !absolute.has_filename())
        absolute = absolute.parent_path();
    fs::path canonical = fs::weakly_canonical(absolute, error);
    if (error)
        canonical = absolute;
    fs::path drive_c = DriveCRoot().lexically_normal();
    fs::path drive_c_canonical = fs::weakly_canonical(drive_c, error);
    if (error)
        drive_c_canonical = drive_c;

    for (const auto& [path, root] :
         {std::pair{absolute, drive_c}, std::pair{canonical, drive_c},
          std::pair{absolute, drive_c_canonical}, std::pair{canonical, drive_c_canonical}}) {
        if (auto relative = Below(path, root)) {
            if (*relative == ".")
                return "C:\\";
            return "C:\\" + WithBackslashes(relative->generic_string());
        }
    }
    return "Z:" + WithBackslashes(absolute.generic_string());
}

}  // namespace w95
