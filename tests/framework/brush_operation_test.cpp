#include <gtest/gtest.h>

#include <cmath>

#include "builtin_shapes.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"
#include "tarnix/scene.h"
#include "tarnix/stream.h"
#include "tarnix/surface_point.h"

namespace {

TEST(BrushOperationTest, FalloffPresetsRunFromCentreToRim) {
    tarnix::BrushOperation brush;
    for (int index : {0, 1, 2, 3, 5, 6, 7, 8}) {
        brush.SetFalloffIndex(index);
        const auto falloff = brush.FalloffData();
        ASSERT_EQ(falloff.count, tarnix::BrushOperation::kFalloffSamples);
        EXPECT_NEAR(falloff.data[0], 1.0f, 1e-6f) << index;
        EXPECT_NEAR(falloff.data[falloff.count - 1], 0.0f, 1e-6f) << index;
        for (uint32_t i = 1; i < falloff.count; ++i) ASSERT_LE(falloff.data[i], falloff.data[i - 1] + 1e-6f);
    }
    brush.SetFalloffIndex(7);
    EXPECT_EQ(brush.FalloffData().data[150], 1.0f) << "the plateau keeps full weight to 80 %";
    brush.SetFalloffIndex(tarnix::BrushOperation::kNoFalloff);
    EXPECT_EQ(brush.FalloffData().data, nullptr);
    // Set as text (a session's attribute, a project's record), the curve is the table too.
    brush.m_falloffIndexAttr.SetFromText(QStringLiteral("7"), false);
    ASSERT_NE(brush.FalloffData().data, nullptr);
    EXPECT_EQ(brush.FalloffData().data[150], 1.0f);
}

TEST(BrushOperationTest, PresetsRememberTheirSettingsWhenLeft) {
    static tarnix::ClassDesc brushClass(tarnix::BrushOperation::StaticClass(), nullptr, "PresetTestBrush",
                                        "Preset test brush", nullptr, 0, 0);
    auto* a = new tarnix::BrushConfiguration(&brushClass, 1, "A", "A", 1, QString(), 0, 0);
    auto* b = new tarnix::BrushConfiguration(&brushClass, 2, "B", "B", 1, QString(), 0, 0);
    tarnix::BrushOperation::AddConfiguration(a);
    tarnix::BrushOperation::AddConfiguration(b);
    tarnix::BrushOperation brush;
    brush.SetActiveConfiguration(a);
    EXPECT_FALSE(brush.IsConfigurationInited(a));
    brush.SetBrushSize(7.0f);
    brush.SetFalloffIndex(5);
    brush.SetActiveConfiguration(b);
    EXPECT_TRUE(brush.IsConfigurationInited(a));
    EXPECT_FALSE(brush.IsConfigurationInited(b));
    EXPECT_EQ(brush.BrushSize(), 7.0f) << "a new preset starts from the current settings";
    brush.SetBrushSize(2.0f);
    brush.SetFalloffIndex(0);
    brush.SetActiveConfiguration(a);
    EXPECT_EQ(brush.BrushSize(), 7.0f);
    EXPECT_EQ(brush.FalloffIndex(), 5);
    EXPECT_EQ(brush.FalloffData().data[255], tarnix::BrushOperation::FalloffPreset(5, 1.0f));
    tarnix::BrushOperation::RemoveConfigurationsOf(&brushClass);
    EXPECT_EQ(tarnix::BrushOperation::FindConfiguration(&brushClass, 1), nullptr);
}

// A missing stamp leaves no image and says why; a stamp found takes its neutral level as the
// offset, and a stored record keeps its own.
TEST(BrushOperationTest, ChoosingAStampTakesItsNeutralLevelAsTheOffsetAndAMissingOneSaysWhy) {
    tarnix::Kernel::SetLogEcho(false);
    tarnix::BrushOperation brush;
    brush.SetStamp(true, QStringLiteral("Stamps/no_such_stamp.tif"));
    EXPECT_TRUE(brush.IsMaskEnabled(tarnix::BrushOperation::kStampMask));
    EXPECT_EQ(brush.MaskImage(tarnix::BrushOperation::kStampMask), nullptr);
    EXPECT_EQ(brush.StampError(), QStringLiteral("cannot read image Stamps/no_such_stamp.tif: no such file"));
    brush.SetStamp(true, QStringLiteral("Stamps/knife.tif"));  // a black cut on white
    ASSERT_NE(brush.MaskImage(tarnix::BrushOperation::kStampMask), nullptr);
    EXPECT_TRUE(brush.StampError().isEmpty());
    EXPECT_EQ(brush.MaskOffset(tarnix::BrushOperation::kStampMask), 1.0f);
    brush.SetStamp(true, QStringLiteral("Stamps/knife.tif"));
    EXPECT_EQ(brush.MaskOffset(tarnix::BrushOperation::kStampMask), 1.0f) << "the same image is not chosen again";
    brush.SetStamp(true, QStringLiteral("Stamps/bw_scale.tif"));
    EXPECT_EQ(brush.MaskOffset(tarnix::BrushOperation::kStampMask), 0.0f);
    tarnix::StampConfiguration record = brush.StampConfig();
    record.m_imagePath = QStringLiteral("Stamps/knife.tif");
    record.m_offset = 0.25f;
    brush.SetStampConfig(record);
    EXPECT_EQ(brush.MaskOffset(tarnix::BrushOperation::kStampMask), 0.25f);
    brush.SetStamp(false, QString());
    EXPECT_EQ(brush.MaskOffset(tarnix::BrushOperation::kStampMask), 0.0f) << "no image, no neutral level";
}

// Brushes cache their conversion of a stamp by image, version and values: placement leaves
// the image's version, the build-up switch (not among those values) advances it.
TEST(BrushOperationTest, PlacedStampsMapTheBrushDiscOntoTheImageAndOnlyBuildUpAdvancesItsVersion) {
    tarnix::BrushOperation brush;
    brush.SetStamp(true, QStringLiteral("Stamps/knife.tif"));  // 128 x 128
    const tarnix::Image* image = brush.MaskImage(tarnix::BrushOperation::kStampMask);
    ASSERT_NE(image, nullptr);
    const uint32_t version = image->Version();
    const tarnix::Vector center(1, 2, 3), normal(0, 0, 1), tangent(1, 0, 0.5f);
    brush.PlaceStamp(center, normal, tangent, 0.5f);
    const tarnix::Matrix& m = brush.MaskMatrix(tarnix::BrushOperation::kStampMask);
    const auto at = [&](const tarnix::Vector& p) { return tarnix::Matrix::ProjectedTransform(m, p, 1.0f); };
    // Texel centres lie at whole coordinates: the image's middle is at 63.5.
    const tarnix::Vector middle = at(center);
    EXPECT_NEAR(middle.x, 63.5f, 1e-4f);
    EXPECT_NEAR(middle.y, 63.5f, 1e-4f);
    EXPECT_NEAR(middle.z, 0.0f, 1e-5f);
    const tarnix::Vector rim = at(center + tarnix::Vector(0.5f, 0, 0));
    EXPECT_NEAR(rim.x, 127.5f, 1e-3f) << "the tangent, flattened onto the plane, is the x axis";
    EXPECT_NEAR(rim.y, 63.5f, 1e-3f);
    EXPECT_NEAR(at(center + tarnix::Vector(0, 0.5f, 0)).y, -0.5f, 1e-3f)
        << "seen from outside the image is not mirrored: its top row lies a quarter turn left of x";
    EXPECT_NEAR(at(center + tarnix::Vector(0, 0, 2)).z, 2.0f, 1e-5f) << "depth along the normal";

    tarnix::StampConfiguration turned = brush.StampConfig();
    turned.m_rotation = 90.0f;
    brush.SetStampConfig(turned);
    brush.PlaceStamp(center, normal, tangent, 0.5f);
    const tarnix::Vector left = at(center + tarnix::Vector(0, 0.5f, 0));
    EXPECT_NEAR(left.x, 127.5f, 1e-3f) << "a positive rotation turns counter-clockwise";
    EXPECT_NEAR(left.y, 63.5f, 1e-3f);
    EXPECT_EQ(image->Version(), version) << "placement alone does not touch the image";
    turned.m_buildUp = true;
    brush.SetStampConfig(turned);
    EXPECT_GT(image->Version(), version);
}

TEST(BrushOperationTest, MirrorModesMirrorPointsAndDirections) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 0);
    geometry->GetTransformation().SetTranslation({5, 0, 0});
    const tarnix::SurfacePoint point(geometry->LowestLevel(), 0, 0);
    tarnix::MirrorConfiguration mirror;
    const tarnix::Vector p(1, 2, 3);
    EXPECT_EQ(mirror.Transform(p, 1, point), p);
    mirror.SetMirrorMode(tarnix::MirrorConfiguration::kLocalY);
    EXPECT_EQ(mirror.Transform(p, 1, point), tarnix::Vector(1, -2, 3));
    mirror.SetMirrorMode(tarnix::MirrorConfiguration::kWorldX);
    // World x = 6 mirrors to -6, which is mesh x = -11; a direction ignores the shift.
    EXPECT_EQ(mirror.Transform(p, 1, point), tarnix::Vector(-11, 2, 3));
    EXPECT_EQ(mirror.Transform(p, 0, point), tarnix::Vector(-1, 2, 3));
}

