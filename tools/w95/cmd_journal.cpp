// w95 journal [--follow] [--windows] [NAME...]: the machine's journals (driver, ui, progman) as
// lines a person reads, in time order. Window events are many and shown only with --windows. With
// --follow it keeps printing what new comes until it is interrupted.
#include "commands.h"

#include "machine.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace w95tool {
namespace {

using nlohmann::json;

const char* RequestName(int code) {
    switch (code) {
        case 513:
            return "modem reset on";
        case 514:
            return "modem reset off";
        case 515:
            return "get configuration";
        case 516:
            return "modem init";
        case 517:
            return "board reset";
        default:
            return "request";
    }
}

// The text of a message box or a command, on one line: line breaks shown as " / ".
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (line.size() < 3 || line.compare(line.size() - 3, 3, " / ") != 0)
                line += " / ";
        } else {
            line += c;
        }
    }
    return line;
}

std::string Describe(const std::string& journal, const json& e) {
    std::string event = e.value("event", "");
    char text[512];
    if (journal == "driver" && event == "request") {
        int code = e.value("code", 0);
        if (e.contains("board")) {
            std::snprintf(text, sizeof(text), "driver: %-17s board %d port %d", RequestName(code),
                          e.value("board", 0), e.value("port", 0));
        } else {
            std::snprintf(text, sizeof(text), "driver: %s", RequestName(code));
        }
        std::string line = text;
        if (e.contains("error"))
            line += "  (failed, error " + e["error"].dump() + ")";
        return line;
    }
    if (journal == "driver" && event == "download") {
        std::snprintf(
            text, sizeof(text),
            "modem:  board %d port %d has its firmware (loader %d bytes, firmware %d bytes, "
            "checksum %s)",
            e.value("board", 0), e.value("port", 0), e.value("loader_bytes", 0),
            e.value("firmware_bytes", 0), e.value("checksum", "").c_str());
        return text;
    }
    if (journal == "ui" && event == "messagebox") {
        return "box:    [" + e.value("caption", "") + "] " + OneLine(e.value("text", "")) +
               "  -> " + e.value("answer", "");
    }
    if (journal == "progman" && event == "execute") {
        return std::string("progman: ") + e.value("command", "") +
               (e.value("ok", false) ? "" : "  (refused)");
    }
    std::string rest = e.dump();
    return journal + ": " + rest;
}

struct Reader {
    std::string name;
    std::streamoff offset = 0;
};

// New complete lines of a journal since the last call, as (t, line).
void ReadNew(Reader& reader, bool windows, std::multimap<uint64_t, std::string>& out) {
    std::ifstream in(w95::MachinePath("journal") / (reader.name + ".jsonl"));
    if (!in)
        return;
    in.seekg(reader.offset);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof())
            break;  // a line still being written
        reader.offset = in.tellg();
        auto event = json::parse(line, nullptr, false);
        if (event.is_discarded())
            continue;
        if (!windows && event.value("event", "") == "window")
            continue;
        out.emplace(event.value("t", uint64_t(0)), Describe(reader.name, event));
    }
}

}  // namespace

int RunJournal(const Args& args) {
    RequireMachine();
    bool follow = false;
    bool windows = false;
    std::vector<Reader> readers;
    for (const auto& arg : args) {
        if (arg == "--follow") {
            follow = true;
        } else if (arg == "--windows") {
            windows = true;
        } else if (arg == "driver" || arg == "ui" || arg == "progman") {
            readers.push_back({arg});
        } else {
            throw UsageError("unknown journal " + arg + " (driver, ui, progman)");
        }
    }
    if (readers.empty())
        readers = {{"driver"}, {"ui"}, {"progman"}};

    uint64_t start = 0;
    for (;;) {
        std::multimap<uint64_t, std::string> lines;
        for (auto& reader : readers)
            ReadNew(reader, windows, lines);
        for (const auto& [t, line] : lines) {
            if (start == 0)
                start = t;
            std::printf("%8.3f s  %s\n", double(t - start) / 1000.0, line.c_str());
        }
        std::fflush(stdout);
        if (!follow)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace w95tool
