#include "speaker/untSpeakerProtocol.h"

#include <algorithm>
#include <cstring>

namespace zv2::speaker {

namespace {

constexpr std::string_view DataPrefix = "DATA ";
constexpr std::string_view RatePrefix = "SOUND LRCLK ";
constexpr std::string_view StartText = "SOUND START";

constexpr std::uint8_t FrameHead0 = 0x55;
constexpr std::uint8_t FrameHead1 = 0xAA;
constexpr std::uint8_t DirRequest = 0x0A;
constexpr std::uint8_t DirAnswer = 0x8A;
constexpr std::uint8_t CmdDiscovery = 0x00;
constexpr std::uint8_t CmdVolume = 0x06;

// "DATA " then the frame: head, length, direction, command, payload, checksum.
TMybuf BuildFrame(std::uint8_t direction, std::uint8_t command, const std::uint8_t* payload, std::uint8_t length) {
    TMybuf buf(DataPrefix.begin(), DataPrefix.end());
    buf.insert(buf.end(), {FrameHead0, FrameHead1, length, direction, command});
    buf.insert(buf.end(), payload, payload + length);
    const std::uint8_t* frame = buf.data() + DataPrefix.size();
    buf.push_back(FrameChecksum(frame, buf.size() - DataPrefix.size()));
    return buf;
}

bool Equals(const std::uint8_t* data, std::size_t size, std::string_view text) {
    return size == text.size() && std::memcmp(data, text.data(), size) == 0;
}

bool StartsWith(const std::uint8_t* data, std::size_t size, const TMybuf& prefix, std::size_t prefixSize) {
    return size >= prefixSize && std::equal(prefix.begin(), prefix.begin() + prefixSize, data);
}

bool IsRateRequest(const std::uint8_t* data, std::size_t size) {
    if (size <= RatePrefix.size() || std::memcmp(data, RatePrefix.data(), RatePrefix.size()) != 0) {
        return false;
    }
    return std::all_of(data + RatePrefix.size(), data + size, [](std::uint8_t c) { return c >= '0' && c <= '9'; });
}

bool IsVolume(const std::uint8_t* data, std::size_t size) {
    static const TMybuf head = EncodeVolume(0);
    constexpr std::size_t headSize = 10; // "DATA " 0x55 0xAA 0x04 0x0A 0x06
    if (size != VolumeDatagramSize || !StartsWith(data, size, head, headSize)) {
        return false;
    }
    const std::uint8_t* frame = data + DataPrefix.size();
    return FrameChecksum(frame, size - DataPrefix.size() - 1) == data[size - 1];
}

} // namespace

std::uint8_t FrameChecksum(const std::uint8_t* frame, std::size_t size) {
    unsigned sum = 0;
    for (std::size_t i = 2; i < size; ++i) {
        sum += frame[i];
    }
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

TMybuf EncodeDiscoveryRequest() {
    return BuildFrame(DirRequest, CmdDiscovery, nullptr, 0);
}

TMybuf EncodeDiscoveryAnswer(std::uint8_t payload) {
    return BuildFrame(DirAnswer, CmdDiscovery, &payload, 1);
}

std::string EncodeRateRequest(std::string_view rateText) {
    std::string text(RatePrefix);
    text += rateText;
    return text;
}

std::string EncodeStartRequest() {
    return std::string(StartText);
}

TMybuf EncodeVolume(std::uint16_t speakerVolume) {
    const std::uint16_t v = std::min(speakerVolume, MaxSpeakerVolume);
    const auto high = static_cast<std::uint8_t>(v >> 8);
    const auto low = static_cast<std::uint8_t>(v & 0xFF);
    const std::uint8_t payload[4] = {high, low, high, low};
    return BuildFrame(DirRequest, CmdVolume, payload, 4);
}

TDatagramKind ClassifyDatagram(const std::uint8_t* data, std::size_t size) {
    static const TMybuf discoveryRequest = EncodeDiscoveryRequest();
    static const TMybuf discoveryAnswer = EncodeDiscoveryAnswer(0);
    constexpr std::size_t answerCompared = 10;
    if (size == 0) {
        return TDatagramKind::Empty;
    }
    if (size == DiscoveryAnswerSize && StartsWith(data, size, discoveryAnswer, answerCompared)) {
        return TDatagramKind::DiscoveryAnswer;
    }
    if (size == DiscoveryRequestSize && StartsWith(data, size, discoveryRequest, DiscoveryRequestSize)) {
        return TDatagramKind::DiscoveryRequest;
    }
    if (IsVolume(data, size)) {
        return TDatagramKind::Volume;
    }
    if (Equals(data, size, SoundOkText)) {
        return TDatagramKind::SoundOk;
    }
    if (Equals(data, size, SoundNokText)) {
        return TDatagramKind::SoundNok;
    }
    if (Equals(data, size, StartText)) {
        return TDatagramKind::StartRequest;
    }
    if (IsRateRequest(data, size)) {
        return TDatagramKind::RateRequest;
    }
    return TDatagramKind::Other;
}

std::optional<std::uint16_t> DecodeVolume(const std::uint8_t* data, std::size_t size) {
    if (!IsVolume(data, size)) {
        return std::nullopt;
    }
    // The speaker has 12 bits: a larger value is full volume, never more.
    const std::uint8_t* payload = data + DataPrefix.size() + 5;
    return std::min(static_cast<std::uint16_t>(payload[0] << 8 | payload[1]), MaxSpeakerVolume);
}

std::optional<std::string> DecodeRateText(const std::uint8_t* data, std::size_t size) {
    if (!IsRateRequest(data, size)) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(data) + RatePrefix.size(), size - RatePrefix.size());
}

} // namespace zv2::speaker
