#pragma once
// Writes received PCM to a WAV file as it arrives: a 44-byte header with
// placeholder sizes first, the bytes unchanged, and the sizes filled in by
// Finish(). One thread uses it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zv2::speaker {

class TWavWriter {
public:
    TWavWriter() = default;
    ~TWavWriter();
    TWavWriter(const TWavWriter&) = delete;
    TWavWriter& operator=(const TWavWriter&) = delete;

    // Creates `path` with a header for 16-bit PCM of `sampleRate` and `channels`.
    bool Open(const std::string& path, int sampleRate, int channels);
    bool Write(const std::uint8_t* data, std::size_t size);
    // Fills in the RIFF and data sizes and closes the file. A data part of
    // odd length gets the pad byte RIFF asks for (not counted as data).
    bool Finish();

    std::uint64_t DataBytes() const { return DataBytes_; }

private:
    std::FILE* File_ = nullptr;
    std::uint64_t DataBytes_ = 0;
    bool Failed_ = false;
};

} // namespace zv2::speaker
