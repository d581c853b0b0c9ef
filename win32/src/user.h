// The user of the emulated machine. Whenever a program would wait for input (a message box, a
// modal dialog, GetMessageA on an empty queue), the waiting code describes what waits and asks
// NextUserAction for the next action. The action comes from the first of these that is present:
//   1. a callback installed by an in-process test (SetUserCallback);
//   2. the script named by $W95_USER, parsed whole at its first use, consumed in order;
//   3. a person at the terminal, when standard input is one: what waits is drawn as text and the
//      same verbs as in a script are read at a prompt;
//   4. nobody: no action (a message box then takes its default button).
// The waiting code checks the action against what waits; one it cannot carry out goes to
// RejectUserAction, which ends the program unless a person at the terminal can try again.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace w95 {

enum class UserVerb { Click, SetText, Menu, Key, Answer, Close };

// Where an action came from, so that a failure names it.
enum class UserSource { Callback, Script, Terminal };

struct UserAction {
    UserVerb verb = UserVerb::Close;
    int id = 0;        // click, settext, menu: a control or menu command id
    std::string text;  // settext: the text, blanks kept
    std::string name;  // key: enter, esc, tab, space; answer: ok, cancel, yes, no, abort, retry,
                       // ignore (always lower case)

    UserSource source = UserSource::Callback;
    std::string script;  // the script file, for actions read from one
    int line = 0;        // its line number (1-based)

    static UserAction Click(int id);
    static UserAction SetText(int id, std::string text);
    static UserAction Menu(int id);
    static UserAction Key(std::string name);
    static UserAction Answer(std::string name);
    static UserAction Close();
};

// The action as a script line would spell it ("answer ok", "settext 12 Hello").
std::string FormatUserAction(const UserAction& action);

// A button of a message box: its result id (IDOK, ...) and its answer name ("ok", ...).
struct UserButton {
    int id = 0;
    std::string name;
};

// A control of a window, as the user can see and address it.
struct UserControl {
    int id = 0;
    std::string class_name;  // "BUTTON", "STATIC", "COMBOBOX", "EDIT", ...
    std::string text;
    bool enabled = true;
    bool checked = false;            // check boxes
    bool focused = false;            // the control (or its edit field) has the keyboard focus
    std::vector<std::string> items;  // combo boxes: the list, in order
};

struct UserMenuItem {
    int id = 0;
    std::string text;
    bool enabled = true;
};

// What waits for the user.
struct UserWait {
    enum class Kind { MessageBox, Window };
    Kind kind = Kind::MessageBox;
    std::string caption;  // the box's caption or the window's title
    // Message box.
    std::string text;
    unsigned style = 0;
    bool owned = false;
    std::vector<UserButton> buttons;
    size_t default_button = 0;  // index into buttons
    // Window.
    std::string class_name;
    std::vector<UserControl> controls;
    std::vector<UserMenuItem> menu;
};

// "message box "Caption"" or "window "Title"", for messages.
std::string DescribeWait(const UserWait& wait);

// The answer names and the result ids of message-box buttons; 0 / nullptr when unknown.
int AnswerIdForName(const std::string& name);
const char* AnswerNameForId(int id);

// A malformed script line; what() names the file and line when they are known.
class UserScriptError : public std::runtime_error {
  public:
    UserScriptError(const std::string& message, int line)
        : std::runtime_error(message), line_(line) {}
    int line() const { return line_; }

  private:
    int line_;
};

// One line of the user's language. Returns nullopt for a blank line or a comment (a line whose
// first non-blank character is '#'); throws UserScriptError (line 0) for a malformed one. Verbs
// and names are case-insensitive. After `settext ID` and one blank, the rest of the line is the
// text, blanks and '#' included; on other lines a '#' after a blank starts a comment.
std::optional<UserAction> ParseUserLine(const std::string& line);

// A whole script: the actions in order, each carrying SCRIPT_NAME and its line number. Throws
// UserScriptError naming the file and line of the first malformed line.
std::vector<UserAction> ParseUserScript(const std::string& text, const std::string& script_name);

// The callback of an in-process test; it returns the action for what waits, or nullopt for none.
using UserCallback = std::function<std::optional<UserAction>(const UserWait&)>;

// Installs the callback (nullptr removes it).
void SetUserCallback(UserCallback callback);

// The next action for what waits, from the first source present (see above); nullopt when nobody
// is there. A script that cannot be read or parsed, or one that has run out, ends the program.
// The $W95_USER script is read again when the variable or the machine changes.
std::optional<UserAction> NextUserAction(const UserWait& wait);

// The terminal exchange: draws what waits on OUT and reads lines from IN until one parses, with a
// hint after each bad line. nullopt when IN ends.
std::optional<UserAction> AskAtTerminal(const UserWait& wait, std::istream& in, std::ostream& out);

// What waits, drawn as text (a framed box with caption, text and buttons; a window's controls).
std::string RenderWait(const UserWait& wait);

// Ends the program because the user cannot go on: prints WHY (naming the action's script file and
// line when there is one) on stderr, writes a "user-error" event to ui.jsonl and exits with code 3.
[[noreturn]] void EndProgramForUser(const UserAction* action, const std::string& why);

// Tells that ACTION cannot be carried out on what waits. An action typed at the terminal is
// answered with WHY and the call returns, so the caller asks again; any other ends the program.
void RejectUserAction(const UserAction& action, const UserWait& wait, const std::string& why);

// The exit code of a program ended by its user's failure.
constexpr int kUserErrorExitCode = 3;

}  // namespace w95
