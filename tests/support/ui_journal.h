// Reading the machine's journals in tests, and answering message boxes in process.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace w95test {

// The events of journal/<name>.jsonl of the current machine, optionally only those whose "event"
// is EVENT; empty when the journal does not exist.
std::vector<nlohmann::json> JournalEvents(const std::string& name, const std::string& event = "");

// The message boxes shown so far in the current machine, in order.
std::vector<nlohmann::json> MessageBoxes();

// Every message box from now on takes its default button, as with nobody at the machine.
void AnswerMessageBoxesWithDefaults();

}  // namespace w95test
