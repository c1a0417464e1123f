// The framework's own class descriptors. They live in one translation unit so that they are
// registered in this order when the framework library loads, before any plug-in module (which
// names them as parents) is loaded.

#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/node.h"

namespace tarnix {
namespace {

ClassDesc g_nodeClass(nullptr, nullptr, "Node", "Node", nullptr, 0, 0);
ClassDesc g_treeNodeClass(&g_nodeClass, &g_nodeClass, "TreeNode", "Tree node", nullptr, 0, 0);
ClassDesc g_brushOperationClass(&g_nodeClass, &g_nodeClass, "BrushOperation", "Brush operation",
                                nullptr, 0, 0);

}  // namespace

const ClassDesc* Node::StaticClass() { return &g_nodeClass; }
const ClassDesc* TreeNode::StaticClass() { return &g_treeNodeClass; }
const ClassDesc* BrushOperation::StaticClass() { return &g_brushOperationClass; }

}  // namespace tarnix
