#include "app/untPublic.h"

#include "platform/FileSystem.h"

#include <charconv>

namespace zv2::app {

namespace {

constexpr std::uint64_t kKilo = 1024;
constexpr std::uint64_t kMega = 1048576;
constexpr std::uint64_t kGiga = 1073741824;

} // namespace

std::string VolumeSizeText(std::uint64_t totalBytes) {
    if (totalBytes > kGiga) {
        // to_chars, not printf: the program's locale may write a decimal comma.
        char number[32];
        const auto end =
            std::to_chars(number, number + sizeof number, static_cast<double>(totalBytes) / static_cast<double>(kGiga),
                          std::chars_format::fixed, 2)
                .ptr;
        return "(" + std::string(number, end) + " G) ";
    }
    if (totalBytes > kMega)
        return "(" + std::to_string(totalBytes / kMega) + " M) ";
    return "(" + std::to_string(totalBytes / kKilo) + " K) ";
}

std::string CopyItemCaption(const platform::TVolume& volume) {
    const std::string size = VolumeSizeText(volume.TotalBytes);
    if (!volume.Label.empty())
        return volume.Label + size + "[" + volume.MountPoint + "]";
    return "可移动磁盘" + size + "[" + volume.MountPoint + "] ";
}

bool CopyFileToVolume(const std::string& source, const std::string& mountPoint, IDialogs& dialogs,
                      const std::function<void(bool busy)>& busy) {
    const std::string name = source.substr(source.rfind('/') + 1);
    const std::string target = mountPoint + (!mountPoint.empty() && mountPoint.back() == '/' ? "" : "/") + name;
    if (platform::FileExists(target) && !dialogs.AskYesNo("目标文件" + target + "已经存在，是否覆盖？", "覆盖确认"))
        return false;
    if (busy)
        busy(true);
    const int error = platform::CopyFileAtomically(source, target);
    if (busy)
        busy(false);
    if (error != 0)
        dialogs.ShowInfo("复制失败：" + std::to_string(error), "错误");
    return error == 0;
}

bool BrowseForFolder(IDialogs& dialogs, const std::string& title, const std::string& root, std::string& folder) {
    const std::string preselect = platform::DirectoryExists(folder) ? folder : std::string();
    const auto chosen = dialogs.ChooseFolder(title, root, preselect);
    if (!chosen)
        return false;
    folder = *chosen;
    return true;
}

} // namespace zv2::app
