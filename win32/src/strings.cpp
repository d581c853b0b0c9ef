// The kernel's string functions and the window manager's formatting (wsprintfA), with Windows'
// rules rather than the C library's.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The order of the default locale's word sort, near enough for ASCII text: punctuation before
// digits before letters, letters compared without case first.
int SortWeight(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return 300 + (c - 'A' + 'a');
    if (c >= 'a' && c <= 'z')
        return 300 + c;
    if (c >= '0' && c <= '9')
        return 200 + c;
    if (c >= 0x80)
        return 500 + c;
    return 100 + c;
}

int CompareWithoutCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int wa = *a ? SortWeight(static_cast<unsigned char>(*a)) : 0;
        int wb = *b ? SortWeight(static_cast<unsigned char>(*b)) : 0;
        if (wa != wb)
            return wa < wb ? -1 : 1;
        if (!*a)
            return 0;
    }
}

// Strings equal but for case: the first difference decides, lower case first.
int CompareCase(const char* a, const char* b) {
    for (; *a; ++a, ++b) {
        if (*a == *b)
            continue;
        return (*a >= 'a' && *a <= 'z') ? -1 : 1;
    }
    return 0;
}

int CompareNullFirst(const char* a, const char* b) {
    if (!a || !b)
        return (a ? 1 : 0) - (b ? 1 : 0);
    return 2;  // neither is null
}

// The formatted text, cut where Windows cuts it: 1024 characters with the terminating NUL.
class Output {
  public:
    static constexpr size_t kLimit = 1024 - 1;
    explicit Output(char* out) : out_(out) {}
    void Put(char c) {
        if (used_ < kLimit)
            out_[used_++] = c;
    }
    void Put(const std::string& text) {
        for (char c : text)
            Put(c);
    }
    void Pad(size_t count, char c) {
        for (size_t i = 0; i < count; ++i)
            Put(c);
    }
    int Finish() {
        out_[used_] = '\0';
        return static_cast<int>(used_);
    }

  private:
    char* out_;
    size_t used_ = 0;
};

struct Conversion {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    size_t width = 0;
    bool has_precision = false;
    size_t precision = 0;
    char size = 0;  // 'l' or 'w' (long, wide), 'h' (short, narrow), or 0
};

void PutField(Output& out, const Conversion& conversion, const std::string& prefix,
              const std::string& body, bool zero_pad) {
    size_t length = prefix.size() + body.size();
    size_t padding = conversion.width > length ? conversion.width - length : 0;
    if (conversion.left) {
        out.Put(prefix);
        out.Put(body);
        out.Pad(padding, ' ');
    } else if (zero_pad) {
        out.Put(prefix);
        out.Pad(padding, '0');
        out.Put(body);
    } else {
        out.Pad(padding, ' ');
        out.Put(prefix);
        out.Put(body);
    }
}

std::string Digits(uint32_t value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value % base]);
        value /= base;
    } while (value);
    return text;
}

void PutInteger(Output& out, const Conversion& conversion, char type, va_list& arguments) {
    // Every size reads a 32-bit argument ('l' is 32 bits on Windows, not the host's long);
    // 'h' keeps its low 16 bits.
    uint32_t raw = va_arg(arguments, uint32_t);
    bool is_signed = type == 'd' || type == 'i';
    std::string prefix;
    uint32_t magnitude;
    if (is_signed) {
        int32_t value =
            conversion.size == 'h' ? static_cast<int16_t>(raw) : static_cast<int32_t>(raw);
        if (value < 0)
            prefix = "-";
        magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    } else {
        magnitude = conversion.size == 'h' ? static_cast<uint16_t>(raw) : raw;
    }
    bool hex = type == 'x' || type == 'X';
    std::string body = Digits(magnitude, hex ? 16 : 10, type == 'X');
    if (conversion.has_precision) {
        if (conversion.precision == 0 && magnitude == 0)
            body.clear();
        if (body.size() < conversion.precision)
            body.insert(0, conversion.precision - body.size(), '0');
    }
    if (hex && conversion.alternate && magnitude != 0)
        prefix = type == 'X' ? "0X" : "0x";
    PutField(out, conversion, prefix, body, conversion.zero && !conversion.has_precision);
}

