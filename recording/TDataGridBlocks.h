#pragma once
// A growing sequence kept in blocks of a fixed number of elements. Appending allocates a new block
// when the last one is full and never moves or copies what is stored, so the cost of one append
// does not grow with the sequence (a vector that doubles copies everything it holds, which at a
// month of one-second rows held the main thread for more than a second). Element i sits at a fixed
// place, found in constant time from i; only the small table of block addresses ever grows.
//
// The grid keeps its rows and its side indexes in it, the plot its points. Elements can also be
// dropped from the front (whole blocks are freed as they empty) and from the back.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

template <class T, int BlockShift = 12> class TDataGridBlocks {
public:
    static constexpr std::size_t BlockSize = std::size_t(1) << BlockShift;

    TDataGridBlocks() = default;
    TDataGridBlocks(const TDataGridBlocks&) = delete;
    TDataGridBlocks& operator=(const TDataGridBlocks&) = delete;
    TDataGridBlocks(TDataGridBlocks&& other) noexcept { Swap(other); }
    TDataGridBlocks& operator=(TDataGridBlocks&& other) noexcept {
        if (this != &other) {
            Clear();
            Swap(other);
        }
        return *this;
    }
    ~TDataGridBlocks() { Clear(); }

    std::size_t Size() const { return fSize; }
    bool Empty() const { return fSize == 0; }

    T& operator[](std::size_t i) { return *At(i); }
    const T& operator[](std::size_t i) const { return *At(i); }
    T& Back() { return *At(fSize - 1); }
    const T& Back() const { return *At(fSize - 1); }
    const T& Front() const { return *At(0); }

    void PushBack(const T& value) {
        new (Slot()) T(value);
        ++fSize;
    }
    void PushBack(T&& value) {
        new (Slot()) T(std::move(value));
        ++fSize;
    }

    // Drops elements from the back until `size` remain (nothing when it holds fewer).
    void Truncate(std::size_t size) {
        if (size >= fSize)
            return;
        for (std::size_t i = size; i < fSize; ++i)
            At(i)->~T();
        fSize = size;
        // Blocks no element reaches any more are freed; the first one stays for the next append.
        const std::size_t used = std::max<std::size_t>((fFront + fSize + BlockSize - 1) / BlockSize, 1);
        while (fBlocks.size() > used) {
            Free(fBlocks.back());
            fBlocks.pop_back();
        }
    }

    // Drops the first n elements (all of them when it holds fewer); blocks emptied are freed.
    void PopFront(std::size_t n) {
        if (n >= fSize) {
            Clear();
            return;
        }
        for (std::size_t i = 0; i < n; ++i)
            At(i)->~T();
        fFront += n;
        fSize -= n;
        const std::size_t emptied = fFront / BlockSize;
        for (std::size_t b = 0; b < emptied; ++b)
            Free(fBlocks[b]);
        fBlocks.erase(fBlocks.begin(), fBlocks.begin() + std::ptrdiff_t(emptied));
        fFront %= BlockSize;
    }

    void Clear() {
        for (std::size_t i = 0; i < fSize; ++i)
            At(i)->~T();
        for (T* block : fBlocks)
            Free(block);
        fBlocks.clear();
        fBlocks.shrink_to_fit();
        fSize = 0;
        fFront = 0;
    }

    // Bytes held: the blocks whole (an allocated block counts in full) and the table of blocks.
    std::size_t MemoryBytes() const {
        return fBlocks.size() * BlockSize * sizeof(T) + fBlocks.capacity() * sizeof(T*);
    }

private:
    T* At(std::size_t i) const {
        const std::size_t p = fFront + i;
        return fBlocks[p >> BlockShift] + (p & (BlockSize - 1));
    }
    T* Slot() {
        const std::size_t p = fFront + fSize;
        if ((p >> BlockShift) == fBlocks.size())
            fBlocks.push_back(
                static_cast<T*>(::operator new(BlockSize * sizeof(T), std::align_val_t(alignof(T)))));
        return fBlocks[p >> BlockShift] + (p & (BlockSize - 1));
    }
    static void Free(T* block) { ::operator delete(block, std::align_val_t(alignof(T))); }
    void Swap(TDataGridBlocks& other) noexcept {
        std::swap(fBlocks, other.fBlocks);
        std::swap(fSize, other.fSize);
        std::swap(fFront, other.fFront);
    }

    std::vector<T*> fBlocks;
    std::size_t fSize = 0;
    std::size_t fFront = 0; // elements dropped from the front of the first block
};
