#include "user.h"

#include <windows.h>

#include "journal.h"
#include "machine.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>

namespace w95 {

namespace {

struct AnswerName {
    int id;
    const char* name;
};

// The result ids of message-box buttons (IDOK ... IDNO) and the names the user gives them.
constexpr AnswerName kAnswers[] = {{1, "ok"},     {2, "cancel"}, {3, "abort"}, {4, "retry"},
                                   {5, "ignore"}, {6, "yes"},    {7, "no"}};

constexpr const char* kKeys[] = {"enter", "esc", "tab", "space"};

constexpr const char* kVerbHelp =
    "click ID, settext ID TEXT, menu ID, key NAME, answer NAME, close";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Splits off the next blank-separated word of LINE starting at POS; POS moves past it.
std::string NextWord(const std::string& line, size_t& pos) {
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

int ParseId(const std::string& verb, const std::string& word) {
    if (word.empty())
        throw UserScriptError("`" + verb + "` needs an id", 0);
    bool digits = word.size() <= 5 && std::all_of(word.begin(), word.end(), [](char c) {
                      return std::isdigit(static_cast<unsigned char>(c));
                  });
    if (!digits || std::stoi(word) > 65535) {
        throw UserScriptError("bad id '" + word + "': ids are decimal numbers from 0 to 65535", 0);
    }
    return std::stoi(word);
}

template <size_t N>
std::string JoinNames(const char* const (&names)[N]) {
    std::string joined;
    for (const char* name : names)
        joined += (joined.empty() ? "" : ", ") + std::string(name);
    return joined;
}

std::string AnswerList() {
    std::string joined;
    for (const auto& answer : kAnswers) {
        joined += (joined.empty() ? "" : ", ") + std::string(answer.name);
    }
    return joined;
}

// The words after the verb up to a trailing comment.
std::vector<std::string> Arguments(const std::string& line, size_t pos) {
    std::vector<std::string> words;
    for (std::string word = NextWord(line, pos); !word.empty(); word = NextWord(line, pos)) {
        if (word[0] == '#')
            break;
        words.push_back(word);
    }
    return words;
}

void ExpectCount(const std::string& verb, const std::vector<std::string>& args, size_t count,
                 const char* what) {
    if (args.size() < count)
        throw UserScriptError("`" + verb + "` needs " + what, 0);
    if (args.size() > count) {
        throw UserScriptError("`" + verb + "` takes " + (count ? what : std::string("nothing")) +
                                  "; unexpected '" + args[count] + "'",
                              0);
    }
}

struct ScriptState {
    bool loaded = false;
    std::string variable;  // the value of $W95_USER the actions were read from
    uint64_t generation = 0;
    std::vector<UserAction> actions;
    size_t next = 0;
};

struct UserState {
    std::mutex mutex;  // guards callback and script
    UserCallback callback;
    ScriptState script;
    std::mutex terminal;  // one exchange at the terminal at a time
};

// Process-wide and never destroyed: threads may still ask for the user while the process exits.
UserState& State() {
    static UserState* state = new UserState;
    return *state;
}

[[noreturn]] void EndProgram(const UserAction* action, const std::string& script,
                             const std::string& why) {
    std::string where;
    nlohmann::ordered_json event = {{"event", "user-error"}};
    if (action) {
        switch (action->source) {
            case UserSource::Script:
                where = action->script + " line " + std::to_string(action->line) + ": ";
                break;
            case UserSource::Terminal:
                where = "at the terminal: ";
                break;
            case UserSource::Callback:
                where = "from the test's callback: ";
                break;
        }
        where += "`" + FormatUserAction(*action) + "` ";
    }
    std::string message = where + why;
    std::fprintf(stderr, "w95: %s\n", message.c_str());
    std::fflush(stderr);

    event["message"] = message;
    if (action) {
        event["action"] = FormatUserAction(*action);
        if (action->source == UserSource::Script) {
            event["script"] = action->script;
            event["line"] = action->line;
        }
    } else if (!script.empty()) {
        event["script"] = script;
    }
    JournalEvent("ui", event);
    std::fflush(stdout);
    // No static destructors or atexit handlers: other threads of the program may still run.
    _exit(kUserErrorExitCode);
}

// Reads $W95_USER again when it names another file or the process moved to another machine.
void LoadScriptIfChanged(ScriptState& script, const std::string& variable) {
    uint64_t generation = MachineGeneration();
    if (script.loaded && script.variable == variable && script.generation == generation)
        return;
    std::ifstream in(variable, std::ios::binary);
    if (!in) {
        EndProgram(nullptr, variable,
                   "cannot read the user script " + variable + ": " + std::strerror(errno));
    }
    std::ostringstream text;
    text << in.rdbuf();
    try {
        script.actions = ParseUserScript(text.str(), variable);
    } catch (const UserScriptError& error) {
        EndProgram(nullptr, variable, error.what());
    }
    script.loaded = true;
    script.variable = variable;
    script.generation = generation;
    script.next = 0;
}

std::string ButtonLabel(const std::string& name) {
    if (name == "ok")
        return "OK";
    std::string label = name;
    if (!label.empty())
        label[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(label[0])));
    return label;
}

// Splits TEXT at line ends and wraps lines longer than WIDTH at blanks; tabs become blanks.
std::vector<std::string> WrapText(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    std::string current;
    auto flush_line = [&](std::string line) {
        while (line.size() > width) {
            size_t cut = line.rfind(' ', width);
            if (cut == std::string::npos || cut == 0)
                cut = width;
            lines.push_back(line.substr(0, cut));
            line.erase(0, line[cut] == ' ' ? cut + 1 : cut);
        }
        lines.push_back(line);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (c == '\n' || c == '\r') {
            flush_line(current);
            current.clear();
        } else if (c == '\t') {
            current += "    ";
        } else {
            current += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        }
    }
    flush_line(current);
    return lines;
}

std::string Frame(const std::string& title, const std::vector<std::string>& lines) {
    size_t inner = title.size() + 4;
    for (const auto& line : lines)
        inner = std::max(inner, line.size() + 4);
    std::string out = "+- " + title + " " + std::string(inner - title.size() - 2, '-') + "+\n";
    for (const auto& line : lines) {
        out += "|  " + line + std::string(inner - line.size() - 1, ' ') + "|\n";
    }
    out += "+" + std::string(inner + 1, '-') + "+\n";
    return out;
}

const char* IconMark(unsigned style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONHAND:
            return "(x) ";
        case MB_ICONQUESTION:
            return "(?) ";
        case MB_ICONEXCLAMATION:
            return "(!) ";
        case MB_ICONASTERISK:
            return "(i) ";
        default:
            return "";
    }
}

std::string Prompt(const UserWait& wait) {
    if (wait.kind == UserWait::Kind::MessageBox) {
        std::string names;
        for (const auto& button : wait.buttons)
            names += (names.empty() ? "" : "|") + button.name;
        return "answer " + names + " > ";
    }
    return "click ID | settext ID TEXT | menu ID | key NAME | close > ";
}

}  // namespace

