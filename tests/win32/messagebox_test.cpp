// MessageBoxA: buttons, default buttons, answers from each source of the user, the journal.
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <ostream>
#include <thread>
#include <vector>

namespace {

using w95::UserAction;

// A fresh machine, nobody at a terminal and no script; callbacks and scripts are removed after.
class MessageBoxTest : public testing::Test {
  protected:
    MessageBoxTest() {
        unsetenv("W95_USER");
        saved_stdin_ = dup(STDIN_FILENO);
        int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, STDIN_FILENO);
        close(null_fd);
    }
    ~MessageBoxTest() override {
        w95::SetUserCallback(nullptr);
        unsetenv("W95_USER");
        dup2(saved_stdin_, STDIN_FILENO);
        close(saved_stdin_);
    }

    std::string UseScript(const std::string& text) {
        std::string path = machine_.path("user.txt").string();
        std::ofstream(path, std::ios::binary) << text;
        setenv("W95_USER", path.c_str(), 1);
        return path;
    }

    std::vector<std::string> JournalLines() {
        std::vector<std::string> lines;
        std::ifstream in(machine_.path("journal/ui.jsonl"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    w95test::TempMachine machine_;
    int saved_stdin_;
};

struct DefaultCase {
    UINT type;
    UINT defbutton;
    int result;
    const char* answer;
};

std::ostream& operator<<(std::ostream& out, const DefaultCase& c) {
    return out << "type " << c.type << " default " << (c.defbutton >> 8) + 1 << " -> " << c.answer;
}

class UnattendedBox : public MessageBoxTest, public testing::WithParamInterface<DefaultCase> {};

TEST_P(UnattendedBox, TakesItsDefaultButton) {
    const DefaultCase& c = GetParam();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.type | c.defbutton), c.result);
    auto boxes = w95test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["answer"], c.answer);
}

// MB_DEFBUTTONn beyond the box's buttons falls back to the first button.
INSTANTIATE_TEST_SUITE_P(
    EveryTypeAndDefault, UnattendedBox,
    testing::Values(DefaultCase{MB_OK, MB_DEFBUTTON1, IDOK, "ok"},
                    DefaultCase{MB_OK, MB_DEFBUTTON2, IDOK, "ok"},
                    DefaultCase{MB_OK, MB_DEFBUTTON3, IDOK, "ok"},
                    DefaultCase{MB_OK, MB_DEFBUTTON4, IDOK, "ok"},
                    DefaultCase{MB_OKCANCEL, MB_DEFBUTTON1, IDOK, "ok"},
                    DefaultCase{MB_OKCANCEL, MB_DEFBUTTON2, IDCANCEL, "cancel"},
                    DefaultCase{MB_OKCANCEL, MB_DEFBUTTON3, IDOK, "ok"},
                    DefaultCase{MB_OKCANCEL, MB_DEFBUTTON4, IDOK, "ok"},
                    DefaultCase{MB_ABORTRETRYIGNORE, MB_DEFBUTTON1, IDABORT, "abort"},
                    DefaultCase{MB_ABORTRETRYIGNORE, MB_DEFBUTTON2, IDRETRY, "retry"},
                    DefaultCase{MB_ABORTRETRYIGNORE, MB_DEFBUTTON3, IDIGNORE, "ignore"},
                    DefaultCase{MB_ABORTRETRYIGNORE, MB_DEFBUTTON4, IDABORT, "abort"},
                    DefaultCase{MB_YESNOCANCEL, MB_DEFBUTTON1, IDYES, "yes"},
                    DefaultCase{MB_YESNOCANCEL, MB_DEFBUTTON2, IDNO, "no"},
                    DefaultCase{MB_YESNOCANCEL, MB_DEFBUTTON3, IDCANCEL, "cancel"},
                    DefaultCase{MB_YESNOCANCEL, MB_DEFBUTTON4, IDYES, "yes"},
                    DefaultCase{MB_YESNO, MB_DEFBUTTON1, IDYES, "yes"},
                    DefaultCase{MB_YESNO, MB_DEFBUTTON2, IDNO, "no"},
                    DefaultCase{MB_YESNO, MB_DEFBUTTON3, IDYES, "yes"},
                    DefaultCase{MB_YESNO, MB_DEFBUTTON4, IDYES, "yes"},
                    DefaultCase{MB_RETRYCANCEL, MB_DEFBUTTON1, IDRETRY, "retry"},
                    DefaultCase{MB_RETRYCANCEL, MB_DEFBUTTON2, IDCANCEL, "cancel"},
                    DefaultCase{MB_RETRYCANCEL, MB_DEFBUTTON3, IDRETRY, "retry"},
                    DefaultCase{MB_RETRYCANCEL, MB_DEFBUTTON4, IDRETRY, "retry"}));

