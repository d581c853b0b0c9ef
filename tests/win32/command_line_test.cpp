// How the start-up code splits a command line into program name and the tail WinMain receives.
#include "command_line.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

TEST(CommandLineTest, TailFollowsTheProgramNameAndItsBlanks) {
    struct Case {
        std::string line;
        std::string tail;
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg /AUTO", "/AUTO"},
        {"\"C:\\Program Files\\Tarvex\\TvxMCfg.exe\" /AUTO", "/AUTO"},
        {"\"C:\\Program Files\\x.exe\"/AUTO", "/AUTO"},
        {"tvxmcfg     /AUTO", "/AUTO"},
        {"tvxmcfg\t/AUTO", "/AUTO"},
        {"tvxmcfg \t \x01\x1f/AUTO", "/AUTO"},
        {"tvxmcfg /AUTO ", "/AUTO "},
        {"tvxmcfg /ADD  /TM", "/ADD  /TM"},
        {"tvxmcfg /auto", "/auto"},
        {"", ""},
        {"tvxmcfg", ""},
        {"tvxmcfg   ", ""},
        {"\"tvx mcfg\"", ""},
        {"\"unterminated name /AUTO", ""},
        // Bytes above 0x7F belong to the name, whatever the signedness of char.
        {"C:\\Tarvex\\Pr\xe9vu\xa0x /AUTO", "/AUTO"},
        {"tvxmcfg \xa0/AUTO", "\xa0/AUTO"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const char* tail = w95::CommandLineTail(c.line.c_str());
        EXPECT_EQ(std::string(tail), c.tail);
        // The tail is part of the line itself, as WinMain's argument is part of GetCommandLineA.
        EXPECT_GE(tail, c.line.c_str());
        EXPECT_LE(tail, c.line.c_str() + c.line.size());
    }
}

TEST(CommandLineTest, ProgramPartDropsQuotes) {
    struct Case {
        std::string line;
        std::string program;
    } cases[] = {
        {"C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg /AUTO", "C:\\WINDOWS\\SYSTEM\\Tarvex\\TvxMCfg"},
        {"\"C:\\Program Files\\x.exe\" /AUTO", "C:\\Program Files\\x.exe"},
        {"\"C:\\unterminated", "C:\\unterminated"},
        {"tvxgroup\t/REMOVE", "tvxgroup"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(w95::CommandLineProgram(c.line), c.program);
    }
}

TEST(CommandLineTest, ArgumentsAreJoinedSoTheTailKeepsThem) {
    struct Case {
        std::vector<const char*> argv;
        std::string line;
    } cases[] = {
        {{"tvxmcfg"}, "tvxmcfg"},
        {{"tvxmcfg", "/AUTO"}, "tvxmcfg /AUTO"},
        {{"/opt/my tools/tvxgroup", "/ADD", "/TM"}, "\"/opt/my tools/tvxgroup\" /ADD /TM"},
        {{"p", ""}, "p \"\""},
        {{"p", "say \"hi\""}, "p \"say \\\"hi\\\"\""},
        {{"p", "dir\\ x\\"}, "p \"dir\\ x\\\\\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(w95::JoinArguments(static_cast<int>(c.argv.size()), c.argv.data()), c.line);
    }
}

TEST(CommandLineTest, ProcessCommandLineStaysValidWhenReplaced) {
    w95::SetProcessCommandLine("first /AUTO");
    const char* first = GetCommandLineA();
    EXPECT_STREQ(first, "first /AUTO");
    w95::SetProcessCommandLine("second");
    EXPECT_STREQ(GetCommandLineA(), "second");
    EXPECT_STREQ(first, "first /AUTO");
}

}  // namespace
