#include "untWavWriter.h"

#include <algorithm>

namespace zv2::speaker {

namespace {

constexpr long HeaderSize = 44;

void PutLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace

TWavWriter::~TWavWriter() {
    Finish();
}

bool TWavWriter::Open(const std::string& path, int sampleRate, int channels) {
    Finish();
    File_ = std::fopen(path.c_str(), "wb");
    if (!File_) {
        return false;
    }
    DataBytes_ = 0;
    Failed_ = false;
    const int blockAlign = channels * 2;
    std::uint8_t header[HeaderSize] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    PutLe(header + 16, 16, 4); // fmt chunk size
    PutLe(header + 20, 1, 2);  // PCM
    PutLe(header + 22, static_cast<std::uint32_t>(channels), 2);
    PutLe(header + 24, static_cast<std::uint32_t>(sampleRate), 4);
    PutLe(header + 28, static_cast<std::uint32_t>(sampleRate * blockAlign), 4);
    PutLe(header + 32, static_cast<std::uint32_t>(blockAlign), 2);
    PutLe(header + 34, 16, 2);
    std::copy_n("data", 4, header + 36);
    return std::fwrite(header, 1, sizeof header, File_) == sizeof header;
}

bool TWavWriter::Write(const std::uint8_t* data, std::size_t size) {
    if (!File_) {
        return false;
    }
    if (std::fwrite(data, 1, size, File_) != size) {
        Failed_ = true;
        return false;
    }
    DataBytes_ += size;
    return true;
}

bool TWavWriter::Finish() {
    if (!File_) {
        return false;
    }
    bool ok = !Failed_;
    if (DataBytes_ % 2 != 0) {
        ok = std::fputc(0, File_) != EOF && ok;
    }
    // Sizes are 32-bit: a stream of more than 4 GB keeps the largest values.
    const std::uint64_t limit = 0xFFFFFFFFu - HeaderSize;
    const auto data = static_cast<std::uint32_t>(std::min(DataBytes_, limit));
    const auto riff = static_cast<std::uint32_t>(data + (data % 2) + HeaderSize - 8);
    std::uint8_t field[4];
    PutLe(field, riff, 4);
    ok = std::fseek(File_, 4, SEEK_SET) == 0 && std::fwrite(field, 1, 4, File_) == 4 && ok;
    PutLe(field, data, 4);
    ok = std::fseek(File_, 40, SEEK_SET) == 0 && std::fwrite(field, 1, 4, File_) == 4 && ok;
    ok = std::fclose(File_) == 0 && ok;
    File_ = nullptr;
    return ok;
}

} // namespace zv2::speaker
