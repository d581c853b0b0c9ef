// The user's language: script lines, whole scripts, and the terminal that reads the same verbs.
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using w95::ParseUserLine;
using w95::ParseUserScript;
using w95::UserAction;
using w95::UserScriptError;
using w95::UserVerb;

struct GoodLine {
    const char* line;
    UserVerb verb;
    int id;
    const char* text;  // settext's text
    const char* name;  // key or answer name
};

std::ostream& operator<<(std::ostream& out, const GoodLine& c) {
    return out << '"' << c.line << '"';
}

class ParseGoodLine : public testing::TestWithParam<GoodLine> {};

TEST_P(ParseGoodLine, GivesTheAction) {
    const GoodLine& c = GetParam();
    std::optional<UserAction> action = ParseUserLine(c.line);
    ASSERT_TRUE(action.has_value()) << c.line;
    EXPECT_EQ(action->verb, c.verb) << c.line;
    EXPECT_EQ(action->id, c.id) << c.line;
    EXPECT_EQ(action->text, c.text) << c.line;
    EXPECT_EQ(action->name, c.name) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    EveryVerb, ParseGoodLine,
    testing::Values(
        GoodLine{"click 501", UserVerb::Click, 501, "", ""},
        GoodLine{"  CLICK\t7  ", UserVerb::Click, 7, "", ""},
        GoodLine{"click 65535", UserVerb::Click, 65535, "", ""},
        GoodLine{"click 1 # the OK button", UserVerb::Click, 1, "", ""},
        GoodLine{"menu 201", UserVerb::Menu, 201, "", ""},
        GoodLine{"key enter", UserVerb::Key, 0, "", "enter"},
        GoodLine{"key ESC", UserVerb::Key, 0, "", "esc"},
        GoodLine{"key tab", UserVerb::Key, 0, "", "tab"},
        GoodLine{"key space", UserVerb::Key, 0, "", "space"},
        GoodLine{"answer ok", UserVerb::Answer, 0, "", "ok"},
        GoodLine{"answer Cancel", UserVerb::Answer, 0, "", "cancel"},
        GoodLine{"answer yes", UserVerb::Answer, 0, "", "yes"},
        GoodLine{"answer no", UserVerb::Answer, 0, "", "no"},
        GoodLine{"answer abort", UserVerb::Answer, 0, "", "abort"},
        GoodLine{"answer retry", UserVerb::Answer, 0, "", "retry"},
        GoodLine{"answer ignore", UserVerb::Answer, 0, "", "ignore"},
        GoodLine{"close", UserVerb::Close, 0, "", ""},
        GoodLine{"close\r", UserVerb::Close, 0, "", ""},
        // settext: the rest of the line after one blank is the text, blanks and '#' kept.
        GoodLine{"settext 12 Hello", UserVerb::SetText, 12, "Hello", ""},
        GoodLine{"settext 12   two  blanks  ", UserVerb::SetText, 12, "  two  blanks  ", ""},
        GoodLine{"settext 12 ATDT#31 # dial", UserVerb::SetText, 12, "ATDT#31 # dial", ""},
        GoodLine{"settext 12\tUnited Kingdom", UserVerb::SetText, 12, "United Kingdom", ""},
        GoodLine{"settext 12 line\r", UserVerb::SetText, 12, "line", ""},
        GoodLine{"settext 12", UserVerb::SetText, 12, "", ""},
        GoodLine{"settext 12 ", UserVerb::SetText, 12, "", ""}));

TEST(ParseUserLine, BlankLinesAndCommentsGiveNoAction) {
    for (const char* line :
         {"", "   ", "\t", "\r", "# a comment", "   # indented comment", "#click 5"}) {
        EXPECT_FALSE(ParseUserLine(line).has_value()) << '"' << line << '"';
    }
}

struct BadLine {
    const char* line;
    const char* complaint;  // part of the message
};

std::ostream& operator<<(std::ostream& out, const BadLine& c) {
    return out << '"' << c.line << '"';
}

class ParseBadLine : public testing::TestWithParam<BadLine> {};

