#pragma once
// Tracked memory.
//
// The framework keeps two ledgers:
//  - registered bytes: owners of large arrays announce a size with RegisterMemoryBlock before
//    they allocate it and withdraw it with UnregisterMemoryBlock when they free it. The total
//    is held against a budget; a registration that would pass it is refused, which is how
//    the host (and a test, by lowering the budget) makes memory exhaustion visible.
//  - allocations: every Block::Allocate is tagged with the allocator id that is current on
//    the allocating thread at that moment (SetAllocatorID), so that LogAll can say who holds
//    how much.
//
// A Block object is also the common part of every tarnix::Store: an untyped array
// (data pointer, capacity, count, element size, plain-data flag) registered under its name in
// the framework's list of live blocks. Store<T> adds typed access on top.

#include <cstddef>
#include <cstdint>

namespace tarnix {

class Block {
public:
    Block(const char* name, uint32_t elementSize, bool plainData);
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    virtual ~Block();

    const char* Name() const { return m_name; }
    uint32_t ElementSize() const { return m_elementSize; }
    bool IsPlainData() const { return m_plainData; }
    uint32_t Count() const { return m_count; }
    uint32_t Capacity() const { return m_capacity; }
    void* RawData() const { return m_data; }

    /// @brief Sets the element count; it never passes the capacity. Shrinking destroys the
    /// elements past the new count (non-plain data).
    void SetCount(uint32_t count) {
        if (count > m_capacity) count = m_capacity;
        if (m_destroy && count < m_count) DestroyTail(count);
        m_count = count;
    }

    /// @brief Copies (plain data) or copy-constructs the first `count` elements into
    /// `destination`, which must hold at least that many elements.
    void CopyElementsTo(void* destination, uint32_t count) const;

    /// @brief Takes a new element array of `capacity` elements that the caller allocated
    /// with Block::Allocate, registered, and filled with copies of the elements it keeps. The
    /// old array's elements are destroyed, its size unregistered and its memory freed; the
    /// count is clipped to the new capacity.
    void Adopt(void* data, uint32_t capacity);

    /// @brief Framework growth: resizes the array to `capacity` elements through the tracked
    /// ledgers (register, allocate under this block's name, copy, free). Returns false and
    /// leaves the block unchanged when the budget or the allocation refuses.
    bool Reserve(uint32_t capacity);

    /// @brief Destroys the elements, frees the array and withdraws its registration.
    void Release();

    // ---- ledgers ---------------------------------------------------------------------------

    /// @brief Announces `bytes`; false (nothing recorded) when the budget would be passed.
    static bool RegisterMemoryBlock(uint64_t bytes);
    static void UnregisterMemoryBlock(uint64_t bytes);
    static uint64_t RegisteredBytes();
    static void SetBudget(uint64_t bytes);
    static uint64_t Budget();
    static constexpr uint64_t kUnlimited = ~uint64_t(0);

    /// @brief Tag for the allocations that follow on the calling thread; null means "unknown".
    static void SetAllocatorID(const char* id);
    static const char* AllocatorID();

    /// @brief Tagged allocation, 16-byte aligned; null when the system refuses.
    static void* Allocate(std::size_t bytes);
    static void Free(void* pointer);
    /// @brief Bytes currently allocated under an allocator id ("unknown" for null).
    static uint64_t AllocatedBytes(const char* allocatorId);

    static void CopyMemoryBlock(void* destination, const void* source, std::size_t bytes);
    /// @brief Aligned allocation for paged stores; `alignment` is a power of two.
    static void* AlignedAlloc(std::size_t bytes, std::size_t alignment);
    static void AlignedFree(void* pointer);

    /// @brief Logs the ledgers through Kernel::Log: registered bytes and budget, then every
    /// allocator id holding at least `threshold` (a fraction) of the allocated bytes; with
    /// `detailed`, every live block with its capacity too.
    static void LogAll(float threshold, bool detailed);

protected:
    using CopyFunction = void (*)(void* destination, const void* source, uint32_t count);
    using DestroyFunction = void (*)(void* data, uint32_t count);
    /// Element copy and destruction for element types that are not plain data.
    void SetElementOperations(CopyFunction copy, DestroyFunction destroy);

private:
    void DestroyTail(uint32_t count);

    const char* m_name;
    uint32_t m_elementSize;
    bool m_plainData;
    void* m_data = nullptr;
    uint32_t m_capacity = 0;
    uint32_t m_count = 0;
    CopyFunction m_copy = nullptr;
    DestroyFunction m_destroy = nullptr;
    Block* m_previousLive = nullptr;
    Block* m_nextLive = nullptr;
};

}  // namespace tarnix
