// The framework's own class descriptors. They live in one translation unit so that they are
// registered in this order when the framework library loads, before any plug-in module (which
// names them as parents) is loaded.

#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/geometry.h"
#include "tarnix/image.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/node.h"
#include "tarnix/scene.h"
#include "tarnix/subdivision_level.h"

namespace tarnix {
namespace {

ClassDesc g_nodeClass(nullptr, nullptr, "Node", "Node", nullptr, 0, 0);
ClassDesc g_treeNodeClass(&g_nodeClass, &g_nodeClass, "TreeNode", "Tree node", nullptr, 0, 0);
ClassDesc g_brushOperationClass(&g_nodeClass, &g_nodeClass, "BrushOperation", "Brush operation", nullptr, 0, 0);

template <class T>
Node* CreateOne(uint32_t) {
    auto* node = new T;
    node->Initialize();
    return node;
}

ClassDesc g_meshClass(&g_treeNodeClass, &g_treeNodeClass, "Mesh", "Mesh", &CreateOne<Mesh>, 0, 0);
ClassDesc g_subdivisionLevelClass(&g_meshClass, &g_meshClass, "SubdivisionLevel", "Subdivision level",
                                  &CreateOne<SubdivisionLevel>, 0, 0);
ClassDesc g_geometryClass(&g_treeNodeClass, &g_treeNodeClass, "Geometry", "Geometry", &CreateOne<Geometry>, 0, 0);
ClassDesc g_imageClass(&g_nodeClass, &g_nodeClass, "Image", "Image", nullptr, 0, 0);
ClassDesc g_sceneClass(&g_treeNodeClass, &g_treeNodeClass, "Scene", "Scene", nullptr, 0, 0);
ClassDesc g_curveClass(&g_treeNodeClass, &g_treeNodeClass, "TarnixCurve", "Curve", &CreateOne<TarnixCurve>, 0, 0);
ClassDesc g_meshRendererClass(&g_treeNodeClass, &g_treeNodeClass, "MeshRenderer", "Mesh renderer",
                              &CreateOne<MeshRenderer>, 0, 0);

}  // namespace

const ClassDesc* Node::StaticClass() { return &g_nodeClass; }
const ClassDesc* TreeNode::StaticClass() { return &g_treeNodeClass; }
const ClassDesc* BrushOperation::StaticClass() { return &g_brushOperationClass; }
const ClassDesc* Mesh::StaticClass() { return &g_meshClass; }
const ClassDesc* Mesh::GetClass() const { return &g_meshClass; }
const ClassDesc* SubdivisionLevel::StaticClass() { return &g_subdivisionLevelClass; }
const ClassDesc* SubdivisionLevel::GetClass() const { return &g_subdivisionLevelClass; }
const ClassDesc* Geometry::StaticClass() { return &g_geometryClass; }
const ClassDesc* Geometry::GetClass() const { return &g_geometryClass; }
const ClassDesc* Image::StaticClass() { return &g_imageClass; }
const ClassDesc* Image::GetClass() const { return &g_imageClass; }
const ClassDesc* Scene::StaticClass() { return &g_sceneClass; }
const ClassDesc* Scene::GetClass() const { return &g_sceneClass; }
const ClassDesc* TarnixCurve::StaticClass() { return &g_curveClass; }
const ClassDesc* TarnixCurve::GetClass() const { return &g_curveClass; }
const ClassDesc* MeshRenderer::StaticClass() { return &g_meshRendererClass; }
const ClassDesc* MeshRenderer::GetClass() const { return &g_meshRendererClass; }

}  // namespace tarnix
