#pragma once
// Small helpers the window files share: texts between the program's UTF-8
// strings and Qt, and a named menu item (tests find items by their names).

#include <QAction>
#include <QMenu>
#include <QString>
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

} // namespace zv2::app
