// Reading the machine's journals in tests, answering message boxes in process, and finding a
// control in what the user is shown.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "user.h"

namespace w95test {

// The events of journal/<name>.jsonl of the current machine, optionally only those whose "event"
// is EVENT; empty when the journal does not exist.
std::vector<nlohmann::json> JournalEvents(const std::string& name, const std::string& event = "");

// The message boxes shown so far in the current machine, in order.
std::vector<nlohmann::json> MessageBoxes();

// Every message box from now on takes its default button, as with nobody at the machine.
void AnswerMessageBoxesWithDefaults();

// The control ID of the window the user is shown in WAIT; null when it has none.
const w95::UserControl* Control(const w95::UserWait& wait, int id);

}  // namespace w95test
