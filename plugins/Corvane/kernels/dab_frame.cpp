#include "kernels/dab_frame.h"

#include <cmath>

#include "brush/corvane.h"
#include "host/tool_ids.h"
#include "tarnix/checkable_float_array.h"
#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

namespace corvane {

DabFrame MakeDabFrame(const Corvane& brush) {
    const tarnix::HWVector* rows = DabRows(brush.m_dabBlock);
    DabFrame frame;
    frame.rows = rows;
    frame.center = rows[kRowCenter];
    frame.meshCenter = tarnix::HWVector(brush.m_brushCenter);
    frame.direction = rows[kRowDirection];
    frame.radiusSquared = brush.m_radiusSquared;
    frame.falloff = brush.m_falloffSamples;
    frame.falloffLastIndex = brush.m_falloffLastIndex;
    frame.falloffScale = brush.m_falloffScale;
    frame.buildUpRate = brush.m_buildUpRate;
    frame.dabFactor = brush.m_dabFactor;
    frame.length = brush.m_displacementLength;
    frame.waxDepth = brush.m_waxDepth;
    // A non-uniform scale stretches moves unevenly: the length along the dab direction is
    // corrected by the inverse axis scales (for Wax, its lift instead). Moves along the
    // vertices' own normals take the same dab-wide factor from the dab direction.
    if (brush.m_nonUniformScale && !brush.m_ignoreMeshScale) {
        const tarnix::HWVector& d = rows[kRowDirection];
        const tarnix::HWVector& inverse = rows[kRowInverseScale];
        const float c = std::fabs(d.x) * inverse.x + std::fabs(d.y) * inverse.y + std::fabs(d.z) * inverse.z;
        (brush.m_waxTool ? frame.waxDepth : frame.length) *= c;
    }
    const float bias = brush.StrengthBias();
    frame.waxFactor = brush.ActiveToolId() == kToolWax ? (1.0f - 0.01f * bias) * brush.m_dabFactor + 0.01f * bias
                                                       : 1.0f;
    frame.planeDistance = brush.m_planeDistance;
    frame.planeMin = brush.m_planeMin;
    frame.planeMax = brush.m_planeMax;
    frame.planeSign = brush.m_planeSign;
    frame.liftSign = brush.m_liftSign;

    frame.vertexDistances = brush.m_distanceMode == 1 ? brush.m_vertexDistances : nullptr;
    frame.distanceScale = brush.m_inverseMeshScale;

    frame.facing = tarnix::CheckableFloatArray::s_bActive;
    if (frame.facing) {
        const tarnix::HWVector camera(tarnix::Kernel::Scene()->GetCamera().Position(), 1.0f);
        frame.camera = TransformPoint(rows, kRowWorldToMesh, camera);
    }
    frame.facingStart = brush.m_facingFalloffStart;
    frame.facingWidth = brush.m_facingFalloffWidth;

    frame.viewWeighted = brush.m_wholeMeshFromCamera;
    frame.viewDirection = tarnix::HWVector(brush.m_wholeMeshCameraDirection);

    frame.stampPixels = brush.m_stampPixels;
    frame.stampWidth = brush.m_stampWidth;
    frame.stampHeight = brush.m_stampHeight;
    frame.stampVector = brush.m_stampIsVectorDisplacement;
    frame.stampBilinear = brush.m_bilinearSampleAttr.Value();
    frame.stampBuildUp = brush.m_stampBuildUp;
    frame.stampMaskFactor = brush.m_stampMaskFactor;
    frame.stampScaleX = brush.m_stampScaleX;
    frame.stampScaleY = brush.m_stampScaleY;
    frame.stampDepthStep = brush.m_stampDepthStep;
    frame.stampAtPartner = brush.IsMaskEnabled(tarnix::BrushOperation::kMirroredStampMask) && brush.m_mirrorIndex == 1 &&
                           brush.MirrorConfig().MirrorMode() == tarnix::MirrorConfiguration::kTopological;

    frame.projectionGrid = brush.m_projectToSurface ? brush.m_subdivisionLevel->Grid(true) : nullptr;
    return frame;
}

}  // namespace corvane