TEST_P(ParseBadLine, IsRejectedWithAReason) {
    const BadLine& c = GetParam();
    try {
        ParseUserLine(c.line);
        ADD_FAILURE() << "accepted: " << c.line;
    } catch (const UserScriptError& error) {
        EXPECT_NE(std::string(error.what()).find(c.complaint), std::string::npos)
            << c.line << " -> " << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ParseBadLine,
    testing::Values(BadLine{"jump 5", "unknown verb 'jump'"}, BadLine{"click", "needs one id"},
                    BadLine{"click abc", "bad id 'abc'"}, BadLine{"click -1", "bad id '-1'"},
                    BadLine{"click 0x10", "bad id '0x10'"}, BadLine{"click 1.5", "bad id '1.5'"},
                    BadLine{"click 65536", "bad id '65536'"},
                    BadLine{"click 99999999999", "bad id '99999999999'"},
                    BadLine{"click 5 6", "unexpected '6'"}, BadLine{"menu", "needs one id"},
                    BadLine{"key", "needs one key name"}, BadLine{"key f1", "unknown key 'f1'"},
                    BadLine{"key enter esc", "unexpected 'esc'"},
                    BadLine{"answer", "needs one answer"},
                    BadLine{"answer maybe", "unknown answer 'maybe'"},
                    BadLine{"close now", "unexpected 'now'"}, BadLine{"settext", "needs an id"},
                    BadLine{"settext x text", "bad id 'x'"}));

TEST(ParseUserScript, KeepsOrderAndLineNumbersSkippingCommentsAndBlanks) {
    const std::string script =
        "# drive the configuration dialog\r\n"
        "\r\n"
        "click 501\r\n"
        "settext 1000 Germany \r\n"
        "   # the country is set\n"
        "click 1\n"
        "answer ok";  // no line end after the last line
    auto actions = ParseUserScript(script, "drive.txt");
    ASSERT_EQ(actions.size(), 4u);
    EXPECT_EQ(w95::FormatUserAction(actions[0]), "click 501");
    EXPECT_EQ(actions[1].text, "Germany ");
    EXPECT_EQ(w95::FormatUserAction(actions[3]), "answer ok");
    const int lines[] = {3, 4, 6, 7};
    for (size_t i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(actions[i].line, lines[i]);
        EXPECT_EQ(actions[i].script, "drive.txt");
        EXPECT_EQ(actions[i].source, w95::UserSource::Script);
    }
}

TEST(ParseUserScript, BadLineIsNamedByFileAndLine) {
    const std::string script = "# start\nclick 1\n\nanswer perhaps\nclick 2\n";
    try {
        ParseUserScript(script, "/tmp/drive.txt");
        FAIL() << "accepted";
    } catch (const UserScriptError& error) {
        EXPECT_EQ(error.line(), 4);
        EXPECT_EQ(
            std::string(error.what()).rfind("/tmp/drive.txt line 4: unknown answer 'perhaps'", 0),
            0u)
            << error.what();
    }
}

TEST(FormatUserAction, RoundTripsThroughTheParser) {
    for (const char* line :
         {"click 3", "settext 7  spaced text ", "menu 40", "key tab", "answer retry", "close"}) {
        auto action = ParseUserLine(line);
        ASSERT_TRUE(action.has_value());
        EXPECT_EQ(w95::FormatUserAction(*action), line);
    }
}

// $W95_USER for one test; the script is read at its first use.
class ScriptFile : public testing::Test {
  protected:
    ~ScriptFile() override {
        w95::SetUserCallback(nullptr);
        unsetenv("W95_USER");
    }

    std::string Use(const std::string& text) {
        std::string path = machine_.path("user.txt").string();
        std::ofstream(path, std::ios::binary) << text;
        setenv("W95_USER", path.c_str(), 1);
        return path;
    }

    w95test::TempMachine machine_;
    w95::UserWait wait_;
};

TEST_F(ScriptFile, ActionsAreHandedOutInOrder) {
    std::string path = Use("click 5\n# comment\nmenu 9\n");
    auto first = w95::NextUserAction(wait_);
    auto second = w95::NextUserAction(wait_);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(w95::FormatUserAction(*first), "click 5");
    EXPECT_EQ(w95::FormatUserAction(*second), "menu 9");
    EXPECT_EQ(second->script, path);
    EXPECT_EQ(second->line, 3);
}

TEST_F(ScriptFile, CallbackComesBeforeTheScript) {
    Use("click 5\n");
    w95::SetUserCallback([](const w95::UserWait&) { return UserAction::Menu(77); });
    auto action = w95::NextUserAction(wait_);
    ASSERT_TRUE(action);
    EXPECT_EQ(w95::FormatUserAction(*action), "menu 77");
    EXPECT_EQ(action->source, w95::UserSource::Callback);

    w95::SetUserCallback(nullptr);
    action = w95::NextUserAction(wait_);
    ASSERT_TRUE(action);
    EXPECT_EQ(w95::FormatUserAction(*action), "click 5");  // the script was not consumed
}

TEST_F(ScriptFile, MalformedLineEndsTheProgramAtFirstUse) {
    std::string path = Use("click 1\nclick 2\nclick two\n");
    EXPECT_EXIT(w95::NextUserAction(wait_), testing::ExitedWithCode(3),
                "user.txt line 3: bad id 'two'");
    auto errors = w95test::JournalEvents("ui", "user-error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["script"], path);
}

TEST_F(ScriptFile, MissingScriptEndsTheProgram) {
    setenv("W95_USER", machine_.path("absent.txt").c_str(), 1);
    EXPECT_EXIT(w95::NextUserAction(wait_), testing::ExitedWithCode(3),
                "cannot read the user script .*absent.txt");
}

TEST_F(ScriptFile, ExhaustedScriptEndsTheProgram) {
    Use("click 1\n");
    wait_.caption = "Setup";
    ASSERT_TRUE(w95::NextUserAction(wait_));
    EXPECT_EXIT(w95::NextUserAction(wait_), testing::ExitedWithCode(3),
                "the script ended.*message box \"Setup\"");
}

TEST(Unattended, NoSourceGivesNoAction) {
    w95test::TempMachine machine;
    unsetenv("W95_USER");
    int saved = dup(STDIN_FILENO);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, STDIN_FILENO);
    close(null_fd);
    bool got = w95::NextUserAction(w95::UserWait{}).has_value();
    dup2(saved, STDIN_FILENO);
    close(saved);
    EXPECT_FALSE(got);
}

// The terminal: what waits is drawn, and lines are read until one parses.
w95::UserWait QuestionBox() {
    w95::UserWait wait;
    wait.caption = "TvxMCfg Warning";
    wait.text = "The configuration may have changed.\n\nPlease verify.";
    wait.style = 0x34;  // MB_YESNO | MB_ICONWARNING
    wait.buttons = {{6, "yes"}, {7, "no"}};
    wait.default_button = 1;
    return wait;
}

TEST(Terminal, DrawsTheBoxWithItsDefaultButton) {
    std::string drawn = w95::RenderWait(QuestionBox());
    EXPECT_NE(drawn.find("+- TvxMCfg Warning -"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("|  (!) The configuration may have changed."), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("|      Please verify."), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("[ Yes ]  >[ No ]<"), std::string::npos) << drawn;
    // Every row of the frame has the same width.
    std::istringstream rows(drawn);
    std::string row, first;
    std::getline(rows, first);
    while (std::getline(rows, row))
        EXPECT_EQ(row.size(), first.size()) << row;
}

TEST(Terminal, WrapsLongLinesInsideTheFrame) {
    w95::UserWait wait = QuestionBox();
    wait.text = std::string(50, 'a') + " " + std::string(50, 'b');
    std::string drawn = w95::RenderWait(wait);
    EXPECT_NE(drawn.find(std::string(50, 'a') + " "), std::string::npos);
    EXPECT_NE(drawn.find("|      " + std::string(50, 'b')), std::string::npos) << drawn;
}

TEST(Terminal, RepromptsWithAHintAfterABadLine) {
    std::istringstream in("\nanswer perhaps\nanswer yes\nclick 1\n");
    std::ostringstream out;
    auto action = w95::AskAtTerminal(QuestionBox(), in, out);
    ASSERT_TRUE(action);
    EXPECT_EQ(w95::FormatUserAction(*action), "answer yes");
    EXPECT_EQ(action->source, w95::UserSource::Terminal);
    std::string shown = out.str();
    EXPECT_NE(shown.find("? unknown answer 'perhaps'"), std::string::npos) << shown;
    EXPECT_NE(shown.find("for example: answer no"), std::string::npos) << shown;
    std::string rest;
    std::getline(in, rest);
    EXPECT_EQ(rest, "click 1");  // nothing read beyond the accepted line
}

TEST(Terminal, EndOfInputGivesNoAction) {
    std::istringstream in("bogus\n");
    std::ostringstream out;
    EXPECT_FALSE(w95::AskAtTerminal(QuestionBox(), in, out).has_value());
}

TEST(Terminal, DrawsAWindowWithControlsAndMenu) {
    w95::UserWait wait;
    wait.kind = w95::UserWait::Kind::Window;
    wait.caption = "TvxReset";
    wait.class_name = "TvxResetClass";
    w95::UserControl board;
    board.id = 501;
    board.class_name = "BUTTON";
    board.text = "Board 1";
    board.checked = true;
    board.focused = true;
    w95::UserControl ok;
    ok.id = 1;
    ok.class_name = "BUTTON";
    ok.text = "OK";
    ok.enabled = false;
    w95::UserControl country;
    country.id = 1000;
    country.class_name = "COMBOBOX";
    country.text = "Germany";
    country.items = {"France", "Germany"};
    wait.controls = {board, ok, country};
    wait.menu = {{201, "Reset board 1", true}};
    std::string drawn = w95::RenderWait(wait);
    EXPECT_NE(drawn.find("TvxReset (TvxResetClass)"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("[501] BUTTON \"Board 1\" (checked) (focus)"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("[1] BUTTON \"OK\" (disabled)"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("[1000] COMBOBOX \"Germany\""), std::string::npos) << drawn;
    EXPECT_LT(drawn.find("- France"), drawn.find("- Germany")) << drawn;
    EXPECT_NE(drawn.find("[201] Reset board 1"), std::string::npos) << drawn;
}

}  // namespace

namespace {

TEST(RejectUserAction, LetsThePersonAtTheTerminalTryAgain) {
    w95test::TempMachine machine;
    w95::UserWait wait = QuestionBox();
    UserAction typed = UserAction::Answer("ok");
    typed.source = w95::UserSource::Terminal;
    testing::internal::CaptureStderr();
    w95::RejectUserAction(typed, wait, "it has no ok button");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "? it has no ok button\n");
    EXPECT_TRUE(w95test::JournalEvents("ui", "user-error").empty());
}

}  // namespace
