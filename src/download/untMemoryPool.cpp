#include "download/untMemoryPool.h"

#include <algorithm>
#include <utility>

namespace zv2::download {

struct TMemoryPool::TNode {
    char* Buffer = nullptr;
    TNode* Prev = nullptr;
    TNode* Next = nullptr;
};

TMemoryPool::TMemoryPool(int count, int blockSize) : GrowBy_(count), BlockSize_(blockSize) {
    Grow(count);
}

TMemoryPool::~TMemoryPool() {
    for (TNode* node = First_; node;) {
        TNode* next = node->Next;
        delete[] node->Buffer;
        delete node;
        node = next;
    }
}

void TMemoryPool::Grow(int n) {
    if (n <= 0 || BlockSize_ <= 0)
        return;
    TNode* firstNew = nullptr;
    for (int i = 0; i < n; ++i) {
        auto* node = new TNode{new char[static_cast<std::size_t>(BlockSize_)], Last_, nullptr};
        if (Last_)
            Last_->Next = node;
        else
            First_ = node;
        Last_ = node;
        if (!firstNew)
            firstNew = node;
    }
    Count_ += static_cast<std::size_t>(n);
    if (!Cursor_)
        Cursor_ = firstNew;
}

char* TMemoryPool::GetBuffer() {
    std::lock_guard lock(Mutex_);
    if (!Cursor_)
        Grow(GrowBy_ > 0 ? GrowBy_ : 1);
    char* buffer = Cursor_->Buffer;
    Cursor_ = Cursor_->Next;
    ++Lent_;
    return buffer;
}

bool TMemoryPool::FreeBuffer(const char* buffer) {
    if (!buffer)
        return false;
    std::lock_guard lock(Mutex_);
    for (TNode* node = First_; node && node != Cursor_; node = node->Next) {
        if (node->Buffer != buffer)
            continue;
        Cursor_ = Cursor_ ? Cursor_->Prev : Last_;
        std::swap(node->Buffer, Cursor_->Buffer);
        --Lent_;
        return true;
    }
    return false;
}

void TMemoryPool::Trim() {
    std::lock_guard lock(Mutex_);
    // The free buffers are the last nodes, from the cursor on.
    while (Count_ > static_cast<std::size_t>(std::max(GrowBy_, 0)) && Cursor_) {
        TNode* last = Last_;
        if (last == Cursor_)
            Cursor_ = nullptr;
        Last_ = last->Prev;
        (Last_ ? Last_->Next : First_) = nullptr;
        delete[] last->Buffer;
        delete last;
        --Count_;
    }
}

std::size_t TMemoryPool::BufferCount() const {
    std::lock_guard lock(Mutex_);
    return Count_;
}

std::size_t TMemoryPool::LentCount() const {
    std::lock_guard lock(Mutex_);
    return Lent_;
}

} // namespace zv2::download
