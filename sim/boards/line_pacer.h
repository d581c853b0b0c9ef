// Pacing of one direction of a serial line at its bit rate: a byte credit earned against an
// absolute monotonic clock, so the rate holds however late the simulator's thread wakes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace boardsim {

using Clock = std::chrono::steady_clock;

class LinePacer {
  public:
    // 115200 bit/s with a start and a stop bit: 11520 bytes a second.
    static constexpr int64_t kBytesPerSecond = 11520;
    // An idle line earns no more than a UART's few bytes of head start.
    static constexpr int64_t kMaxBurst = 64;

    explicit LinePacer(bool enabled) : enabled_(enabled), epoch_(Clock::now()) {}

    // Bytes that may cross the line now.
    size_t Credit(Clock::time_point now) {
        if (!enabled_)
            return std::numeric_limits<size_t>::max();
        int64_t credit = Earned(now) - moved_;
        if (credit > kMaxBurst) {
            // Restart the account so that an idle spell is not spent as a burst later.
            epoch_ = now - std::chrono::nanoseconds(kMaxBurst * kNanosPerSecond / kBytesPerSecond);
            moved_ = 0;
            credit = kMaxBurst;
        }
        return static_cast<size_t>(std::max<int64_t>(credit, 0));
    }

    void Consume(size_t bytes) { moved_ += static_cast<int64_t>(bytes); }

    // When the next byte's credit is earned.
    Clock::time_point NextCredit() const {
        int64_t nanos = ((moved_ + 1) * kNanosPerSecond + kBytesPerSecond - 1) / kBytesPerSecond;
        return epoch_ + std::chrono::nanoseconds(nanos);
    }

  private:
    static constexpr int64_t kNanosPerSecond = 1000000000;

    int64_t Earned(Clock::time_point now) const {
        int64_t nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(now - epoch_).count();
        return nanos * kBytesPerSecond / kNanosPerSecond;
    }

    bool enabled_;
    Clock::time_point epoch_;
    int64_t moved_ = 0;
};

}  // namespace boardsim
