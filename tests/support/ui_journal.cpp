#include "ui_journal.h"

#include "machine.h"
#include "user.h"

#include <fstream>

namespace w95test {

std::vector<nlohmann::json> JournalEvents(const std::string& name, const std::string& event) {
    std::vector<nlohmann::json> events;
    std::ifstream in(w95::MachinePath("journal") / (name + ".jsonl"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        auto parsed = nlohmann::json::parse(line);
        if (event.empty() || parsed.value("event", "") == event)
            events.push_back(parsed);
    }
    return events;
}

std::vector<nlohmann::json> MessageBoxes() {
    return JournalEvents("ui", "messagebox");
}

void AnswerMessageBoxesWithDefaults() {
    w95::SetUserCallback([](const w95::UserWait&) { return std::optional<w95::UserAction>(); });
}

const w95::UserControl* Control(const w95::UserWait& wait, int id) {
    for (const auto& control : wait.controls) {
        if (control.id == id)
            return &control;
    }
    return nullptr;
}

}  // namespace w95test
