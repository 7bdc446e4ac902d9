#include "platform/waveout/FallbackWaveOut.h"

#include <cstdio>

namespace zv2::platform {

TFallbackWaveOut::TFallbackWaveOut(std::unique_ptr<IWaveOut> card, std::unique_ptr<IWaveOut> standIn)
    : Card_(std::move(card)), StandIn_(std::move(standIn)) {}

TFallbackWaveOut::~TFallbackWaveOut() {
    Close();
}

bool TFallbackWaveOut::Open(const TWaveFormat& format, TWaveDoneHandler onDone) {
    if (Active_)
        return false;
    if (Card_->Open(format, onDone)) {
        Active_ = Card_.get();
        return true;
    }
    std::fprintf(stderr, "sound: the %s output did not open; playing on the %s device\n", Card_->Name().c_str(),
                 StandIn_->Name().c_str());
    if (!StandIn_->Open(format, std::move(onDone)))
        return false;
    Active_ = StandIn_.get();
    return true;
}

bool TFallbackWaveOut::Write(TWaveBlockPtr block) {
    return Active_ && Active_->Write(std::move(block));
}

bool TFallbackWaveOut::Pause() {
    return Active_ && Active_->Pause();
}

bool TFallbackWaveOut::Restart() {
    return Active_ && Active_->Restart();
}

bool TFallbackWaveOut::Reset() {
    return Active_ && Active_->Reset();
}

void TFallbackWaveOut::Close() {
    if (!Active_)
        return;
    Active_->Close();
    Active_ = nullptr;
}

bool TFallbackWaveOut::IsOpen() const {
    return Active_ && Active_->IsOpen();
}

void TFallbackWaveOut::SetVolume(TWaveVolume volume) {
    Card_->SetVolume(volume);
    StandIn_->SetVolume(volume);
}

std::string TFallbackWaveOut::Name() const {
    return (Active_ ? Active_ : Card_.get())->Name();
}

} // namespace zv2::platform
