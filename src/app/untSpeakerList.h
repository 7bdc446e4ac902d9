#pragma once
// The speaker list of the settings tab: which speakers play, each with its own
// volume. Row 0 is the main speaker, the one at the address of the box
// "IP 地址：" ("ZV2Address"/"IP"); it cannot be removed, and "连接设备" moves it
// to the address in the box. The other rows come from discovery answers and
// typed addresses, one row per address.
//
// In Download.ini, section "ZV2Speakers": "Count", then per row k from 0
// "IP<k>" (dotted IPv4), "Volume<k>" (0..3000), "On<k>" (1 plays, 0 does not),
// the main speaker's row included. A file without the section means one
// speaker, the main one, at volume 3000, playing.
//
// Plain data, UI thread only.

#include "platform/IniFile.h"
#include "speaker/untSpeakerLink.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zv2::app {

using speaker::TSpeakerRow;

inline constexpr char kSpeakersSection[] = "ZV2Speakers";
// Rows read at most: far more rooms than a home has, and a bound on the work
// a damaged "Count" can ask for.
inline constexpr std::int32_t kMaxSpeakerRows = 256;

class TSpeakerList {
public:
    // One row: the main speaker at `mainAddress`, volume 3000, playing.
    explicit TSpeakerList(const std::string& mainAddress = {});

    // A speaker address as typed or read: dotted IPv4 with blanks around it
    // allowed; the address in its plain form, or nothing when it is none.
    static std::optional<std::string> ParseAddress(const std::string& text);

    const std::vector<TSpeakerRow>& Rows() const { return Rows_; }

    // Appends a row for `address` (volume 3000, playing when `on`). False when
    // it is not an address or is listed already.
    bool Add(const std::string& address, bool on);
    // Removes row `row`; false for the main speaker's row or one that does not exist.
    bool Remove(std::size_t row);
    // The check and the volume (clamped to 0..3000) of row `row`; false when there is no such row.
    bool SetOn(std::size_t row, bool on);
    bool SetVolume(std::size_t row, int volume);
    // The main speaker is now at `address` (taken as it is, like the box's
    // text): row 0 gets it, and another row of the same address goes.
    void SetMain(const std::string& address);

    // Reads section "ZV2Speakers" (rows 0 to kMaxSpeakerRows - 1 at most).
    // Rows whose address does not parse, and
    // repeats of an address, are dropped; volumes are clamped to 0..3000 (a
    // missing or unreadable one is 3000), a missing "On" means playing. The
    // main speaker (at `mainAddress`) is row 0: its row is moved there, or one
    // is put there when the section does not list it.
    void Read(const platform::TIniFile& ini, const std::string& mainAddress);
    // Erases the section and writes every row.
    void Write(platform::TIniFile& ini) const;

private:
    std::vector<TSpeakerRow> Rows_;
};

} // namespace zv2::app
