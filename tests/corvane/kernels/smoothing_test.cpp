#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"
#include "vector_match.h"

namespace {

// Twice the enclosed volume's sextuple: the sum over faces (as triangle fans) of p0 . (p1 x p2).
double Volume(const tarnix::Mesh& mesh) {
    double volume = 0.0;
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        const uint32_t* c = mesh.FaceCorners(f);
        for (uint32_t k = 1; k + 1 < mesh.CornersPerFace(); ++k)
            volume += double(mesh.VertexPosition(c[0]) | (mesh.VertexPosition(c[k]) & mesh.VertexPosition(c[k + 1])));
    }
    return volume / 6.0;
}

using dab_setup::Stroke;

TEST(SmoothingTest, SmoothLowersTheBumpinessUnderTheBrushAndNothingElse) {
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 3);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    std::mt19937 random(5);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        tarnix::Vector p = level->VertexPosition(v);
        p.z = noise(random);
        level->SetVertexPosition(v, p);
    }
    const std::vector<float> before = test_support::HeightsOf(*level);
    // The energy: squared differences of heights along the edges of the brushed region.
    const auto energy = [&] {
        double sum = 0.0;
        for (uint32_t f = 0; f < level->m_faceCount; ++f) {
            const uint32_t* c = level->FaceCorners(f);
            const tarnix::Vector centre = level->VertexPosition(c[0]);
            if ((centre - tarnix::Vector(2, 2, centre.z)).Length() > 0.5f) continue;
            for (uint32_t k = 0; k < 4; ++k) {
                const float d = level->VertexPosition(c[k]).z - level->VertexPosition(c[(k + 1) % 4]).z;
                sum += double(d) * d;
            }
        }
        return sum;
    };
    const double rough = energy();
    auto brush = dab_setup::MakeBrush(corvane::kToolSmooth);
    Stroke(*brush, *level, {{2, 2, 0}, {2.01f, 2, 0}}, 0.9f, 100.0f);
    EXPECT_LT(energy(), 0.5 * rough);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        const tarnix::Vector p = level->VertexPosition(v);
        if ((tarnix::Vector(p.x, p.y, 0) - tarnix::Vector(2, 2, 0)).Length() > 0.95f) {
            ASSERT_EQ(p.z, before[v]);
        }
    }
}

// The same shape twice, the second with its sculpted level's vertices numbered backwards:
// every vertex must end in the same place in both (bit for bit). Smoothing reads neighbours
// its walk has already moved, and the plane tools' gathering rounds its sums in the order it
// adds them: both must go by grid order, not by the vertex order the other walks may take.
TEST(SmoothingTest, ResultsDoNotDependOnHowVerticesAreNumbered) {
    tarnix::Kernel::Scene()->GetCamera().LookAt({2, 2, 10}, {2, 2, 0});
    const auto ripple = [](const tarnix::Vector& p) { return 0.1f * std::sin(p.x * 7.0f) * std::cos(p.y * 5.0f); };
    const auto make = [&](bool renumber) {
        auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 5);
        tarnix::SubdivisionLevel* level = geometry->HighestLevel();
        const uint32_t count = level->VertexCount();
        if (renumber) {
            std::vector<tarnix::VertexRecord> records(level->m_vertices.begin(), level->m_vertices.end());
            for (uint32_t v = 0; v < count; ++v) level->m_vertices[count - 1 - v] = records[v];
            for (uint32_t& corner : level->m_cornerIndices) corner = count - 1 - corner;
            level->TopologyChanged();
        }
        // Ripples across both axes, the same for a vertex under either numbering.
        for (uint32_t v = 0; v < count; ++v) {
            tarnix::Vector p = level->VertexPosition(v);
            p.z = ripple(p);
            level->SetVertexPosition(v, p);
        }
        level->RecomputeNormals();
        return geometry;
    };
    for (uint32_t tool : {corvane::kToolSmooth, corvane::kToolFlatten, corvane::kToolSculpt}) {
        auto plain = make(false), renumbered = make(true);
        tarnix::SubdivisionLevel& a = *plain->HighestLevel();
        tarnix::SubdivisionLevel& b = *renumbered->HighestLevel();
        auto brush = dab_setup::MakeBrush(tool);
        // A brush wide enough for patches three levels deep, whose records are walked in
        // vertex order.
        for (tarnix::SubdivisionLevel* level : {&a, &b})
            Stroke(*brush, *level, {{1.6f, 2, 0}, {2.4f, 2, 0}}, 1.2f, 60.0f);
        const uint32_t count = a.VertexCount();
        uint32_t moved = 0, differing = 0;
        for (uint32_t v = 0; v < count; ++v) {
            moved += a.VertexPosition(v).z != ripple(a.VertexPosition(v));
            differing += a.VertexPosition(v) != b.VertexPosition(count - 1 - v) ||
                         std::memcmp(&a.m_normals[v], &b.m_normals[count - 1 - v], 6) != 0;
        }
        EXPECT_GT(moved, 1000u) << "tool " << tool;
        EXPECT_EQ(differing, 0u) << "tool " << tool;
    }
}

TEST(SmoothingTest, CornerVerticesOfAnyValenceMoveToTheirOneRingMidpoint) {
    for (uint32_t spokes : {3u, 5u}) {
        auto geometry = shapes::Subdivided(shapes::Fan(spokes), 1);
        tarnix::SubdivisionLevel* level = geometry->HighestLevel();
        // Lift the centre (corner 0 of every patch) so that smoothing has work to do.
        level->SetVertexPosition(0, {0, 0, 0.5f});
        auto brush = dab_setup::MakeBrush(corvane::kToolSmooth);
        dab_setup::Dab dab{{0, 0, 0.5f}, 0.01f, 1.0f};  // the centre alone
        const dab_setup::BoundDab bound(*brush, level, 1, dab);
        const tarnix::Vector midpoint = brush->OneRingAverage(0, 0);
        EXPECT_GT(midpoint.z, 0.0f);
        for (uint32_t patch = 0; patch < spokes; ++patch) brush->PatchTester(level, patch);
        EXPECT_TRUE(test_support::Near(level->VertexPosition(0), midpoint, 1e-5f)) << "valence " << spokes;
    }
}

