// Velder: the class, its settings and stored form, the stroke's bookkeeping and the vertex
// record store. The tessellator is in velder_tessellator.cpp.

#include "velder.h"

#include "tarnix/block.h"
#include "tarnix/class_desc.h"
#include "tarnix/mesh.h"
#include "tarnix/plugin.h"
#include "tarnix/stream.h"

namespace {

// Module-level registrations, constructed on load and destroyed on unload in reverse order.
tarnix::ClassDesc g_velderClass(tarnix::BrushOperation::StaticClass(), tarnix::BrushOperation::StaticClass(), "Velder",
                                "Dynamic tessellation brush", nullptr, 0, 0);
tarnix::Plugin g_velderPlugin("Velder", "Dynamic tessellation sculpting brush", "Corvane developers",
                              "https://corvane.invalid", __DATE__ " " __TIME__, nullptr);

}  // namespace

// ---- record store ------------------------------------------------------------------------------

void VertexRecordStore::Reset(uint32_t vertexCount) {
    for (uint8_t* page : m_pages) tarnix::Block::AlignedFree(page);
    m_pages.clear();
    m_count = 0;
    m_active = vertexCount > 0 && m_index.Assign(vertexCount, kNone);
    if (!m_active) m_index.Release();
}

bool VertexRecordStore::Grow(uint32_t vertexCount) {
    while (m_index.Count() < vertexCount)
        if (!m_index.Append(kNone)) return false;
    return true;
}

uint8_t* VertexRecordStore::AppendRecord() {
    while ((m_count >> kPageShift) >= m_pages.size()) {
        auto* page = static_cast<uint8_t*>(tarnix::Block::AlignedAlloc(kPageSize * kRecordBytes, kAlignment));
        if (!page) return nullptr;
        m_pages.push_back(page);
    }
    return Record(m_count++);
}

// ---- Velder ------------------------------------------------------------------------------------

Velder::Velder()
    : m_dynamicTessellationAttr(this, QStringLiteral("dynamictessellation"), &m_dynamicTessellation),
      m_refineModeAttr(this, QStringLiteral("refinemode"), 0),
      m_refineIntervalAttr(this, QStringLiteral("refineinterval"), 1) {
    m_refineModeAttr.DeclareRange(0, 1);
    m_refineIntervalAttr.DeclareRange(1, 1000);
}

Velder::~Velder() = default;

const tarnix::ClassDesc* Velder::StaticClass() { return &g_velderClass; }

const tarnix::ClassDesc* Velder::GetClass() const { return &g_velderClass; }

void Velder::Serialize(tarnix::Stream& stream) {
    tarnix::BrushOperation::Serialize(stream);
    m_dynamicTessellationAttr.Serialize(stream);
    m_refineModeAttr.Serialize(stream);
    m_refineIntervalAttr.Serialize(stream);
    stream.Exchange(m_facingFalloffStart);
    stream.Exchange(m_facingFalloffWidth);
}

Velder& Velder::operator=(const tarnix::BrushOperation& source) {
    tarnix::BrushOperation::operator=(source);
    if (const auto* velder = dynamic_cast<const Velder*>(&source)) {
        m_dynamicTessellationAttr.SetValue(velder->m_dynamicTessellation, true);
        m_refineModeAttr.SetValue(velder->m_refineModeAttr.Value(), true);
        m_refineIntervalAttr.SetValue(velder->m_refineIntervalAttr.Value(), true);
        m_facingFalloffStart = velder->m_facingFalloffStart;
        m_facingFalloffWidth = velder->m_facingFalloffWidth;
    }
    return *this;
}

void Velder::SetActiveConfiguration(tarnix::BrushConfiguration* configuration) {
    tarnix::BrushOperation::SetActiveConfiguration(configuration);
}

void Velder::EnableOptions() {
    if (m_dynamicTessellation) return;
    for (tarnix::Attribute* attribute :
         {static_cast<tarnix::Attribute*>(&m_refineModeAttr), static_cast<tarnix::Attribute*>(&m_refineIntervalAttr),
          static_cast<tarnix::Attribute*>(&m_adaptiveRefineAttr),
          static_cast<tarnix::Attribute*>(&m_curvatureRefineAttr)})
        attribute->SetVisible(false);
}

void Velder::BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) {
    tarnix::BrushOperation::BeginStroke(mesh, modifier, trigger);
    m_records.Reset(mesh && m_dynamicTessellation ? mesh->VertexCount() : 0);
    m_collectedFaces.clear();
    m_strokeMesh = mesh;
}

void Velder::EndStroke() {
    tarnix::BrushOperation::EndStroke();
    // The brush leaves the change of a tessellated mesh open; it is committed here, faces
    // and moves as one undoable step.
    if (MeshEditable(m_strokeMesh)) {
        if (m_facesRemoved) m_strokeMesh->DropCollapsedFaces();
        m_strokeMesh->EndOfChange(true, false);
    }
    m_facesRemoved = false;
    m_strokeMesh = nullptr;
    m_tessellationChange = nullptr;
    m_records.Reset(0);
    m_collectedFaces.clear();
    m_tessellationPoint = tarnix::SurfacePoint();
}

bool Velder::Tester(tarnix::Mesh* mesh, uint32_t face) {
    return mesh && face < mesh->m_faceCount && (mesh->m_faceFlags[face] & tarnix::Mesh::kFaceSculptable);
}
