// Any datagram that reaches the link or the software speaker goes through the
// classification; whatever it says must agree with the decoders.
#include "speaker/untSpeakerProtocol.h"

#include <cstdlib>

using namespace zv2::speaker;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TDatagramKind kind = ClassifyDatagram(data, size);
    const auto volume = DecodeVolume(data, size);
    const auto rate = DecodeRateText(data, size);
    if ((kind == TDatagramKind::Volume) != volume.has_value() ||
        (kind == TDatagramKind::RateRequest) != rate.has_value()) {
        std::abort();
    }
    if (volume && (*volume > MaxSpeakerVolume ||
                   ClassifyDatagram(EncodeVolume(*volume).data(), VolumeDatagramSize) != TDatagramKind::Volume)) {
        std::abort();
    }
    if (kind == TDatagramKind::Empty && size != 0) {
        std::abort();
    }
    return 0;
}
