#include "platform/waveout/PortAudioWaveOut.h"

#include "platform/LoadedLibrary.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <pa_jack.h>
#include <portaudio.h>

#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <pthread.h>
#include <thread>

namespace {

// The client PortAudio's JACK host API opens while Pa_Initialize probes it.
constexpr char kJackProbeClient[] = "zv2player-probe";

} // namespace

// Pa_Initialize probes every host API PortAudio was built with, JACK among
// them. libjack then opens its metadata store and looks for a server, and
// prints what fails on standard error at every start ("jack server is not
// running", and under a user namespace "/dev/shm/jack_db-0/__db.001:
// Permission denied", which no error hook of libjack silences). The player
// plays on the default device of the default host API, ALSA, which is probed
// first; the JACK host API is never used. So the probe's client is refused
// here, where the dynamic linker finds this definition before libjack's (the
// programs export it, see CMakeLists.txt: PortAudio is loaded later); every
// other client (ALSA's jack plugin, for a user whose default device is a JACK
// server) goes on to libjack with all its arguments.
extern "C" jack_client_t* jack_client_open(const char* name, jack_options_t options, jack_status_t* status, ...) {
    if (name && std::strcmp(name, kJackProbeClient) == 0) {
        if (status)
            *status = jack_status_t(JackFailure | JackServerFailed);
        return nullptr;
    }
    using TOpen = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
    static const auto open = reinterpret_cast<TOpen>(dlsym(RTLD_NEXT, "jack_client_open"));
    if (!open) {
        if (status)
            *status = jack_status_t(JackFailure | JackInitFailure);
        return nullptr;
    }
    // The optional arguments, in the order libjack reads them by the options.
    const char* extra[4] = {};
    std::va_list args;
    va_start(args, status);
    int count = 0;
    for (const int option : {JackServerName, JackLoadName, JackLoadInit, JackSessionID})
        if (options & option)
            extra[count++] = va_arg(args, const char*);
    va_end(args);
    return open(name, options, status, extra[0], extra[1], extra[2], extra[3]);
}

namespace zv2::platform {

// The functions of PortAudio and ALSA in use, named as they name them.
struct TPortAudio {
    decltype(&::Pa_Initialize) Pa_Initialize;
    decltype(&::Pa_Terminate) Pa_Terminate;
    decltype(&::Pa_GetDefaultOutputDevice) Pa_GetDefaultOutputDevice;
    decltype(&::Pa_GetDeviceInfo) Pa_GetDeviceInfo;
    decltype(&::Pa_IsFormatSupported) Pa_IsFormatSupported;
    decltype(&::Pa_OpenStream) Pa_OpenStream;
    decltype(&::Pa_GetStreamInfo) Pa_GetStreamInfo;
    decltype(&::Pa_StartStream) Pa_StartStream;
    decltype(&::Pa_AbortStream) Pa_AbortStream;
    decltype(&::Pa_CloseStream) Pa_CloseStream;
    decltype(&::PaJack_SetClientName) PaJack_SetClientName;
    decltype(&::snd_lib_error_set_handler) snd_lib_error_set_handler;
};

namespace {

std::unique_ptr<TPortAudio> LoadPortAudio() {
    // Into the global scope: jack_client_open above passes other clients on
    // to libjack, which PortAudio brings, by RTLD_NEXT.
    void* portAudio = ::dlopen("libportaudio.so.2", RTLD_NOW | RTLD_GLOBAL);
    void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!portAudio || !alsa)
        return nullptr;
    auto f = std::make_unique<TPortAudio>();
#define ZV2_BIND(library, name) BindFunction(library, #name, f->name)
    const bool bound = ZV2_BIND(portAudio, Pa_Initialize) && ZV2_BIND(portAudio, Pa_Terminate) &&
                       ZV2_BIND(portAudio, Pa_GetDefaultOutputDevice) && ZV2_BIND(portAudio, Pa_GetDeviceInfo) &&
                       ZV2_BIND(portAudio, Pa_IsFormatSupported) && ZV2_BIND(portAudio, Pa_OpenStream) &&
                       ZV2_BIND(portAudio, Pa_GetStreamInfo) && ZV2_BIND(portAudio, Pa_StartStream) &&
                       ZV2_BIND(portAudio, Pa_AbortStream) && ZV2_BIND(portAudio, Pa_CloseStream) &&
                       ZV2_BIND(portAudio, PaJack_SetClientName) && ZV2_BIND(alsa, snd_lib_error_set_handler);
#undef ZV2_BIND
    return bound ? std::move(f) : nullptr;
}

// PortAudio and ALSA, loaded when the sound card is first probed (see
// LoadedLibrary.h): the player probes once its window shows, and the
// libraries (libjack and its own among them) would otherwise hold the window
// up. Null when a library or a function is missing. Any thread; once.
const TPortAudio* PortAudio() {
    static const std::unique_ptr<TPortAudio> functions = LoadPortAudio();
    return functions.get();
}

// ALSA prints every failed probe of PortAudio's device scan to stderr; a
// machine without a card would print dozens of lines at each start.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool InitializePortAudio(const TPortAudio& pa) {
    pa.snd_lib_error_set_handler(QuietAlsaError);
    pa.PaJack_SetClientName(kJackProbeClient);
    return pa.Pa_Initialize() == paNoError;
}

PaStreamParameters OutputParameters(const TPortAudio& pa, const TWaveFormat& format) {
    PaStreamParameters p{};
    p.device = pa.Pa_GetDefaultOutputDevice();
    p.channelCount = format.Channels;
    p.sampleFormat = paInt16;
    if (p.device != paNoDevice)
        p.suggestedLatency = pa.Pa_GetDeviceInfo(p.device)->defaultHighOutputLatency;
    return p;
}

