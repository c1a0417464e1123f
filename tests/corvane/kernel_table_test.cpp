#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "builtin_shapes.h"
#include "brush/tracked_store.h"
#include "dab_setup.h"
#include "kernels/dab_block.h"
#include "kernels/kernel_index.h"
#include "kernels/kernel_table.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/subdivision_level.h"

namespace {

TEST(KernelIndexTest, BitsFollowTheBrushState) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    brush->m_subdivisionLevel = geometry->HighestLevel();
    EXPECT_EQ(brush->ComputeKernelIndex(), 0u);

    brush->m_useStamp = brush->m_wholeMeshPass = brush->m_alongVertexNormals = true;
    geometry->HighestLevel()->SetFreeze(3, 50);
    brush->m_hasActiveLayer = brush->m_smoothTool = brush->m_stampTiled = brush->m_pinchTool = true;
    brush->m_skipRendererNotify = false;
    brush->m_nonUniformScale = true;
    EXPECT_EQ(brush->ComputeKernelIndex(), 1023u);

    brush->m_alongVertexNormals = false;
    brush->m_affectAllLayersAttr.SetValue(false);
    auto* layer = geometry->HighestLevel()->AddLayer(QStringLiteral("l"));
    brush->m_activeLayer = layer;
    EXPECT_FALSE(brush->ComputeKernelIndex() & corvane::kBitVertexNormals) << "smoothing one layer";
    brush->m_activeLayer = nullptr;
    EXPECT_TRUE(brush->ComputeKernelIndex() & corvane::kBitVertexNormals) << "no layer to keep apart";

    brush->m_useStamp = false;
    EXPECT_FALSE(brush->ComputeKernelIndex() & corvane::kBitTiled) << "tiling needs the stamp";
    brush->m_subdivisionLevel = nullptr;
}

// Everything a kernel writes, to compare two runs byte for byte.
struct Outcome {
    bool result;
    std::vector<char> positions, normals, entries, box, layer, ring;
    std::vector<tarnix::MeshRenderer::Notification> notifications;
};

Outcome RunPatch(uint32_t index, bool reference) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 2);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    for (uint32_t v = 0; v < level->VertexCount(); v += 7) level->SetFreeze(v, uint8_t(v % 128));
    tarnix::SculptLayer* layer = level->AddLayer(QStringLiteral("detail"));
    layer->SetStrength(0.5f);
    level->SetActiveLayer(0);
    auto* renderer = new tarnix::MeshRenderer;
    level->AddChild(renderer);

    const corvane::Family family = corvane::FamilyOf(index);
    const uint32_t tool = family == corvane::Family::kPlane   ? corvane::kToolFlatten
                          : family == corvane::Family::kPinch ? corvane::kToolPinch
                          : family == corvane::Family::kSmoothing ? corvane::kToolSmooth
                                                                  : corvane::kToolSculpt;
    auto brush = dab_setup::MakeBrush(tool);
    brush->m_affectAllLayersAttr.SetValue(false);
    dab_setup::Dab dab;
    dab.center = {0.2f, -0.1f, -0.8f};
    dab.direction = {0.1f, 0.2f, -1.0f};
    dab.radius = 0.9f;
    dab.length = 0.3f;
    dab.planeDistance = 0.7f;
    dab_setup::Bind(*brush, level, 1, dab);
    corvane::AppendTracked(brush->m_renderers, renderer);
    brush->m_wholeMeshCameraDirection = tarnix::Vector(0, 0, -1);
    brush->m_wholeMeshFromCamera = true;
    // An 8 x 8 stamp over part of the patch, so that some texels fall outside.
    std::vector<float> pixels(8 * 8 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = float((i * 37) % 11) / 10.0f;
    brush->m_stampPixels = pixels.data();
    brush->m_stampWidth = brush->m_stampHeight = 8;
    brush->m_stampMaskFactor = 0.8f;
    brush->m_stampIsVectorDisplacement = (index & 0x3) == 0x1;
    brush->m_stampScaleX = brush->m_stampScaleY = 0.02f;
    brush->m_stampDepthStep = 0.05f;
    tarnix::HWVector* rows = corvane::DabRows(brush->m_dabBlock);
    tarnix::Matrix stamp = tarnix::Matrix::Scale({4, 4, 1}) * tarnix::Matrix::Translation({4, 4, 0});
    corvane::StoreMatrixRows(rows, corvane::kRowStampMatrix, stamp);
    rows[corvane::kRowStampX] = tarnix::HWVector(1, 0, 0);
    rows[corvane::kRowStampY] = tarnix::HWVector(0, 1, 0);

    const uint32_t face = 0;  // a patch of the bottom side, under the dab
    if (family == corvane::Family::kSmoothing) brush->BuildRing(face);
    Outcome outcome;
    outcome.result = reference ? brush->PatchKernelReference(face, index)
                               : (brush.get()->*corvane::KernelTable[index])(face);
    const auto bytes = [](const void* data, size_t size) {
        return std::vector<char>(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    };
    outcome.positions = bytes(level->m_vertices.Data(), level->VertexCount() * sizeof(tarnix::VertexRecord));
    outcome.normals = bytes(level->m_normals.Data(), level->VertexCount() * sizeof(tarnix::PackedNormal));
    tarnix::MeshChange* change = level->CurrentChange();
    for (uint32_t slot = 0; slot < change->Count(); ++slot) {
        const auto entry = bytes(&(*change)[slot], sizeof(tarnix::StoredVertexInfo));
        outcome.entries.insert(outcome.entries.end(), entry.begin(), entry.end());
    }
    outcome.box = bytes(rows + corvane::kRowBoxMinimum, 2 * sizeof(tarnix::HWVector));
    std::vector<tarnix::Vector> offsets;
    for (uint32_t v = 0; v < level->VertexCount(); ++v) offsets.push_back(layer->Offset(v));
    outcome.layer = bytes(offsets.data(), offsets.size() * sizeof(tarnix::Vector));
    // The patch cells of the padded grid (rows and columns 1 .. n + 1).
    for (uint32_t r = 1; r <= 3; ++r)
        for (uint32_t c = 1; c <= 3; ++c) {
            const auto cell = bytes(&brush->m_ringPositions[r * brush->m_ringSide + c], 12);
            outcome.ring.insert(outcome.ring.end(), cell.begin(), cell.end());
        }
    outcome.notifications = renderer->Notifications();
    brush->m_stampPixels = nullptr;  // the test's own pixels
    dab_setup::Release(*brush);
    return outcome;
}

TEST(KernelTableTest, EveryEntryMatchesTheFrameWithItsChoicesReadAtRunTime) {
    uint32_t moved = 0;
    for (uint32_t index = 0; index < corvane::kKernelCount; ++index) {
        const Outcome kernel = RunPatch(index, false);
        const Outcome reference = RunPatch(index, true);
        ASSERT_EQ(kernel.result, reference.result) << "kernel " << index;
        ASSERT_EQ(kernel.positions, reference.positions) << "kernel " << index;
        ASSERT_EQ(kernel.normals, reference.normals) << "kernel " << index;
        ASSERT_EQ(kernel.entries, reference.entries) << "kernel " << index;
        ASSERT_EQ(kernel.box, reference.box) << "kernel " << index;
        ASSERT_EQ(kernel.layer, reference.layer) << "kernel " << index;
        ASSERT_EQ(kernel.ring, reference.ring) << "kernel " << index;
        ASSERT_EQ(kernel.notifications.size(), reference.notifications.size()) << "kernel " << index;
        moved += kernel.result;
    }
    EXPECT_GT(moved, 900u) << "nearly every kernel moves something under this dab";
}

}  // namespace
