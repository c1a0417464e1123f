// The Drover module's class, its three presets and its plug-in record. They register while the
// module loads and leave, in reverse order and with the presets, while it unloads.

#include "drover.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/class_desc.h"
#include "tarnix/plugin.h"

namespace {

tarnix::Node* CreateDrover(uint32_t) {
    auto* brush = new Drover;
    brush->Initialize();
    return brush;
}

tarnix::ClassDesc g_droverClass(Velder::StaticClass(), Velder::StaticClass(), "Drover", "Moving tools", &CreateDrover,
                                0, 1);

void AddPresets() {
    struct Preset {
        Drover::Tool tool;
        const char* name;
        const char* toolTip;
    };
    static constexpr Preset kPresets[] = {
        {Drover::kGrab, "Grab", "Moves the region under the brush with the pointer"},
        {Drover::kSnakeHook, "Snake Hook", "Pulls the surface out along the stroke, into strands"},
        {Drover::kNudge, "Nudge", "Pushes the surface along the stroke, over itself"},
    };
    for (const Preset& preset : kPresets)
        tarnix::BrushOperation::AddConfiguration(new tarnix::BrushConfiguration(
            &g_droverClass, preset.tool, QString::fromLatin1(preset.name), QString::fromLatin1(preset.name),
            tarnix::BrushConfiguration::kCategorySculpt, QString::fromLatin1(preset.toolTip), 0, 0));
}

tarnix::Plugin g_plugin("Drover", "The moving tools: Grab, Snake Hook and Nudge", "Corvane developers",
                        "https://corvane.invalid", __DATE__, &AddPresets);

}  // namespace

const tarnix::ClassDesc* Drover::StaticClass() { return &g_droverClass; }
const tarnix::ClassDesc* Drover::GetClass() const { return &g_droverClass; }
