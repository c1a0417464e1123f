#pragma once
// The kernel index: ten yes/no choices of the brush state, one bit each, that pick one of
// the 1024 patch kernels. Every kernel is the same frame (patch_kernel.inl) with these choices
// fixed: they are constants of the instantiation, so the optimiser drops the branches they
// decide and the inner loop tests none of them.
//
//   bit  value  choice                                     set by              fixed per
//    0      1   stamp on                                   BeginStroke         stroke
//    1      2   whole-mesh pass                            ApplyToWholeMesh    call
//    2      4   along vertex normals, or smoothing the     direction, tool     dab
//               summed positions (all layers / no layer)
//    3      8   the mesh has frozen vertices               host (live query)   patch
//    4     16   an active layer takes the change           SetMesh             stroke
//    5     32   family: smoothing or plane                 activation          stroke
//    6     64   stamp tiled (with the stamp on)            BeginStroke         stroke
//    7    128   family: pinch or plane                     activation          stroke
//    8    256   renderers told of every vertex             SetMesh             stroke
//    9    512   non-uniform mesh scale                     dab driver          dab
//
// Bits 5 and 7 name the family: neither displacement, 5 smoothing, 7 pinch, both plane.

#include <cstdint>

namespace corvane {

constexpr uint32_t kBitStamp = 1u << 0;
constexpr uint32_t kBitWholeMesh = 1u << 1;
constexpr uint32_t kBitVertexNormals = 1u << 2;
constexpr uint32_t kBitFreeze = 1u << 3;
constexpr uint32_t kBitLayer = 1u << 4;
constexpr uint32_t kBitSmoothOrPlane = 1u << 5;
constexpr uint32_t kBitTiled = 1u << 6;
constexpr uint32_t kBitPinchOrPlane = 1u << 7;
constexpr uint32_t kBitNotifyEachVertex = 1u << 8;
constexpr uint32_t kBitNonUniformScale = 1u << 9;
constexpr uint32_t kKernelCount = 1024;

enum class Family { kDisplacement, kSmoothing, kPinch, kPlane };

constexpr Family FamilyOf(uint32_t index) {
    const bool a = index & kBitSmoothOrPlane, b = index & kBitPinchOrPlane;
    return a ? (b ? Family::kPlane : Family::kSmoothing) : (b ? Family::kPinch : Family::kDisplacement);
}

/// @brief The choices of a kernel, fixed at compile time.
template <uint32_t Index>
struct StaticChoices {
    static_assert(Index < kKernelCount, "the kernel index has ten bits");
    static constexpr bool Stamp() { return Index & kBitStamp; }
    static constexpr bool WholeMesh() { return Index & kBitWholeMesh; }
    static constexpr bool VertexNormals() { return Index & kBitVertexNormals; }
    static constexpr bool Freeze() { return Index & kBitFreeze; }
    static constexpr bool Layer() { return Index & kBitLayer; }
    static constexpr bool Tiled() { return Index & kBitTiled; }
    static constexpr bool NotifyEachVertex() { return Index & kBitNotifyEachVertex; }
    static constexpr bool NonUniformScale() { return Index & kBitNonUniformScale; }
    static constexpr Family TheFamily() { return FamilyOf(Index); }
};

/// @brief The same choices read at run time (the reference frame and the per-vertex path).
struct RuntimeChoices {
    uint32_t index;
    bool Stamp() const { return index & kBitStamp; }
    bool WholeMesh() const { return index & kBitWholeMesh; }
    bool VertexNormals() const { return index & kBitVertexNormals; }
    bool Freeze() const { return index & kBitFreeze; }
    bool Layer() const { return index & kBitLayer; }
    bool Tiled() const { return index & kBitTiled; }
    bool NotifyEachVertex() const { return index & kBitNotifyEachVertex; }
    bool NonUniformScale() const { return index & kBitNonUniformScale; }
    Family TheFamily() const { return FamilyOf(index); }
};

}  // namespace corvane
