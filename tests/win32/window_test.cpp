// The window manager: dialogs built from in-memory templates, the dialog manager's keyboard,
// controls, the user's actions through the message loop, metrics, cursors and help.
#include <windows.h>

#include "machine.h"
#include "temp_machine.h"
#include "ui_journal.h"
#include "user.h"
#include "window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct ControlSpec {
    DWORD style;
    WORD id;
    const char* class_name;
    const char* text;
};

void Word(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void Dword(std::vector<uint8_t>& out, uint32_t value) {
    Word(out, static_cast<uint16_t>(value));
    Word(out, static_cast<uint16_t>(value >> 16));
}
void Wide(std::vector<uint8_t>& out, const std::string& text) {
    for (char c : text)
        Word(out, static_cast<uint8_t>(c));
    Word(out, 0);
}

// A standard dialog template in memory, 4-byte aligned as the dialog manager wants it.
std::vector<uint32_t> MakeTemplate(DWORD style, const std::vector<ControlSpec>& controls,
                                   const char* caption = "Test") {
    std::vector<uint8_t> out;
    Dword(out, style);
    Dword(out, 0);
    Word(out, static_cast<uint16_t>(controls.size()));
    for (short v : {10, 10, 200, 100})
        Word(out, static_cast<uint16_t>(v));
    Word(out, 0);  // no menu
    Word(out, 0);  // dialog class
    Wide(out, caption);
    if (style & DS_SETFONT) {
        Word(out, 8);
        Wide(out, "MS Sans Serif");
    }
    short y = 0;
    for (const auto& control : controls) {
        while (out.size() % 4)
            out.push_back(0);
        Dword(out, control.style | WS_CHILD);
        Dword(out, 0);
        for (short v : {short(5), y, short(50), short(12)})
            Word(out, static_cast<uint16_t>(v));
        y = static_cast<short>(y + 14);
        Word(out, control.id);
        Wide(out, control.class_name);
        Wide(out, control.text);
        Word(out, 0);
    }
    std::vector<uint32_t> aligned((out.size() + 3) / 4);
    std::memcpy(aligned.data(), out.data(), out.size());
    return aligned;
}

LPCDLGTEMPLATEA AsTemplate(const std::vector<uint32_t>& data) {
    return reinterpret_cast<LPCDLGTEMPLATEA>(data.data());
}

constexpr DWORD kVisibleTab = WS_VISIBLE | WS_TABSTOP;

// Check box A, a label, disabled check box B, a drop-down combo box, a hidden push button, push
// button Go, a group box and a plain (not automatic) check box.
const std::vector<ControlSpec>& NavigationControls() {
    static const std::vector<ControlSpec> controls = {
        {BS_AUTOCHECKBOX | kVisibleTab, 10, "BUTTON", "A"},
        {SS_LEFT | WS_VISIBLE, 0xFFFF, "STATIC", "label"},
        {BS_AUTOCHECKBOX | kVisibleTab | WS_DISABLED, 11, "BUTTON", "B"},
        {CBS_DROPDOWN | kVisibleTab, 12, "COMBOBOX", ""},
        {BS_PUSHBUTTON | WS_TABSTOP, 13, "BUTTON", "Hidden"},
        {BS_PUSHBUTTON | kVisibleTab, 14, "BUTTON", "Go"},
        {BS_GROUPBOX | WS_VISIBLE, 15, "BUTTON", "Group"},
        {BS_CHECKBOX | kVisibleTab, 16, "BUTTON", "Plain"},
    };
    return controls;
}

// What the dialog procedure saw: WM_COMMAND as (id, notification code).
std::vector<std::pair<int, int>> commands;
int end_on_command = -1;  // a command id that ends the dialog with its id as the result

INT_PTR CALLBACK RecordingDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND) {
        commands.emplace_back(LOWORD(wparam), HIWORD(wparam));
        if (LOWORD(wparam) == end_on_command) {
            EndDialog(dialog, 40 + LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The commands without the combo box's focus and update notifications.
std::vector<std::pair<int, int>> Commands() {
    std::vector<std::pair<int, int>> kept;
    for (const auto& command : commands) {
        bool noise = command.first == 12 &&
                     (command.second == CBN_SETFOCUS || command.second == CBN_KILLFOCUS ||
                      command.second == CBN_EDITUPDATE);
        if (!noise)
            kept.push_back(command);
    }
    return kept;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        commands.clear();
        end_on_command = -1;
    }
    void TearDown() override {
        w95::SetUserCallback(nullptr);
        w95::ResetThreadWindows();
    }

    HWND CreateNavigationDialog(DWORD style = WS_POPUP | WS_VISIBLE | WS_CAPTION) {
        template_ = MakeTemplate(style, NavigationControls());
        HWND dialog = CreateDialogIndirectParamA(nullptr, AsTemplate(template_), nullptr,
                                                 RecordingDialogProc, 0);
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }

    // Handles every queued message as a modeless dialog's loop does; bounded.
    void Pump(HWND dialog) {
        MSG msg;
        for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }

    void PressKey(HWND dialog, WPARAM key) {
        HWND focus = GetFocus();
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
        Pump(dialog);
    }

    // The dialog control that has the focus (a combo box for its edit field); 0 for none.
    int FocusId(HWND dialog) {
        HWND focus = GetFocus();
        HWND control = w95::DialogControlOf(dialog, focus);
        return control ? GetDlgCtrlID(control) : 0;
    }

    w95test::TempMachine machine_;
    std::vector<uint32_t> template_;
};

TEST_F(WindowTest, TabVisitsEnabledVisibleTabStopsInTemplateOrderAndWraps) {
    HWND dialog = CreateNavigationDialog();
    EXPECT_EQ(FocusId(dialog), 10) << "WM_INITDIALOG returning TRUE focuses the first tab stop";
    std::vector<int> visited;
    for (int i = 0; i < 5; ++i) {
        PressKey(dialog, VK_TAB);
        visited.push_back(FocusId(dialog));
    }
    EXPECT_EQ(visited, (std::vector<int>{12, 14, 16, 10, 12}));
    // The combo box's focus is in its edit field.
    EXPECT_EQ(GetParent(GetFocus()), GetDlgItem(dialog, 12));
    EXPECT_TRUE(Commands().empty());
}

TEST_F(WindowTest, EnterAndEscapeGoToTheDialogAsCommands) {
    struct Case {
        const char* name;
        int focus_id;
        int default_id;  // 0: none set with DM_SETDEFID
        WPARAM key;
        int expected_command;
    };
    const Case cases[] = {
        {"Enter on a check box without default button", 10, 0, VK_RETURN, IDOK},
        {"Enter on a push button clicks it", 14, 0, VK_RETURN, 14},
        {"Enter on a check box takes the default button", 10, 14, VK_RETURN, 14},
        {"Enter in the combo box's edit field", 12, 0, VK_RETURN, IDOK},
        {"Escape anywhere is IDCANCEL", 14, 0, VK_ESCAPE, IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        commands.clear();
        HWND dialog = CreateNavigationDialog();
        if (c.default_id)
            SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(c.default_id), 0);
        SetFocus(GetDlgItem(dialog, c.focus_id));
        PressKey(dialog, c.key);
        ASSERT_EQ(Commands().size(), 1u);
        EXPECT_EQ(Commands()[0].first, c.expected_command);
        EXPECT_EQ(Commands()[0].second, BN_CLICKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 10), 0u) << "Enter never toggles a check box";
        DestroyWindow(dialog);
    }
}

TEST_F(WindowTest, SpaceClicksTheFocusedButtonAndAutoCheckBoxesToggle) {
    HWND dialog = CreateNavigationDialog();
    PressKey(dialog, VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 10), BST_CHECKED);
    PressKey(dialog, VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 10), BST_UNCHECKED);
    // A plain check box tells its parent but leaves its state to the program.
    SetFocus(GetDlgItem(dialog, 16));
    PressKey(dialog, VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 16), BST_UNCHECKED);
    EXPECT_EQ(commands, (std::vector<std::pair<int, int>>{
                            {10, BN_CLICKED}, {10, BN_CLICKED}, {16, BN_CLICKED}}));
    CheckDlgButton(dialog, 16, BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 16, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(WindowTest, ComboBoxListAndEditField) {
    HWND dialog = CreateNavigationDialog();
    auto cb = [&](UINT message, WPARAM wparam, const char* text = nullptr) {
        return SendDlgItemMessageA(dialog, 12, message, wparam, reinterpret_cast<LPARAM>(text));
    };
    EXPECT_EQ(cb(CB_ADDSTRING, 0, "Beta"), 0);
    EXPECT_EQ(cb(CB_ADDSTRING, 0, "alpha"), 1);
    EXPECT_EQ(cb(CB_ADDSTRING, 0, "Gamma"), 2);
    EXPECT_EQ(cb(CB_GETCOUNT, 0), 3);
    EXPECT_EQ(cb(CB_GETCURSEL, 0), CB_ERR);
    EXPECT_EQ(cb(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "ALPHA"), 1);
    EXPECT_EQ(cb(CB_FINDSTRINGEXACT, 1, "alpha"), 1) << "the search wraps around";
    EXPECT_EQ(cb(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), "Gam"), CB_ERR);
    EXPECT_EQ(cb(CB_FINDSTRING, static_cast<WPARAM>(-1), "g"), 2);

    char text[16];
    EXPECT_EQ(cb(CB_SELECTSTRING, static_cast<WPARAM>(-1), "be"), 0);
    EXPECT_EQ(cb(CB_GETCURSEL, 0), 0);
    EXPECT_EQ(GetDlgItemTextA(dialog, 12, text, sizeof(text)), 4u);
    EXPECT_STREQ(text, "Beta");
    EXPECT_EQ(cb(CB_SELECTSTRING, static_cast<WPARAM>(-1), "zeta"), CB_ERR);
    EXPECT_EQ(cb(CB_GETCURSEL, 0), 0) << "a failed CB_SELECTSTRING keeps the selection";

    EXPECT_EQ(cb(CB_GETLBTEXTLEN, 2), 5);
    EXPECT_EQ(SendDlgItemMessageA(dialog, 12, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_STREQ(text, "Gamma");
    EXPECT_EQ(cb(CB_GETLBTEXT, 3, text), CB_ERR);

    EXPECT_EQ(cb(CB_SETCURSEL, 7), CB_ERR);
    EXPECT_EQ(cb(CB_GETCURSEL, 0), CB_ERR);
    EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(dialog, 12)), 0);

    // Text set by the program does not notify; typed text does, as CBN_EDITCHANGE.
    commands.clear();
    EXPECT_TRUE(SetDlgItemTextA(dialog, 12, "typed text"));
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(GetDlgItemTextA(dialog, 12, text, 6), 5u) << "cut to the buffer, terminated";
    EXPECT_STREQ(text, "typed");
    SetFocus(GetDlgItem(dialog, 12));
    SendMessageA(GetFocus(), WM_CHAR, '!', 0);
    GetDlgItemTextA(dialog, 12, text, sizeof(text));
    EXPECT_STREQ(text, "typed text!");
    EXPECT_NE(std::find(commands.begin(), commands.end(), std::make_pair(12, CBN_EDITCHANGE)),
              commands.end());

    EXPECT_EQ(cb(CB_RESETCONTENT, 0), CB_OKAY);
    EXPECT_EQ(cb(CB_GETCOUNT, 0), 0);
    EXPECT_EQ(GetDlgItemTextA(dialog, 12, text, sizeof(text)), 0u);
}