TEST(BrushOperationTest, StoredSettingsRoundTrip) {
    tarnix::BrushOperation original;
    original.SetBrushSize(3.5f);
    original.SetStrokeSmoothing(false, 0.3f);
    original.MirrorConfig().SetMirrorMode(7);
    tarnix::StampConfiguration stamp;
    stamp.m_imagePath = QStringLiteral("Stamps/bw_scale.tif");
    stamp.m_enabled = stamp.m_tiled = true;
    stamp.m_factor = 0.5f;
    original.SetStampConfig(stamp);
    tarnix::Stream out;
    out.StoreObject(original);
    tarnix::BrushOperation loaded;
    tarnix::Stream(out.Data()).LoadObject(loaded);
    EXPECT_EQ(loaded.BrushSize(), 3.5f);
    EXPECT_EQ(loaded.StrokeSmoothing(), (tarnix::BoolFloat{false, 0.3f}));
    EXPECT_EQ(loaded.MirrorConfig().MirrorMode(), 7);
    EXPECT_TRUE(loaded.IsMaskTiled(tarnix::BrushOperation::kStampMask));
    EXPECT_EQ(loaded.MaskFactor(tarnix::BrushOperation::kStampMask), 0.5f);
    EXPECT_NE(loaded.MaskImage(tarnix::BrushOperation::kStampMask), nullptr);
}

