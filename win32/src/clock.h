// The system clock behind GetTickCount and Sleep. Tests may put a process on a virtual clock, on
// which Sleep returns at once and moves the clock on by its time instead; the clock still runs
// with real time in between, so a loop that polls GetTickCount ends on either clock.
#pragma once

namespace w95 {

// Switches this process to the virtual clock (true) or back to the real one. Without a call, the
// environment variable W95_VIRTUAL_CLOCK=1 chooses the virtual clock.
void UseVirtualClock(bool on);
bool VirtualClockInUse();

// Makes now the process start again: GetTickCount reads the machine's tick_start (when set) at
// once, and time skipped on the virtual clock is forgotten. The clock does this by itself when
// the process moves to another machine.
void RestartClock();

}  // namespace w95