TEST_F(WindowTest, SortedComboBoxKeepsItsListInOrder) {
    template_ = MakeTemplate(WS_POPUP | WS_VISIBLE,
                             {{CBS_DROPDOWNLIST | CBS_SORT | kVisibleTab, 5, "COMBOBOX", ""}});
    HWND dialog =
        CreateDialogIndirectParamA(nullptr, AsTemplate(template_), nullptr, RecordingDialogProc, 0);
    for (const char* item : {"b", "A", "c"})
        SendDlgItemMessageA(dialog, 5, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    auto items = w95::ComboBoxItems(*w95::FindWindowObject(GetDlgItem(dialog, 5)));
    EXPECT_EQ(items, (std::vector<std::string>{"A", "b", "c"}));
    // A drop-down list has no edit field: its text is the selected item.
    SendDlgItemMessageA(dialog, 5, CB_SETCURSEL, 1, 0);
    char text[8];
    GetDlgItemTextA(dialog, 5, text, sizeof(text));
    EXPECT_STREQ(text, "b");
}

// Runs the navigation dialog modally with the user answering from ACTIONS; records each wait.
INT_PTR RunModalWithUser(std::vector<w95::UserAction> actions, std::vector<w95::UserWait>& waits,
                         const std::vector<uint32_t>& dialog_template) {
    size_t next = 0;
    w95::SetUserCallback([&](const w95::UserWait& wait) -> std::optional<w95::UserAction> {
        waits.push_back(wait);
        if (next >= actions.size()) {
            ADD_FAILURE() << "the dialog asked for more actions than the test gave";
            return w95::UserAction::Close();
        }
        return actions[next++];
    });
    return DialogBoxIndirectParamA(nullptr, AsTemplate(dialog_template), nullptr,
                                   RecordingDialogProc, 0);
}

TEST_F(WindowTest, UserActionsReachTheDialogThroughItsMessageLoop) {
    template_ = MakeTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU, NavigationControls());
    end_on_command = IDCANCEL;
    std::vector<w95::UserWait> waits;
    INT_PTR result =
        RunModalWithUser({w95::UserAction::Click(10), w95::UserAction::SetText(12, "Gamma"),
                          w95::UserAction::Key("enter"), w95::UserAction::Close()},
                         waits, template_);
    EXPECT_EQ(result, 40 + IDCANCEL) << "close is the dialog's Cancel";
    ASSERT_EQ(waits.size(), 4u);

    // The first description: visible controls in template order, the hidden one left out.
    const auto& first = waits[0];
    EXPECT_EQ(first.kind, w95::UserWait::Kind::Window);
    EXPECT_EQ(first.caption, "Test");
    EXPECT_EQ(first.class_name, "#32770");
    std::vector<int> ids;
    for (const auto& control : first.controls)
        ids.push_back(control.id);
    EXPECT_EQ(ids, (std::vector<int>{10, -1, 11, 12, 14, 15, 16}));
    EXPECT_TRUE(first.controls[0].focused);
    EXPECT_FALSE(first.controls[2].enabled);
    EXPECT_EQ(first.controls[1].class_name, "STATIC");
    EXPECT_EQ(first.controls[1].text, "label");

    EXPECT_TRUE(waits[1].controls[0].checked) << "the click toggled check box 10";
    EXPECT_EQ(waits[2].controls[3].text, "Gamma");
    EXPECT_EQ(
        Commands(),
        (std::vector<std::pair<int, int>>{
            {10, BN_CLICKED}, {12, CBN_EDITCHANGE}, {IDOK, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));

    auto events = w95test::JournalEvents("ui", "window");
    std::vector<std::string> actions;
    for (const auto& event : events)
        actions.push_back(event["action"].get<std::string>() +
                          (event.contains("input") ? " " + event["input"].get<std::string>() : ""));
    EXPECT_EQ(actions, (std::vector<std::string>{"created", "shown", "user click 10",
                                                 "user settext 12 Gamma", "user key enter",
                                                 "user close", "ended", "hidden", "destroyed"}));
}

TEST_F(WindowTest, PickingAListedItemSelectsItExactlyAsListed) {
    template_ = MakeTemplate(WS_POPUP, NavigationControls());
    end_on_command = 14;
    std::vector<w95::UserWait> waits;
    // The list is filled before the user comes: on the first wait.
    bool filled = false;
    size_t next = 0;
    std::vector<w95::UserAction> actions = {w95::UserAction::SetText(12, "beta"),
                                            w95::UserAction::SetText(12, "Beta"),
                                            w95::UserAction::Click(14)};
    std::vector<LRESULT> selections;
    w95::SetUserCallback([&](const w95::UserWait& wait) -> std::optional<w95::UserAction> {
        HWND dialog = GetActiveWindow();
        if (!filled) {
            for (const char* item : {"Alpha", "Beta"})
                SendDlgItemMessageA(dialog, 12, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            filled = true;
        }
        selections.push_back(SendDlgItemMessageA(dialog, 12, CB_GETCURSEL, 0, 0));
        waits.push_back(wait);
        return next < actions.size() ? actions[next++] : w95::UserAction::Close();
    });
    EXPECT_EQ(
        DialogBoxIndirectParamA(nullptr, AsTemplate(template_), nullptr, RecordingDialogProc, 0),
        40 + 14);
    // Other letter case: typed text, no selection; the exact name: the item is picked.
    EXPECT_EQ(selections, (std::vector<LRESULT>{CB_ERR, CB_ERR, 1}));
    EXPECT_EQ(waits[1].controls[3].text, "beta");
    EXPECT_EQ(waits[1].controls[3].items, (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_NE(std::find(commands.begin(), commands.end(), std::make_pair(12, CBN_SELCHANGE)),
              commands.end());
}

TEST_F(WindowTest, ActionsThatCannotBeCarriedOutEndTheProgram) {
    struct Case {
        const char* name;
        w95::UserAction action;
        const char* message;
    };
    const Case cases[] = {
        {"disabled control", w95::UserAction::Click(11), "control 11 \\(BUTTON\\) is disabled"},
        {"no such control", w95::UserAction::Click(99), "no visible control 99"},
        {"hidden control", w95::UserAction::Click(13), "no visible control 13"},
        {"label", w95::UserAction::Click(0xFFFF), "no visible control 65535"},
        {"group box", w95::UserAction::Click(15), "cannot be clicked"},
        {"text into a button", w95::UserAction::SetText(14, "x"), "takes no text"},
        {"answer to a window", w95::UserAction::Answer("ok"), "no message box is up"},
        {"menu of a window without one", w95::UserAction::Menu(5), "it has no menu"},
    };
    template_ = MakeTemplate(WS_POPUP, NavigationControls());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                std::vector<w95::UserWait> waits;
                RunModalWithUser({c.action}, waits, template_);
            },
            ::testing::ExitedWithCode(w95::kUserErrorExitCode), c.message);
    }
}

TEST_F(WindowTest, AWindowWaitingForNobodyEndsTheProgramInsteadOfHanging) {
    template_ = MakeTemplate(WS_POPUP | WS_CAPTION, NavigationControls(), "Lonely");
    EXPECT_EXIT(
        {
            w95::SetUserCallback([](const w95::UserWait&) { return std::nullopt; });
            DialogBoxIndirectParamA(nullptr, AsTemplate(template_), nullptr, RecordingDialogProc,
                                    0);
        },
        ::testing::ExitedWithCode(w95::kUserErrorExitCode),
        "window \"Lonely\" waits for the user, and nobody is there");
}

std::vector<UINT> frame_messages;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CREATE || message == WM_CLOSE || message == WM_DESTROY ||
        message == WM_PAINT || message == WM_SETFOCUS)
        frame_messages.push_back(message);
    if (message == WM_DESTROY) {
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

TEST_F(WindowTest, TopLevelWindowLivesFromCreateToCloseThroughItsMessageLoop) {
    frame_messages.clear();
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = FrameProc;
    window_class.lpszClassName = "TestFrame";
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (!RegisterClassA(&window_class)) {
        EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
    }
    EXPECT_EQ(RegisterClassA(&window_class), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));

    HWND frame = CreateWindowExA(0, "testframe", "Frame", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(frame, nullptr) << "class names are found whatever their case";
    RECT client;
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, 300 - 8);
    EXPECT_EQ(client.bottom, 200 - 8 - 19);
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_FALSE(ShowWindow(frame, SW_SHOWNORMAL)) << "it was hidden before";
    EXPECT_EQ(GetActiveWindow(), frame);
    EXPECT_EQ(GetFocus(), frame);
    UpdateWindow(frame);

    w95::SetUserCallback([](const w95::UserWait& wait) -> std::optional<w95::UserAction> {
        EXPECT_EQ(wait.caption, "Frame");
        return w95::UserAction::Close();
    });
    MSG msg;
    int handled = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && handled++ < 100)
        DispatchMessageA(&msg);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(frame_messages,
              (std::vector<UINT>{WM_CREATE, WM_SETFOCUS, WM_PAINT, WM_CLOSE, WM_DESTROY}));

    EXPECT_FALSE(IsWindow(frame));
    SetLastError(0);
    EXPECT_EQ(SendMessageA(frame, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(frame));
}

TEST_F(WindowTest, ChildWindowsNeedAParentAndClassesMustExist) {
    SetLastError(0);
    EXPECT_EQ(
        CreateWindowExA(0, "BUTTON", "x", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "x", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), 1407u);
}

TEST_F(WindowTest, MetricsFollowTheMachineAndWindows95Frames) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(8, 16));
    w95::SetMachineSetting("screen", "1024x768");
    w95::SetMachineSetting("dialog-base-units", "10x20");
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
    EXPECT_EQ(GetDialogBaseUnits(), MAKELONG(10, 20));

    struct Case {
        DWORD style;
        DWORD ex_style;
        BOOL menu;
        RECT expected;  // from the client rectangle (0, 0, 350, 85)
    };
    const Case cases[] = {
        {WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, TRUE, {-3, -41, 353, 88}},
        {WS_CAPTION | WS_SYSMENU, 0, FALSE, {-3, -22, 353, 88}},
        {WS_OVERLAPPEDWINDOW, 0, FALSE, {-4, -23, 354, 89}},
        {WS_POPUP | WS_BORDER, 0, FALSE, {-1, -1, 351, 86}},
        {WS_POPUP, WS_EX_DLGMODALFRAME, FALSE, {-3, -3, 353, 88}},
        {WS_CHILD, 0, FALSE, {0, 0, 350, 85}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.style);
        RECT rect{0, 0, 350, 85};
        ASSERT_TRUE(AdjustWindowRectEx(&rect, c.style, c.menu, c.ex_style));
        EXPECT_EQ(rect.left, c.expected.left);
        EXPECT_EQ(rect.top, c.expected.top);
        EXPECT_EQ(rect.right, c.expected.right);
        EXPECT_EQ(rect.bottom, c.expected.bottom);
    }
}

