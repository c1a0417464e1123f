#pragma once
// The patch kernel frame. One kernel call moves the (2^L+1)^2 vertices of one patch for one
// dab: for each grid vertex it finds (or adds) the vertex's undo entry, skips it when a
// neighbouring patch already moved it in this pass, runs the per-vertex pipeline, writes the
// new position (to the level, or into the active layer), widens the dab's touched box by
// the old and the new position and keeps the padded grid current for the normals.
//
// PatchKernel<Index> is the frame with the choices of Index fixed; the 1024 of them fill
// KernelTable (kernel_table.h), instantiated over several translation units.

#include <cstdint>

#include "brush/corvane.h"

namespace corvane {

/// The processed grid vertices of the stroke (the throughput the stroke logs).
extern uint32_t g_processedVertexCount;

}  // namespace corvane

#include "kernels/patch_kernel.inl"
