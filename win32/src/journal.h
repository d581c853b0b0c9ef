// The machine's journals: JSON lines under <machine>/journal/, one object per event, each with
// the machine's monotonic millisecond time "t" and the writer's "pid".
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace w95 {

// Milliseconds of the host's monotonic clock: the same time base for every process of a machine.
uint64_t MachineMillis();

// Appends one event to journal/<name>.jsonl ("ui", "driver", "progman"). The line is written with
// a single append, so lines from several processes and threads never interleave.
void JournalEvent(const std::string& name, const nlohmann::ordered_json& event);

}  // namespace w95
