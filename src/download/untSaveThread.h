#pragma once
// TSaveThread, the block writer: assembles every download in memory and saves
// it in one piece when every byte of it has arrived.
//
// Life of a file: AddFile registers it (no image yet); the writer's thread
// opens it (gives it a memory image, OnFileOpened) while no more than
// OpenLimit files are open (so up to OpenLimit + 1 at once); blocks queued by
// AddBlock are copied into the image at their offsets, one block per pass
// (OnFileProgress); once every byte 0 .. Size-1 has been written, whatever
// the order and overlap of the blocks, the image is saved under the file name
// or, when that exists, under the first free numbered name (Song.mp3, then
// Song0.mp3, Song1.mp3, ...) and OnFileFinished follows. An existing file is
// never overwritten, and a failed save leaves no partial file behind.
//
// Segments: AddFile names how many segment jobs fetch the file. A worker
// whose segment has ended, whole or failed, queues an end marker
// (MakeSegmentEnd) after its last block; when every segment's marker has been
// written and bytes are still missing, the download cannot complete and
// OnFileError reports it.
//
// Failures (OnFileError with value 0): an image that cannot grow (out of
// memory), a save that fails, missing bytes as above. The file stays
// registered until RemoveFile; later blocks of it are still written.
//
// Threads: AddFile, AddBlock and RemoveFile from any thread (task thread,
// workers, main thread); they take the writer's lock briefly and never wait
// on the disk. The callbacks run on the writer's thread with no lock of the
// writer held, in the order of the events; values are 32-bit (sizes below
// 2 GiB, which the task thread ensures).

#include "download/untEnginePacing.h"
#include "download/untMemoryPool.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zv2::download {

// What a worker hands to the writer. `Buffer` is the start of a buffer lent by
// the pool; the writer gives it back. A block with Buffer nullptr and Length 0
// is the end marker of one segment.
struct TBlockInfo {
    std::string Url; // carried along, not used
    std::uint32_t Key = 0;
    std::int64_t Offset = 0; // file position of Buffer[0]
    std::int32_t Length = 0; // bytes
    char* Buffer = nullptr;
};

TBlockInfo MakeSegmentEnd(std::uint32_t key);

using TKeyValueEvent = std::function<void(std::uint32_t key, std::int32_t value)>;

struct TWriterCallbacks {
    TKeyValueEvent OnFileOpened;   // value: Size
    TKeyValueEvent OnFileProgress; // value: bytes of the file written so far (each byte once)
    TKeyValueEvent OnFileFinished; // value: Size; the file is on disk
    TKeyValueEvent OnFileError;    // value: 0
};

// The first of `fileName`, part + "0" + ext, part + "1" + ext, ... that does
// not exist; ext is the name's part from its last "." on (empty without one).
std::string FreeFileName(const std::string& fileName, const std::function<bool(const std::string&)>& exists);

class TSaveThread {
public:
    TSaveThread(TMemoryPool& pool, int openLimit, TWriterCallbacks callbacks, int passMs = 10);
    // Stops the thread; queued blocks give their buffers back, images are dropped.
    ~TSaveThread();
    TSaveThread(const TSaveThread&) = delete;
    TSaveThread& operator=(const TSaveThread&) = delete;

    // Registers a download of `size` bytes (1 .. 2^31-1) fetched by `segments`
    // jobs. False (nothing registered) for a size out of range.
    bool AddFile(std::uint32_t key, const std::string& fileName, std::int64_t size, int segments = 1);
    void AddBlock(const TBlockInfo& block);
    // Drops every record of `key` with its image.
    void RemoveFile(std::uint32_t key);

    // The name a finished file was saved under (once; empty when unknown).
    // The finish notice comes after the name is known.
    std::string TakeSavedName(std::uint32_t key);

    int OpenCount() const { return OpenCount_.load(); }
    int OpenLimit() const { return OpenLimit_; }

private:
    struct TFileInfo {
        std::string FileName;
        std::unique_ptr<std::vector<char>> Stream; // nullptr until opened
        std::uint32_t Key = 0;
        std::int64_t Size = 0;
        std::int64_t Written = 0;                    // distinct bytes written
        std::map<std::int64_t, std::int64_t> Ranges; // written [start, end), merged
        int Segments = 1;
        int SegmentsEnded = 0;
    };
    struct TNotice {
        const TKeyValueEvent* Event;
        std::uint32_t Key;
        std::int32_t Value;
    };
    void Execute();
    bool Pass(std::vector<TNotice>& notices);
    void WriteBlock(const TBlockInfo& block, std::vector<TNotice>& notices);
    static void AddRange(TFileInfo& file, std::int64_t start, std::int64_t end);
    // The name saved under, or empty when the save failed.
    static std::string SaveFile(const std::string& fileName, const std::vector<char>& data);

    TMemoryPool& Pool_;
    const int OpenLimit_;
    const TWriterCallbacks Callbacks_;
    const int PassMs_;
    std::atomic<int> OpenCount_{0};

    std::mutex Mutex_; // guards Files_ and Blocks_
    std::vector<std::unique_ptr<TFileInfo>> Files_;
    std::deque<TBlockInfo> Blocks_;
    std::map<std::uint32_t, std::string> SavedNames_;

    TPacer Pacer_;
    std::thread Thread_;
};

} // namespace zv2::download
