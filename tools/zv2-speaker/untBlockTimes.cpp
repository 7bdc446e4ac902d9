#include "untBlockTimes.h"

#include <algorithm>
#include <cinttypes>

namespace zv2::speaker {

namespace {
constexpr std::uint64_t FnvOffset = 0xcbf29ce484222325ull;
constexpr std::uint64_t FnvPrime = 0x100000001b3ull;
} // namespace

TBlockTimes::~TBlockTimes() {
    Close();
}

bool TBlockTimes::Open(const std::string& path) {
    Close();
    File_ = std::fopen(path.c_str(), "w");
    return File_ != nullptr;
}

void TBlockTimes::BeginConnection() {
    ++Connection_;
    Block_ = 0;
    InBlock_ = 0;
}

void TBlockTimes::Received(const std::uint8_t* data, std::size_t size, std::int64_t microseconds) {
    if (!File_) {
        return;
    }
    while (size > 0) {
        if (InBlock_ == 0) {
            BlockStart_ = microseconds;
            Hash_ = FnvOffset;
        }
        const std::size_t take = std::min(size, BlockBytes_ - InBlock_);
        for (std::size_t i = 0; i < take; ++i) {
            Hash_ = (Hash_ ^ data[i]) * FnvPrime;
        }
        data += take;
        size -= take;
        InBlock_ += take;
        if (InBlock_ == BlockBytes_) {
            std::fprintf(File_, "%d %" PRIu64 " %" PRId64 " %016" PRIx64 "\n", Connection_, Block_, BlockStart_, Hash_);
            std::fflush(File_);
            ++Block_;
            InBlock_ = 0;
        }
    }
}

void TBlockTimes::Close() {
    if (File_) {
        std::fclose(File_);
        File_ = nullptr;
    }
}

} // namespace zv2::speaker
