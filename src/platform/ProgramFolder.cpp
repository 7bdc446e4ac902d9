#include "platform/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv2::platform {

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsSystemFolder(const std::string& folder) {
    for (const char* system : {"/usr", "/opt", "/bin", "/sbin"}) {
        const std::string prefix = system;
        if (folder.compare(0, prefix.size(), prefix) == 0 &&
            (folder.size() == prefix.size() || folder[prefix.size()] == '/'))
            return true;
    }
    return false;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// mkdir -p, each folder it makes private to the user.
void MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
}

} // namespace

std::string ChooseProgramFolder(const std::string& exeFolder, const TFolderEnvironment& env) {
    if (!env.Zv2Home.empty())
        return WithSlash(env.Zv2Home.front() == '/' || env.CurrentFolder.empty()
                             ? env.Zv2Home
                             : WithSlash(env.CurrentFolder) + env.Zv2Home);
    if (!IsSystemFolder(exeFolder) && ::access(exeFolder.c_str(), W_OK) == 0)
        return WithSlash(exeFolder);
    std::string data = env.XdgDataHome;
    if (data.empty() || data.front() != '/')
        data = env.Home.empty() ? std::string() : WithSlash(env.Home) + ".local/share";
    if (data.empty()) // no home at all (a system account): the folder the program was started in
        return WithSlash(env.CurrentFolder);
    return WithSlash(data) + "zv2player/";
}

std::string ProgramFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string exeFolder = ec ? std::filesystem::current_path(ec).string() : exe.parent_path().string();
    TFolderEnvironment env{Env("ZV2_HOME"), Env("XDG_DATA_HOME"), Env("HOME"),
                           std::filesystem::current_path(ec).string()};
    if (env.Home.empty())
        if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
            env.Home = user->pw_dir;
    const std::string folder = ChooseProgramFolder(exeFolder, env);
    if (!std::filesystem::is_directory(folder, ec))
        MakeFolders(folder.substr(0, folder.size() - 1));
    return folder;
}

} // namespace zv2::platform
