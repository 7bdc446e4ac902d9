#pragma once
// TSaveThread, the block writer: assembles every download in memory and saves
// it in one piece when every byte of it has arrived.
//
// Life of a file: AddFile registers it (no image yet); the writer's thread
// opens it (gives it a memory image, OnFileOpened) while no more than
// OpenLimit files are open (so up to OpenLimit + 1 at once); blocks queued by
// AddBlock are copied into the image at their offsets, one block per pass
// (OnFileProgress); once every byte 0 .. Size-1 has been written, whatever
// the order and overlap of the blocks, the image is saved and OnFileFinished
// follows. The image holds the bytes that arrived, in pages of 64 KiB made as
// the bytes reach them: a server that announces a large size and sends
// little costs what it sent. Files over kLargestSong are refused.
//
// Written to file (writeToFile, the full speed): there is no image; opening
// a file creates its temporary file (below) and every block is written into
// it at its offset (pwrite) as it arrives, so memory is what waits in the
// queue whatever the song's size. The save then only flushes and moves it.
// A file removed or failed removes its temporary file.
//
// Resume records (untResumeRecord.h): a file written to file has its record
// beside its temporary file, written when the file is opened and then at
// most once every kRecordEveryMs while bytes arrive, each time after the
// temporary file is flushed (fdatasync), so a record names only bytes that
// are on disk; the writer's thread writes it with no lock held. A file added
// with an unfinished download's temporary file (TFileOrigin::Temporary) is
// written to that file whatever the pace: opening it takes the file (locked;
// one that is gone, locked by another download, or shorter than its
// complete ranges fails the open), counts its complete ranges as written
// (OnFileOpened, then OnFileProgress with them) and wants only the rest; one
// complete already is saved at once. Destroying the writer (the program's
// close) keeps every opened file for the next start: one written to file
// gets its last record; an image has the bytes that arrived written to a
// temporary file of its own, with a record. A save moves the song into place
// and then removes its record.
//
// A save never leaves a part of a song under a song's name: the image is
// written to a temporary file in the target folder (kTemporarySongPrefix and
// six characters, short whatever the song is called), flushed to the disk
// (fsync), and only then moved to the file name or, when that exists, to the
// first free numbered name (Song.mp3, then Song0.mp3, Song1.mp3, ...) without
// ever replacing a file. A failed save removes its temporary file. A writer
// killed during a save leaves its temporary file: at the next start
// ScanUnfinishedSongs removes it, or keeps it as an unfinished download when
// it has a record (a file written to file).
//
// A file removed (RemoveFile) while it is being saved is either not saved (the
// removal came before the move: the temporary file goes) or saved and
// reported finished all the same (it came after): a song on disk is always
// reported.
//
// Segments: AddFile names how many segment jobs fetch the file. A worker
// whose segment has ended, whole or failed, queues an end marker
// (MakeSegmentEnd) after its last block; when every segment's marker has been
// written and bytes are still missing, the download cannot complete and
// OnFileError reports it.
//
// Failures (OnFileError with value 0): an image that cannot grow (out of
// memory), a temporary file that cannot be made or taken, a save that fails,
// missing bytes as above. The file stays registered until RemoveFile; later
// blocks of it are still written.
//
// Threads: AddFile, AddBlock and RemoveFile from any thread (task thread,
// workers, main thread); they take the writer's lock briefly (RemoveFile
// also while a save moves its file into place) and never wait on the
// network or for a flush. The callbacks run on the writer's thread with no
// lock of the writer held, in the order of the events; values are 32-bit
// (sizes up to kLargestSong). Destruction abandons a save that has not
// moved its file yet.

#include "download/untEnginePacing.h"
#include "download/untMemoryPool.h"
#include "download/untResumeRecord.h"

#include <atomic>
#include <chrono>
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

// The largest song the writer takes: larger ones are refused.
inline constexpr std::int64_t kLargestSong = std::int64_t{512} << 20;

// How many bytes of one file may wait in the writer's queue: a worker whose
// file has more waits (TWorkThread) instead of piling blocks up.
inline constexpr std::int64_t kQueuedBytesPerFile = std::int64_t{8} << 20;

// The longest a file written to file goes, while bytes arrive, without a
// new resume record.
inline constexpr int kRecordEveryMs = 1000;

// Where a file comes from, for its resume record, and what of it is on disk.
struct TFileOrigin {
    std::string Url;          // the song's address
    std::string LastModified; // what the server said of the file; empty when nothing
    std::string ETag;
    std::string Temporary;            // an unfinished download's temporary file to go on with; empty: a new file
    std::vector<TByteRange> Complete; // the bytes complete in it (sorted, apart)
};