struct AnswerCase {
    UINT type;
    const char* answer;
    int result;
};

std::ostream& operator<<(std::ostream& out, const AnswerCase& c) {
    return out << "type " << c.type << " answer " << c.answer;
}

class AnsweredBox : public MessageBoxTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(AnsweredBox, ReturnsTheNamedButton) {
    const AnswerCase& c = GetParam();
    w95::UserWait seen;
    w95::SetUserCallback([&](const w95::UserWait& wait) {
        seen = wait;
        return UserAction::Answer(c.answer);
    });
    EXPECT_EQ(MessageBoxA(nullptr, "Proceed?", "Question", c.type | MB_ICONQUESTION), c.result);
    EXPECT_EQ(seen.kind, w95::UserWait::Kind::MessageBox);
    EXPECT_EQ(seen.caption, "Question");
    EXPECT_EQ(seen.text, "Proceed?");
    EXPECT_EQ(seen.style, c.type | MB_ICONQUESTION);
    EXPECT_FALSE(seen.owned);
    auto boxes = w95test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["answer"], c.answer);
}

INSTANTIATE_TEST_SUITE_P(EveryButton, AnsweredBox,
                         testing::Values(AnswerCase{MB_OK, "ok", IDOK},
                                         AnswerCase{MB_OKCANCEL, "ok", IDOK},
                                         AnswerCase{MB_OKCANCEL, "cancel", IDCANCEL},
                                         AnswerCase{MB_ABORTRETRYIGNORE, "abort", IDABORT},
                                         AnswerCase{MB_ABORTRETRYIGNORE, "retry", IDRETRY},
                                         AnswerCase{MB_ABORTRETRYIGNORE, "ignore", IDIGNORE},
                                         AnswerCase{MB_YESNOCANCEL, "yes", IDYES},
                                         AnswerCase{MB_YESNOCANCEL, "no", IDNO},
                                         AnswerCase{MB_YESNOCANCEL, "cancel", IDCANCEL},
                                         AnswerCase{MB_YESNO, "yes", IDYES},
                                         AnswerCase{MB_YESNO, "no", IDNO},
                                         AnswerCase{MB_RETRYCANCEL, "retry", IDRETRY},
                                         AnswerCase{MB_RETRYCANCEL, "cancel", IDCANCEL}));

TEST_F(MessageBoxTest, CallbackSeesButtonsInOrderAndTheDefault) {
    w95::UserWait seen;
    w95::SetUserCallback([&](const w95::UserWait& wait) {
        seen = wait;
        return std::optional<UserAction>();  // no action: the default button
    });
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x1234), "t", "c", MB_YESNOCANCEL | MB_DEFBUTTON3),
              IDCANCEL);
    ASSERT_EQ(seen.buttons.size(), 3u);
    EXPECT_EQ(seen.buttons[0].id, IDYES);
    EXPECT_EQ(seen.buttons[0].name, "yes");
    EXPECT_EQ(seen.buttons[1].name, "no");
    EXPECT_EQ(seen.buttons[2].name, "cancel");
    EXPECT_EQ(seen.default_button, 2u);
    EXPECT_TRUE(seen.owned);
}

TEST_F(MessageBoxTest, JournalLineIsExact) {
    EXPECT_EQ(
        MessageBoxA(nullptr, "Line one\nsaid \"hi\"", "TvxMCfg Warning", MB_OK | MB_ICONWARNING),
        IDOK);
    EXPECT_EQ(MessageBoxA(reinterpret_cast<HWND>(0x10), nullptr, nullptr, MB_OKCANCEL), IDOK);
    auto lines = JournalLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string pid = ",\"pid\":" + std::to_string(getpid()) + ",";
    for (const auto& line : lines) {
        EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
        EXPECT_NE(line.find(pid), std::string::npos) << line;
    }
    auto tail = [](const std::string& line) { return line.substr(line.find("\"event\"")); };
    EXPECT_EQ(tail(lines[0]),
              "\"event\":\"messagebox\",\"caption\":\"TvxMCfg Warning\",\"text\":\"Line "
              "one\\nsaid \\\"hi\\\"\",\"style\":48,\"owner\":false,\"answer\":\"ok\"}");
    // A NULL caption shows as "Error", a NULL text as nothing.
    EXPECT_EQ(tail(lines[1]),
              "\"event\":\"messagebox\",\"caption\":\"Error\",\"text\":\"\",\"style\":1,"
              "\"owner\":true,\"answer\":\"ok\"}");
}

