#pragma once
// Node arrays: a class factory asked for several objects at once returns the first of an
// array laid out as one block: a 16-byte header (the 64-bit element count and the element
// size) followed by the elements. The factory constructs them in order; when a constructor
// throws, the ones already built are destroyed and the block released. DestroyNodeArray
// takes the first element back and destroys them all in reverse order.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace tarnix {

class Node;

namespace node_array_detail {
struct Header {
    uint64_t count;
    uint64_t elementSize;
};
static_assert(sizeof(Header) == 16, "elements after the header stay 16-byte aligned");

/// @brief Header plus `count` elements; saturates to the largest size instead of wrapping,
/// so that an impossible request fails in the allocator.
constexpr std::size_t SaturatingArrayBytes(uint64_t count, std::size_t elementSize) {
    constexpr std::size_t kMaximum = std::numeric_limits<std::size_t>::max();
    if (elementSize != 0 && count > (kMaximum - sizeof(Header)) / elementSize) return kMaximum;
    return sizeof(Header) + std::size_t(count) * elementSize;
}
}  // namespace node_array_detail

/// @brief Constructs `count` objects of T in one block; returns the first. Throws
/// std::bad_alloc when the block cannot be had.
template <class T>
T* CreateNodeArray(uint32_t count) {
    using node_array_detail::Header;
    void* raw = ::operator new(node_array_detail::SaturatingArrayBytes(count, sizeof(T)), std::align_val_t(16));
    auto* header = static_cast<Header*>(raw);
    header->count = count;
    header->elementSize = sizeof(T);
    T* elements = reinterpret_cast<T*>(header + 1);
    uint32_t built = 0;
    try {
        for (; built < count; ++built) new (elements + built) T();
    } catch (...) {
        while (built > 0) elements[--built].~T();
        ::operator delete(raw, std::align_val_t(16));
        throw;
    }
    return elements;
}

/// @brief Destroys an array made by CreateNodeArray, given its first element as a Node.
void DestroyNodeArray(Node* first);

}  // namespace tarnix
