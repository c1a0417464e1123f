// Geometry's stored form: everything that makes the geometry what it is now, so that a loaded
// one is the same bit for bit: the base polygons it was made from, its placement, and every
// level as it stands (faces, positions, normals, freeze, face flags, texture coordinates and
// sculpt layers). Levels are stored, not refined again on loading: sculpted levels are not
// what refinement would make, and a tessellating brush may have rewired level 0. The undo
// history is not stored; a loaded geometry starts without one.
//
// Loading checks what it reads before it trusts it: every count against the bytes left, every
// corner against its level's vertices, every texture-coordinate corner against its values,
// the sizes that must agree (layers and normals per vertex, flags per face); a fault throws a
// tarnix::Error (code kCodeStream) and leaves nothing half made.

#include <cstring>

#include "tarnix/error.h"
#include "tarnix/geometry.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/stream.h"

namespace tarnix {
namespace {

[[noreturn]] void Malformed(const QString& text) {
    Error::Raise(Error::kCodeStream, "Geometry::Serialize", "framework/src/geometry_stored_form.cpp", 0,
                 QStringLiteral("malformed geometry: %1").arg(text));
}

// A count of elements of `size` bytes that follow: stored as it is, checked against the bytes
// left when loading, so that no allocation is made for data that is not there.
uint32_t ExchangeCount(Stream& stream, size_t count, size_t size, const char* what) {
    uint32_t stored = uint32_t(count);
    stream.Exchange(stored);
    if (stream.IsLoading() && uint64_t(stored) * size > uint64_t(stream.Remaining()))
        Malformed(QStringLiteral("the data ends before its %1 %2 (%3 bytes left): it is cut short or damaged")
                      .arg(stored)
                      .arg(QString::fromUtf8(what))
                      .arg(stream.Remaining()));
    return stored;
}

template <typename T>
void ExchangeVector(Stream& stream, std::vector<T>& values, const char* what) {
    const uint32_t count = ExchangeCount(stream, values.size(), sizeof(T), what);
    if (stream.IsLoading()) values.resize(count);
    stream.ExchangeBytes(values.data(), qsizetype(count * sizeof(T)), what);
}

template <typename T>
void ExchangeStore(Stream& stream, Store<T>& store, const char* what) {
    const uint32_t count = ExchangeCount(stream, store.Count(), sizeof(T), what);
    if (stream.IsLoading()) {
        if (!store.Reserve(count)) throw &Error::s_cBadAlloc;
        store.SetCount(count);
    }
    stream.ExchangeBytes(store.Data(), qsizetype(count) * qsizetype(sizeof(T)), what);
}

void ExchangeVector3(Stream& stream, Vector& v) {
    stream.Exchange(v.x);
    stream.Exchange(v.y);
    stream.Exchange(v.z);
}

void ExchangePolygons(Stream& stream, PolygonMesh& polygons) {
    ExchangeVector(stream, polygons.positions, "base positions");
    ExchangeVector(stream, polygons.faceSizes, "base face sizes");
    ExchangeVector(stream, polygons.faceVertices, "base corners");
    ExchangeVector(stream, polygons.uvs, "base texture coordinates");
    ExchangeVector(stream, polygons.faceUVs, "base texture-coordinate corners");
    ExchangeVector(stream, polygons.faceTags, "base face tags");
}

void ExchangeUVs(Stream& stream, FaceVaryingUVs& uvs) {
    ExchangeVector(stream, uvs.values, "texture coordinates");
    ExchangeVector(stream, uvs.corners, "texture-coordinate corners");
    for (uint32_t corner : uvs.corners)
        if (corner >= uvs.values.size())
            Malformed(QStringLiteral("a texture-coordinate corner names %1 of %2").arg(corner).arg(uvs.values.size()));
}

}  // namespace

void Geometry::Serialize(Stream& stream) {
    if (stream.IsLoading() && !m_levels.empty()) Malformed(QStringLiteral("loaded into a geometry that has levels"));
    ExchangePolygons(stream, m_basePolygons);
    ExchangeVector(stream, m_firstQuadOfPolygon, "polygon quads");
    stream.Exchange(m_baseFacesFingerprint);

    Vector scale = m_transformation.Scale(), translation = m_transformation.Translation();
    Matrix rotation = m_transformation.Rotation();
    ExchangeVector3(stream, scale);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) stream.Exchange(rotation[row][column]);
    ExchangeVector3(stream, translation);
    if (stream.IsLoading()) {
        m_transformation.SetScale(scale);
        m_transformation.SetRotation(rotation);
        m_transformation.SetTranslation(translation);
    }

