#pragma once
// KernelScratch: the working memory of dabs and patches, owned by the brush and kept between
// dabs and strokes. Each array is plain 16-byte aligned memory that grows only when a larger
// patch (or a longer undo record) asks for more, so a dab in the steady state allocates
// nothing. Release frees it all: at destruction, and when an error unwinds a dab (the next
// dab then grows it again).
//
// Arrays:
//   ring, layerRing   the padded grids of the patch being processed (side 2^L + 3)
//   smoothSource      the padded grid as it was before a smoothing kernel moved the patch:
//                     smoothing reads every neighbour from here, so that no vertex sees a
//                     neighbour the same pass already moved, whatever order the walk takes
//   passStart         per undo slot, where the vertex was when the current pass reached it
//                     (valid while the entry's stamp equals the pass's): smoothing reads the
//                     neighbours that an earlier patch of the pass moved from here

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tarnix/math/hw_vector.h"

namespace corvane {

/// A grow-only, 16-byte aligned array of plain elements.
template <class T>
class ScratchArray {
public:
    ScratchArray() = default;
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ~ScratchArray() { Release(); }

    /// @brief Room for `count` elements (contents kept when it grows); null when the system
    /// refuses the memory.
    T* Ensure(size_t count) {
        if (count <= m_capacity) return m_data;
        size_t capacity = m_capacity ? m_capacity : 64;
        while (capacity < count) capacity *= 2;
        auto* data = static_cast<T*>(std::aligned_alloc(16, (capacity * sizeof(T) + 15) & ~size_t(15)));
        if (!data) return nullptr;
        if (m_data) __builtin_memcpy(static_cast<void*>(data), m_data, m_capacity * sizeof(T));
        std::free(m_data);
        m_data = data;
        m_capacity = capacity;
        return m_data;
    }
    T* Data() const { return m_data; }
    size_t Capacity() const { return m_capacity; }
    void Release() {
        std::free(m_data);
        m_data = nullptr;
        m_capacity = 0;
    }

private:
    T* m_data = nullptr;
    size_t m_capacity = 0;
};

struct KernelScratch {
    ScratchArray<tarnix::HWVector> ring;
    ScratchArray<tarnix::HWVector> layerRing;
    ScratchArray<tarnix::HWVector> smoothSource;
    ScratchArray<tarnix::HWVector> passStart;

    void Release() {
        ring.Release();
        layerRing.Release();
        smoothSource.Release();
        passStart.Release();
    }
};

}  // namespace corvane
