#include "velder.h"

#include "tarnix/class_desc.h"
#include "tarnix/plugin.h"

namespace {

// Module-level registrations, constructed on load and destroyed on unload in reverse order.
tarnix::ClassDesc g_velderClass(tarnix::BrushOperation::StaticClass(),
                                tarnix::BrushOperation::StaticClass(), "Velder",
                                "Dynamic tessellation brush", nullptr, 0, 0);
tarnix::Plugin g_velderPlugin("Velder", "Dynamic tessellation sculpting brush",
                              "Corvane developers", "https://corvane.invalid",
                              __DATE__ " " __TIME__, nullptr);

}  // namespace

const tarnix::ClassDesc* Velder::StaticClass() { return &g_velderClass; }

const tarnix::ClassDesc* Velder::GetClass() const { return &g_velderClass; }
