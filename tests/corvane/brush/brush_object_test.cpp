#include <gtest/gtest.h>

#include "brush/corvane.h"
#include "host/preferences.h"
#include "tarnix/class_desc.h"
#include "tarnix/kernel.h"
#include "tarnix/node_array.h"
#include "tarnix/preferences.h"
#include "tarnix/stream.h"

namespace {

class BrushObjectTest : public ::testing::Test {
protected:
    void TearDown() override {
        tarnix::Kernel::SetTestMode(false);
        tarnix::Kernel::Instance()->RendererOverride().SetValue(QString());
        corvane::g_prefRender.Attribute()->SetValue(true, true);
    }
};

TEST_F(BrushObjectTest, FactoryMakesArraysOfInitializedBrushes) {
    tarnix::Node* first = CreateCorvane(3);
    auto* brushes = dynamic_cast<Corvane*>(first);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(brushes[i].IsInitialized());
        EXPECT_EQ(reinterpret_cast<uintptr_t>(&brushes[i]) % alignof(Corvane), 0u) << "aligned as its members need";
    }
    tarnix::DestroyNodeArray(first);
}

TEST_F(BrushObjectTest, ConstructionLeavesTheCrashReportWordAsItWas) {
    const uint32_t before = tarnix::Kernel::Instance()->CrashReportWord();
    { Corvane brush; }
    EXPECT_EQ(tarnix::Kernel::Instance()->CrashReportWord(), before);
}

TEST_F(BrushObjectTest, EveryBrushShowsThePreferencesOnlyInTestMode) {
    const auto sculptingPreferences = [] {
        std::vector<tarnix::Preferences::Entry> found;
        for (const auto& entry : tarnix::Preferences::All())
            if (entry.category == QStringLiteral("Sculpting")) found.push_back(entry);
        return found;
    };
    tarnix::Kernel::SetTestMode(true);
    { Corvane brush; }
    ASSERT_EQ(sculptingPreferences().size(), 6u);
    for (const auto& entry : sculptingPreferences()) {
        EXPECT_TRUE(entry.attribute->IsVisible()) << entry.name.toStdString();
        EXPECT_EQ(entry.displayName, entry.name);
    }
    tarnix::Kernel::SetTestMode(false);
    { Corvane brush; }
    for (const auto& entry : sculptingPreferences()) EXPECT_FALSE(entry.attribute->IsVisible());

    corvane::g_prefLevelFactor.Attribute()->SetValue(4.0f);
    EXPECT_EQ(float(corvane::g_prefLevelFactor), 4.0f);
    corvane::g_prefLevelFactor.Attribute()->SetValue(0.1f);
    EXPECT_EQ(float(corvane::g_prefLevelFactor), 0.25f);
    corvane::g_prefLevelFactor.Attribute()->SetValue(1.0f);
}

TEST_F(BrushObjectTest, HostNoRenderSettingTurnsRenderingOffForGood) {
    Corvane brush;
    auto& hostSetting = tarnix::Kernel::Instance()->RendererOverride();
    hostSetting.SetValue(QStringLiteral("wireframe"));
    EXPECT_EQ(brush.m_hostStringLinkAttr.Value(), QStringLiteral("wireframe"));
    EXPECT_TRUE(bool(corvane::g_prefRender));
    hostSetting.SetValue(QStringLiteral("corvane_norender"));
    EXPECT_FALSE(bool(corvane::g_prefRender));
    hostSetting.SetValue(QStringLiteral("wireframe"));
    EXPECT_FALSE(bool(corvane::g_prefRender)) << "the brush never turns rendering back on";
}

// The stored switches turned from their defaults: on, but for plane updates.
void TurnStoredSwitches(Corvane& brush) {
    brush.m_bilinearSampleAttr.SetValue(true);
    brush.m_affectAllLayersAttr.SetValue(true);
    brush.m_globalPlaneAttr.SetValue(true);
    brush.m_updatePlaneAttr.SetValue(false);
}

void ExpectStoredSwitchesTurned(const Corvane& brush) {
    EXPECT_TRUE(brush.m_bilinearSampleAttr.Value());
    EXPECT_TRUE(brush.m_affectAllLayersAttr.Value());
    EXPECT_TRUE(brush.m_globalPlaneAttr.Value());
    EXPECT_FALSE(brush.m_updatePlaneAttr.Value());
}

// The other attributes are the target's own: turned one way in the source and the other in the
// targets, they must come out as the targets had them.
TEST_F(BrushObjectTest, StoredFormAndAssignmentCarryTheFiveStoredAttributesOnly) {
    Corvane source, loaded, assigned;
    source.SetBuildUpRate(0.75f);
    TurnStoredSwitches(source);
    source.m_preserveVolumeAttr.SetValue(true);
    source.m_drawFromCenterAttr.SetValue(true);
    tarnix::Stream out;
    out.StoreObject(source);
    for (Corvane* target : {&loaded, &assigned}) target->m_lockBordersAttr.SetValue(true);
    tarnix::Stream in(out.Data());
    in.LoadObject(loaded);
    assigned = source;
    for (const Corvane* target : {&loaded, &assigned}) {
        SCOPED_TRACE(target == &loaded ? "loaded" : "assigned");
        EXPECT_EQ(target->BuildUpRate(), 0.75f);
        ExpectStoredSwitchesTurned(*target);
        EXPECT_FALSE(target->m_preserveVolumeAttr.Value());
        EXPECT_FALSE(target->m_drawFromCenterAttr.Value());
        EXPECT_TRUE(target->m_lockBordersAttr.Value());
    }
}

TEST_F(BrushObjectTest, DataOfVersionZeroLeavesThePlaneAndLayerSwitchesAlone) {
    // Data as version 0 wrote it: the class record says 0, and the three switches of
    // version 1 (one byte each, at the end) are not there.
    Corvane writer;
    writer.SetBuildUpRate(0.2f);
    writer.m_bilinearSampleAttr.SetValue(true);
    tarnix::Stream out;
    out.StoreObject(writer);
    QByteArray old = out.Data();
    const int versionOffset = 8 + 4 + 4 + int(sizeof("Corvane") - 1);  // header, count, name
    ASSERT_EQ(old.mid(versionOffset - 7, 7), QByteArray("Corvane"));
    const int32_t zero = 0;
    old.replace(versionOffset, 4, reinterpret_cast<const char*>(&zero), 4);
    old.chop(3);

    Corvane brush;
    TurnStoredSwitches(brush);
    brush.m_bilinearSampleAttr.SetValue(false);
    tarnix::Stream in(old);
    in.LoadObject(brush);
    EXPECT_EQ(in.Remaining(), 0);
    EXPECT_EQ(brush.BuildUpRate(), 0.2f);
    ExpectStoredSwitchesTurned(brush);
}

}  // namespace
