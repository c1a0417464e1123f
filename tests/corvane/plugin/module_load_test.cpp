// Loads the Corvane module the way a host does (this executable does not link it) and
// checks what it registers on load and removes, in reverse order, on unload.

#include <gtest/gtest.h>

#include <vector>

#include "caught_error.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/module_loader.h"
#include "tarnix/plugin.h"
#include "tarnix/preferences.h"

namespace {

struct Change {
    tarnix::RegistryChange change;
    QString kind;
    QString name;
    bool operator==(const Change& o) const { return change == o.change && kind == o.kind && name == o.name; }
};

class ModuleLoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        tarnix::SetRegistryObserver([this](tarnix::RegistryChange change, const char* kind, const QString& name) {
            changes.push_back({change, QString::fromUtf8(kind), name});
        });
    }
    void TearDown() override { tarnix::SetRegistryObserver(nullptr); }

    std::vector<Change> changes;
};

TEST_F(ModuleLoadTest, RegistersOnLoadAndUnregistersInReverseOnUnload) {
    using tarnix::RegistryChange;
    {
        tarnix::LoadedModule module(QStringLiteral(CORVANE_MODULE_PATH));
        // The Velder base module comes along as a dependency, with its own record.
        ASSERT_EQ(module.Plugins().size(), 2u);
        EXPECT_EQ(module.Plugins()[0]->Name(), QStringLiteral("Velder"));
        EXPECT_EQ(module.Plugins()[1]->Name(), QStringLiteral("Corvane"));
        EXPECT_TRUE(module.Plugins()[1]->IsInitialized());

        // Velder loads first, as Corvane's dependency; then the module's own objects.
        const std::vector<Change> corvaneLoad(changes.end() - 9, changes.end());
        const std::vector<Change> expectedLoad = {
            {RegistryChange::Added, "class", "Corvane"},
            {RegistryChange::Added, "class", "PatchMap"},
            {RegistryChange::Added, "plugin", "Corvane"},
            {RegistryChange::Added, "preference", "Render Corvane"},
            {RegistryChange::Added, "preference", "Use Original Data For Flatten"},
            {RegistryChange::Added, "preference", "Use Vertex Weights For Flatten"},
            {RegistryChange::Added, "preference", "Wax Fills Only"},
            {RegistryChange::Added, "preference", "Wax Scrapes Only"},
            {RegistryChange::Added, "preference", "Corvane Level Factor"}};
        EXPECT_EQ(corvaneLoad, expectedLoad);
        EXPECT_EQ(tarnix::BrushOperation::ConfigurationCount(), 16u);
        const tarnix::ClassDesc* corvane = tarnix::ClassDesc::Find(QStringLiteral("Corvane"));
        ASSERT_NE(corvane, nullptr);
        EXPECT_EQ(corvane->DisplayName(), QStringLiteral("Corvane Sculptor"));
        EXPECT_EQ(corvane->Version(), 1);
        EXPECT_EQ(corvane->Parent(), tarnix::BrushOperation::StaticClass());
        changes.clear();
    }
    const std::vector<Change> expectedUnload = {{RegistryChange::Removed, "plugin", "Corvane"},
                                                {RegistryChange::Removed, "class", "PatchMap"},
                                                {RegistryChange::Removed, "class", "Corvane"},
                                                {RegistryChange::Removed, "plugin", "Velder"},
                                                {RegistryChange::Removed, "class", "Velder"}};
    EXPECT_EQ(changes, expectedUnload);
    EXPECT_EQ(tarnix::ClassDesc::Find(QStringLiteral("Corvane")), nullptr);
    EXPECT_EQ(tarnix::BrushOperation::ConfigurationCount(), 0u) << "presets leave with their class";
    EXPECT_EQ(tarnix::Preferences::All().size(), 6u) << "preference values stay with the host";
}

TEST_F(ModuleLoadTest, ReloadingFindsThePreferencesWithTheirValues) {
    {
        tarnix::LoadedModule module(QStringLiteral(CORVANE_MODULE_PATH));
        for (const auto& entry : tarnix::Preferences::All())
            if (entry.name == QStringLiteral("Wax Fills Only")) entry.attribute->SetFromText("true", true);
    }
    tarnix::LoadedModule again(QStringLiteral(CORVANE_MODULE_PATH));
    size_t waxFillsOnly = 0;
    for (const auto& entry : tarnix::Preferences::All())
        if (entry.name == QStringLiteral("Wax Fills Only")) {
            ++waxFillsOnly;
            EXPECT_EQ(entry.attribute->ToText(), QStringLiteral("true"));
        }
    EXPECT_EQ(waxFillsOnly, 1u);
}

TEST_F(ModuleLoadTest, AMissingModuleIsAClearError) {
    const QString fault = FaultOf([] { tarnix::LoadedModule module(QStringLiteral("/nonexistent/libNothing.so")); });
    EXPECT_TRUE(fault.startsWith(QStringLiteral("cannot load plug-in module /nonexistent/libNothing.so")))
        << fault.toStdString();
}

}  // namespace