UserAction UserAction::Click(int id) {
    UserAction action;
    action.verb = UserVerb::Click;
    action.id = id;
    return action;
}

UserAction UserAction::SetText(int id, std::string text) {
    UserAction action;
    action.verb = UserVerb::SetText;
    action.id = id;
    action.text = std::move(text);
    return action;
}

UserAction UserAction::Menu(int id) {
    UserAction action;
    action.verb = UserVerb::Menu;
    action.id = id;
    return action;
}

UserAction UserAction::Key(std::string name) {
    UserAction action;
    action.verb = UserVerb::Key;
    action.name = Lower(std::move(name));
    return action;
}

UserAction UserAction::Answer(std::string name) {
    UserAction action;
    action.verb = UserVerb::Answer;
    action.name = Lower(std::move(name));
    return action;
}

UserAction UserAction::Close() {
    return UserAction{};
}

std::string FormatUserAction(const UserAction& action) {
    switch (action.verb) {
        case UserVerb::Click:
            return "click " + std::to_string(action.id);
        case UserVerb::SetText:
            return "settext " + std::to_string(action.id) + " " + action.text;
        case UserVerb::Menu:
            return "menu " + std::to_string(action.id);
        case UserVerb::Key:
            return "key " + action.name;
        case UserVerb::Answer:
            return "answer " + action.name;
        case UserVerb::Close:
            break;
    }
    return "close";
}