char Narrow(uint32_t wide) {
    return wide < 0x100 ? static_cast<char>(wide) : '?';
}

void PutString(Output& out, const Conversion& conversion, bool wide, va_list& arguments) {
    std::string body;
    size_t limit = conversion.has_precision ? conversion.precision : SIZE_MAX;
    if (wide) {
        const auto* text = va_arg(arguments, const uint16_t*);
        if (!text) {
            body = "(null)";
        } else {
            for (; *text && body.size() < limit; ++text)
                body += Narrow(*text);
        }
    } else {
        const char* text = va_arg(arguments, const char*);
        if (!text)
            text = "(null)";
        for (; *text && body.size() < limit; ++text)
            body += *text;
    }
    if (body.size() > limit)
        body.resize(limit);
    PutField(out, conversion, "", body, false);
}

}  // namespace

extern "C" int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

extern "C" int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    int nulls = CompareNullFirst(lpString1, lpString2);
    if (nulls != 2)
        return nulls;
    int order = CompareWithoutCase(lpString1, lpString2);
    return order != 0 ? order : CompareCase(lpString1, lpString2);
}

extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    int nulls = CompareNullFirst(lpString1, lpString2);
    if (nulls != 2)
        return nulls;
    return CompareWithoutCase(lpString1, lpString2);
}

extern "C" LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcpy(lpString1, lpString2);
}

extern "C" LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2)
        return nullptr;
    if (iMaxLength <= 0)
        return lpString1;
    // At most iMaxLength - 1 characters, always terminated.
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

extern "C" LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcat(lpString1, lpString2);
}

extern "C" int WINAPI wvsprintfA(LPSTR lpOut, LPCSTR lpFmt, va_list arglist) {
    if (!lpOut)
        return 0;
    Output out(lpOut);
    if (!lpFmt)
        return out.Finish();
    va_list arguments;
    va_copy(arguments, arglist);
    const char* p = lpFmt;
    while (*p) {
        if (*p != '%') {
            out.Put(*p++);
            continue;
        }
        ++p;
        Conversion conversion;
        for (;; ++p) {
            if (*p == '-') {
                conversion.left = true;
            } else if (*p == '0') {
                conversion.zero = true;
            } else if (*p == '#') {
                conversion.alternate = true;
            } else {
                break;
            }
        }
        for (; *p >= '0' && *p <= '9'; ++p)
            conversion.width = conversion.width * 10 + (*p - '0');
        if (*p == '.') {
            conversion.has_precision = true;
            for (++p; *p >= '0' && *p <= '9'; ++p)
                conversion.precision = conversion.precision * 10 + (*p - '0');
        }
        if (*p == 'l' || *p == 'w' || *p == 'h')
            conversion.size = *p++;
        char type = *p;
        if (!type)
            break;
        ++p;
        switch (type) {
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X':
                PutInteger(out, conversion, type, arguments);
                break;
            case 'c':
            case 'C': {
                uint32_t code = va_arg(arguments, uint32_t);
                bool wide = type == 'C' ? conversion.size != 'h'
                                        : (conversion.size == 'l' || conversion.size == 'w');
                char c = wide ? Narrow(code & 0xFFFF) : static_cast<char>(code);
                PutField(out, conversion, "", c ? std::string(1, c) : std::string(), false);
                break;
            }
            case 's':
            case 'S': {
                bool wide = type == 'S' ? conversion.size != 'h'
                                        : (conversion.size == 'l' || conversion.size == 'w');
                PutString(out, conversion, wide, arguments);
                break;
            }
            default:
                out.Put(type);  // "%%" and unknown types give the character itself
                break;
        }
    }
    va_end(arguments);
    return out.Finish();
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list arguments;
    va_start(arguments, lpFmt);
    int written = wvsprintfA(lpOut, lpFmt, arguments);
    va_end(arguments);
    return written;
}
