#include "tarnix/node_array.h"

#include "tarnix/node.h"

namespace tarnix {

void DestroyNodeArray(Node* first) {
    if (!first) return;
    // dynamic_cast to void* finds the start of the first element, just after the header.
    auto* header = static_cast<node_array_detail::Header*>(dynamic_cast<void*>(first)) - 1;
    // The Node part lies at the same offset in every element, so stepping the Node pointer
    // by the element size reaches each element's Node part.
    char* firstNode = reinterpret_cast<char*>(first);
    for (uint64_t i = header->count; i-- > 0;) reinterpret_cast<Node*>(firstNode + i * header->elementSize)->~Node();
    ::operator delete(header, std::align_val_t(16));
}

}  // namespace tarnix