// The first of `fileName`, part + "0" + ext, part + "1" + ext, ... that does
// not exist; ext is the name's part from its last "." on (empty without one).
std::string FreeFileName(const std::string& fileName, const std::function<bool(const std::string&)>& exists);

class TSaveThread {
public:
    TSaveThread(TMemoryPool& pool, int openLimit, TWriterCallbacks callbacks, int passMs = 10,
                bool writeToFile = false);
    // Stops the thread; queued blocks give their buffers back, images are dropped.
    ~TSaveThread();
    TSaveThread(const TSaveThread&) = delete;
    TSaveThread& operator=(const TSaveThread&) = delete;

    // Registers a download of `size` bytes (1 .. kLargestSong) fetched by
    // `segments` jobs. False (nothing registered) for a size out of range.
    bool AddFile(std::uint32_t key, const std::string& fileName, std::int64_t size, int segments = 1,
                 TFileOrigin origin = {});
    void AddBlock(const TBlockInfo& block);
    // Drops every record of `key` with its image, and its queued blocks.
    void RemoveFile(std::uint32_t key);
    // Bytes of blocks of `key` waiting to be written.
    std::int64_t QueuedBytes(std::uint32_t key) const;

    // The name a finished file was saved under (once; empty when unknown).
    // The finish notice comes after the name is known.
    std::string TakeSavedName(std::uint32_t key);

    int OpenCount() const { return OpenCount_.load(); }

private:
    // The image of a file is cut into pages, each made when the first byte
    // that belongs in it arrives: memory follows the bytes received.
    static constexpr std::int64_t kPageSize = 64 * 1024;
    struct TFileInfo {
        // Removes the temporary file (and record) of a file written to disk
        // that was not saved, unless it is kept for the next start.
        ~TFileInfo();
        std::string FileName;
        TFileOrigin Origin;
        bool Opened = false;
        std::vector<std::unique_ptr<char[]>> Pages; // the image; none until opened, none when written to file
        int Fd = -1;                                // written to file: the open temporary file
        std::string Temporary;                      // and its path
        std::uint32_t Key = 0;
        std::int64_t Size = 0;
        std::int64_t Written = 0;                    // distinct bytes written
        std::map<std::int64_t, std::int64_t> Ranges; // written [start, end), merged
        int Segments = 1;
        int SegmentsEnded = 0;
        std::int64_t Recorded = -1; // Written when the last record was written; -1 none yet
        std::chrono::steady_clock::time_point RecordedAt;
        bool Keep = false; // its temporary file and record stay for the next start
    };
    struct TSaving {
        std::uint32_t Key = 0;
        bool Active = false;
        bool Cancelled = false; // RemoveFile came for it during the save
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
    static TResumeRecord RecordOf(const TFileInfo& file);
    // The file written to file whose record is due, taken with what the record says.
    std::shared_ptr<TFileInfo> RecordDue(TResumeRecord& record);
    // Flushes the file and writes the record that names what it holds.
    static void WriteRecord(TFileInfo& file, const TResumeRecord& record);
    // At the writer's end: the file stays for the next start (Keep), with its record.
    void KeepUnfinished(TFileInfo& file);
    // Saves a complete file (the writer's thread, no lock held): the name
    // saved under, or empty when the save failed or was abandoned.
    std::string SaveFile(TFileInfo& file);
    // Gives an opened file its place: the image's page list, or its temporary
    // file, new or the unfinished one it goes on with (false when that cannot
    // be made or taken).
    bool OpenFile(TFileInfo& file);
    bool WriteBytes(TFileInfo& file, const char* bytes, std::int64_t start, std::int64_t end);
    // Moves the written temporary file to its song name, under the lock; empty
    // when the file was removed meanwhile, the writer is closing, or the move failed.
    std::string CommitSong(const std::string& temporary, const std::string& fileName);

    TMemoryPool& Pool_;
    const int OpenLimit_;
    const TWriterCallbacks Callbacks_;
    const int PassMs_;
    const bool WriteToFile_;
    std::atomic<int> OpenCount_{0};

    mutable std::mutex Mutex_; // guards Files_, Blocks_, QueuedBytes_, SavedNames_ and Saving_
    // Shared with the writer's thread while it writes a record without the lock.
    std::vector<std::shared_ptr<TFileInfo>> Files_;
    std::deque<TBlockInfo> Blocks_;
    std::map<std::uint32_t, std::int64_t> QueuedBytes_; // by key
    std::map<std::uint32_t, std::string> SavedNames_;
    TSaving Saving_; // the save in progress

    TPacer Pacer_;
    std::thread Thread_;
};

} // namespace zv2::download
