#include "modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

namespace boardsim {
namespace {

constexpr size_t kMaxCommandLine = 256;
constexpr size_t kSkippedOffsets[] = {65470, 65471};

std::string Hex(unsigned value, bool four_digits) {
    char text[8];
    std::snprintf(text, sizeof(text), four_digits ? "%04X" : "%X", value & 0xFFFFu);
    return text;
}

}  // namespace

uint16_t FirmwareChecksum(const std::string& image) {
    uint32_t sum = 0x8000;
    for (size_t i = 0; i < image.size(); ++i) {
        if (i == kSkippedOffsets[0] || i == kSkippedOffsets[1])
            continue;
        sum += static_cast<unsigned char>(image[i]);
    }
    return static_cast<uint16_t>(sum & 0xFFFFu);
}

Modem::Modem(const PortSpec& port, bool ram_firmware, int quiet_ms, PortAddress address,
             std::filesystem::path files_dir)
    : port_(port),
      ram_firmware_(ram_firmware),
      quiet_(quiet_ms),
      address_(address),
      files_dir_(std::move(files_dir)),
      firmware_running_(!ram_firmware || port.faults.firmware_running) {}

void Modem::Receive(const char* data, size_t size, Clock::time_point now) {
    switch (mode_) {
        case Mode::kHeldInReset:
            return;  // a modem in reset hears nothing
        case Mode::kLoader:
            loader_.append(data, size);
            last_byte_ = now;
            return;
        case Mode::kFirmware:
            firmware_.append(data, size);
            last_byte_ = now;
            return;
        case Mode::kCommand:
            break;
    }
    for (size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (!port_.faults.no_echo)
            Send(std::string(1, c), now);
        if (c == '\r') {
            std::string line;
            line.swap(line_);
            Command(std::move(line), now);
            if (mode_ != Mode::kCommand) {
                // "AT**" began a transfer: what follows it is already the loader.
                if (i + 1 < size)
                    Receive(data + i + 1, size - i - 1, now);
                return;
            }
        } else if (c != '\n' && line_.size() < kMaxCommandLine) {
            line_ += c;
        }
    }
}

void Modem::Command(std::string line, Clock::time_point now) {
    for (auto& c : line)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto first = line.find_first_not_of(' ');
    line = first == std::string::npos ? ""
                                      : line.substr(first, line.find_last_not_of(' ') - first + 1);
    if (line.compare(0, 2, "AT") != 0)
        return;  // anything but a command is ignored
    if (line == "ATI5") {
        if (firmware_running_) {
            std::string answer = port_.answer + (port_.faults.long_answer ? "0" : "");
            Send("\r\n" + answer + "\r\n\r\nOK\r\n", now);
        } else {
            Send("\r\nOK\r\n", now);  // the boot ROM has no identification to give
        }
    } else if (line == "AT**") {
        Send("\r\nDownload Initiated\r\n", now);
        if (ram_firmware_)
            firmware_running_ = false;
        loader_.clear();
        firmware_.clear();
        BeginStage(Mode::kLoader, now);
    } else {
        Send("\r\nOK\r\n", now);
    }
}

void Modem::BeginStage(Mode mode, Clock::time_point now) {
    mode_ = mode;
    stage_start_ = now;
    last_byte_.reset();
}

std::optional<Clock::time_point> Modem::StageDeadline() const {
    if (mode_ != Mode::kLoader && mode_ != Mode::kFirmware)
        return std::nullopt;
    if (last_byte_)
        return *last_byte_ + quiet_;
    return stage_start_ + kEmptyTransferWait;
}

void Modem::Advance(Clock::time_point now) {
    auto deadline = StageDeadline();
    if (!deadline || now < *deadline)
        return;
    if (mode_ == Mode::kLoader) {
        FinishLoader(now);
    } else {
        FinishFirmware(now);
    }
}

void Modem::FinishLoader(Clock::time_point now) {
    SaveFile("loader", loader_);
    Send("\r\nDownload Modem Firmware at 115.2K\r\n", now);
    BeginStage(Mode::kFirmware, now);
}

void Modem::FinishFirmware(Clock::time_point now) {
    SaveFile("firmware", firmware_);
    uint16_t checksum = FirmwareChecksum(firmware_);
    uint16_t reported =
        port_.faults.wrong_checksum ? static_cast<uint16_t>(checksum + 1) : checksum;
    // "\r\nChecksum: " and the digits with nothing after them: the host compares the characters
    // two places after the word, and a checksum of fewer than four digits matches only when
    // the reply ends right after it.
    std::string digits = Hex(reported, port_.faults.checksum_leading_zero);
    std::string reply = "\r\nChecksum: " + digits;
    if (port_.faults.checksum_trailing_text)
        reply += "\r\n";
    JournalDownload(address_, loader_.size(), firmware_.size(), Hex(checksum, false), digits);
    Send(reply, now);
    if (port_.faults.wrong_checksum) {
        // The modem received something other than the image: a RAM modem stays in its boot ROM,
        // a flash modem keeps the firmware it had.
        if (ram_firmware_)
            firmware_running_ = false;
    } else {
        firmware_running_ = true;
    }
    mode_ = Mode::kCommand;
    line_.clear();
}

void Modem::SaveFile(const std::string& suffix, const std::string& bytes) const {
    std::error_code ignored;
    std::filesystem::create_directories(files_dir_, ignored);
    auto path = files_dir_ / ("b" + std::to_string(address_.board) + "p" +
                              std::to_string(address_.port) + "." + suffix);
    auto temporary = path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::filesystem::rename(temporary, path, ignored);
}

void Modem::Send(std::string bytes, Clock::time_point now) {
    if (port_.faults.silent || !port_.modem || bytes.empty())
        return;
    if (port_.faults.garbage) {
        static const char kNoise[] = "#%&*~?^=@$";
        for (auto& c : bytes)
            c = kNoise[noise_++ % (sizeof(kNoise) - 1)];
    }
    auto due = port_.faults.slow ? now + std::chrono::milliseconds(port_.slow_ms) : now;
    if (!output_.empty() && output_.back().due == due) {
        output_.back().bytes += bytes;
    } else {
        output_.push_back({due, std::move(bytes)});
    }
}

std::optional<Clock::time_point> Modem::NextEvent(bool with_output) const {
    auto deadline = StageDeadline();
    if (with_output && !output_.empty() && (!deadline || output_.front().due < *deadline)) {
        return output_.front().due;
    }
    return deadline;
}

std::string Modem::TakeOutput(Clock::time_point now, size_t limit) {
    std::string taken;
    while (!output_.empty() && output_.front().due <= now && taken.size() < limit) {
        auto& front = output_.front();
        size_t count = std::min(limit - taken.size(), front.bytes.size());
        taken.append(front.bytes, 0, count);
        front.bytes.erase(0, count);
        if (front.bytes.empty())
            output_.pop_front();
    }
    return taken;
}

void Modem::Restart() {
    ++generation_;
    output_.clear();
    line_.clear();
    loader_.clear();
    firmware_.clear();
    last_byte_.reset();
}

void Modem::SetResetHeld(bool held, Clock::time_point) {
    if (held) {
        if (mode_ != Mode::kHeldInReset)
            Restart();
        mode_ = Mode::kHeldInReset;
    } else if (mode_ == Mode::kHeldInReset) {
        mode_ = Mode::kCommand;
    }
}

void Modem::PulseReset(Clock::time_point) {
    if (mode_ == Mode::kHeldInReset)
        return;  // stays held until its own release
    Restart();
    mode_ = Mode::kCommand;
}

}  // namespace boardsim
