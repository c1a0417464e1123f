#include "brush/corvane.h"
#include "tarnix/node_array.h"

tarnix::Node* CreateCorvane(uint32_t count) {
    if (count <= 1) {
        auto* brush = new Corvane;
        brush->Initialize();
        return brush;
    }
    // Each element is constructed first, then each is initialized, in order.
    Corvane* brushes = tarnix::CreateNodeArray<Corvane>(count);
    for (uint32_t i = 0; i < count; ++i) brushes[i].Initialize();
    return brushes;
}