// How far past the stream's own latency a device may run ahead of the clock
// before the callback holds it back: room for a card whose clock runs a little
// fast and for a late callback thread.
constexpr std::chrono::milliseconds ExtraAhead{250};

} // namespace

struct TPortAudioCallback {
    static int Run(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags, void* self) {
        auto* device = static_cast<TPortAudioWaveOut*>(self);
        device->Fill(static_cast<std::int16_t*>(output), frames * std::size_t(device->Format_.Channels));
        return paContinue;
    }
};

std::unique_ptr<TPortAudioWaveOut> TPortAudioWaveOut::Probe() {
    const TPortAudio* pa = PortAudio();
    if (!pa || !InitializePortAudio(*pa))
        return nullptr;
    const PaStreamParameters p = OutputParameters(*pa, TWaveFormat{});
    if (p.device == paNoDevice ||
        pa->Pa_IsFormatSupported(nullptr, &p, TWaveFormat{}.SampleRate) != paFormatIsSupported) {
        pa->Pa_Terminate();
        return nullptr;
    }
    return std::unique_ptr<TPortAudioWaveOut>(new TPortAudioWaveOut(*pa));
}

TPortAudioWaveOut::~TPortAudioWaveOut() {
    Close();
    PortAudio_.Pa_Terminate();
}

bool TPortAudioWaveOut::Open(const TWaveFormat& format, TWaveDoneHandler onDone) {
    if (Stream_ || format.BitsPerSample != 16 || format.Channels < 1 || format.Channels > 2)
        return false;
    const PaStreamParameters p = OutputParameters(PortAudio_, format);
    if (p.device == paNoDevice)
        return false;
    PaStream* stream = nullptr;
    if (PortAudio_.Pa_OpenStream(&stream, nullptr, &p, format.SampleRate, paFramesPerBufferUnspecified, paNoFlag,
                                 &TPortAudioCallback::Run, this) != paNoError)
        return false;
    Format_ = format;
    Offset_ = 0;
    Paused_ = false;
    const PaStreamInfo* info = PortAudio_.Pa_GetStreamInfo(stream);
    AheadLimit_ = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::duration<double>(info ? info->outputLatency : 0.0)) +
                  ExtraAhead;
    RestartPace();
    Queue_.Start(std::move(onDone));
    if (PortAudio_.Pa_StartStream(stream) != paNoError) {
        PortAudio_.Pa_CloseStream(stream);
        Queue_.Stop();
        return false;
    }
    Stream_ = stream;
    return true;
}

bool TPortAudioWaveOut::Write(TWaveBlockPtr block) {
    if (!Stream_ || !block || block->Length > block->Data.size() || block->Length % std::size_t(Format_.BlockAlign()))
        return false;
    return Queue_.Push(std::move(block));
}

bool TPortAudioWaveOut::Pause() {
    if (!Stream_)
        return false;
    Paused_ = true;
    return true;
}

bool TPortAudioWaveOut::Restart() {
    if (!Stream_)
        return false;
    Paused_ = false;
    return true;
}

bool TPortAudioWaveOut::Reset() {
    if (!Stream_)
        return false;
    // With the stream aborted the callback no longer runs, so the queue's
    // playing side is ours until the stream starts again.
    PortAudio_.Pa_AbortStream(Stream_);
    Offset_ = 0;
    RestartPace();
    Queue_.ReturnAll();
    Queue_.WaitHandedBack();
    return PortAudio_.Pa_StartStream(Stream_) == paNoError;
}

void TPortAudioWaveOut::Close() {
    if (!Stream_)
        return;
    PortAudio_.Pa_AbortStream(Stream_);
    Offset_ = 0;
    Queue_.ReturnAll();
    Queue_.Stop();
    PortAudio_.Pa_CloseStream(Stream_);
    Stream_ = nullptr;
}

void TPortAudioWaveOut::RestartPace() {
    FramesOut_ = 0;
}

void TPortAudioWaveOut::Pace(std::size_t frames) {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    if (FramesOut_ == 0)
        PaceStart_ = now;
    const auto given = microseconds(FramesOut_ * 1000000 / std::uint64_t(Format_.SampleRate));
    // Time the device fell behind (a slow start, a stall) is no credit for a burst later.
    if (PaceStart_ + given < now)
        PaceStart_ = now - given;
    const auto due = PaceStart_ + given - AheadLimit_;
    if (due > now) {
        // PortAudio may cancel this thread to abort the stream; never in the
        // middle of this wait, which ends within one buffer's time.
        int oldState = 0;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &oldState);
        std::this_thread::sleep_until(due);
        pthread_setcancelstate(oldState, &oldState);
    }
    FramesOut_ += frames;
}

void TPortAudioWaveOut::Fill(std::int16_t* out, std::size_t samples) {
    Pace(samples / std::size_t(Format_.Channels));
    std::size_t done = 0;
    if (!Paused_) {
        const TWaveVolume volume = Volume_.load();
        while (done < samples) {
            TWaveBlock* block = Queue_.Front();
            if (!block)
                break;
            const std::size_t available = (block->Length - Offset_) / 2;
            const std::size_t n = std::min(available, samples - done);
            std::memcpy(out + done, block->Data.data() + Offset_, n * 2);
            ApplyWaveVolume(out + done, n, Format_.Channels, volume);
            done += n;
            Offset_ += n * 2;
            if (Offset_ >= block->Length) {
                Offset_ = 0;
                Queue_.FinishFront();
            }
        }
    }
    std::memset(out + done, 0, (samples - done) * 2);
}

} // namespace zv2::platform