std::string DescribeWait(const UserWait& wait) {
    if (wait.kind == UserWait::Kind::MessageBox)
        return "message box \"" + wait.caption + "\"";
    return "window \"" + wait.caption + "\"";
}

int AnswerIdForName(const std::string& name) {
    for (const auto& answer : kAnswers) {
        if (name == answer.name)
            return answer.id;
    }
    return 0;
}

const char* AnswerNameForId(int id) {
    for (const auto& answer : kAnswers) {
        if (id == answer.id)
            return answer.name;
    }
    return nullptr;
}

std::optional<UserAction> ParseUserLine(const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    size_t pos = 0;
    std::string verb = NextWord(line, pos);
    if (verb.empty() || verb[0] == '#')
        return std::nullopt;
    verb = Lower(verb);

    if (verb == "settext") {
        int id = ParseId(verb, NextWord(line, pos));
        // One blank separates the id from the text; everything after it is the text.
        std::string text = pos < line.size() ? line.substr(pos + 1) : std::string();
        return UserAction::SetText(id, text);
    }
    std::vector<std::string> args = Arguments(line, pos);
    if (verb == "click" || verb == "menu") {
        ExpectCount(verb, args, 1, "one id");
        int id = ParseId(verb, args[0]);
        return verb == "click" ? UserAction::Click(id) : UserAction::Menu(id);
    }
    if (verb == "key") {
        ExpectCount(verb, args, 1, "one key name");
        std::string name = Lower(args[0]);
        if (std::none_of(std::begin(kKeys), std::end(kKeys),
                         [&](const char* k) { return name == k; })) {
            throw UserScriptError("unknown key '" + args[0] + "' (keys: " + JoinNames(kKeys) + ")",
                                  0);
        }
        return UserAction::Key(name);
    }
    if (verb == "answer") {
        ExpectCount(verb, args, 1, "one answer");
        std::string name = Lower(args[0]);
        if (!AnswerIdForName(name)) {
            throw UserScriptError(
                "unknown answer '" + args[0] + "' (answers: " + AnswerList() + ")", 0);
        }
        return UserAction::Answer(name);
    }
    if (verb == "close") {
        ExpectCount(verb, args, 0, "");
        return UserAction::Close();
    }
    throw UserScriptError("unknown verb '" + verb + "' (verbs: " + kVerbHelp + ")", 0);
}

std::vector<UserAction> ParseUserScript(const std::string& text, const std::string& script_name) {
    std::vector<UserAction> actions;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::optional<UserAction> action;
        try {
            action = ParseUserLine(line);
        } catch (const UserScriptError& error) {
            throw UserScriptError(
                script_name + " line " + std::to_string(number) + ": " + error.what(), number);
        }
        if (!action)
            continue;
        action->source = UserSource::Script;
        action->script = script_name;
        action->line = number;
        actions.push_back(std::move(*action));
    }
    return actions;
}

void SetUserCallback(UserCallback callback) {
    auto& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.callback = std::move(callback);
}

