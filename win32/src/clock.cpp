#include "clock.h"

#include "machine.h"

#include <windows.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace w95 {
namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

enum class Mode { kUnset, kReal, kVirtual };

struct ClockState {
    std::mutex mutex;
    bool started = false;
    uint64_t machine_generation = 0;
    SteadyClock::time_point origin;
    uint32_t tick_at_origin = 0;
    uint64_t skipped_ms = 0;  // moved on by Sleep on the virtual clock
    std::atomic<Mode> mode{Mode::kUnset};
};

// When this process started, as near as the library can tell: its static initialisation.
const SteadyClock::time_point process_start = SteadyClock::now();

ClockState& TheClock() {
    static ClockState* clock = new ClockState;  // never destroyed: threads may read it at exit
    return *clock;
}

uint64_t MillisecondsSince(SteadyClock::time_point start) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<Milliseconds>(SteadyClock::now() - start).count());
}

// Called with the clock's mutex held. The first start counts from the process's start; later
// ones (another machine, a restart asked for) from now.
void Start(ClockState& clock) {
    bool from_process_start = !clock.started && process_start != SteadyClock::time_point();
    // On a whole millisecond of the monotonic clock, so that the counter steps together with the
    // journals' times: a wait of N ticks then never shows as less than N ms there.
    clock.origin =
        std::chrono::floor<Milliseconds>(from_process_start ? process_start : SteadyClock::now());
    clock.machine_generation = MachineGeneration();
    clock.skipped_ms = 0;
    if (auto tick_start = LoadMachineConfig().tick_start) {
        clock.tick_at_origin = *tick_start;
    } else {
        // Like Windows: milliseconds since the (host) system started.
        auto since_boot = std::chrono::duration_cast<Milliseconds>(clock.origin.time_since_epoch());
        clock.tick_at_origin = static_cast<uint32_t>(since_boot.count());
    }
    clock.started = true;
}

uint32_t ReadTicks(ClockState& clock) {
    std::lock_guard lock(clock.mutex);
    if (!clock.started || clock.machine_generation != MachineGeneration())
        Start(clock);
    // Unsigned arithmetic wraps at 2^32 as the Windows counter does (after 49.7 days).
    return clock.tick_at_origin +
           static_cast<uint32_t>(MillisecondsSince(clock.origin) + clock.skipped_ms);
}

Mode CurrentMode(ClockState& clock) {
    Mode mode = clock.mode.load();
    if (mode != Mode::kUnset)
        return mode;
    const char* setting = std::getenv("W95_VIRTUAL_CLOCK");
    Mode chosen = setting && std::strcmp(setting, "1") == 0 ? Mode::kVirtual : Mode::kReal;
    clock.mode.compare_exchange_strong(mode, chosen);
    return clock.mode.load();
}

[[noreturn]] void SleepForever() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(24));
}

}  // namespace

void UseVirtualClock(bool on) {
    TheClock().mode = on ? Mode::kVirtual : Mode::kReal;
}

bool VirtualClockInUse() {
    return CurrentMode(TheClock()) == Mode::kVirtual;
}

void RestartClock() {
    auto& clock = TheClock();
    std::lock_guard lock(clock.mutex);
    clock.started = true;  // counts from now
    Start(clock);
}

}  // namespace w95

extern "C" DWORD WINAPI GetTickCount(void) {
    // Programs poll the counter in tight loops from many threads; yielding first keeps the
    // simulated hardware in this machine from being starved.
    sched_yield();
    return w95::ReadTicks(w95::TheClock());
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    auto& clock = w95::TheClock();
    if (dwMilliseconds == INFINITE)
        w95::SleepForever();
    if (w95::CurrentMode(clock) == w95::Mode::kVirtual) {
        {
            std::lock_guard lock(clock.mutex);
            if (!clock.started || clock.machine_generation != w95::MachineGeneration()) {
                w95::Start(clock);
            }
            clock.skipped_ms += dwMilliseconds;
        }
        sched_yield();
        return;
    }
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    auto deadline = w95::SteadyClock::now() + w95::Milliseconds(dwMilliseconds);
    while (w95::SteadyClock::now() < deadline)
        std::this_thread::sleep_until(deadline);
}
