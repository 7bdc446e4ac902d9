#pragma once
// The playlist: the user's list of songs and the playback order. Each row is
// one file with its position number (1..n from the top) and its status
// (0 normal, 1 playing, 2 failed). `LastPlayed` is the row index of the last
// played entry and follows that song when rows move or disappear.
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace zv2::app {

enum TPlayStatus : int { psNormal = 0, psPlaying = 1, psFailed = 2 };

struct TPlayListRow {
    int Number = 0; // position number shown in the "索引" column
    std::string Path;
    int Status = psNormal;
};

class TPlayList {
public:
    // Adds a row at the end: number = the new row count, status normal. No duplicate test.
    void Append(const std::string& path);

    std::size_t Count() const { return Rows_.size(); }
    const TPlayListRow& Row(std::size_t index) const { return Rows_.at(index); }
    std::vector<std::string> Paths() const;

    std::int32_t LastPlayed = 0;

private:
    std::vector<TPlayListRow> Rows_;
};

} // namespace zv2::app
