// The module-level objects that make the module known to the host. They are constructed in
// this order while the module loads (one translation unit fixes the order), and the class
// descriptors and the plug-in record are destroyed in reverse order when it unloads. The
// preference objects only point at attributes the framework owns and need no destruction.

#include "brush/corvane.h"
#include "host/preferences.h"
#include "host/tr.h"
#include "patch/patch_map.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/class_desc.h"
#include "tarnix/plugin.h"

namespace corvane {
namespace {

// Both parent arguments name the parent class; the second integer is the class version
// stored with every object of the class.
tarnix::ClassDesc g_corvaneClass(tarnix::BrushOperation::StaticClass(), tarnix::BrushOperation::StaticClass(),
                                 "Corvane", "Corvane Sculptor", &CreateCorvane, 0, 1);
tarnix::ClassDesc g_patchMapClass(tarnix::TreeNode::StaticClass(), tarnix::TreeNode::StaticClass(), "PatchMap",
                                  "Patchmap", &PatchMap::Create, 0, 0);

tarnix::Plugin g_plugin("Corvane", "Hardware accelerated simple sculptor brush", "Corvane developers",
                        "https://corvane.invalid", __DATE__ " " __TIME__, &InitializePlugin);

}  // namespace

tarnix::Preferences::Bool g_prefRender("Render Corvane", "Sculpting", Tr("Render Corvane"), Tr("Sculpting"), true,
                                       true);
tarnix::Preferences::Bool g_prefUseOriginalDataForFlatten("Use Original Data For Flatten", "Sculpting",
                                                          Tr("Use Original Data For Flatten"), Tr("Sculpting"), false,
                                                          true);
tarnix::Preferences::Bool g_prefUseVertexWeightsForFlatten("Use Vertex Weights For Flatten", "Sculpting",
                                                           Tr("Use Vertex Weights For Flatten"), Tr("Sculpting"), false,
                                                           true);
tarnix::Preferences::Bool g_prefWaxFillsOnly("Wax Fills Only", "Sculpting", Tr("Wax Fills Only"), Tr("Sculpting"),
                                             false, true);
tarnix::Preferences::Bool g_prefWaxScrapesOnly("Wax Scrapes Only", "Sculpting", Tr("Wax Scrapes Only"), Tr("Sculpting"),
                                               false, true);
tarnix::Preferences::Float g_prefLevelFactor("Corvane Level Factor", "Sculpting", Tr("Corvane Level Factor"),
                                             Tr("Sculpting"), 1.0f, 0.25f, 4.0f, true);

}  // namespace corvane

const tarnix::ClassDesc* Corvane::StaticClass() { return &corvane::g_corvaneClass; }
const tarnix::ClassDesc* Corvane::GetClass() const { return &corvane::g_corvaneClass; }
const tarnix::ClassDesc* PatchMap::StaticClass() { return &corvane::g_patchMapClass; }
const tarnix::ClassDesc* PatchMap::GetClass() const { return &corvane::g_patchMapClass; }
