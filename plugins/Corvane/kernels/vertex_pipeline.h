#pragma once
// The per-vertex pipeline shared by the patch kernels and the per-vertex path: from one
// vertex's state to its displacement D, in the order the brush defines:
//   facing -> distance and radius -> falloff -> Wax factor -> freeze -> family rule (with
//   build-up and stamp for the displacement family, the stamp for the others).
// The choices (a StaticChoices<Index> or RuntimeChoices) pick the steps; with static choices
// every such test is a constant the optimiser removes.

#include <algorithm>
#include <cmath>

#include "kernels/dab_frame.h"
#include "kernels/factors.h"
#include "kernels/kernel_index.h"
#include "kernels/rules/rules.h"

namespace corvane {

struct VertexState {
    uint32_t vertex;
    tarnix::HWVector position;     // P: where the vertex is now
    tarnix::HWVector stored;       // O: where the stroke first found it (distances start here)
    tarnix::HWVector normal;       // its normal when the stroke first found it
    tarnix::HWVector levelNormal;  // its current normal in the level
    float* buildUp;                // the build-up of its undo entry
    uint8_t freeze;
};

/// @brief D for one vertex; false when the vertex lies outside the brush (past the radius,
/// or on a stamp texel outside the image). `stampAt()` gives the point the stamp is sampled
/// at (O, or its mirror partner's O), asked only when the stamp is sampled.
/// `smoothing(target, base)` gives the smoothing family's target and base and answers whether
/// the vertex moves (false: it is only recorded, and counts as inside with D = 0).
template <class Choices, class StampAt, class Smoothing>
bool CalcDisplacement(const DabFrame& frame, const Choices& choices, const VertexState& v, StampAt&& stampAt,
                      Smoothing&& smoothing, tarnix::HWVector& displacement) {
    float w;
    if (choices.WholeMesh()) {
        w = frame.viewWeighted ? std::max(0.0f, tarnix::Dot(v.levelNormal, frame.viewDirection)) : 1.0f;
    } else {
        const float facing = frame.facing ? CalcFacing(frame, v.normal, v.stored) : 1.0f;
        float d;
        if (frame.vertexDistances) {
            d = frame.vertexDistances[v.vertex] * (choices.NonUniformScale() ? 1.0f : frame.distanceScale);
        } else {
            const tarnix::HWVector o =
                choices.NonUniformScale() ? TransformPoint(frame.rows, kRowMeshToWorld, v.stored) : v.stored;
            const float d2 = tarnix::LengthSquared(frame.center - o);
            if (d2 > frame.radiusSquared) return false;
            d = std::sqrt(d2);
        }
        w = facing * CalcFalloff(frame, d);
    }
    w *= frame.waxFactor;
    if (choices.Freeze()) w = ScaleByFreeze(w, v.freeze);

    float sample[3] = {1.0f, 1.0f, 1.0f};
    if (choices.Stamp()) {
        const tarnix::HWVector at = stampAt();
        const bool inside =
            choices.Tiled() ? SampleStamp<true>(frame, at, sample) : SampleStamp<false>(frame, at, sample);
        if (!inside) return false;
    }
    // A vector stamp's grey value, for the families that take a weight only, is its height.
    const float grey = frame.stampVector ? sample[1] : sample[0];

    switch (choices.TheFamily()) {
        case Family::kDisplacement: {
            const tarnix::HWVector direction = choices.VertexNormals() ? v.normal : frame.direction;
            const bool stampedBuildUp = choices.Stamp() && frame.stampBuildUp;
            if (!choices.WholeMesh()) {
                w *= frame.buildUpRate;
                w = ScaleByBuildUp(w, *v.buildUp);
                if (!stampedBuildUp) *v.buildUp += w * frame.dabFactor;
            }
            if (choices.Stamp() && frame.stampVector) {
                const float a = w * frame.length * frame.stampMaskFactor;
                displacement = CalcVectorDisplacement(frame, frame.direction, a, sample);
                if (stampedBuildUp && !choices.WholeMesh())
                    *v.buildUp += std::fabs(w * sample[0] * frame.stampMaskFactor) * frame.dabFactor;
                return true;
            }
            if (choices.Stamp()) w *= grey * frame.stampMaskFactor;
            if (stampedBuildUp && !choices.WholeMesh()) *v.buildUp += std::fabs(w) * frame.dabFactor;
            displacement = DisplacementRule::Displace(direction, w, frame.length);
            return true;
        }
        case Family::kPinch:
            if (choices.Stamp()) w *= grey * frame.stampMaskFactor;
            // Towards the dab centre in the mesh's space, where P lies: under a non-uniform
            // scale frame.center is the world position, which as a mesh point lies elsewhere.
            displacement = PinchRule::Displace(frame.meshCenter, v.position, w, frame.length);
            return true;
        case Family::kPlane: {
            if (choices.Stamp()) w *= grey * frame.stampMaskFactor;
            const PlaneRule::Plane plane{frame.direction, frame.planeDistance, frame.waxDepth, frame.liftSign,
                                         frame.planeSign, frame.planeMin,      frame.planeMax};
            displacement = PlaneRule::Displace(plane, v.position, w, frame.length);
            return true;
        }
        case Family::kSmoothing:
        default: {
            if (choices.Stamp()) w *= grey * frame.stampMaskFactor;
            tarnix::HWVector target, base;
            if (!smoothing(target, base)) {
                displacement = tarnix::HWVector(tarnix::zero);
                return true;
            }
            displacement = SmoothingRule::Displace(target, base, w, frame.length);
            return true;
        }
    }
}

}  // namespace corvane
