#pragma once
// Records when each block boundary of the PCM stream arrived, so that the
// step between several speakers playing one stream can be measured. A
// connection starts at a block boundary and carries whole blocks of
// `blockBytes`; block k of a connection begins at byte k * blockBytes.
//
// One line per complete block, written when its last byte arrived:
//   <connection> <block> <microseconds> <fnv>
// connection: 1 for the first connection taken, then 2, ...; block: 0, 1, ...
// within the connection; microseconds: CLOCK_MONOTONIC when the block's first
// byte arrived (one clock for every process on the machine); fnv: the 64-bit
// FNV-1a hash of the block's bytes in hex, which tells the same block apart
// at several speakers. A block cut short by the connection's end is not written.
//
// One thread uses it (the speaker's reading thread).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zv2::speaker {

class TBlockTimes {
public:
    explicit TBlockTimes(std::size_t blockBytes) : BlockBytes_(blockBytes) {}
    ~TBlockTimes();
    TBlockTimes(const TBlockTimes&) = delete;
    TBlockTimes& operator=(const TBlockTimes&) = delete;

    // Creates (or empties) `path`. False when it cannot be created.
    bool Open(const std::string& path);
    bool IsOpen() const { return File_ != nullptr; }
    // A new connection begins: its first byte starts block 0.
    void BeginConnection();
    // `size` bytes of the current connection arrived at `microseconds`.
    void Received(const std::uint8_t* data, std::size_t size, std::int64_t microseconds);
    // Flushes and closes the file.
    void Close();

private:
    const std::size_t BlockBytes_;
    std::FILE* File_ = nullptr;
    int Connection_ = 0;
    std::uint64_t Block_ = 0;
    std::size_t InBlock_ = 0; // bytes of the current block seen
    std::int64_t BlockStart_ = 0;
    std::uint64_t Hash_ = 0;
};

} // namespace zv2::speaker
