// The process's command line, and how a program's start-up code splits it into program name and
// tail.
#pragma once

#include <string>

namespace w95 {

// The tail handed to WinMain: what follows the program name (quoted or not) and the blanks and
// control characters (codes up to 0x20) after it. Points into COMMAND_LINE; trailing blanks stay.
const char* CommandLineTail(const char* command_line);

// The program name at the start of COMMAND_LINE, without its quotes.
std::string CommandLineProgram(const std::string& command_line);

// A command line for ARGV as Windows would write it: arguments joined by one blank, those with
// blanks, tabs or quotes (or empty ones) quoted so that the usual parsing gives them back.
std::string JoinArguments(int argc, const char* const* argv);

// What GetCommandLineA returns from now on. Earlier results stay valid.
void SetProcessCommandLine(const std::string& command_line);

// The process's command line: the last one set, else the host's own arguments.
char* ProcessCommandLine();

}  // namespace w95