TEST_F(MessageBoxTest, UnknownTypeFailsWithoutShowingABox) {
    bool asked = false;
    w95::SetUserCallback([&](const w95::UserWait&) {
        asked = true;
        return std::optional<UserAction>();
    });
    SetLastError(0);
    EXPECT_EQ(MessageBoxA(nullptr, "t", "c", 6), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(w95test::MessageBoxes().empty());
}

TEST_F(MessageBoxTest, ScriptDrivesSeveralBoxesInOrder) {
    UseScript(
        "# three questions\n"
        "answer yes\n"
        "\n"
        "answer retry\n"
        "answer cancel  # give up\n");
    EXPECT_EQ(MessageBoxA(nullptr, "one", "First", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "two", "Second", MB_ABORTRETRYIGNORE), IDRETRY);
    EXPECT_EQ(MessageBoxA(nullptr, "three", "Third", MB_OKCANCEL), IDCANCEL);
    auto boxes = w95test::MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0]["caption"], "First");
    EXPECT_EQ(boxes[0]["answer"], "yes");
    EXPECT_EQ(boxes[1]["answer"], "retry");
    EXPECT_EQ(boxes[2]["caption"], "Third");
    EXPECT_EQ(boxes[2]["answer"], "cancel");
}

TEST_F(MessageBoxTest, ScriptedAnswerWithoutSuchButtonEndsTheProgram) {
    std::string path = UseScript("answer ok\n# next\nanswer yes\n");
    EXPECT_EQ(MessageBoxA(nullptr, "first", "One", MB_OK), IDOK);
    EXPECT_EXIT(MessageBoxA(nullptr, "second", "Two", MB_OKCANCEL), testing::ExitedWithCode(3),
                "user.txt line 3: `answer yes` cannot be carried out on the message box \"Two\": "
                "it has no yes button \\(its buttons: ok, cancel\\)");
    auto errors = w95test::JournalEvents("ui", "user-error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["script"], path);
    EXPECT_EQ(errors[0]["line"], 3);
    EXPECT_EQ(errors[0]["action"], "answer yes");
    // The box that could not be answered was never closed.
    EXPECT_EQ(w95test::MessageBoxes().size(), 1u);
}

TEST_F(MessageBoxTest, OtherVerbsCannotAnswerABox) {
    for (const char* line : {"click 1", "key enter", "close", "settext 1 x", "menu 1"}) {
        UseScript(std::string(line) + "\n");
        EXPECT_EXIT(MessageBoxA(nullptr, "t", "Box", MB_OK), testing::ExitedWithCode(3),
                    "line 1: `.*` cannot be carried out on the message box \"Box\"")
            << line;
    }
    EXPECT_TRUE(w95test::MessageBoxes().empty());
}

TEST_F(MessageBoxTest, ExhaustedScriptEndsTheProgram) {
    UseScript("answer ok\n");
    EXPECT_EQ(MessageBoxA(nullptr, "first", "One", MB_OK), IDOK);
    EXPECT_EXIT(MessageBoxA(nullptr, "second", "Two", MB_OK), testing::ExitedWithCode(3),
                "the script ended.*message box \"Two\"");
    auto errors = w95test::JournalEvents("ui", "user-error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0]["message"].get<std::string>().find("the script ended"), std::string::npos);
}

TEST_F(MessageBoxTest, CallbackWithAWrongAnswerEndsTheProgram) {
    w95::SetUserCallback([](const w95::UserWait&) { return UserAction::Answer("no"); });
    EXPECT_EXIT(MessageBoxA(nullptr, "t", "Box", MB_OK), testing::ExitedWithCode(3),
                "from the test's callback: `answer no` cannot be carried out");
}

TEST_F(MessageBoxTest, BoxesFromManyThreadsAreShownOneAtATime) {
    std::atomic<int> up{0};
    std::atomic<bool> overlapped{false};
    w95::SetUserCallback([&](const w95::UserWait&) {
        if (up.fetch_add(1) != 0)
            overlapped = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        up.fetch_sub(1);
        return UserAction::Answer("ok");
    });
    std::vector<std::thread> threads;
    std::atomic<int> answered{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            std::string caption = "Port " + std::to_string(i);
            if (MessageBoxA(nullptr, "failing", caption.c_str(), MB_OK) == IDOK)
                ++answered;
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(answered, 8);
    EXPECT_EQ(w95test::MessageBoxes().size(), 8u);  // every line whole and parseable
}

}  // namespace
