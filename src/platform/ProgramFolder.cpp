#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>

namespace zv2::platform {

std::string ProgramFolder() {
    std::string folder;
    if (const char* home = std::getenv("ZV2_HOME"); home && *home) {
        folder = home;
    } else {
        std::error_code ec;
        auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        folder = ec ? std::filesystem::current_path(ec).string() : exe.parent_path().string();
    }
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace zv2::platform
