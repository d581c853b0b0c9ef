// REGEDIT4 import and export. Import parses the whole text first and applies it in one write
// transaction afterwards, so a file with an error anywhere changes nothing.
#include "regedit.h"

#include "registry_store.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace w95 {
namespace {

constexpr const char* kRootName = "HKEY_LOCAL_MACHINE";
// Hex lists are wrapped before this column, as the tool's own exports always were.
constexpr size_t kHexLineWidth = 77;

struct Operation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    std::string key;  // below HKEY_LOCAL_MACHINE
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool StartsWithFolded(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && FoldName(text.substr(0, prefix.size())) == prefix;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, the whole of TEXT.
bool ParseHex32(const std::string& text, DWORD& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<DWORD>(digit);
    }
    return true;
}

class Parser {
  public:
    explicit Parser(const std::string& text) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines_.push_back(line);
        }
    }

    std::vector<Operation> Parse() {
        if (lines_.empty() || Trim(lines_[0]) != "REGEDIT4") {
            throw RegeditError(1, "the file does not start with REGEDIT4");
        }
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            std::string line = Trim(lines_[index_]);
            if (line.empty() || line[0] == ';')
                continue;
            if (line[0] == '[') {
                ParseSection(line);
            } else {
                ParseEntry(line);
            }
        }
        return std::move(operations_);
    }

  private:
    int LineNumber() const { return static_cast<int>(index_) + 1; }
    [[noreturn]] void Fail(const std::string& problem) const {
        throw RegeditError(LineNumber(), problem);
    }

    void ParseSection(const std::string& line) {
        if (line.back() != ']')
            Fail("missing ] at the end of the key name");
        std::string inner = line.substr(1, line.size() - 2);
        bool remove = !inner.empty() && inner[0] == '-';
        if (remove)
            inner.erase(0, 1);
        size_t slash = inner.find('\\');
        std::string root = inner.substr(0, slash);
        if (FoldName(root) != kRootName) {
            Fail("only HKEY_LOCAL_MACHINE keys can be imported, not " + root);
        }
        std::string path = slash == std::string::npos ? "" : inner.substr(slash + 1);
        bool empty_part = path.empty() || path.front() == '\\' || path.back() == '\\' ||
                          path.find("\\\\") != std::string::npos;
        if (slash != std::string::npos && empty_part)
            Fail("empty key name in " + inner);
        if (remove && path.empty())
            Fail("HKEY_LOCAL_MACHINE itself cannot be deleted");
        Operation op;
        op.kind = remove ? Operation::Kind::DeleteKey : Operation::Kind::CreateKey;
        op.key = path;
        operations_.push_back(op);
        section_ = remove ? Section::Deleted : Section::Key;
        key_ = path;
    }

    // A quoted text starting at POS (a double quote), with the escapes \\ and \".
    size_t ParseQuoted(const std::string& line, size_t pos, std::string& out) const {
        out.clear();
        for (size_t i = pos + 1; i < line.size(); ++i) {
            char c = line[i];
            if (c == '"')
                return i + 1;
            if (c == '\\') {
                if (i + 1 >= line.size())
                    break;
                char next = line[++i];
                if (next != '\\' && next != '"') {
                    Fail(std::string("unknown escape \\") + next + " in a quoted text");
                }
                c = next;
            }
            out += c;
        }
        Fail("a quoted text has no closing quote");
    }

    void ParseEntry(const std::string& line) {
        Operation op;
        op.kind = Operation::Kind::SetValue;
        op.key = key_;
        size_t pos;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            pos = ParseQuoted(line, 0, op.name);
        } else {
            Fail("expected [KEY], \"NAME\"=DATA, @=DATA or a ; comment");
        }
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            Fail("missing = after the value name");
        std::string data = Trim(line.substr(pos + 1));
        if (section_ == Section::None)
            Fail("a value before the first [KEY] line");
        if (section_ == Section::Deleted)
            Fail("a value under a deleted key [-...]");

        if (data == "-") {
            op.kind = Operation::Kind::DeleteValue;
        } else if (!data.empty() && data[0] == '"') {
            std::string text;
            size_t end = ParseQuoted(data, 0, text);
            if (end != data.size())
                Fail("text after the closing quote");
            op.type = REG_SZ;
            op.data = text + '\0';
        } else if (StartsWithFolded(data, "DWORD:")) {
            DWORD value;
            if (!ParseHex32(data.substr(6), value))
                Fail("dword: takes 1 to 8 hex digits");
            op.type = REG_DWORD;
            for (int i = 0; i < 4; ++i)
                op.data += static_cast<char>((value >> (8 * i)) & 0xFF);
        } else if (StartsWithFolded(data, "HEX:")) {
            op.type = REG_BINARY;
            ParseHexList(data.substr(4), op.data);
        } else if (StartsWithFolded(data, "HEX(")) {
            size_t close = data.find("):");
            if (close == std::string::npos || !ParseHex32(data.substr(4, close - 4), op.type)) {
                Fail("hex(N): takes the type N in 1 to 8 hex digits");
            }
            ParseHexList(data.substr(close + 2), op.data);
        } else {
            Fail("unknown value data (expected \"TEXT\", dword:, hex:, hex(N): or -)");
        }
        operations_.push_back(std::move(op));
    }

    // Comma-separated bytes; a line ending in a backslash continues on the next line.
    void ParseHexList(std::string piece, std::string& bytes) {
        for (;;) {
            piece = Trim(piece);
            bool continued = !piece.empty() && piece.back() == '\\';
            if (continued)
                piece.pop_back();
            ParseHexPiece(Trim(piece), continued, bytes);
            if (!continued)
                return;
            if (index_ + 1 >= lines_.size())
                Fail("the hex list continues past the end of the file");
            piece = lines_[++index_];
        }
    }

    void ParseHexPiece(const std::string& piece, bool continued, std::string& bytes) const {
        if (piece.empty())
            return;
        std::vector<std::string> tokens;
        size_t start = 0;
        for (;;) {
            size_t comma = piece.find(',', start);
            tokens.push_back(Trim(piece.substr(start, comma - start)));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        for (size_t i = 0; i < tokens.size(); ++i) {
            const std::string& token = tokens[i];
            if (token.empty() && continued && i + 1 == tokens.size() && i > 0)
                break;
            DWORD value;
            if (token.size() > 2 || !ParseHex32(token, value)) {
                Fail("bad hex byte '" + token + "' (expected two hex digits)");
            }
            bytes += static_cast<char>(value);
        }
    }

    enum class Section { None, Key, Deleted };

    std::vector<std::string> lines_;
    size_t index_ = 0;
    Section section_ = Section::None;
    std::string key_;
    std::vector<Operation> operations_;
};

