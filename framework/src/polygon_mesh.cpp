#include "tarnix/polygon_mesh.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "tarnix/error.h"

namespace tarnix {
namespace {

[[noreturn]] void Refuse(const QString& text) {
    Error::Raise(Error::kCodeInvalidArgument, "tarnix::PolygonMesh::Cleaned", "framework/src/polygon_mesh.cpp",
                 __LINE__, text);
}

// The subdivision library counts a face's corners and a vertex's faces in 16 bits.
constexpr uint32_t kMostCorners = 65535;

}  // namespace

bool PolygonMesh::IsAllQuads() const {
    return std::all_of(faceSizes.begin(), faceSizes.end(), [](uint32_t size) { return size == 4; });
}

PolygonMesh PolygonMesh::Cleaned(QStringList& changes) const {
    if (faceSizes.empty()) Refuse(QStringLiteral("the mesh has no faces"));
    for (size_t v = 0; v < positions.size(); ++v) {
        const Vector& p = positions[v];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            Refuse(QStringLiteral("vertex %1 has a coordinate that is not a finite number").arg(v));
    }
    uint64_t cornerTotal = 0;
    for (size_t f = 0; f < faceSizes.size(); ++f) {
        if (faceSizes[f] > kMostCorners)
            Refuse(QStringLiteral("face %1 has %2 corners, more than the %3 a face may have")
                       .arg(f)
                       .arg(faceSizes[f])
                       .arg(kMostCorners));
        cornerTotal += faceSizes[f];
    }
    if (cornerTotal != faceVertices.size())
        Refuse(QStringLiteral("the faces name %1 corners, but %2 are given").arg(cornerTotal).arg(faceVertices.size()));
    if (HasUVs() && faceUVs.size() != faceVertices.size())
        Refuse(QStringLiteral("the faces name %1 corners, but %2 texture coordinate corners are given")
                   .arg(faceVertices.size())
                   .arg(faceUVs.size()));
    for (size_t c = 0; c < faceUVs.size(); ++c)
        if (faceUVs[c] >= uvs.size())
            Refuse(QStringLiteral("a face names texture coordinate %1, but the mesh has %2")
                       .arg(faceUVs[c])
                       .arg(uvs.size()));
    for (size_t t = 0; t < uvs.size(); ++t)
        if (!std::isfinite(uvs[t].u) || !std::isfinite(uvs[t].v))
            Refuse(QStringLiteral("texture coordinate %1 is not a finite number").arg(t));
    if (!faceTags.empty() && faceTags.size() != faceSizes.size())
        Refuse(QStringLiteral("%1 faces, but %2 face tags").arg(faceSizes.size()).arg(faceTags.size()));

    // The cleaned mesh is kept as the hierarchy's base for as long as the mesh is open: sized
    // for everything up front, it holds no room to grow.
    PolygonMesh result;
    result.uvs = uvs;
    result.positions.reserve(positions.size());
    result.faceSizes.reserve(faceSizes.size());
    result.faceVertices.reserve(faceVertices.size());
    result.faceUVs.reserve(faceUVs.size());
    result.faceTags.reserve(faceTags.size());
    uint32_t facesWithRepeats = 0, repeatedCorners = 0, duplicateFaces = 0;
    std::map<std::vector<uint32_t>, uint32_t> seenFaces;
    size_t offset = 0;
    for (uint32_t f = 0; f < FaceCount(); ++f) {
        const uint32_t* corners = faceVertices.data() + offset;
        const uint32_t size = faceSizes[f];
        offset += size;
        std::vector<uint32_t> face, faceUV;
        for (uint32_t k = 0; k < size; ++k) {
            if (corners[k] >= positions.size())
                Refuse(QStringLiteral("face %1 names vertex %2, but the mesh has %3 vertices")
                           .arg(f)
                           .arg(corners[k])
                           .arg(positions.size()));
            // A corner that repeats the one before it (cyclically) adds nothing.
            if (corners[k] != corners[(k + size - 1) % size]) {
                face.push_back(corners[k]);
                if (HasUVs()) faceUV.push_back(faceUVs[offset - size + k]);
            }
        }
        if (face.size() < size) {
            ++facesWithRepeats;
            repeatedCorners += size - uint32_t(face.size());
        }
        std::vector<uint32_t> sorted = face;
        std::sort(sorted.begin(), sorted.end());
        const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
        if (std::unique(sorted.begin(), sorted.end()) - sorted.begin() < 3)
            Refuse(QStringLiteral("face %1 has fewer than three distinct corners").arg(f));
        if (!distinct) Refuse(QStringLiteral("face %1 passes through one of its vertices twice").arg(f));
        if (!seenFaces.emplace(sorted, f).second) {
            ++duplicateFaces;
            continue;
        }
        result.faceSizes.push_back(uint32_t(face.size()));
        result.faceVertices.insert(result.faceVertices.end(), face.begin(), face.end());
        result.faceUVs.insert(result.faceUVs.end(), faceUV.begin(), faceUV.end());
        if (!faceTags.empty()) result.faceTags.push_back(faceTags[f]);
    }

    std::vector<uint32_t> facesAround(positions.size(), 0);
    for (uint32_t v : result.faceVertices)
        if (++facesAround[v] > kMostCorners)
            Refuse(QStringLiteral("vertex %1 is a corner of more than the %2 faces a vertex may have")
                       .arg(v)
                       .arg(kMostCorners));

    // Keep only the vertices that faces use, in their order.
    std::vector<uint32_t> renumber(positions.size(), UINT32_MAX);
    for (uint32_t v : result.faceVertices) renumber[v] = 0;
    for (size_t v = 0; v < positions.size(); ++v)
        if (renumber[v] == 0) {
            renumber[v] = uint32_t(result.positions.size());
            result.positions.push_back(positions[v]);
        }
    for (uint32_t& v : result.faceVertices) v = renumber[v];

    if (facesWithRepeats)
        changes
            << QStringLiteral("removed %1 repeated corners from %2 faces").arg(repeatedCorners).arg(facesWithRepeats);
    if (duplicateFaces)
        changes << QStringLiteral("dropped %1 faces that repeat the corners of another face").arg(duplicateFaces);
    if (result.positions.size() < positions.size())
        changes
            << QStringLiteral("dropped %1 vertices that no face uses").arg(positions.size() - result.positions.size());
    return result;
}

}  // namespace tarnix
