// How long the modem initialisation run takes for 1, 8, 16 and 32 ports: boards of 8 ports of
// revision "001" whose modems start without firmware, on lines paced at 115200 bit/s. Each count
// runs in a fresh machine with its own board simulator. Prints the wall time against the floor
// of one port (the waits the download prescribes, the line time of both images and the read
// time-outs its replies cost) and against the 1-port time.
//
//   init_run_bench [PORTS...]     (default: 1 8 16 32)
#include "download_scenario.h"
#include "tvxmcfg_state.h"

#include "tvxmcfg.h"
#include "ui_journal.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {

constexpr int kPortsPerBoard = 8;
constexpr double kLineBytesPerSecond = 115200.0 / 10;  // 8 data bits, start and stop bit
constexpr double kPrescribedWaitsMs = 2000 + 20 + 20 + 3000 + 2000;
// Four replies end by the 500 ms pause after their last byte: the boot ROM's short answer to
// the probe, "Download Initiated", the banner and the checksum.
constexpr double kReadTimeoutsMs = 4 * 500;

struct Measurement {
    int ports = 0;
    double wall_ms = 0;
    int result = 0;
    size_t failed = 0;      // ports reported in a message box
    size_t downloaded = 0;  // firmwares the modems received
};

std::string BoardFile(int ports) {
    std::string boards;
    for (int left = ports; left > 0; left -= kPortsPerBoard) {
        if (!boards.empty())
            boards += ",";
        boards += R"({"bus":"pci","revision":"001","pacing":true,"ports":)" +
                  std::to_string(std::min(left, kPortsPerBoard)) + "}";
    }
    return R"({"boards":[)" + boards + "]}";
}

Measurement Measure(int ports, const std::string& loader, const std::string& firmware) {
    w95test::TempMachine machine;
    w95test::BoardsimProcess sim(machine.dir(), BoardFile(ports));
    scenario::InstallImages(machine.dir(), loader, firmware);
    ResetProgramState();
    for (int board = 0; board * kPortsPerBoard < ports; ++board)
        BoardNeedsFirmware[board] = 1;
    w95test::AnswerMessageBoxesWithDefaults();

    DriverConfig config;
    GetDriverConfig(&config);
    Measurement m;
    m.ports = ports;
    auto start = scenario::Clock::now();
    m.result = InitializeModems(config);
    m.wall_ms = std::chrono::duration<double, std::milli>(scenario::Clock::now() - start).count();
    m.failed = w95test::MessageBoxes().size();
    for (const auto& event : scenario::Journal(machine.dir(), "driver"))
        m.downloaded += event.value("event", "") == "download";
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        int ports = std::atoi(argv[i]);
        if (ports < 1 || ports > 32) {
            std::fprintf(stderr, "usage: init_run_bench [PORTS...]  (each 1 to 32)\n");
            return 2;
        }
        counts.push_back(ports);
    }
    if (counts.empty())
        counts = {1, 8, 16, 32};

    try {
        std::string loader = scenario::BuiltImage("nvnmdmld.tm");
        std::string firmware = scenario::BuiltImage("nvnmdmfw.tm");
        double line_ms = (loader.size() + firmware.size()) / kLineBytesPerSecond * 1000;
        double floor_ms = kPrescribedWaitsMs + line_ms + kReadTimeoutsMs;
        std::printf("images: loader %zu bytes, firmware %zu bytes\n", loader.size(),
                    firmware.size());
        std::printf(
            "floor of one port: %.0f ms waits + %.0f ms line time + %.0f ms read "
            "time-outs = %.0f ms\n\n",
            kPrescribedWaitsMs, line_ms, kReadTimeoutsMs, floor_ms);
        std::printf("%5s  %10s  %8s  %8s  %6s  %10s  %6s\n", "ports", "wall ms", "/floor",
                    "/1 port", "result", "downloaded", "failed");
        double one_port_ms = 0;
        for (int ports : counts) {
            Measurement m = Measure(ports, loader, firmware);
            if (ports == 1)
                one_port_ms = m.wall_ms;
            char relative[16] = "-";
            if (one_port_ms > 0)
                std::snprintf(relative, sizeof(relative), "%.2f", m.wall_ms / one_port_ms);
            std::printf("%5d  %10.0f  %8.2f  %8s  %6d  %10zu  %6zu\n", m.ports, m.wall_ms,
                        m.wall_ms / floor_ms, relative, m.result, m.downloaded, m.failed);
            std::fflush(stdout);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "init_run_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
