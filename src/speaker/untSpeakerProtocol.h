#pragma once
// The ZV2 speaker's wire format as pure functions over bytes: building the
// datagrams the program sends, recognising the ones it receives. Used by the
// speaker link (the program's side) and by tools/zv2-speaker (the speaker's
// side); no sockets here. docs/speaker-protocol.md has the same as a table.
//
// Control datagrams are "DATA " followed by a control frame:
//   0x55 0xAA len dir cmd payload[len] checksum
// with dir 0x0A in a request, 0x8A in the speaker's answer, and the checksum
// the two's complement (mod 256) of the sum of the bytes from `len` on.
// Text datagrams ("SOUND LRCLK 44100", "SOUND START", "SOUND OK",
// "SOUND NOK") carry exactly their characters, no terminator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv2::speaker {

inline constexpr std::uint16_t ControlPort = 48899; // UDP, both ends
inline constexpr std::uint16_t StreamPort = 48898;  // TCP, on the speaker

// The speaker's own address in its access-point mode: the initial device address.
inline constexpr const char* DefaultDeviceAddress = "10.10.100.254";
inline constexpr const char* DefaultRateText = "44100";

inline constexpr std::uint16_t MaxSpeakerVolume = 4095;

inline constexpr std::size_t DiscoveryRequestSize = 11;
inline constexpr std::size_t DiscoveryAnswerSize = 12;
inline constexpr std::size_t VolumeDatagramSize = 15;

// A datagram under construction or as received.
using TMybuf = std::vector<std::uint8_t>;

// Checksum of a control frame: the two's complement of the sum of `frame[2..size)`.
// `frame` starts at the 0x55 byte and ends before the checksum byte.
std::uint8_t FrameChecksum(const std::uint8_t* frame, std::size_t size);

// "DATA " 0x55 0xAA 0x00 0x0A 0x00 0xF6.
TMybuf EncodeDiscoveryRequest();

// The speaker's answer: "DATA " 0x55 0xAA 0x01 0x8A 0x00 `payload` checksum.
TMybuf EncodeDiscoveryAnswer(std::uint8_t payload);

// "SOUND LRCLK " followed by `rateText`.
std::string EncodeRateRequest(std::string_view rateText);

// "SOUND START".
std::string EncodeStartRequest();

// The 15-byte volume datagram: "DATA " 0x55 0xAA 0x04 0x0A 0x06 H L H L C, with
// H L the big-endian speaker volume for the left and the right channel. Values
// above 4095 are sent as 4095 (the speaker has 12 bits).
TMybuf EncodeVolume(std::uint16_t speakerVolume);

// The answer texts of the speaker.
inline constexpr std::string_view SoundOkText = "SOUND OK";
inline constexpr std::string_view SoundNokText = "SOUND NOK";

enum class TDatagramKind {
    Empty,            // zero bytes
    DiscoveryRequest, // exactly the 11 bytes of EncodeDiscoveryRequest()
    DiscoveryAnswer,  // 12 bytes whose first ten are those of an answer
    RateRequest,      // "SOUND LRCLK " and a rate text of decimal digits
    StartRequest,     // exactly "SOUND START"
    Volume,           // 15 bytes: a volume frame with a correct checksum
    SoundOk,          // exactly "SOUND OK"
    SoundNok,         // exactly "SOUND NOK"
    Other,            // anything else, to be ignored
};

// Classifies one whole datagram. Exact and case-sensitive: "sound ok" or
// "SOUND OK\r\n" are Other.
TDatagramKind ClassifyDatagram(const std::uint8_t* data, std::size_t size);

// The speaker volume of a datagram classified as Volume: the left channel's
// value, at most 4095.
std::optional<std::uint16_t> DecodeVolume(const std::uint8_t* data, std::size_t size);

// The rate text of a datagram classified as RateRequest ("44100").
std::optional<std::string> DecodeRateText(const std::uint8_t* data, std::size_t size);

} // namespace zv2::speaker
