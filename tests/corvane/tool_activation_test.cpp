#include <gtest/gtest.h>

#include "brush/corvane.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"

namespace {

// Each test gets fresh presets (no records) and a fresh brush.
class ToolActivationTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::Kernel::SetLogEcho(false);
        tarnix::BrushOperation::RemoveConfigurationsOf(Corvane::StaticClass());
        corvane::InitializePlugin();
        brush = std::make_unique<Corvane>();
    }
    void TearDown() override {
        brush.reset();
        tarnix::BrushOperation::RemoveConfigurationsOf(Corvane::StaticClass());
    }
    tarnix::BrushConfiguration* Preset(uint32_t id) {
        return tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), id);
    }
    void Activate(uint32_t id) { brush->SetActiveConfiguration(Preset(id)); }

    std::unique_ptr<Corvane> brush;
};

TEST_F(ToolActivationTest, StrengthScaleIsSetForPinchAmplifyAndWaxOnly) {
    brush->SetBrushStrengthScale(3.0f);
    Activate(corvane::kToolSculpt);
    EXPECT_EQ(brush->StrengthScale(), 3.0f) << "left as it was";
    Activate(corvane::kToolPinch);
    EXPECT_FLOAT_EQ(brush->StrengthScale(), 0.01f);
    Activate(corvane::kToolAmplify);
    EXPECT_FLOAT_EQ(brush->StrengthScale(), 0.2f);
    Activate(corvane::kToolWax);
    EXPECT_FLOAT_EQ(brush->StrengthScale(), 0.5f);
}

TEST_F(ToolActivationTest, FirstUseDefaultsComeOnlyOnce) {
    Activate(corvane::kToolSmooth);
    EXPECT_EQ(brush->BrushStrength(), 100.0f);
    brush->SetBrushStrength(42.0f);
    brush->m_preserveVolumeAttr.SetValue(true);
    Activate(corvane::kToolKnife);  // leaving Smooth records its settings
    EXPECT_EQ(brush->BrushStrength(), 15.0f);
    EXPECT_TRUE(brush->IsMaskEnabled(tarnix::BrushOperation::kStampMask));
    EXPECT_EQ(brush->MaskName(tarnix::BrushOperation::kStampMask), QStringLiteral("Stamps/knife.tif"));
    EXPECT_EQ(brush->StrokeSmoothing().value, 0.2625f);
    Activate(corvane::kToolSmooth);
    EXPECT_TRUE(brush->IsConfigurationInited(Preset(corvane::kToolSmooth)));
    EXPECT_EQ(brush->BrushStrength(), 42.0f) << "an initialized preset keeps the user's strength";
    EXPECT_FALSE(brush->IsMaskEnabled(tarnix::BrushOperation::kStampMask));
    EXPECT_TRUE(brush->m_smoothTool) << "the per-tool values apply at every activation";
}

TEST_F(ToolActivationTest, ImprintAndStampToolsStartWithTheirStamps) {
    Activate(corvane::kToolImprint);
    EXPECT_EQ(brush->MaskName(tarnix::BrushOperation::kStampMask), QStringLiteral("Stamps/rubble.tif"));
    EXPECT_EQ(brush->FalloffIndex(), 7);
    EXPECT_EQ(brush->BuildUpRate(), 1.0f);
    EXPECT_EQ(brush->m_dabSpacingAttr.Value(), 100.0f);
    EXPECT_TRUE(brush->m_drawFromCenterAttr.Value());
    EXPECT_EQ(brush->m_stampRandomizeAttr.Value(), (tarnix::BoolFloat{false, 0.6f}));
    EXPECT_EQ(brush->StampDragMode(), 1);
    brush->m_drawFromCenterAttr.SetValue(false);
    EXPECT_EQ(brush->StampDragMode(), 2);
    EXPECT_TRUE(brush->PlacesSingleStamp());
    EXPECT_FALSE(brush->SpacesDabs());

    Activate(corvane::kToolSpray);
    EXPECT_EQ(brush->StampConfig().m_imagePath, QStringLiteral("Stamps/bw_brickTile.tif"));
    EXPECT_TRUE(brush->StampConfig().m_enabled);
    EXPECT_TRUE(brush->StampConfig().m_randomize);
    EXPECT_EQ(brush->StampDragMode(), 0);
    EXPECT_FALSE(brush->m_drawFromCenterAttr.IsVisible());

    Activate(corvane::kToolFoamy);
    EXPECT_EQ(brush->BuildUpRate(), 0.25f);
    EXPECT_FLOAT_EQ(brush->m_buildUpRate, 0.25f * 0.25f * 0.25f);
    EXPECT_FALSE(brush->StrokeSmoothing().on);
}

TEST_F(ToolActivationTest, ResetForgetsTheRecordAndSetsTheSize) {
    Activate(corvane::kToolSculpt);
    brush->SetBrushSize(3.0f);
    Activate(corvane::kToolFill);
    Activate(corvane::kToolSculpt);
    EXPECT_EQ(brush->BrushSize(), 3.0f);
    brush->ResetBrushConfiguration();
    EXPECT_EQ(brush->BrushSize(), 25.0f);
    EXPECT_FALSE(brush->IsConfigurationInited(Preset(corvane::kToolSculpt)));
}

}  // namespace
