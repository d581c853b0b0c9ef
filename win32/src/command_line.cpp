#include "command_line.h"

#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

namespace w95 {
namespace {

bool IsBlankOrControl(char c) {
    auto code = static_cast<unsigned char>(c);
    return code != 0 && code <= 0x20;
}

// Every command line set in this process, kept so that pointers handed out stay valid.
struct CommandLines {
    std::mutex mutex;
    std::deque<std::string> texts;
};

CommandLines& TheCommandLines() {
    static CommandLines* lines = new CommandLines;  // never destroyed: threads may read at exit
    return *lines;
}

std::string HostArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        arguments.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(argument.c_str());
    return JoinArguments(static_cast<int>(argv.size()), argv.data());
}

void AppendQuoted(std::string& out, const std::string& argument) {
    out += '"';
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');  // before the closing quote
    out += '"';
}

}  // namespace

const char* CommandLineTail(const char* command_line) {
    const char* p = command_line;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && !IsBlankOrControl(*p))
            ++p;
    }
    while (IsBlankOrControl(*p))
        ++p;
    return p;
}

std::string CommandLineProgram(const std::string& command_line) {
    if (!command_line.empty() && command_line[0] == '"') {
        size_t end = command_line.find('"', 1);
        return command_line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    size_t end = 0;
    while (end < command_line.size() && !IsBlankOrControl(command_line[end]))
        ++end;
    return command_line.substr(0, end);
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        std::string argument = argv[i];
        if (i > 0)
            line += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
            line += argument;
        } else {
            AppendQuoted(line, argument);
        }
    }
    return line;
}

void SetProcessCommandLine(const std::string& command_line) {
    auto& lines = TheCommandLines();
    std::lock_guard lock(lines.mutex);
    lines.texts.push_back(command_line);
}

char* ProcessCommandLine() {
    auto& lines = TheCommandLines();
    std::lock_guard lock(lines.mutex);
    if (lines.texts.empty())
        lines.texts.push_back(HostArguments());
    return lines.texts.back().data();
}

}  // namespace w95
