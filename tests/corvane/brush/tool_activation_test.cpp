#include <gtest/gtest.h>

#include <cmath>

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

TEST_F(ToolActivationTest, ToolsThatNeedAStrengthScaleSetItAtEveryActivationAndTheOthersLeaveIt) {
    brush->SetBrushStrengthScale(3.0f);
    Activate(corvane::kToolSculpt);
    EXPECT_EQ(brush->StrengthScale(), 3.0f) << "Sculpt sets none";
    for (uint32_t tool : {corvane::kToolPinch, corvane::kToolAmplify, corvane::kToolWax}) {
        SCOPED_TRACE(tool);
        Activate(tool);
        const float own = brush->StrengthScale();
        EXPECT_NE(own, 3.0f);
        // Not a recorded setting: the tool sets it again however it was left.
        brush->SetBrushStrengthScale(3.0f);
        Activate(corvane::kToolSculpt);
        Activate(tool);
        EXPECT_EQ(brush->StrengthScale(), own);
        brush->SetBrushStrengthScale(3.0f);
    }
}

TEST_F(ToolActivationTest, FirstUseValuesComeOnceAndTheSculptorsSettingsStayWithTheirTool) {
    Activate(corvane::kToolSmooth);
    const float smoothFirstUse = brush->BrushStrength();
    Activate(corvane::kToolKnife);
    const float knifeFirstUse = brush->BrushStrength();
    const QString knifeStamp = brush->MaskName(tarnix::BrushOperation::kStampMask);
    EXPECT_TRUE(brush->IsMaskEnabled(tarnix::BrushOperation::kStampMask)) << "the Knife cuts through a stamp";
    ASSERT_NE(smoothFirstUse, knifeFirstUse) << "the tools start apart, so that a leak between them shows";

    Activate(corvane::kToolSmooth);
    EXPECT_EQ(brush->BrushStrength(), smoothFirstUse) << "Smooth's own, not what the Knife left";
    brush->SetBrushStrength(42.0f);
    brush->m_preserveVolumeAttr.SetValue(!brush->m_preserveVolumeAttr.Value());
    const bool preserveVolume = brush->m_preserveVolumeAttr.Value();
    Activate(corvane::kToolKnife);  // leaving Smooth records its settings
    EXPECT_EQ(brush->BrushStrength(), knifeFirstUse);
    EXPECT_EQ(brush->MaskName(tarnix::BrushOperation::kStampMask), knifeStamp);
    Activate(corvane::kToolSmooth);
    EXPECT_TRUE(brush->IsConfigurationInited(Preset(corvane::kToolSmooth)));
    EXPECT_EQ(brush->BrushStrength(), 42.0f) << "an initialized preset keeps the sculptor's strength";
    EXPECT_EQ(brush->m_preserveVolumeAttr.Value(), preserveVolume);
    EXPECT_FALSE(brush->IsMaskEnabled(tarnix::BrushOperation::kStampMask)) << "the Knife's stamp stays with it";
    EXPECT_EQ(brush->ActiveStrengthHints().family, tarnix::BrushOperation::StrengthHints::kSmoothing)
        << "the kernel switches apply at every activation";
}

TEST_F(ToolActivationTest, StampToolsStartWithAStampAndPlaceItAsTheirKindDoes) {
    // That each starts with its stamp on is seen in what their strokes do.
    Activate(corvane::kToolImprint);
    EXPECT_TRUE(brush->PlacesSingleStamp()) << "an imprint is one stamp, placed by dragging";
    EXPECT_FALSE(brush->SpacesDabs());
    brush->m_drawFromCenterAttr.SetValue(true);
    EXPECT_EQ(brush->StampDragMode(), 1) << "dragged out from its centre";
    brush->m_drawFromCenterAttr.SetValue(false);
    EXPECT_EQ(brush->StampDragMode(), 2) << "dragged out as a box";

    Activate(corvane::kToolSpray);
    EXPECT_TRUE(brush->StampConfig().m_randomize) << "a spray scatters its stamp";
    EXPECT_EQ(brush->StampDragMode(), 0) << "stamps follow the stroke";
    EXPECT_FALSE(brush->m_drawFromCenterAttr.IsVisible());
    EXPECT_TRUE(brush->SpacesDabs());

    Activate(corvane::kToolFoamy);
    // The rate a dab builds up by is the cube of the setting, so that low settings stay gentle.
    EXPECT_FLOAT_EQ(brush->ActiveStrengthHints().buildUp, std::pow(brush->BuildUpRate(), 3.0f));
    brush->SetBuildUpRate(0.5f);
    Activate(corvane::kToolSculpt);
    Activate(corvane::kToolFoamy);
    EXPECT_FLOAT_EQ(brush->ActiveStrengthHints().buildUp, 0.125f);
}

TEST_F(ToolActivationTest, ResetForgetsTheRecordAndGivesTheFirstUseValuesAgain) {
    Activate(corvane::kToolSculpt);
    const float firstUseSize = brush->BrushSize(), firstUseStrength = brush->BrushStrength();
    brush->SetBrushSize(firstUseSize + 3.0f);
    brush->SetBrushStrength(firstUseStrength + 7.0f);
    Activate(corvane::kToolFill);
    Activate(corvane::kToolSculpt);
    EXPECT_EQ(brush->BrushSize(), firstUseSize + 3.0f);
    brush->ResetBrushConfiguration();
    EXPECT_EQ(brush->BrushSize(), firstUseSize);
    EXPECT_EQ(brush->BrushStrength(), firstUseStrength);
    EXPECT_FALSE(brush->IsConfigurationInited(Preset(corvane::kToolSculpt)));
}

}  // namespace
