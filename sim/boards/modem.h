// One on-board modem as the host sees it over its serial line: the AT dialogue of its boot ROM
// and of its running firmware, the firmware download, the reset line, and the faults a board
// file can give it. Pure logic over bytes and times; ModemPort moves the bytes and locks.
//
// Firmware model:
// - A revision "001" board keeps its modems' firmware in RAM: they power on (simulator start)
//   in the boot ROM and keep a downloaded firmware across resets, board resets included.
//   "AT**" clears the RAM, so an interrupted or failed download leaves the boot ROM.
// - Every other modem has its firmware in flash: it powers on with firmware running, and a
//   download only replaces that firmware when it completes.
// - A reset (held, then released) or a board reset restarts the modem: whatever it was doing
//   is dropped, including bytes on their way to the host, and it comes back in its boot ROM
//   or with its firmware running, as above.
#pragma once

#include "board_file.h"
#include "driver_journal.h"
#include "line_pacer.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>

namespace boardsim {

// The checksum the host expects for a firmware image: 0x8000 plus every byte, except those at
// offsets 65470 and 65471, modulo 65536.
uint16_t FirmwareChecksum(const std::string& image);

class Modem {
  public:
    // A stage with no byte at all ends after this long; this is how an empty image arrives.
    static constexpr std::chrono::milliseconds kEmptyTransferWait{5000};

    // `files_dir` receives b<board>p<port>.loader and .firmware as downloads arrive.
    Modem(const PortSpec& port, bool ram_firmware, int quiet_ms, PortAddress address,
          std::filesystem::path files_dir);

    // Bytes the host sent, at `now`.
    void Receive(const char* data, size_t size, Clock::time_point now);
    // Ends a transfer stage whose line has gone quiet.
    void Advance(Clock::time_point now);
    // The next time Advance has something to do, or TakeOutput when `with_output`.
    std::optional<Clock::time_point> NextEvent(bool with_output) const;
    // Up to `limit` bytes that are due on the line at `now`.
    std::string TakeOutput(Clock::time_point now, size_t limit);

    void SetResetHeld(bool held, Clock::time_point now);
    void PulseReset(Clock::time_point now);
    // Changes whenever the modem restarts: bytes already taken for the line are to be dropped.
    uint64_t generation() const { return generation_; }
    // False while the modem holds CTS low: the line is not read at all.
    bool TakesInput() const { return !port_.faults.cts_low; }

  private:
    enum class Mode { kHeldInReset, kCommand, kLoader, kFirmware };
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    void Restart();
    void Send(std::string bytes, Clock::time_point now);
    void Command(std::string line, Clock::time_point now);
    void BeginStage(Mode mode, Clock::time_point now);
    void FinishLoader(Clock::time_point now);
    void FinishFirmware(Clock::time_point now);
    std::optional<Clock::time_point> StageDeadline() const;
    void SaveFile(const std::string& suffix, const std::string& bytes) const;

    PortSpec port_;
    bool ram_firmware_;
    std::chrono::milliseconds quiet_;
    PortAddress address_;
    std::filesystem::path files_dir_;

    Mode mode_ = Mode::kCommand;
    bool firmware_running_;
    std::string line_;  // command characters up to the carriage return
    std::string loader_;
    std::string firmware_;
    Clock::time_point stage_start_{};
    std::optional<Clock::time_point> last_byte_;
    std::deque<Pending> output_;
    uint64_t generation_ = 0;
    unsigned noise_ = 0;
};

}  // namespace boardsim
