#include "modem_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace boardsim {
namespace {

constexpr size_t kChunk = 4096;
// Upper bound of one wait, so that nothing depends on a single wake-up arriving.
constexpr int kMaxWaitMs = 1000;
// After a hang-up on the master (not expected while the simulator holds the slave), the master
// is left out of the poll for this long instead of reporting the same hang-up in a loop.
constexpr auto kHangUpPause = std::chrono::milliseconds(100);

int MillisUntil(Clock::time_point when, Clock::time_point now) {
    if (when <= now)
        return 0;
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(when - now).count();
    return static_cast<int>(std::min<int64_t>((micros + 999) / 1000, kMaxWaitMs));
}

}  // namespace

ModemPort::ModemPort(const BoardSpec& board, const PortSpec& port, PortAddress address,
                     const std::filesystem::path& files_dir)
    : name_(port.name),
      pacing_(board.pacing),
      modem_(port, board.ram_firmware, board.quiet_ms, address, files_dir) {
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0)
        throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

ModemPort::~ModemPort() {
    stopping_ = true;
    Wake();
    if (thread_.joinable())
        thread_.join();
    ::close(wake_fd_);
}

void ModemPort::Start(const std::filesystem::path& dev_dir) {
    pty_.Publish(dev_dir / name_);
    thread_ = std::thread([this] { Run(); });
}

void ModemPort::SetResetHeld(bool held) {
    {
        std::lock_guard lock(mutex_);
        modem_.SetResetHeld(held, Clock::now());
    }
    Wake();
}

void ModemPort::PulseReset() {
    {
        std::lock_guard lock(mutex_);
        modem_.PulseReset(Clock::now());
    }
    Wake();
}

void ModemPort::Wake() {
    uint64_t one = 1;
    ssize_t written = ::write(wake_fd_, &one, sizeof(one));
    (void)written;  // a full counter already means "wake up"
}

void ModemPort::Run() {
    LinePacer receive_pacer(pacing_);
    LinePacer send_pacer(pacing_);
    std::string sending;  // bytes taken from the modem, not yet on the line
    uint64_t sending_generation = 0;
    Clock::time_point hung_up_until{};
    char buffer[kChunk];

    while (!stopping_) {
        auto now = Clock::now();
        std::optional<Clock::time_point> wake_at;
        bool takes_input;
        {
            std::lock_guard lock(mutex_);
            modem_.Advance(now);
            if (modem_.generation() != sending_generation) {
                sending.clear();  // the modem restarted: what it was sending is lost
                sending_generation = modem_.generation();
            }
            if (sending.empty())
                sending = modem_.TakeOutput(now, kChunk);
            // While bytes wait for room on the line, the modem's later output can wait too.
            wake_at = modem_.NextEvent(sending.empty());
            takes_input = modem_.TakesInput();
        }
        auto earliest = [&](Clock::time_point t) { wake_at = wake_at ? std::min(*wake_at, t) : t; };

        pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {pty_.master(), 0, 0}};
        size_t receive_credit = receive_pacer.Credit(now);
        size_t send_credit = send_pacer.Credit(now);
        if (takes_input) {
            if (receive_credit > 0) {
                fds[1].events |= POLLIN;
            } else {
                earliest(receive_pacer.NextCredit());
            }
        }
        if (!sending.empty()) {
            if (send_credit > 0) {
                fds[1].events |= POLLOUT;
            } else {
                earliest(send_pacer.NextCredit());
            }
        }
        if (now < hung_up_until) {
            fds[1].fd = -1;
            earliest(hung_up_until);
        }
        int timeout = wake_at ? MillisUntil(*wake_at, now) : kMaxWaitMs;
        if (::poll(fds, 2, timeout) < 0 && errno != EINTR)
            break;
        now = Clock::now();

        if (fds[0].revents & POLLIN) {
            uint64_t count;
            ssize_t drained = ::read(wake_fd_, &count, sizeof(count));
            (void)drained;
        }
        if (fds[1].revents & POLLIN) {
            ssize_t n = ::read(pty_.master(), buffer, std::min(kChunk, receive_credit));
            if (n > 0) {
                receive_pacer.Consume(static_cast<size_t>(n));
                // A modem on a line set to another rate or without handshaking hears noise.
                if (pty_.LineMatches()) {
                    std::lock_guard lock(mutex_);
                    modem_.Receive(buffer, static_cast<size_t>(n), now);
                }
            }
        }
        if (fds[1].revents & POLLOUT) {
            ssize_t n =
                ::write(pty_.master(), sending.data(), std::min(sending.size(), send_credit));
            if (n > 0) {
                send_pacer.Consume(static_cast<size_t>(n));
                sending.erase(0, static_cast<size_t>(n));
            }
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            hung_up_until = now + kHangUpPause;
    }
}

}  // namespace boardsim
