#pragma once
// Shows a TPlayList in the playlist's report view and reads the user's
// selection back. The view has the columns "状态" (the status image of
// "imglstPlayList": the status number is the row's controls::kRowImageRole
// data, drawn by the row delegate), "索引" (the position number) and "文件名"
// (the full path).
// Main thread only.

#include "app/untPlayList.h"

class QTreeWidget;

namespace zv2::app {

// Makes the view's rows and selection those of `list`. Items are reused, so a
// change of a few rows in a long list costs no new items. The view's
// selection signals fire; a caller that listens to them ignores them meanwhile.
void ShowPlayList(QTreeWidget& view, const TPlayList& list);

// Copies the view's selected rows into the model's selection.
void ReadPlayListSelection(const QTreeWidget& view, TPlayList& list);

} // namespace zv2::app
