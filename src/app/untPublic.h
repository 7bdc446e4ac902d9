#pragma once
// Copying a song to a removable disk and choosing a folder: what the
// playlist's "复制到...[&C]" items and the settings tab's "..." buttons do,
// without the window. Main thread only (they ask through the dialogs).

#include "app/untDialogs.h"
#include "platform/RemovableVolumes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zv2::app {

// The size part of a copy item's caption, from the volume's total size in
// bytes: "(%.2f G) " above 1073741824 bytes, else "(%d M) " above 1048576,
// else "(%d K) " (whole units, rounded down; the decimal point is always ".").
std::string VolumeSizeText(std::uint64_t totalBytes);

// The caption of a volume's copy item: label, size text and the mount point
// in brackets, "MUSIC(1.86 G) [/media/usb]"; without a label
// "可移动磁盘(488 M) [/media/x] " (with the trailing blank).
std::string CopyItemCaption(const platform::TVolume& volume);

// Copies the song `source` to the root of the volume mounted at `mountPoint`,
// under the song's file name. An existing file there is replaced only after
// the user says Yes to "目标文件<target>已经存在，是否覆盖？". The copy goes to a
// temporary name and replaces the target only once complete; a failure shows
// "复制失败：<errno>" (caption "错误") and leaves the target as it was.
// `busy(true)` and `busy(false)` bracket the copy itself (the window's busy
// cursor). True when the file was copied.
bool CopyFileToVolume(const std::string& source, const std::string& mountPoint, IDialogs& dialogs,
                      const std::function<void(bool busy)>& busy = {});

// The folder dialog: preselects `folder` when it is an existing folder, and on
// a choice sets `folder` to it and gives true; on cancel `folder` keeps its
// value and the result is false. `root` is where the dialog opens when nothing
// is preselected (Qt's dialog has no tree root to restrict it to).
bool BrowseForFolder(IDialogs& dialogs, const std::string& title, const std::string& root, std::string& folder);

} // namespace zv2::app
