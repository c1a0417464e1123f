// Kernels 896 to 1023 of the kernel table.

#include "kernels/kernel_table.h"
#include "kernels/patch_kernel.h"

CORVANE_KERNELS_OF_PART(CORVANE_INSTANTIATE_KERNEL, 7)
