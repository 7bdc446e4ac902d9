#include "app/untPlayList.h"

namespace zv2::app {

void TPlayList::Append(const std::string& path) {
    Rows_.push_back({static_cast<int>(Rows_.size()) + 1, path, psNormal});
}

std::vector<std::string> TPlayList::Paths() const {
    std::vector<std::string> out;
    out.reserve(Rows_.size());
    for (const auto& row : Rows_)
        out.push_back(row.Path);
    return out;
}

} // namespace zv2::app
