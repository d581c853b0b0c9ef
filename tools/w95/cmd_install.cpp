// w95 install [--from BUILD_DIR]: puts the built programs and the two modem image files into
// C:\WINDOWS\SYSTEM\tarvex under the names a real installation gives them. The build tree is
// BUILD_DIR, else the one this w95 was built in (its executable is BUILD_DIR/tools/w95); there the
// programs are tvxmcfg/tvxmcfg, tvxreset/tvxreset and tvxgroup/tvxgroup, the images images/*.tm.
#include "commands.h"

#include "machine.h"
#include "module.h"
#include "paths.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace w95tool {
namespace {

constexpr char kInstallFolder[] = "C:\\WINDOWS\\SYSTEM\\tarvex";

struct InstalledFile {
    const char* built;      // below the build tree
    const char* installed;  // the name in the install folder
};

const InstalledFile kFiles[] = {
    {"tvxmcfg/tvxmcfg", "TVXMCFG.EXE"},    {"tvxreset/tvxreset", "TVXRESET.EXE"},
    {"tvxgroup/tvxgroup", "TVXGROUP.EXE"}, {"images/nvnmdmld.tm", "nvnmdmld.tm"},
    {"images/nvnmdmfw.tm", "nvnmdmfw.tm"},
};

fs::path DefaultBuildTree() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        throw std::runtime_error("cannot find this program's own file; give --from");
    return self.parent_path().parent_path();
}

// Copies SOURCE over TARGET in one step (a copy beside it, then a rename), so that a program that
// is running from TARGET keeps its old file.
void Replace(const fs::path& source, const fs::path& target) {
    fs::path partial = target;
    partial += ".installing";
    fs::copy_file(source, partial, fs::copy_options::overwrite_existing);
    fs::permissions(partial, fs::status(source).permissions());
    fs::rename(partial, target);
}

}  // namespace

int RunInstall(const Args& args) {
    fs::path tree;
    if (args.size() == 2 && args[0] == "--from") {
        tree = args[1];
    } else if (args.empty()) {
        tree = DefaultBuildTree();
    } else {
        throw UsageError("install takes no arguments or --from BUILD_DIR");
    }
    RequireMachine();

    // Nothing is installed unless everything is there.
    std::string missing;
    for (const auto& file : kFiles) {
        if (!fs::is_regular_file(tree / file.built))
            missing += " " + (tree / file.built).string();
    }
    if (!missing.empty())
        throw std::runtime_error("not built:" + missing);

    w95::HostPath folder = w95::ToHostPath(kInstallFolder);
    if (folder.error != ERROR_SUCCESS)
        throw std::runtime_error("no drive C: in the machine");
    fs::create_directories(folder.path);
    for (const auto& file : kFiles) {
        // An existing file keeps its spelling: Windows names differ only in case are one name.
        std::string name = std::string(kInstallFolder) + "\\" + file.installed;
        w95::HostPath target = w95::ToHostPath(name);
        Replace(tree / file.built, target.path);
        std::printf("installed %s\n", w95::ToWindowsPath(target.path).c_str());
    }
    return 0;
}

}  // namespace w95tool
