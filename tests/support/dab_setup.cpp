#include "dab_setup.h"

#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"

namespace dab_setup {

std::unique_ptr<Corvane> MakeBrush(uint32_t toolId) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    auto brush = std::make_unique<Corvane>();
    brush->SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), toolId));
    return brush;
}

tarnix::StrokeReport Stroke(Corvane& brush, tarnix::SubdivisionLevel& level, const std::vector<tarnix::Vector>& path,
                            float size, float strength) {
    tarnix::StrokeOptions options;
    options.size = size;
    options.strength = strength;
    return tarnix::StrokeDriver(brush).Run(level, path, options);
}

}  // namespace dab_setup
