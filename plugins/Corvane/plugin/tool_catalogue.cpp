#include "plugin/tool_catalogue.h"

#include "brush/corvane.h"
#include "host/tr.h"
#include "tarnix/brush_operation.h"

namespace corvane {

namespace {

struct ToolEntry {
    ToolId id;
    const char* name;
    const char* help;
};

// The texts are translated through Tr, so they stay here as the source strings.
constexpr ToolEntry kCatalogue[] = {
    {kToolSculpt, "Sculpt",
     "The Sculpt Tool lifts the surface as you stroke over it.\n<p>To depress the surface rather "
     "than lifting it, hold down the <b>${SHORTCUT:Draw inverse-NoMouse}</b> key as you stroke."},
    {kToolSmear, "Smear", "The Smear Tool pulls the surface under the brush in the direction of the stroke."},
    {kToolPinch, "Pinch",
     "The Pinch Tool pulls the mesh vertices towards the the center of the brush as you stroke. "
     "Use it along soft edges to sharpen them."},
    {kToolSmooth, "Smooth",
     "The Smooth Tool smooths out surface detail by averaging the mesh points under your brush "
     "stroke."},
    {kToolAmplify, "Amplify",
     "The Amplify Tool accentuates surface detail by raising high areas and lowering low areas as "
     "you stroke.\n<p>To reduce surface detail, hold down the <b>${SHORTCUT:Draw "
     "inverse-NoMouse}</b> key as you stroke."},
    {kToolFlatten, "Flatten",
     "The Flatten Tool flattens the surface by moving the vertices under your brush stroke towards "
     "a common plane."},
    {kToolScrape, "Scrape",
     "The Scrape Tool reduces the high areas of the surface, while leaving the lower areas "
     "untouched."},
    {kToolFill, "Fill", "The Fill Tool fills in the valleys on the surface, while leaving the high areas untouched."},
    {kToolWax, "Wax",
     "The Wax Tool builds up the surface, similar to the way adding clay or wax to a sculpture "
     "would."},
    {kToolBulge, "Bulge",
     "The Bulge Tool inflates the area under the brush, by pushing each vertex out along its own "
     "normal."},
    {kToolSpray, "Spray",
     "The Spray Tool should be used with a stamp. It sprays the stamp imprint randomly along your "
     "stroke."},
    {kToolRepeat, "Repeat",
     "The Repeat tool should be used with a stamp. Use it to stroke patterns onto your model. For "
     "example: rivets on the wing of an airplane, zippers, stitching, etc.  The stamp will follow "
     "the direction of the stroke."},
    {kToolKnife, "Knife",
     "The Knife Tool cuts very fine strokes into a model's surface. This tool has its own stamp "
     "image that should not be changed."},
    {kToolFoamy, "Foamy",
     "The Foamy Tool is intended for initial shape forming, rather than for creating fine detail. "
     "It is similar to the Sculpt Tool, but has a softer feel."},
    {kToolImprint, "Imprint",
     "Use the Imprint Tool with a stamp image.\n<p>Press, drag, and release to imprint one copy of "
     "the stamp at a specific location, size, and orientation."},
    {kToolRelax, "Relax", "The Relax Tool is intended for smoothing the surface, without affecting its shape."},
};

const char* const kToolTipTemplate = "<div style=\"background-color:Black; color:White;\">%1</div><p>%2";

}  // namespace

void InitializePlugin() {
    const QString toolTipTemplate = QString::fromUtf8(kToolTipTemplate);
    for (const ToolEntry& tool : kCatalogue) {
        const QString toolTip =
            toolTipTemplate.arg(Tr(tool.name), 0, QLatin1Char(' ')).arg(Tr(tool.help), 0, QLatin1Char(' '));
        tarnix::BrushOperation::AddConfiguration(
            new tarnix::BrushConfiguration(Corvane::StaticClass(), tool.id, QString::fromUtf8(tool.name), Tr(tool.name),
                                           tarnix::BrushConfiguration::kCategorySculpt, toolTip, 0, 0));
        if (tool.id == kToolSmooth)
            s_smoothConfiguration =
                tarnix::BrushOperation::Configuration(tarnix::BrushOperation::ConfigurationCount() - 1);
    }
}

}  // namespace corvane
