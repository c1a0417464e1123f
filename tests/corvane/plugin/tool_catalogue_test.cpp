#include <gtest/gtest.h>

#include <vector>

#include "brush/corvane.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"

namespace {

// Each test starts from a registry without Corvane presets.
class ToolCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { tarnix::BrushOperation::RemoveConfigurationsOf(Corvane::StaticClass()); }
    void TearDown() override { SetUp(); }

    static std::vector<const tarnix::BrushConfiguration*> CorvanePresets() {
        std::vector<const tarnix::BrushConfiguration*> presets;
        for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i)
            if (tarnix::BrushOperation::Configuration(i)->OperationClass() == Corvane::StaticClass())
                presets.push_back(tarnix::BrushOperation::Configuration(i));
        return presets;
    }
};

TEST_F(ToolCatalogueTest, SixteenPresetsInCatalogueOrderWithoutIdFifteen) {
    corvane::InitializePlugin();
    const auto presets = CorvanePresets();
    // The names are checked through the host program's listing.
    ASSERT_EQ(presets.size(), 16u);
    for (size_t i = 0; i < presets.size(); ++i) {
        EXPECT_EQ(presets[i]->ID(), i < 15 ? i : 16);
        EXPECT_EQ(presets[i]->DisplayName(), presets[i]->Name());
        EXPECT_EQ(presets[i]->Category(), tarnix::BrushConfiguration::kCategorySculpt);
    }
    EXPECT_EQ(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 15), nullptr);
}

TEST_F(ToolCatalogueTest, SmoothConfigurationIsTheSmoothPresetWhateverCameBefore) {
    static tarnix::ClassDesc otherBrush(tarnix::BrushOperation::StaticClass(), tarnix::BrushOperation::StaticClass(),
                                        "OtherBrush", "Other brush", nullptr, 0, 0);
    for (uint32_t id = 0; id < 5; ++id)
        tarnix::BrushOperation::AddConfiguration(new tarnix::BrushConfiguration(
            &otherBrush, id, QStringLiteral("Other"), QStringLiteral("Other"), 0, QString(), 0, 0));
    corvane::InitializePlugin();
    ASSERT_NE(corvane::s_smoothConfiguration, nullptr);
    EXPECT_EQ(corvane::s_smoothConfiguration->ID(), 3u);
    EXPECT_EQ(corvane::s_smoothConfiguration->OperationClass(), Corvane::StaticClass());
    tarnix::BrushOperation::RemoveConfigurationsOf(&otherBrush);
}

}  // namespace
