#pragma once
// A sound card with a stand-in: each Open tries the card first and, when the
// card does not open (taken by another program, gone since the probe), says
// so in one diagnostic line on standard error and opens the stand-in (the
// null device, which keeps the real-time pace) instead, so playback and the
// speaker stream go on. Every later call of that stream goes to the device
// that opened; the next Open tries the card again. The volume is set on both.
// Contract and threads as in WaveOut.h.

#include "platform/waveout/WaveOut.h"

namespace zv2::platform {

class TFallbackWaveOut : public IWaveOut {
public:
    TFallbackWaveOut(std::unique_ptr<IWaveOut> card, std::unique_ptr<IWaveOut> standIn);
    ~TFallbackWaveOut() override;

    bool Open(const TWaveFormat& format, TWaveDoneHandler onDone) override;
    bool Write(TWaveBlockPtr block) override;
    bool Pause() override;
    bool Restart() override;
    bool Reset() override;
    void Close() override;
    bool IsOpen() const override;
    TWaveVolume Volume() const override { return Card_->Volume(); }
    void SetVolume(TWaveVolume volume) override;
    // The name of the device the open stream plays on; the card's while none is open.
    std::string Name() const override;

private:
    std::unique_ptr<IWaveOut> Card_;
    std::unique_ptr<IWaveOut> StandIn_;
    IWaveOut* Active_ = nullptr; // the device of the open stream; set and cleared by the controlling thread
};

} // namespace zv2::platform
