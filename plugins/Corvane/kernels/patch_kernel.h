#pragma once
// The patch kernels. One kernel call moves the (2^L+1)^2 vertices of one patch for one dab:
// for each grid vertex it finds (or adds) the vertex's undo entry, skips it when a
// neighbouring patch already moved it in this pass, runs the per-vertex pipeline on the dab's
// frame, and hands the move to the write step (patch_work.h), which writes the new position
// (to the level, or into the active layer) and widens the dab's touched box; the walk keeps
// the padded grid current for the normals.
//
// The walk is the free template WalkPatch; PatchKernel<Index> is the brush's one-line
// forwarder with the choices of Index fixed, the member function the kernel table holds. The
// 1024 of them fill KernelTable (kernel_table.h), instantiated over several translation units.

#include <cstdint>

#include "brush/corvane.h"

namespace corvane {

/// The processed grid vertices of the stroke (the throughput the stroke logs).
extern uint32_t g_processedVertexCount;

}  // namespace corvane

#include "kernels/patch_kernel.inl"