TEST(SceneTest, CurvesFollowTheSurfaceAsOneUndoableOperation) {
    auto geometry = shapes::Subdivided(shapes::Cube(), 1);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    auto* curve = new tarnix::TarnixCurve;
    tarnix::Kernel::Scene()->AddChild(curve);
    curve->AddAttachedPoint(level, 3, 0.5f, 0.5f);
    curve->AddAttachedPoint(level, 5, 0.0f, 0.0f);  // on the opposite side of the cube
    const tarnix::Vector before = curve->Points()[0].position;
    for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t v = level->FaceCorners(3)[k];
        level->SetVertexPosition(v, level->VertexPosition(v) * 1.5f);
    }
    tarnix::CurveManipulator manipulator;
    curve->FollowSurface(manipulator, level);
    EXPECT_FALSE(manipulator.HasData()) << "only while updating";
    curve->BeginUpdate();
    curve->FollowSurface(manipulator, level);
    curve->FinishUpdate();
    ASSERT_EQ(manipulator.Moves().size(), 1u) << "the point on the untouched face stays";
    tarnix::Kernel::DoOperation(&manipulator, true, false);
    EXPECT_NEAR((curve->Points()[0].position - before * 1.5f).Length(), 0.0f, 1e-5f);
    EXPECT_TRUE(tarnix::Kernel::UndoOperation());
    EXPECT_EQ(curve->Points()[0].position, before);
    tarnix::Kernel::Scene()->RemoveChild(curve);
    delete curve;
}

}  // namespace
