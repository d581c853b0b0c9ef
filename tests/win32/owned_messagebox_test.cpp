// Message boxes keep the windows they block from input while they are up: an owned box its
// owner's top-level window, a task-modal box without owner every top-level window of the thread.
// Windows disabled before the box stay disabled after it.
#include "temp_machine.h"
#include "user.h"
#include "window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

class OwnedMessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            windows_.push_back(CreateWindowExA(0, "STATIC", "top", WS_OVERLAPPED | WS_CAPTION, 0, 0,
                                               100, 50, nullptr, nullptr, nullptr, nullptr));
            ASSERT_NE(windows_.back(), nullptr);
        }
        child_ = CreateWindowExA(0, "BUTTON", "child", WS_CHILD, 0, 0, 10, 10, windows_[0], nullptr,
                                 nullptr, nullptr);
    }
    void TearDown() override {
        w95::SetUserCallback(nullptr);
        w95::ResetThreadWindows();
    }

    // Shows a box and returns which of the windows were enabled while it was up.
    std::vector<bool> EnabledDuringBox(HWND owner, UINT style) {
        std::vector<bool> enabled;
        w95::SetUserCallback([&](const w95::UserWait&) -> std::optional<w95::UserAction> {
            for (HWND window : windows_)
                enabled.push_back(IsWindowEnabled(window) != FALSE);
            return w95::UserAction::Answer("ok");
        });
        EXPECT_EQ(MessageBoxA(owner, "text", "caption", style), IDOK);
        return enabled;
    }

    std::vector<bool> EnabledNow() {
        std::vector<bool> enabled;
        for (HWND window : windows_)
            enabled.push_back(IsWindowEnabled(window) != FALSE);
        return enabled;
    }

    w95test::TempMachine machine_;
    std::vector<HWND> windows_;
    HWND child_ = nullptr;
};

TEST_F(OwnedMessageBoxTest, BoxDisablesWhatItBlocksAndGivesItBack) {
    struct Case {
        const char* name;
        int owner;  // index into windows_, -1 none, 3 the child of window 0
        UINT style;
        std::vector<bool> during;
    };
    const Case cases[] = {
        {"owned, application modal", 1, MB_OK, {true, false, true}},
        {"owned, task modal", 1, MB_TASKMODAL | MB_ICONINFORMATION, {true, false, true}},
        {"owned through a child control", 3, MB_OK, {false, true, true}},
        {"task modal without owner", -1, MB_TASKMODAL, {false, false, false}},
        {"application modal without owner", -1, MB_OK, {true, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HWND owner = c.owner < 0 ? nullptr : c.owner == 3 ? child_ : windows_[c.owner];
        EXPECT_EQ(EnabledDuringBox(owner, c.style), c.during);
        EXPECT_EQ(EnabledNow(), std::vector<bool>({true, true, true}));
    }
    // A window that was disabled before stays disabled.
    EnableWindow(windows_[2], FALSE);
    EXPECT_EQ(EnabledDuringBox(nullptr, MB_TASKMODAL), std::vector<bool>({false, false, false}));
    EXPECT_EQ(EnabledNow(), std::vector<bool>({true, true, false}));
}

}  // namespace
