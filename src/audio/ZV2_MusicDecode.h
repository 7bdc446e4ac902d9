#pragma once
// TZV2_Music: the playback engine. Plays one MP3 file at a time: decodes it
// one frame per step, cuts the PCM into blocks of BlockBytes and queues them
// on the wave output; in speaker mode every block that is queued is also sent
// whole to every checked speaker on its own stream connection, while the local
// device plays at volume 0. The device's "block finished" notices are the one clock
// that paces both.
//
// Format: always 44100 Hz, 2 channels, signed 16-bit, whatever the file has.
// Units: Position and FileSize in bytes of the MP3 file; volume levels on the
// 0 (silent) .. 3000 (full) scale.
//
// Lifecycle: Open(file) -> SetActive(true) (the first start after an Open
// decodes and drops two blocks, then queues two) -> Pause(true)/Pause(false)
// -> SetActive(false) (the file and position stay) -> SetActive(true)
// continues from the position. The engine never ends a song: at the end of
// the file it keeps queuing repeats of the last frame.
//
// Threads: every method is for the UI thread (the thread of the dispatcher
// given to the constructor), except Position(), Active(), VolumeLevel() and
// SpeakerMode(), which any thread may read.
// Each finished block wakes the engine's refill thread, which decodes the
// next block, sends it to the speaker and queues it. The events run on the UI
// thread.

#include "audio/untMpegAudioDecoder.h"
#include "audio/untTVolume.h"
#include "platform/Dispatcher.h"
#include "platform/waveout/WaveOut.h"
#include "speaker/untSpeakerLink.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zv2::audio {

class TZV2_Music {
public:
    static constexpr std::size_t BlockBytes = 52100; // 13025 stereo frames, about 295 ms
    static constexpr std::size_t ReadBytes = 4096;   // offered to the decoder per step
    static constexpr std::size_t RepeatBytes = 4608; // a step without a frame counts as one stereo frame
    static constexpr int MaxVolumeLevel = 3000;
    static constexpr int FadeStep = 200; // volume level per block during the fade-in

    // `waveOut` is the device to play on (the engine owns it); the speaker link
    // is made with `linkOptions` (ports) and reports through `dispatcher`.
    TZV2_Music(platform::IDispatcher& dispatcher, std::unique_ptr<platform::IWaveOut> waveOut,
               const speaker::TSpeakerLinkOptions& linkOptions = {});
    ~TZV2_Music();
    TZV2_Music(const TZV2_Music&) = delete;
    TZV2_Music& operator=(const TZV2_Music&) = delete;

    // The stream connection to the speaker is up.
    std::function<void()> OnStreamConnect;
    // The speaker answered the start request ("SOUND OK" or "SOUND NOK"); the stream connect has begun.
    std::function<void(const std::string& text, int size)> OnSoundReply;
    // A speaker answered discovery; its IPv4 address in dotted text.
    std::function<void(const std::string& address)> OnDeviceFound;
    // The stream connection closed or failed.
    std::function<void()> OnStreamDisconnect;

    // Closes the open file, opens `fileName` (a file that cannot be opened
    // leaves none open: a later start queues nothing), position 0, output
    // disabled until the next start. Does not stop a running device: its
    // refills decode the new file with output disabled and it runs dry.
    void Open(const std::string& fileName);

    // The byte offset of the next byte offered to the decoder. Setting it is
    // the seek; it takes effect at the next decode step.
    std::uint32_t Position() const { return Position_.load(); }
    void SetPosition(std::uint32_t position) { Position_ = position; }
    // The open file's size in bytes, 0 with none open.
    std::uint32_t FileSize() const;

    // Start (true) or stop (false); each does nothing when already in that state.
    void SetActive(bool active);
    bool Active() const { return Active_.load(); }

    // Pauses (true) or resumes (false) the device; false when no device is open.
    bool Pause(bool pause);

    // Volume level := level (unclamped). Returns level clamped to 0..3000 as
    // x = level / 3000 to the nearest hundredth (halves to even), then
    // x * 4095 (speaker) or x * 255 (local device), truncated.
    int ScaleVolume(bool forSpeaker, int level);
    // Both channels of the local device to ScaleVolume(false, level).
    void SetLocalVolume(int level);
    // The results of ScaleVolume() without touching the volume level.
    static std::uint16_t SpeakerLevel(int level);
    static int LocalLevel(int level);
    // One volume datagram with ScaleVolume(true, level) to every checked
    // speaker, each scaled by its own volume / 3000.
    void SendSpeakerVolume(int level);
    int VolumeLevel() const { return VolumeLevel_.load(); }
    void SetVolumeLevel(int level) { VolumeLevel_ = level; }

    // True: blocks go to the speaker (the initial mode).
    bool SpeakerMode() const { return SpeakerMode_.load(); }
    void SetSpeakerMode(bool speakerMode) { SpeakerMode_ = speakerMode; }

    // Discovery broadcast; answers come through OnDeviceFound.
    void SearchDevices();
    // Device address and rate text := the arguments; sends the rate and start
    // datagrams, then volume datagrams with the current volume level (every
    // checked speaker its share).
    void StartSpeaker(const std::string& address, const std::string& rateText);
    // Opens (or reopens) the stream connection to the device address.
    void ConnectStream();

    // The speaker set: rows[0] is the main speaker (the device address), the
    // others are matched by address (see TSpeakerLink::SetSpeakers). Every
    // block goes to every checked speaker.
    void SetSpeakers(const std::vector<speaker::TSpeakerRow>& rows);
    // Every speaker with its state and statistics, the main one first (any thread).
    std::vector<speaker::TSpeakerState> Speakers() const;

    speaker::TSpeakerLink& Link() { return Link_; }

private:
    void Start();
    void Stop();
    void FillAndQueue();
    // The start request and a volume datagram to the current device address.
    void RequestStart();
    std::size_t FillBlock(std::uint8_t* block, std::size_t size);
    std::size_t DecodeStep();
    void BlockDone(platform::TWaveBlockPtr block);
    void Refill();

    std::unique_ptr<platform::IWaveOut> WaveOut_;
    TVolume Volume_;
    speaker::TSpeakerLink Link_;

    // Shared with the refill thread: read and written whole.
    std::atomic<bool> Active_{false};
    std::atomic<bool> OutputEnabled_{false};
    std::atomic<std::uint32_t> Position_{0};
    std::atomic<int> VolumeLevel_{0};
    std::atomic<int> FadeTarget_{0};
    std::atomic<bool> Fading_{false};
    std::atomic<bool> FirstBlock_{false};
    std::atomic<bool> SpeakerMode_{true};

    // Held by a start, a stop, an Open and each refill: a stop never closes the
    // device under a block being filled, and an Open never swaps the file under a decode step.
    std::mutex RefillMutex_;
    bool DeviceOpen_ = false;
    std::uint64_t Session_ = 0; // blocks of an earlier device session are only released
    int File_ = -1;
    TMpegAudioDecoder Decoder_;
    std::array<std::uint8_t, RepeatBytes> FrameBuffer_{};
    std::array<std::uint8_t, RepeatBytes> CarryBuffer_{};
    std::size_t CarryCount_ = 0;

    // Finished blocks, from the device's completion thread to the refill thread.
    std::mutex FinishedMutex_;
    std::condition_variable FinishedChanged_;
    std::deque<platform::TWaveBlockPtr> Finished_;
    bool Terminate_ = false;
    std::thread RefillThread_;
};

} // namespace zv2::audio