    uint32_t levelCount = LevelCount();
    stream.Exchange(levelCount);
    if (stream.IsLoading() && (levelCount == 0 || levelCount > 16))
        Malformed(QStringLiteral("%1 levels").arg(levelCount));
    for (uint32_t i = 0; i < levelCount; ++i) {
        // Storing reads the level; loading builds it from what it reads, then adds it.
        std::unique_ptr<SubdivisionLevel> made;
        SubdivisionLevel* level =
            stream.IsStoring() ? m_levels[i] : (made = std::make_unique<SubdivisionLevel>()).get();
        uint32_t kind = level->m_faceKind;
        stream.Exchange(kind);
        if (kind != Mesh::kQuads && kind != Mesh::kTriangles) Malformed(QStringLiteral("face kind %1").arg(kind));
        Store<uint32_t> corners("mesh corners");
        Store<uint32_t>& cornersExchanged = stream.IsStoring() ? level->m_cornerIndices : corners;
        ExchangeStore(stream, cornersExchanged, "corners");
        // Whole records, as they lie: loading takes the position and the freeze of each (the
        // undo slot means nothing outside the session that wrote it).
        Store<VertexRecord> records("mesh vertices");
        ExchangeStore(stream, stream.IsStoring() ? level->m_vertices : records, "vertices");
        if (stream.IsLoading()) {
            if (corners.Count() == 0 || records.Count() == 0)
                Malformed(QStringLiteral("level %1 has %2 corners and %3 vertices")
                              .arg(i)
                              .arg(corners.Count())
                              .arg(records.Count()));
            // SetTopology checks the corners against the vertices.
            std::vector<float> positions(size_t(records.Count()) * 3);
            for (uint32_t v = 0; v < records.Count(); ++v)
                std::memcpy(&positions[3 * size_t(v)], records[v].position, 12);
            level->SetTopology(Mesh::FaceKind(kind), corners, positions.data(), records.Count());
            for (uint32_t v = 0; v < records.Count(); ++v)
                level->SetFreeze(v, records[v].freeze & Mesh::kFreezeStrengthMask);
        }
        Store<PackedNormal> normals("mesh normals");
        ExchangeStore(stream, stream.IsStoring() ? level->m_normals : normals, "normals");
        Store<uint8_t> flags("mesh face flags");
        ExchangeStore(stream, stream.IsStoring() ? level->m_faceFlags : flags, "face flags");
        if (stream.IsLoading()) {
            if (normals.Count() != level->VertexCount() || flags.Count() != level->m_faceCount)
                Malformed(QStringLiteral("level %1: %2 normals and %3 face flags for %4 vertices and %5 faces")
                              .arg(i)
                              .arg(normals.Count())
                              .arg(flags.Count())
                              .arg(level->VertexCount())
                              .arg(level->m_faceCount));
            std::memcpy(level->m_normals.Data(), normals.Data(), size_t(normals.Count()) * sizeof(PackedNormal));
            std::memcpy(level->m_faceFlags.Data(), flags.Data(), flags.Count());
        }

        FaceVaryingUVs uvs = stream.IsStoring() ? m_uvs[i] : FaceVaryingUVs();
        ExchangeUVs(stream, uvs);
        if (stream.IsLoading() && !uvs.corners.empty() && uvs.corners.size() != level->m_cornerIndices.Count())
            Malformed(QStringLiteral("level %1: %2 texture-coordinate corners for %3 corners")
                          .arg(i)
                          .arg(uvs.corners.size())
                          .arg(level->m_cornerIndices.Count()));

        uint32_t layerCount = level->LayerCount(), activeLayer = level->m_activeLayer;
        stream.Exchange(layerCount);
        stream.Exchange(activeLayer);
        if (stream.IsLoading() && layerCount > 1024)
            Malformed(QStringLiteral("level %1: %2 layers").arg(i).arg(layerCount));
        for (uint32_t k = 0; k < layerCount; ++k) {
            const SculptLayer* stored = stream.IsStoring() ? level->Layer(k) : nullptr;
            QString name = stored ? stored->Name() : QString();
            float strength = stored ? stored->Strength() : 1.0f;
            bool locked = stored && stored->IsLocked();
            std::vector<Vector> offsets;
            if (stored)
                for (uint32_t v = 0; v < level->VertexCount(); ++v) offsets.push_back(stored->Offset(v));
            stream.Exchange(name);
            stream.Exchange(strength);
            stream.Exchange(locked);
            ExchangeVector(stream, offsets, "layer offsets");
            if (stream.IsStoring()) continue;
            // Made only once its offsets are read: a layer costs an offset per vertex.
            if (offsets.size() != level->VertexCount())
                Malformed(QStringLiteral("level %1, layer %2: %3 offsets for %4 vertices")
                              .arg(i)
                              .arg(k)
                              .arg(offsets.size())
                              .arg(level->VertexCount()));
            SculptLayer* layer = level->AddLayer(name);
            layer->RestoreStrength(strength);
            layer->SetLocked(locked);
            for (uint32_t v = 0; v < level->VertexCount(); ++v) layer->SetOffset(v, offsets[v]);
        }
        if (stream.IsLoading()) {
            level->SetActiveLayer(activeLayer);
            level->UpdateBoundingBox(AxisAlignedBoundingBox());
            AddLevel(made.release(), std::move(uvs));
        }
    }
}

}  // namespace tarnix
