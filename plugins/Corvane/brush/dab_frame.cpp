// The dab driver's last step before the walks: the dab's frame (kernels/dab_frame.h), from the
// values the steps before it left in the brush and its dab block. The kernels and the
// per-vertex path read only the frame, so nothing of it is looked up again per patch or per
// vertex.

#include <cmath>

#include "brush/corvane.h"
#include "brush/tools.h"
#include "kernels/dab_block.h"
#include "tarnix/checkable_float_array.h"
#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

using corvane::DabFrame;
using tarnix::HWVector;

void Corvane::PrepareDabFrame() {
    const HWVector* rows = m_scratch.dabRows;
    DabFrame& frame = m_frame;
    frame.kernel = ComputeKernelIndex();
    frame.rows = rows;
    frame.center = rows[corvane::kRowCenter];
    frame.meshCenter = HWVector(m_brushCenter);
    frame.direction = rows[corvane::kRowDirection];
    frame.radiusSquared = m_radiusSquared;
    frame.falloff = m_falloffSamples;
    frame.falloffLastIndex = m_falloffLastIndex;
    frame.falloffScale = m_falloffScale;
    frame.buildUpRate = m_buildUpRate;
    frame.dabFactor = m_dabFactor;
    frame.length = m_displacementLength;
    frame.waxDepth = m_waxDepth;
    // A non-uniform scale stretches moves unevenly: the length along the dab direction is
    // corrected by the inverse axis scales (for Wax, its lift instead). Moves along the
    // vertices' own normals take the same dab-wide factor from the dab direction.
    if (m_nonUniformScale && !m_switches.ignoresMeshScale) {
        const HWVector& d = rows[corvane::kRowDirection];
        const HWVector& inverse = rows[corvane::kRowInverseScale];
        const float c = std::fabs(d.x) * inverse.x + std::fabs(d.y) * inverse.y + std::fabs(d.z) * inverse.z;
        (m_switches.wax ? frame.waxDepth : frame.length) *= c;
    }
    frame.waxFactor = m_switches.wax ? corvane::wax::WeightFactor(StrengthBias(), m_dabFactor) : 1.0f;
    frame.planeDistance = m_planeDistance;
    frame.planeMin = m_planeMin;
    frame.planeMax = m_planeMax;
    frame.planeSign = m_planeSign;
    frame.liftSign = m_liftSign;
    frame.vertexDistances = m_distanceMode == 1 ? m_vertexDistances : nullptr;
    frame.distanceScale = m_inverseMeshScale;
    PrepareFrameView();
    PrepareFrameStamp();
    frame.projectionGrid = m_projectToSurface ? m_subdivisionLevel->Grid(true) : nullptr;
}

void Corvane::PrepareFrameView() {
    DabFrame& frame = m_frame;
    frame.facing = tarnix::CheckableFloatArray::s_bActive;
    if (frame.facing) {
        const HWVector camera(tarnix::Kernel::Scene()->GetCamera().Position(), 1.0f);
        frame.camera = corvane::TransformPoint(frame.rows, corvane::kRowWorldToMesh, camera);
    }
    frame.facingStart = m_facingFalloffStart;
    frame.facingWidth = m_facingFalloffWidth;
    frame.viewWeighted = m_wholeMeshFromCamera;
    frame.viewDirection = HWVector(m_wholeMeshCameraDirection);
}

void Corvane::PrepareFrameStamp() {
    DabFrame& frame = m_frame;
    frame.stampPixels = m_stampPixels;
    frame.stampWidth = m_stampWidth;
    frame.stampHeight = m_stampHeight;
    frame.stampVector = m_stampIsVectorDisplacement;
    frame.stampBilinear = m_bilinearSampleAttr.Value();
    frame.stampBuildUp = m_stampBuildUp;
    frame.stampMaskFactor = m_stampMaskFactor;
    frame.stampScaleX = m_stampScaleX;
    frame.stampScaleY = m_stampScaleY;
    frame.stampDepthStep = m_stampDepthStep;
    frame.stampAtPartner = IsMaskEnabled(tarnix::BrushOperation::kMirroredStampMask) && m_mirrorIndex == 1 &&
                           MirrorConfig().MirrorMode() == tarnix::MirrorConfiguration::kTopological;
}
