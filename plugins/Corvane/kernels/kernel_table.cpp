#include "kernels/kernel_table.h"

#include <array>
#include <utility>

#include "kernels/patch_kernel.h"

// The kernels are instantiated elsewhere (kernel_instances_*.cpp); here only their addresses.
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 0)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 1)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 2)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 3)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 4)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 5)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 6)
CORVANE_KERNELS_OF_PART(CORVANE_DECLARE_KERNEL, 7)

namespace corvane {
namespace {

template <uint32_t... Index>
constexpr std::array<PatchKernelFunction, sizeof...(Index)> MakeTable(std::integer_sequence<uint32_t, Index...>) {
    return {&Corvane::PatchKernel<Index>...};
}

}  // namespace

uint32_t g_processedVertexCount = 0;

// Constant-initialised: the entries are there before any code of the module runs.
constexpr std::array<PatchKernelFunction, kKernelCount> KernelTable =
    MakeTable(std::make_integer_sequence<uint32_t, kKernelCount>{});
static_assert(kKernelCount == 1024, "one kernel per combination of the ten choices");

}  // namespace corvane
