#pragma once
// Crash-report bits: while an entry point of the module runs, its bit is added to the host
// kernel's crash-report word (tarnix::TXCrashReporterFlag), so a crash report names where
// the module was. Each entry point has its own bit; open the guard first thing:
//     const EntryGuard guard(kGuardApplyDab);

#include <cstdint>

#include "tarnix/kernel.h"

namespace corvane {

using EntryGuard = tarnix::TXCrashReporterFlag;

constexpr uint32_t kGuardBrushConstructor = 1;
constexpr uint32_t kGuardBrushDestructor = 2;
constexpr uint32_t kGuardSetActiveConfiguration = 4;
constexpr uint32_t kGuardOnNodeEvent = 8;
constexpr uint32_t kGuardRecomputeTouchedNormals = 16;
constexpr uint32_t kGuardBeginStroke = 32;
constexpr uint32_t kGuardEndStroke = 64;
constexpr uint32_t kGuardReleaseMesh = 128;
constexpr uint32_t kGuardSetMesh = 256;
constexpr uint32_t kGuardRegionGathering = 512;
constexpr uint32_t kGuardApplyDab = 1024;
constexpr uint32_t kGuardVertexSculpt = 2048;
constexpr uint32_t kGuardRingGathering = 4096;
constexpr uint32_t kGuardPlaneSampling = 8192;
constexpr uint32_t kGuardPatchTester = 16384;
constexpr uint32_t kGuardApplyToWholeMesh = 32768;
constexpr uint32_t kGuardPatchKernel = 65536;
constexpr uint32_t kGuardBrushSerialize = 131072;
constexpr uint32_t kGuardBrushAssignment = 262144;
constexpr uint32_t kGuardPatchMapOnLinked = 524288;
constexpr uint32_t kGuardPatchMapSerialize = 1048576;

}  // namespace corvane