TEST_F(WindowTest, DialogUnitsFollowTheDialogFont) {
    auto with_font = MakeTemplate(WS_POPUP | DS_SETFONT, {});
    auto without_font = MakeTemplate(WS_POPUP, {});
    HWND font_dialog =
        CreateDialogIndirectParamA(nullptr, AsTemplate(with_font), nullptr, RecordingDialogProc, 0);
    HWND system_dialog = CreateDialogIndirectParamA(nullptr, AsTemplate(without_font), nullptr,
                                                    RecordingDialogProc, 0);
    RECT rect{4, 8, 40, 16};
    ASSERT_TRUE(MapDialogRect(font_dialog, &rect));
    EXPECT_EQ(rect.left, 6);  // 8 points at the standard resolution: 6 x 13 per 4 x 8 units
    EXPECT_EQ(rect.top, 13);
    EXPECT_EQ(rect.right, 60);
    EXPECT_EQ(rect.bottom, 26);
    rect = {4, 8, 40, 16};
    ASSERT_TRUE(MapDialogRect(system_dialog, &rect));
    EXPECT_EQ(rect.left, 8);
    EXPECT_EQ(rect.top, 16);
    // A pop-up dialog's template gives its client area.
    RECT client;
    GetClientRect(system_dialog, &client);
    EXPECT_EQ(client.right, 400);
    EXPECT_EQ(client.bottom, 200);
}

TEST_F(WindowTest, CursorsAndHelpAreJournalled) {
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), wait) << "system cursors are shared";
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), wait);
    HCURSOR previous = SetCursor(wait);
    EXPECT_EQ(GetCursor(), wait);
    EXPECT_EQ(SetCursor(LoadCursorA(nullptr, IDC_ARROW)), wait);
    EXPECT_TRUE(WinHelpA(nullptr, "SOME.HLP", HELP_CONTEXT, 12));
    (void)previous;

    auto cursors = w95test::JournalEvents("ui", "cursor");
    ASSERT_EQ(cursors.size(), 2u);
    EXPECT_EQ(cursors[0]["cursor"], "wait");
    EXPECT_EQ(cursors[1]["cursor"], "arrow");
    auto help = w95test::JournalEvents("ui", "winhelp");
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0]["file"], "SOME.HLP");
    EXPECT_EQ(help[0]["command"], 1);
    EXPECT_EQ(help[0]["data"], 12);

    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadIconA(reinterpret_cast<HINSTANCE>(0x400000), "MainIcon"), nullptr)
        << "this test program embeds no resources";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

}  // namespace
