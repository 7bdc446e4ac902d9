#include "controls/untImageLists.h"

#include <QBitmap>
#include <QHash>
#include <QString>

namespace zv2::controls {

QImage ImageListImage(std::string_view list, int index) {
    if (index < 0 || list.empty() || list.find_first_of("/:.") != std::string_view::npos)
        return QImage();
    const auto name = QString::fromUtf8(list.data(), static_cast<qsizetype>(list.size()));
    return QImage(QStringLiteral(":/zv2/controls/%1_%2.png").arg(name).arg(index));
}

const QPixmap& ImageListPixmap(std::string_view list, int index) {
    static QHash<QString, QPixmap> made;
    const QString key =
        QString::fromUtf8(list.data(), static_cast<qsizetype>(list.size())) + '_' + QString::number(index);
    auto found = made.find(key);
    if (found == made.end()) {
        QPixmap pixmap = QPixmap::fromImage(ImageListImage(list, index));
        if (!pixmap.isNull())
            pixmap.setMask(pixmap.createMaskFromColor(Qt::white));
        found = made.insert(key, pixmap);
    }
    return *found;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/zv2/controls/AppIcon_%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace zv2::controls
