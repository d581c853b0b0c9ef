// The real w95 binary, run as a user types its commands: init, config, regedit import, export and
// fault, the choice of machine, usage errors and failures, and two imports running at once.
#include <windows.h>

#include "machine.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;  // the exit status; -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// One w95 process with its standard output and error captured. ENV entries are set for the child
// (an empty value unsets the variable); W95_MACHINE is unset unless given.
class W95Process {
  public:
    explicit W95Process(const std::vector<std::string>& args,
                        std::map<std::string, std::string> env = {}) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            std::abort();
        std::string binary = std::string(TARVEX_BUILD_DIR) + "/tools/w95";
        env.emplace("W95_MACHINE", "");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (const auto& [name, value] : env) {
                if (value.empty()) {
                    unsetenv(name.c_str());
                } else {
                    setenv(name.c_str(), value.c_str(), 1);
                }
            }
            std::vector<char*> argv{binary.data()};
            std::vector<std::string> copies = args;
            for (auto& arg : copies)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    // Collects the output until the process ends; kills it after a minute.
    Outcome Wait() {
        Outcome outcome;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        std::string* sinks[2] = {&outcome.out, &outcome.err};
        int open = 2;
        while (open > 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
            if (left <= 0) {
                kill(pid_, SIGKILL);
                ADD_FAILURE() << "w95 did not end within a minute";
                break;
            }
            if (poll(fds, 2, static_cast<int>(left)) < 0)
                break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                char buffer[4096];
                ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        close(out_);
        close(err_);
        int status = 0;
        waitpid(pid_, &status, 0);
        if (WIFEXITED(status))
            outcome.status = WEXITSTATUS(status);
        return outcome;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

Outcome RunW95(const std::vector<std::string>& args, std::map<std::string, std::string> env = {}) {
    return W95Process(args, std::move(env)).Wait();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class W95ToolTest : public ::testing::Test {
  protected:
    // The machine of this test (also the process's own), as --machine names it.
    std::vector<std::string> On(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--machine", machine_.dir().string()});
        return args;
    }

    std::string Export(const std::string& key) {
        Outcome outcome = RunW95(On({"regedit", "export", key}));
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return outcome.out;
    }

    w95test::TempMachine machine_;
};

TEST_F(W95ToolTest, InitMakesAFreshMachineAndKeepsWhatAnExistingOneHolds) {
    auto fresh = machine_.path("fresh").string();
    Outcome init = RunW95({"--machine", fresh, "init"});
    ASSERT_EQ(init.status, 0) << init.err;
    for (const char* sub : {"c/WINDOWS/SYSTEM/tarvex", "dev", "dde", "journal", "registry.db"}) {
        EXPECT_TRUE(std::filesystem::exists(machine_.path("fresh") / sub)) << sub;
    }
    Outcome exported =
        RunW95({"--machine", fresh, "regedit", "export", "Software\\Microsoft\\Windows"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(
        exported.out,
        "REGEDIT4\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices]\n\n");

    auto file = machine_.path("entry.reg");
    WriteFile(file,
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]"
              "\n\"Setup\"=\"C:\\\\SETUP.EXE\"\n");
    ASSERT_EQ(RunW95({"--machine", fresh, "regedit", "import", file.string()}).status, 0);
    ASSERT_EQ(RunW95({"--machine", fresh, "init"}).status, 0);
    Outcome after = RunW95({"--machine", fresh, "regedit", "export",
                            "Software\\Microsoft\\Windows\\CurrentVersion\\Run"});
    EXPECT_NE(after.out.find("\"Setup\"=\"C:\\\\SETUP.EXE\"\n"), std::string::npos) << after.out;
}

TEST_F(W95ToolTest, TheMachineIsTheOptionElseTheEnvironmentElseHome) {
    auto option = machine_.path("option"), env = machine_.path("env"), home = machine_.path("home");
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        std::filesystem::path made;
    };
    const Case cases[] = {
        {{"--machine", option.string(), "init"}, {{"W95_MACHINE", env.string()}}, option},
        {{"init"}, {{"W95_MACHINE", env.string()}, {"HOME", home.string()}}, env},
        {{"init"}, {{"HOME", home.string()}}, home / ".w95"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(option);
        std::filesystem::remove_all(env);
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        Outcome outcome = RunW95(c.args, c.env);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        for (const auto& dir : {option, env, home / ".w95"}) {
            EXPECT_EQ(std::filesystem::exists(dir / "registry.db"), dir == c.made) << dir;
        }
    }
}

TEST_F(W95ToolTest, ConfigStoresTheSettingsAndRefusesBadOnes) {
    for (const auto& [name, value] :
         std::vector<std::pair<std::string, std::string>>{{"platform", "nt"},
                                                          {"screen", "1024x768"},
                                                          {"dialog-base-units", "9x18"},
                                                          {"tick-start", "4294967000"}}) {
        Outcome outcome = RunW95(On({"config", name, value}));
        EXPECT_EQ(outcome.status, 0) << name << ": " << outcome.err;
    }
    auto stored = w95test::ReadFileText(machine_.path("machine.json"));
    w95::MachineConfig config = w95::LoadMachineConfig();
    EXPECT_EQ(config.platform, 0);
    EXPECT_EQ(config.screen_width, 1024);
    EXPECT_EQ(config.screen_height, 768);
    EXPECT_EQ(config.dialog_base_x, 9);
    EXPECT_EQ(config.dialog_base_y, 18);
    EXPECT_EQ(config.tick_start, 4294967000u);

    struct Bad {
        std::vector<std::string> args;
        const char* message;
    };
    const Bad bad[] = {
        {{"config", "platform", "97"}, "platform takes 95, 98 or nt"},
        {{"config", "screen", "big"}, "screen takes WIDTHxHEIGHT"},
        {{"config", "tick-start", "4294967296"}, "tick-start takes milliseconds"},
        {{"config", "colour", "red"}, "unknown setting colour"},
        {{"config", "platform"}, "config takes a NAME and a VALUE"},
    };
    for (const auto& b : bad) {
        Outcome outcome = RunW95(On(b.args));
        EXPECT_EQ(outcome.status, 2) << b.message;
        EXPECT_NE(outcome.err.find(b.message), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find("usage: w95"), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(w95test::ReadFileText(machine_.path("machine.json")), stored) << "unchanged";
}

TEST_F(W95ToolTest, RegeditImportsAndExportsAsAUserTypesIt) {
    auto file = machine_.path("settings.reg");
    const std::string text =
        "REGEDIT4\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport]\n"
        "\"Country\"=dword:00000031\n"
        "\"FirstISATarvex\"=dword:ffffffff\n"
        "@=\"TarvexModem\"\n"
        "\n";
    WriteFile(file, text);
    Outcome import = RunW95(On({"regedit", "import", file.string()}));
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.out, "");
    EXPECT_EQ(Export("HKEY_LOCAL_MACHINE\\Software\\norvane\\tarvexport"), text);

    // Another process wrote it: this process reads it through the API.
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\norvane\\tarvexport", &key),
              ERROR_SUCCESS);
    DWORD country = 0, size = sizeof country, type = 0;
    EXPECT_EQ(
        RegQueryValueExA(key, "Country", nullptr, &type, reinterpret_cast<BYTE*>(&country), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(country, 0x31u);
    RegCloseKey(key);

    auto broken = machine_.path("broken.reg");
    WriteFile(broken,
              "REGEDIT4\n"
              "[-HKEY_LOCAL_MACHINE\\Software\\norvane]\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
              "\"Country\"=dword:0000000g\n");
    Outcome refused = RunW95(On({"regedit", "import", broken.string()}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "w95 regedit: line 4: dword: takes 1 to 8 hex digits\n");
    EXPECT_EQ(Export("Software\\norvane\\tarvexport"), text) << "nothing changed";
    EXPECT_EQ(RunW95(On({"regedit", "export", "Software\\Other"})).status, 1);
}

TEST_F(W95ToolTest, UsageErrorsExitTwoAndFailuresExitOneWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::string missing = machine_.path("nowhere").string();
    const Case cases[] = {
        {{}, 2, "usage: w95"},
        {{"--machine"}, 2, "--machine needs a directory"},
        {On({"frobnicate"}), 2, "unknown command frobnicate"},
        {On({"init", "extra"}), 2, "init takes no arguments"},
        {On({"regedit"}), 2, "regedit needs import, export or fault"},
        {On({"regedit", "import"}), 2, "regedit import takes one FILE"},
        {On({"regedit", "export", "A", "B"}), 2, "at most one KEY"},
        {On({"regedit", "fault", "Software", "explode"}), 2, "unknown fault explode"},
        {On({"regedit", "merge", "x"}), 2, "unknown regedit command merge"},
        {On({"regedit", "import", machine_.path("absent.reg").string()}), 1, "cannot read"},
        {On({"regedit", "export", "Software\\Absent"}), 1, "no such key"},
        {On({"regedit", "export", "HKEY_USERS\\x"}), 1, "only HKEY_LOCAL_MACHINE"},
        {{"--machine", missing, "regedit", "export"}, 1, "no machine at"},
        {{"--machine", missing, "config", "platform", "98"}, 1, "no machine at"},
    };
    for (const auto& c : cases) {
        Outcome outcome = RunW95(c.args);
        EXPECT_EQ(outcome.status, c.status) << c.message;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        if (c.status == 1) {
            EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1)
                << "one line: " << outcome.err;
        } else {
            EXPECT_NE(outcome.err.find("usage: w95"), std::string::npos) << outcome.err;
        }
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "a failing command makes no machine";

    Outcome help = RunW95({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("regedit import FILE"), std::string::npos);
}

TEST_F(W95ToolTest, FaultsSetByTheToolActOnOtherProcesses) {
    const char* path = "Software\\norvane\\tarvexport";
    RegCloseKey([&] {
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        return key;
    }());
    auto write_open = [&] {
        HKEY key;
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, &key);
        if (rc != ERROR_SUCCESS)
            return rc;
        DWORD one = 1;
        rc = RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
        RegCloseKey(key);
        return rc;
    };

    ASSERT_EQ(
        RunW95(On({"regedit", "fault", "HKEY_LOCAL_MACHINE\\Software\\norvane", "deny-write-open"}))
            .status,
        0);
    EXPECT_EQ(write_open(), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RunW95(On({"regedit", "fault", "Software\\norvane", "clear"})).status, 0);
    EXPECT_EQ(write_open(), ERROR_SUCCESS);

    ASSERT_EQ(RunW95(On({"regedit", "fault", path, "fail-value-writes"})).status, 0);
    EXPECT_EQ(write_open(), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RunW95(On({"regedit", "fault", path, "clear"})).status, 0);
    EXPECT_EQ(write_open(), ERROR_SUCCESS);
}

TEST_F(W95ToolTest, TwoImportsAtOnceLoseNothing) {
    constexpr int kImports = 2, kValues = 400;
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < kImports; ++i) {
        std::string text = "REGEDIT4\n";
        for (int v = 0; v < kValues; ++v) {
            std::string name = "i" + std::to_string(i) + "-" + std::to_string(v);
            text += "[HKEY_LOCAL_MACHINE\\Shared\\" + name + "]\n";
            text += "[HKEY_LOCAL_MACHINE\\Shared]\n\"" + name + "\"=\"" + name + "\"\n";
        }
        files.push_back(machine_.path("import" + std::to_string(i) + ".reg"));
        WriteFile(files.back(), text);
    }
    std::vector<std::unique_ptr<W95Process>> running;
    for (const auto& file : files) {
        running.push_back(std::make_unique<W95Process>(On({"regedit", "import", file.string()})));
    }
    for (auto& process : running) {
        Outcome outcome = process->Wait();
        EXPECT_EQ(outcome.status, 0) << outcome.err;
    }

    HKEY shared;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Shared", &shared), ERROR_SUCCESS);
    int subkeys = 0;
    char name[64];
    while (RegEnumKeyA(shared, subkeys, name, sizeof name) == ERROR_SUCCESS)
        ++subkeys;
    EXPECT_EQ(subkeys, kImports * kValues);
    int missing = 0;
    for (int i = 0; i < kImports; ++i) {
        for (int v = 0; v < kValues; ++v) {
            std::string value = "i" + std::to_string(i) + "-" + std::to_string(v);
            char data[64];
            DWORD size = sizeof data;
            if (RegQueryValueExA(shared, value.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
                std::string(data) != value) {
                ++missing;
            }
        }
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(shared);
}

}  // namespace
