#pragma once
// TMemoryPool: lends the fixed-size buffers the segment workers receive into
// (2048 bytes in the engine) and takes them back after the writer has stored
// them. The buffers sit on a doubly linked list with a free cursor: every
// node before the cursor lends its buffer, the cursor node and every node
// after it hold a free one (no cursor: none is free). Taking a buffer moves
// the cursor on; giving one back moves the cursor one node back and swaps the
// two buffers, so nodes never move. The pool grows by its count when empty;
// Trim() gives the free buffers beyond that count back.
//
// Threads: any thread; one lock guards the list and the cursor.

#include <cstddef>
#include <mutex>

namespace zv2::download {

class TMemoryPool {
public:
    // Makes `count` buffers of `blockSize` bytes; `count` is also the growth step.
    TMemoryPool(int count, int blockSize);
    ~TMemoryPool();
    TMemoryPool(const TMemoryPool&) = delete;
    TMemoryPool& operator=(const TMemoryPool&) = delete;

    // A free buffer of BlockSize() bytes (contents undefined); grows first when none is free.
    char* GetBuffer();
    // Gives a lent buffer back. False (and nothing changes) for nullptr, for a
    // buffer not lent by this pool and for a pointer into the middle of one:
    // a buffer is known only by its start address.
    bool FreeBuffer(const char* buffer);

    // Frees the free buffers beyond the first count (lent ones stay lent).
    void Trim();

    int BlockSize() const { return BlockSize_; }
    std::size_t BufferCount() const; // buffers made so far
    std::size_t LentCount() const;   // buffers out now

private:
    struct TNode;
    void Grow(int n); // with the lock held, or while constructing

    mutable std::mutex Mutex_;
    const int GrowBy_;
    const int BlockSize_;
    TNode* First_ = nullptr;
    TNode* Last_ = nullptr;
    TNode* Cursor_ = nullptr;
    std::size_t Count_ = 0;
    std::size_t Lent_ = 0;
};

} // namespace zv2::download
