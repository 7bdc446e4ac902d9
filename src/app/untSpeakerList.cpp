#include "app/untSpeakerList.h"

#include "platform/net/NetAddress.h"

#include <algorithm>

namespace zv2::app {

using speaker::MaxOwnVolume;

TSpeakerList::TSpeakerList(const std::string& mainAddress) : Rows_{TSpeakerRow{mainAddress}} {}

std::optional<std::string> TSpeakerList::ParseAddress(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    const auto address = platform::TSocketAddress::Parse(text.substr(first, last - first + 1), 0);
    if (!address)
        return std::nullopt;
    return address->HostText();
}

bool TSpeakerList::Add(const std::string& address, bool on) {
    const auto parsed = ParseAddress(address);
    if (!parsed || std::any_of(Rows_.begin(), Rows_.end(), [&](const auto& row) { return row.Address == *parsed; }))
        return false;
    Rows_.push_back({*parsed, MaxOwnVolume, on});
    return true;
}

bool TSpeakerList::Remove(std::size_t row) {
    if (row == 0 || row >= Rows_.size())
        return false;
    Rows_.erase(Rows_.begin() + static_cast<long>(row));
    return true;
}

bool TSpeakerList::SetOn(std::size_t row, bool on) {
    if (row >= Rows_.size())
        return false;
    Rows_[row].On = on;
    return true;
}

bool TSpeakerList::SetVolume(std::size_t row, int volume) {
    if (row >= Rows_.size())
        return false;
    Rows_[row].Volume = std::clamp(volume, 0, MaxOwnVolume);
    return true;
}

void TSpeakerList::SetMain(const std::string& address) {
    Rows_.front().Address = address;
    Rows_.erase(std::remove_if(Rows_.begin() + 1, Rows_.end(), [&](const auto& row) { return row.Address == address; }),
                Rows_.end());
}

void TSpeakerList::Read(const platform::TIniFile& ini, const std::string& mainAddress) {
    Rows_ = {TSpeakerRow{mainAddress}};
    if (!ini.SectionExists(kSpeakersSection))
        return;
    std::vector<TSpeakerRow> read;
    const std::int32_t count = std::min(ini.ReadInteger(kSpeakersSection, "Count", 0), kMaxSpeakerRows);
    // Once every key of the section was seen the rest are missing, so a count
    // far beyond the rows written ends early.
    std::size_t keysLeft = ini.KeyCount(kSpeakersSection) - (ini.Find(kSpeakersSection, "Count") ? 1 : 0);
    for (std::int32_t k = 0; k < count && keysLeft > 0; ++k) {
        const std::string index = std::to_string(k);
        const auto ip = ini.Find(kSpeakersSection, "IP" + index);
        const auto volume = ini.Find(kSpeakersSection, "Volume" + index);
        const auto on = ini.Find(kSpeakersSection, "On" + index);
        keysLeft -= std::min<std::size_t>(keysLeft, (ip ? 1 : 0) + (volume ? 1 : 0) + (on ? 1 : 0));
        const auto address = ip ? ParseAddress(*ip) : std::nullopt;
        if (!address || std::any_of(read.begin(), read.end(), [&](const auto& row) { return row.Address == *address; }))
            continue;
        read.push_back({*address,
                        std::clamp(ini.ReadInteger(kSpeakersSection, "Volume" + index, MaxOwnVolume), 0, MaxOwnVolume),
                        ini.ReadBool(kSpeakersSection, "On" + index, true)});
    }
    const auto main = ParseAddress(mainAddress).value_or(mainAddress);
    const auto found = std::find_if(read.begin(), read.end(), [&](const auto& row) { return row.Address == main; });
    if (found != read.end()) {
        Rows_.front().Volume = found->Volume;
        Rows_.front().On = found->On;
        read.erase(found);
    }
    Rows_.insert(Rows_.end(), read.begin(), read.end());
}

void TSpeakerList::Write(platform::TIniFile& ini) const {
    ini.EraseSection(kSpeakersSection);
    ini.WriteInteger(kSpeakersSection, "Count", static_cast<std::int64_t>(Rows_.size()));
    for (std::size_t k = 0; k < Rows_.size(); ++k) {
        const std::string index = std::to_string(k);
        ini.WriteString(kSpeakersSection, "IP" + index, Rows_[k].Address);
        ini.WriteInteger(kSpeakersSection, "Volume" + index, Rows_[k].Volume);
        ini.WriteBool(kSpeakersSection, "On" + index, Rows_[k].On);
    }
}

} // namespace zv2::app
