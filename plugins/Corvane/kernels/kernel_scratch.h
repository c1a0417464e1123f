#pragma once
// KernelScratch: the working memory of dabs and patches, owned by the brush and kept between
// dabs and strokes. Each array is plain 16-byte aligned memory that grows only when a larger
// patch asks for more, so a dab in the steady state allocates nothing. Release frees it all:
// at destruction, and when an error unwinds a dab (the next dab then grows it again).
//
// Arrays:
//   ring, layerRing   the padded grids of the patch being processed (side 2^L + 3)

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

    /// @brief Room for `count` elements (their contents undefined: every user fills what it
    /// reads); null when the system refuses the memory.
    T* Ensure(size_t count) {
        if (count <= m_capacity) return m_data;
        Release();
        m_data = static_cast<T*>(std::aligned_alloc(16, (count * sizeof(T) + 15) & ~size_t(15)));
        if (m_data) m_capacity = count;
        return m_data;
    }
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

    void Release() {
        ring.Release();
        layerRing.Release();
    }
};

}  // namespace corvane
