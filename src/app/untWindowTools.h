#pragma once
// Small helpers the window files share: texts between the program's UTF-8
// strings and Qt, a named menu item (tests find items by their names) and
// its image, the selected row of a list.

#include "controls/untImageLists.h"

#include <QAbstractItemView>
#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QString>
#include <algorithm>
#include <string>

namespace zv2::app {

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

inline std::string S(const QString& s) {
    return s.toStdString();
}

inline QAction* AddMenuItem(QMenu* menu, const char* name, const char* caption) {
    auto* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    return action;
}

// Gives a menu item image `image` of "imglstMenu" (see untImageLists.h).
inline void SetMenuImage(QAction* item, int image) {
    item->setIcon(QIcon(controls::ImageListPixmap("imglstMenu", image)));
}

// The first selected row of a report view from the top, or -1.
inline int FirstSelectedRow(const QAbstractItemView& view) {
    const QModelIndexList rows = view.selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    return std::min_element(rows.begin(), rows.end())->row();
}

} // namespace zv2::app
