#pragma once
// KernelTable: the 1024 patch kernels, entry i being PatchKernel<i> (the kernel for the choices
// whose bits equal i; kernel_index.h). The table is constant-initialised: it holds its entries
// before any code of the module runs, and never changes.
//
// The kernels are instantiated in eight translation units of 128 each
// (kernel_instances_<k>.cpp), so that no single compilation has to hold all 1024.

#include <array>
#include <cstdint>

#include "kernels/kernel_index.h"

class Corvane;

namespace corvane {

using PatchKernelFunction = bool (Corvane::*)(uint32_t face);
extern const std::array<PatchKernelFunction, kKernelCount> KernelTable;

}  // namespace corvane

// Expands M(i) for i = 4b .. 4b+3, 16b .. 16b+15, and so on.
#define CORVANE_KERNELS_4(M, b) M((b)*4 + 0) M((b)*4 + 1) M((b)*4 + 2) M((b)*4 + 3)
#define CORVANE_KERNELS_16(M, b)    \
    CORVANE_KERNELS_4(M, (b)*4 + 0) \
    CORVANE_KERNELS_4(M, (b)*4 + 1) CORVANE_KERNELS_4(M, (b)*4 + 2) CORVANE_KERNELS_4(M, (b)*4 + 3)
#define CORVANE_KERNELS_64(M, b)     \
    CORVANE_KERNELS_16(M, (b)*4 + 0) \
    CORVANE_KERNELS_16(M, (b)*4 + 1) CORVANE_KERNELS_16(M, (b)*4 + 2) CORVANE_KERNELS_16(M, (b)*4 + 3)
/// M(i) for the 128 kernels of part `part` (0..7).
#define CORVANE_KERNELS_OF_PART(M, part) CORVANE_KERNELS_64(M, (part)*2 + 0) CORVANE_KERNELS_64(M, (part)*2 + 1)

#define CORVANE_INSTANTIATE_KERNEL(i) template bool Corvane::PatchKernel<(i)>(uint32_t);
#define CORVANE_DECLARE_KERNEL(i) extern template bool Corvane::PatchKernel<(i)>(uint32_t);
