// Inflate: a brush module of its own, built against the installed Corvane SDK. The brush
// derives from Velder, the host's base brush, and is registered with one preset, "Inflate":
// each dab pushes the vertices inside it out along their normals, most at the centre.
//
// It is kept small on purpose: it walks every vertex of the mesh per dab, measures the dab's
// radius in the mesh's own units and leaves sculpt layers alone (strokes go into the base).

#include <cmath>

#include "tarnix/brush_configuration.h"
#include "tarnix/class_desc.h"
#include "tarnix/mesh.h"
#include "tarnix/mesh_change.h"
#include "tarnix/plugin.h"
#include "tarnix/surface_point.h"
#include "velder.h"

namespace {

class InflateBrush : public Velder {
public:
    const tarnix::ClassDesc* GetClass() const override;

    void BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) override {
        Velder::BeginStroke(mesh, modifier, trigger);
        m_mesh = mesh;
    }

    void ApplyDab(const tarnix::SurfacePoint* point, const tarnix::Vector*, float size, float dabFactor, float strength,
                  tarnix::AxisAlignedBoundingBox& changedArea) override {
        tarnix::Mesh& mesh = *point->m_mesh;
        tarnix::MeshChange* change = mesh.CurrentChange();
        const tarnix::Vector centre = point->LocalPosition();
        for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
            const tarnix::Vector p = mesh.VertexPosition(v);
            const float distance = (p - centre).Length() / size;
            if (distance >= 1.0f || (mesh.m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask)) continue;
            // The vertex's state before the stroke first moved it, for undo.
            if (!change->Find(v)) change->Add_uncached(v, point->m_face, &mesh.m_vertices[v], false, 0.0f);
            const float weight = 0.5f * (1.0f + std::cos(3.14159265f * distance));  // smooth falloff
            mesh.SetVertexPosition(v, p + mesh.VertexNormal(v) * (0.01f * strength * dabFactor * weight * size));
            changedArea.Extend(p);
        }
        mesh.RecomputeNormals();
    }

    void EndStroke() override {
        Velder::EndStroke();
        if (m_mesh) m_mesh->EndOfChange(true, false);
        m_mesh = nullptr;
    }

private:
    tarnix::Mesh* m_mesh = nullptr;
};

tarnix::Node* CreateInflateBrush(uint32_t) {
    auto* brush = new InflateBrush;
    brush->Initialize();
    return brush;
}

// The class and the plug-in record register while the module loads and leave, in reverse order
// and with the preset, while it unloads.
tarnix::ClassDesc g_inflateClass(Velder::StaticClass(), Velder::StaticClass(), "InflateBrush", "Inflate Brush",
                                 &CreateInflateBrush, 0, 1);

void AddPreset() {
    tarnix::BrushOperation::AddConfiguration(new tarnix::BrushConfiguration(
        &g_inflateClass, 0, QStringLiteral("Inflate"), QStringLiteral("Inflate"),
        tarnix::BrushConfiguration::kCategorySculpt, QStringLiteral("Pushes the surface out along its normals"), 0, 0));
}

tarnix::Plugin g_plugin("Inflate", "Example brush built against the Corvane SDK", "Corvane developers",
                        "https://corvane.invalid", __DATE__, &AddPreset);

const tarnix::ClassDesc* InflateBrush::GetClass() const { return &g_inflateClass; }

}  // namespace
