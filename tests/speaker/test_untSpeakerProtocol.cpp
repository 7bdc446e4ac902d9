#include "speaker/untSpeakerProtocol.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

using namespace zv2::speaker;

namespace {

TMybuf Bytes(std::initializer_list<int> values) {
    TMybuf out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

TMybuf Data(std::initializer_list<int> frame) {
    TMybuf out = {'D', 'A', 'T', 'A', ' '};
    const TMybuf tail = Bytes(frame);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TDatagramKind Classify(const TMybuf& datagram) {
    return ClassifyDatagram(datagram.data(), datagram.size());
}

TDatagramKind Classify(const std::string& text) {
    return ClassifyDatagram(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

} // namespace

TEST(SpeakerProtocol, DiscoveryRequestIsTheElevenKnownBytes) {
    EXPECT_EQ(EncodeDiscoveryRequest(), Data({0x55, 0xAA, 0x00, 0x0A, 0x00, 0xF6}));
    EXPECT_EQ(EncodeDiscoveryRequest().size(), DiscoveryRequestSize);
    EXPECT_EQ(Classify(EncodeDiscoveryRequest()), TDatagramKind::DiscoveryRequest);
}

TEST(SpeakerProtocol, VolumeDatagramsCarryTheLevelTwiceBigEndianWithTheirChecksum) {
    // Full volume (level 3000 scales to 4095), half (1500 -> 2047), silence.
    EXPECT_EQ(EncodeVolume(4095), Data({0x55, 0xAA, 0x04, 0x0A, 0x06, 0x0F, 0xFF, 0x0F, 0xFF, 0xD0}));
    EXPECT_EQ(EncodeVolume(2047), Data({0x55, 0xAA, 0x04, 0x0A, 0x06, 0x07, 0xFF, 0x07, 0xFF, 0xE0}));
    EXPECT_EQ(EncodeVolume(0), Data({0x55, 0xAA, 0x04, 0x0A, 0x06, 0x00, 0x00, 0x00, 0x00, 0xEC}));
    EXPECT_EQ(EncodeVolume(0x0102), Data({0x55, 0xAA, 0x04, 0x0A, 0x06, 0x01, 0x02, 0x01, 0x02, 0xE6}));
}

TEST(SpeakerProtocol, VolumeAboveTwelveBitsIsSentAsFullVolume) {
    EXPECT_EQ(EncodeVolume(4096), EncodeVolume(4095));
    EXPECT_EQ(EncodeVolume(0xFFFF), EncodeVolume(4095));
}

TEST(SpeakerProtocol, EveryVolumeDecodesToItselfAndItsFrameSumsToZero) {
    for (std::uint16_t v = 0; v <= MaxSpeakerVolume; ++v) {
        const TMybuf datagram = EncodeVolume(v);
        ASSERT_EQ(datagram.size(), VolumeDatagramSize);
        ASSERT_EQ(Classify(datagram), TDatagramKind::Volume) << v;
        ASSERT_EQ(DecodeVolume(datagram.data(), datagram.size()), v);
        // Bytes 2.. of the frame and the checksum add up to 0 mod 256.
        const unsigned sum = std::accumulate(datagram.begin() + 7, datagram.end(), 0u);
        ASSERT_EQ(sum % 256, 0u) << v;
    }
}

TEST(SpeakerProtocol, ReceivedVolumeAboveTwelveBitsIsFullVolume) {
    TMybuf datagram = Data({0x55, 0xAA, 0x04, 0x0A, 0x06, 0xFF, 0xFF, 0xFF, 0xFF, 0});
    datagram.back() = FrameChecksum(datagram.data() + 5, 9);
    ASSERT_EQ(Classify(datagram), TDatagramKind::Volume);
    EXPECT_EQ(DecodeVolume(datagram.data(), datagram.size()), MaxSpeakerVolume);
}

TEST(SpeakerProtocol, VolumeWithAWrongChecksumOrLengthIsNotAVolume) {
    TMybuf datagram = EncodeVolume(1000);
    datagram.back() ^= 0x01;
    EXPECT_EQ(Classify(datagram), TDatagramKind::Other);
    EXPECT_FALSE(DecodeVolume(datagram.data(), datagram.size()));
    TMybuf longer = EncodeVolume(1000);
    longer.push_back(0);
    EXPECT_EQ(Classify(longer), TDatagramKind::Other);
}

TEST(SpeakerProtocol, StartRequestTexts) {
    EXPECT_EQ(EncodeRateRequest("44100"), "SOUND LRCLK 44100");
    EXPECT_EQ(EncodeRateRequest("44100").size(), 17u);
    EXPECT_EQ(EncodeStartRequest(), "SOUND START");
    EXPECT_EQ(Classify(std::string("SOUND LRCLK 44100")), TDatagramKind::RateRequest);
    EXPECT_EQ(Classify(std::string("SOUND START")), TDatagramKind::StartRequest);
    const std::string rate = "SOUND LRCLK 48000";
    EXPECT_EQ(DecodeRateText(reinterpret_cast<const std::uint8_t*>(rate.data()), rate.size()), "48000");
}

TEST(SpeakerProtocol, RateRequestNeedsDigitsAfterThePrefix) {
    EXPECT_EQ(Classify(std::string("SOUND LRCLK ")), TDatagramKind::Other);
    EXPECT_EQ(Classify(std::string("SOUND LRCLK 44100\n")), TDatagramKind::Other);
    EXPECT_EQ(Classify(std::string("SOUND LRCLK fast")), TDatagramKind::Other);
}

TEST(SpeakerProtocol, DiscoveryAnswerIsRecognisedByItsFirstTenBytesOnly) {
    EXPECT_EQ(EncodeDiscoveryAnswer(0x01), Data({0x55, 0xAA, 0x01, 0x8A, 0x00, 0x01, 0x74}));
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8A, 0x00, 0x00, 0x00})), TDatagramKind::DiscoveryAnswer);
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8A, 0x00, 0xFF, 0x12})), TDatagramKind::DiscoveryAnswer);
}

TEST(SpeakerProtocol, NearMissesOfTheDiscoveryAnswerMeanNothing) {
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8B, 0x00, 0x00, 0x00})), TDatagramKind::Other);
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8A, 0x00, 0x00})), TDatagramKind::Other);
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8A, 0x00, 0x00, 0x00, 0x00})), TDatagramKind::Other);
    EXPECT_EQ(Classify(Data({0x55, 0xAA, 0x01, 0x8A, 0x06, 0x00, 0x00})), TDatagramKind::Other);
}

TEST(SpeakerProtocol, SoundRepliesAreExactCaseSensitiveWholeDatagrams) {
    EXPECT_EQ(Classify(std::string("SOUND OK")), TDatagramKind::SoundOk);
    EXPECT_EQ(Classify(std::string("SOUND NOK")), TDatagramKind::SoundNok);
    for (const std::string text :
         {"sound ok", "Sound OK", "SOUND OK\n", "SOUND OK\r\n", "SOUND NOK\n", " SOUND OK", "SOUND OKAY", "SOUND"}) {
        EXPECT_EQ(Classify(text), TDatagramKind::Other) << text;
    }
    EXPECT_EQ(Classify(std::string("SOUND OK\0", 9)), TDatagramKind::Other);
}

TEST(SpeakerProtocol, EmptyDatagramIsItsOwnKind) {
    EXPECT_EQ(ClassifyDatagram(nullptr, 0), TDatagramKind::Empty);
}
