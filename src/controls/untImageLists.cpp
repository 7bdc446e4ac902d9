#include "controls/untImageLists.h"

#include <QString>

namespace zv2::controls {

QImage ImageListImage(std::string_view list, int index) {
    if (index < 0 || list.empty() || list.find_first_of("/:.") != std::string_view::npos)
        return QImage();
    const auto name = QString::fromUtf8(list.data(), static_cast<qsizetype>(list.size()));
    return QImage(QStringLiteral(":/zv2/controls/%1_%2.png").arg(name).arg(index));
}

} // namespace zv2::controls