TEST(SmoothingTest, PreservingVolumeKeepsAClosedShapeFromShrinking) {
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    double change[2];
    for (int preserve = 0; preserve < 2; ++preserve) {
        auto geometry = shapes::Subdivided(shapes::Cube(), 3);
        tarnix::SubdivisionLevel* level = geometry->HighestLevel();
        const double volume = Volume(*level);
        auto brush = dab_setup::MakeBrush(corvane::kToolSmooth);
        brush->m_preserveVolumeAttr.SetValue(preserve == 1);
        for (int stroke = 0; stroke < 3; ++stroke) Stroke(*brush, *level, {{-0.5f, 0, 2}, {0.5f, 0, 2}}, 1.5f, 100.0f);
        change[preserve] = std::fabs(Volume(*level) - volume) / volume;
    }
    EXPECT_GT(change[0], 1e-3) << "plain smoothing shrinks the cube";
    EXPECT_LT(change[1], 0.5 * change[0]) << "volume change: plain " << change[0] << ", preserving " << change[1];
}

TEST(RelaxTest, RelaxEvensEdgesOnTheSurfaceAndLockedBordersStay) {
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    for (bool lockBorders : {true, false}) {
        auto geometry = shapes::Subdivided(shapes::Plane(2, 1), 3);
        tarnix::SubdivisionLevel* level = geometry->HighestLevel();
        std::mt19937 random(9);
        std::uniform_real_distribution<float> jitter(-0.04f, 0.04f);
        std::vector<tarnix::Vector> start(level->VertexCount());
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            tarnix::Vector p = level->VertexPosition(v);
            const bool border = p.x < 1e-4f || p.x > 2 - 1e-4f || p.y < 1e-4f || p.y > 1 - 1e-4f;
            if (!border) p = p + tarnix::Vector(jitter(random), jitter(random), 0);
            level->SetVertexPosition(v, p);
            start[v] = p;
        }
        level->RecomputeNormals();
        const auto spread = [&] {
            double sum = 0.0, squares = 0.0;
            uint32_t count = 0;
            for (uint32_t f = 0; f < level->m_faceCount; ++f) {
                const uint32_t* c = level->FaceCorners(f);
                const tarnix::Vector p = level->VertexPosition(c[0]);
                if ((p - tarnix::Vector(1, 0.5f, 0)).Length() > 0.3f) continue;
                for (uint32_t k = 0; k < 4; ++k) {
                    const double l = (level->VertexPosition(c[k]) - level->VertexPosition(c[(k + 1) % 4])).Length();
                    sum += l;
                    squares += l * l;
                    ++count;
                }
            }
            return std::sqrt(squares / count - (sum / count) * (sum / count));
        };
        const double uneven = spread();
        auto brush = dab_setup::MakeBrush(corvane::kToolRelax);
        brush->m_lockBordersAttr.SetValue(lockBorders);
        for (int stroke = 0; stroke < 3; ++stroke)
            Stroke(*brush, *level, {{0.8f, 0.5f, 0}, {1.2f, 0.5f, 0}}, 0.7f, 100.0f);
        EXPECT_LT(spread(), 0.8 * uneven) << "edge lengths even out";
        uint32_t borderMoved = 0;
        for (uint32_t v = 0; v < level->VertexCount(); ++v) {
            const tarnix::Vector p = level->VertexPosition(v);
            ASSERT_NEAR(p.z, 0.0f, 1e-4f) << "the surface stays where it was";
            const bool border = start[v].y < 1e-4f || start[v].y > 1 - 1e-4f;
            if (border && (p - start[v]).Length() > 1e-6f) ++borderMoved;
        }
        if (lockBorders) {
            EXPECT_EQ(borderMoved, 0u);
        }
    }
}

}  // namespace
// The normals a stroke leaves are those of the surface it leaves, whatever the brush did
// before: Relax on a brush that had smoothed elsewhere once wrote normals of patches read out
// of order, some turned by a right angle or inside out.
TEST(RelaxTest, NormalsAfterRelaxOnABrushThatSmoothedBeforeMatchTheSurface) {
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    auto geometry = shapes::Subdivided(shapes::Cube(), 5);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    auto brush = dab_setup::MakeBrush(corvane::kToolSmooth);
    const auto use = [&](uint32_t tool) {
        brush->SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    };
    Stroke(*brush, *level, {{-0.3f, 0.3f, 2}, {-0.2f, 0.3f, 2}}, 0.09f, 15.0f);
    use(corvane::kToolPinch);
    Stroke(*brush, *level, {{0.12f, -0.22f, 2}, {0.28f, -0.18f, 2}}, 0.11f, 100.0f);
    use(corvane::kToolRelax);
    ASSERT_GT(Stroke(*brush, *level, {{0.12f, -0.18f, 2}, {0.28f, -0.14f, 2}}, 0.09f, 100.0f).dabs, 0u);
    std::vector<tarnix::Vector> kept(level->VertexCount());
    for (uint32_t v = 0; v < level->VertexCount(); ++v) kept[v] = level->VertexNormal(v);
    level->RecomputeNormals();
    uint32_t astray = 0;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) astray += (kept[v] | level->VertexNormal(v)) < 0.9f;
    EXPECT_EQ(astray, 0u) << "vertices whose normal is off the surface's by more than 25 degrees";
}
