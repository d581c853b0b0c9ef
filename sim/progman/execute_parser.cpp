#include "execute_parser.h"

#include <cctype>

namespace progman {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Parser {
  public:
    explicit Parser(const std::string& text) : text_(text) {}

    std::optional<std::vector<ExecuteCommand>> Commands() {
        std::vector<ExecuteCommand> commands;
        SkipBlanks();
        while (pos_ < text_.size()) {
            auto command = Command();
            if (!command)
                return std::nullopt;
            commands.push_back(std::move(*command));
            SkipBlanks();
        }
        if (commands.empty())
            return std::nullopt;
        return commands;
    }

  private:
    std::optional<ExecuteCommand> Command() {
        if (!Take('['))
            return std::nullopt;
        SkipBlanks();
        ExecuteCommand command;
        while (pos_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[pos_]))) {
            command.name += text_[pos_++];
        }
        if (command.name.empty())
            return std::nullopt;
        SkipBlanks();
        if (Take('(')) {
            if (!Arguments(command.arguments))
                return std::nullopt;
            SkipBlanks();
        }
        if (!Take(']'))
            return std::nullopt;
        return command;
    }

    // After "(": the arguments up to and including the ")" that closes the list.
    bool Arguments(std::vector<std::string>& arguments) {
        SkipBlanks();
        if (Take(')'))
            return true;  // an empty list
        for (;;) {
            SkipBlanks();
            std::string argument;
            if (pos_ < text_.size() && text_[pos_] == '"') {
                if (!Quoted(argument))
                    return false;
                SkipBlanks();
            } else if (!Unquoted(argument)) {
                return false;
            }
            arguments.push_back(std::move(argument));
            if (Take(','))
                continue;
            return Take(')');
        }
    }

    bool Quoted(std::string& argument) {
        ++pos_;  // the opening quote
        size_t end = text_.find('"', pos_);
        if (end == std::string::npos)
            return false;
        argument = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }

    // Runs to the next comma, or to the ")" that only blanks separate from "]"; leaves the
    // position on that comma or ")". Blanks around the argument are not part of it.
    bool Unquoted(std::string& argument) {
        size_t start = pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == ',' || (c == ')' && ClosesList(pos_)))
                break;
            if (c == '[' || c == ']' || c == '"')
                return false;
            ++pos_;
        }
        if (pos_ >= text_.size())
            return false;
        size_t end = pos_;
        while (end > start && IsBlank(text_[end - 1]))
            --end;
        argument = text_.substr(start, end - start);
        return true;
    }

    bool ClosesList(size_t paren) const {
        size_t next = paren + 1;
        while (next < text_.size() && IsBlank(text_[next]))
            ++next;
        return next < text_.size() && text_[next] == ']';
    }

    bool Take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_]))
            ++pos_;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

}  // namespace

std::optional<std::vector<ExecuteCommand>> ParseExecuteString(const std::string& text) {
    return Parser(text).Commands();
}

}  // namespace progman
