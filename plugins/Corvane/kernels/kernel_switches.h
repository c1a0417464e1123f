#pragma once
// KernelSwitches: the row of a tool that the kernels and the dab driver read. The brush keeps
// the active tool's row as it is (Corvane::m_switches), so the flags are read where they live;
// the tools' rows are in brush/tools.cpp.

namespace corvane {

/// The switches a tool sets for the kernels and the dab driver.
struct KernelSwitches {
    /// The tool family (kernels/kernel_index.h) and the family members that differ in how
    /// the direction or the target is found.
    bool smooth = false, pinch = false, plane = false;
    bool bulge = false, smear = false, relax = false, wax = false;
    /// The strength is a number, not a length that the mesh's scale would stretch.
    bool ignoresMeshScale = false;
    /// The region plane is estimated by a walk along the quad grid, not gathered over the brush.
    bool fastPlaneEstimate = true;
    /// The plane family: Amplify pushes away from the plane; Scrape only lowers, Fill only
    /// raises; Wax lifts its plane by this share of the radius.
    float planeSign = 1.0f, planeMinimum = -1e8f, planeMaximum = 1e8f, waxDepthFactor = 0.0f;
    /// The framework's strength scale; 0 leaves it as the previous tool set it.
    float strengthScale = 0.0f;
};

}  // namespace corvane