void Apply(const std::vector<Operation>& operations) {
    RegistryTransaction transaction(RegistryTransaction::Mode::Write);
    KeyId current = kRootKeyId;
    for (const auto& op : operations) {
        switch (op.kind) {
            case Operation::Kind::CreateKey:
                current = transaction.CreateKey(kRootKeyId, op.key, nullptr);
                break;
            case Operation::Kind::DeleteKey:
                if (auto key = transaction.FindKey(kRootKeyId, op.key))
                    transaction.DeleteKey(*key);
                break;
            case Operation::Kind::SetValue:
                transaction.SetValue(current, op.name, op.type, op.data);
                break;
            case Operation::Kind::DeleteValue:
                transaction.DeleteValue(current, op.name);
                break;
        }
    }
    transaction.Commit();
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void RequireOneLine(const std::string& name, const std::string& where) {
    if (name.find_first_of("\r\n") != std::string::npos) {
        throw std::runtime_error("cannot export " + where + ": a name holds a line break");
    }
}

// REG_SZ with exactly one NUL, at the end, and no line break: the "TEXT" form reproduces it.
bool IsPlainText(const RegistryValue& value) {
    return value.type == REG_SZ && !value.data.empty() &&
           value.data.find('\0') == value.data.size() - 1 &&
           value.data.find_first_of("\r\n") == std::string::npos;
}

void WriteValue(const RegistryValue& value, std::string& out) {
    std::string line = value.name.empty() ? "@=" : Quote(value.name) + "=";
    if (IsPlainText(value)) {
        out += line + Quote(value.data.substr(0, value.data.size() - 1)) + "\n";
        return;
    }
    char buffer[32];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD dword = 0;
        for (int i = 3; i >= 0; --i)
            dword = (dword << 8) | static_cast<uint8_t>(value.data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", dword);
        out += line + buffer + "\n";
        return;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        line += buffer;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%02x%s", static_cast<uint8_t>(value.data[i]),
                      i + 1 < value.data.size() ? "," : "");
        if (line.size() + std::strlen(buffer) > kHexLineWidth) {
            out += line + "\\\n";
            line = "  ";
        }
        line += buffer;
    }
    out += line + "\n";
}

void WriteKey(RegistryTransaction& transaction, KeyId key, const std::string& full_name,
              std::string& out) {
    out += "[" + full_name + "]\n";
    for (const auto& value : transaction.Values(key)) {
        RequireOneLine(value.name, full_name);
        WriteValue(value, out);
    }
    out += "\n";
    for (const auto& child : transaction.Subkeys(key)) {
        RequireOneLine(child.name, full_name);
        WriteKey(transaction, child.id, full_name + "\\" + child.name, out);
    }
}

}  // namespace

RegeditError::RegeditError(int line, const std::string& problem)
    : std::runtime_error("line " + std::to_string(line) + ": " + problem), line_(line) {}

void ImportRegedit(const std::string& text) {
    Apply(Parser(text).Parse());
}

void ImportRegeditFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    ImportRegedit(text.str());
}

std::string KeyBelowRoot(const std::string& key) {
    std::string path = key;
    if (FoldName(path) == kRootName) {
        path.clear();
    } else if (StartsWithFolded(path, std::string(kRootName) + "\\")) {
        path.erase(0, std::string(kRootName).size() + 1);
    } else if (StartsWithFolded(path, "HKEY_")) {
        throw std::runtime_error("only HKEY_LOCAL_MACHINE exists on this machine: " + key);
    }
    return path;
}

std::string ExportRegedit(const std::string& key) {
    std::string path = KeyBelowRoot(key);
    RegistryTransaction transaction(RegistryTransaction::Mode::Read);
    auto id = transaction.FindKey(kRootKeyId, path);
    if (!id)
        throw std::runtime_error("no such key: HKEY_LOCAL_MACHINE\\" + path);
    std::string name = kRootName;
    if (*id != kRootKeyId)
        name += "\\" + transaction.KeyPath(*id);
    std::string out = "REGEDIT4\n\n";
    WriteKey(transaction, *id, name, out);
    return out;
}

}  // namespace w95