std::optional<UserAction> NextUserAction(const UserWait& wait) {
    auto& state = State();
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        if (state.callback) {
            // Called unlocked: the callback may itself cause something to wait for the user.
            UserCallback callback = state.callback;
            lock.unlock();
            std::optional<UserAction> action = callback(wait);
            if (action)
                action->source = UserSource::Callback;
            return action;
        }
        const char* variable = std::getenv("W95_USER");
        if (variable && *variable) {
            LoadScriptIfChanged(state.script, variable);
            if (state.script.next >= state.script.actions.size()) {
                EndProgram(nullptr, variable,
                           "the script ended: " + std::string(variable) +
                               " has no action left for the " + DescribeWait(wait) +
                               " that waits for the user");
            }
            return state.script.actions[state.script.next++];
        }
    }
    if (isatty(STDIN_FILENO)) {
        std::lock_guard<std::mutex> lock(state.terminal);
        std::optional<UserAction> action = AskAtTerminal(wait, std::cin, std::cerr);
        if (!action) {
            EndProgram(nullptr, "",
                       "the terminal's input ended while the " + DescribeWait(wait) +
                           " waits for the user");
        }
        return action;
    }
    return std::nullopt;
}

std::string RenderWait(const UserWait& wait) {
    std::vector<std::string> lines;
    if (wait.kind == UserWait::Kind::MessageBox) {
        std::string mark = IconMark(wait.style);
        std::vector<std::string> text = WrapText(wait.text, 72);
        for (size_t i = 0; i < text.size(); ++i) {
            lines.push_back((i == 0 ? mark : std::string(mark.size(), ' ')) + text[i]);
        }
        lines.emplace_back();
        std::string row;
        for (size_t i = 0; i < wait.buttons.size(); ++i) {
            std::string label = "[ " + ButtonLabel(wait.buttons[i].name) + " ]";
            if (i == wait.default_button)
                label = ">" + label + "<";
            row += (row.empty() ? "" : "  ") + label;
        }
        lines.push_back(row);
        return Frame(wait.caption, lines);
    }
    for (const auto& control : wait.controls) {
        std::string line = "[" + std::to_string(control.id) + "] " + control.class_name + " \"" +
                           control.text + "\"";
        if (control.checked)
            line += " (checked)";
        if (!control.enabled)
            line += " (disabled)";
        if (control.focused)
            line += " (focus)";
        lines.push_back(line);
        for (const auto& item : control.items)
            lines.push_back("      - " + item);
    }
    if (!wait.menu.empty()) {
        lines.emplace_back();
        lines.emplace_back("menu:");
        for (const auto& item : wait.menu) {
            std::string line = "  [" + std::to_string(item.id) + "] " + item.text;
            if (!item.enabled)
                line += " (disabled)";
            lines.push_back(line);
        }
    }
    std::string title = wait.caption;
    if (!wait.class_name.empty())
        title += " (" + wait.class_name + ")";
    return Frame(title, lines);
}

std::optional<UserAction> AskAtTerminal(const UserWait& wait, std::istream& in, std::ostream& out) {
    out << "\n" << RenderWait(wait) << Prompt(wait) << std::flush;
    std::string line;
    while (std::getline(in, line)) {
        try {
            std::optional<UserAction> action = ParseUserLine(line);
            if (action) {
                action->source = UserSource::Terminal;
                return action;
            }
        } catch (const UserScriptError& error) {
            out << "? " << error.what() << "\n";
            if (wait.kind == UserWait::Kind::MessageBox && !wait.buttons.empty()) {
                out << "  for example: answer " << wait.buttons[wait.default_button].name << "\n";
            }
        }
        out << Prompt(wait) << std::flush;
    }
    out << "\n" << std::flush;
    return std::nullopt;
}

void EndProgramForUser(const UserAction* action, const std::string& why) {
    EndProgram(action, "", why);
}

void RejectUserAction(const UserAction& action, const UserWait& wait, const std::string& why) {
    if (action.source == UserSource::Terminal) {
        std::cerr << "? " << why << "\n" << std::flush;
        return;
    }
    EndProgram(&action, "", "cannot be carried out on the " + DescribeWait(wait) + ": " + why);
}

}  // namespace w95
