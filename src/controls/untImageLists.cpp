#include "controls/untImageLists.h"

#include <QBitmap>
#include <QHash>
#include <QImageReader>
#include <QString>

namespace zv2::controls {

namespace {

// A PNG of the resource, read as PNG: a reader left to find the format itself
// would first load every image format plugin of Qt (and their libraries) to
// ask each one, and that at start-up, before the window shows.
QImage ResourcePng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

QImage ImageListImage(std::string_view list, int index) {
    if (index < 0 || list.empty() || list.find_first_of("/:.") != std::string_view::npos)
        return QImage();
    const auto name = QString::fromUtf8(list.data(), static_cast<qsizetype>(list.size()));
    return ResourcePng(QStringLiteral(":/zv2/controls/%1_%2.png").arg(name).arg(index));
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
    // The pixels are kept as read, not premultiplied: the window system takes
    // every size of the window's icon as plain ARGB, and a premultiplied
    // pixmap would be converted there and back before the window shows.
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(ResourcePng(QStringLiteral(":/zv2/controls/AppIcon_%1.png").arg(size)),
                                          Qt::NoFormatConversion));
    return icon;
}

} // namespace zv2::controls
