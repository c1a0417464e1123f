#include "tarnix/polygon_mesh.h"

#include <algorithm>
#include <cmath>

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

    // Each face without its repeated corners, in face order: corners, texture corners and the
    // same corners sorted (the face's corner set, which duplicates share).
    std::vector<uint32_t> cornersOf, uvCornersOf, sortedCornersOf;
    std::vector<size_t> faceStart{0};
    cornersOf.reserve(faceVertices.size());
    uvCornersOf.reserve(faceUVs.size());
    sortedCornersOf.reserve(faceVertices.size());
    faceStart.reserve(faceSizes.size() + 1);
    uint32_t facesWithRepeats = 0, repeatedCorners = 0;
    size_t offset = 0;
    for (uint32_t f = 0; f < FaceCount(); ++f) {
        const uint32_t* corners = faceVertices.data() + offset;
        const uint32_t size = faceSizes[f];
        offset += size;
        const size_t first = cornersOf.size();
        for (uint32_t k = 0; k < size; ++k) {
            if (corners[k] >= positions.size())
                Refuse(QStringLiteral("face %1 names vertex %2, but the mesh has %3 vertices")
                           .arg(f)
                           .arg(corners[k])
                           .arg(positions.size()));
            // A corner that repeats the one before it (cyclically) adds nothing.
            if (corners[k] != corners[(k + size - 1) % size]) {
                cornersOf.push_back(corners[k]);
                if (HasUVs()) uvCornersOf.push_back(faceUVs[offset - size + k]);
            }
        }
        const uint32_t kept = uint32_t(cornersOf.size() - first);
        if (kept < size) {
            ++facesWithRepeats;
            repeatedCorners += size - kept;
        }
        sortedCornersOf.insert(sortedCornersOf.end(), cornersOf.begin() + ptrdiff_t(first), cornersOf.end());
        std::sort(sortedCornersOf.begin() + ptrdiff_t(first), sortedCornersOf.end());
        uint32_t distinctCorners = kept ? 1 : 0;
        for (size_t c = first + 1; c < sortedCornersOf.size(); ++c)
            distinctCorners += sortedCornersOf[c] != sortedCornersOf[c - 1];
        if (distinctCorners < 3) Refuse(QStringLiteral("face %1 has fewer than three distinct corners").arg(f));
        if (distinctCorners < kept) Refuse(QStringLiteral("face %1 passes through one of its vertices twice").arg(f));
        faceStart.push_back(cornersOf.size());
    }

    // A face with the corner set of an earlier face repeats it. Ordered by corner set, then by
    // face, each face that follows one with its set is a repeat.
    const uint32_t faceCount = FaceCount();
    const auto cornerSet = [&](uint32_t f) {
        return std::make_pair(sortedCornersOf.begin() + ptrdiff_t(faceStart[f]),
                              sortedCornersOf.begin() + ptrdiff_t(faceStart[f + 1]));
    };
    std::vector<uint32_t> bySet(faceCount);
    for (uint32_t f = 0; f < faceCount; ++f) bySet[f] = f;
    std::sort(bySet.begin(), bySet.end(), [&](uint32_t a, uint32_t b) {
        const auto [aBegin, aEnd] = cornerSet(a);
        const auto [bBegin, bEnd] = cornerSet(b);
        if (aEnd - aBegin != bEnd - bBegin) return aEnd - aBegin < bEnd - bBegin;
        const auto [aAt, bAt] = std::mismatch(aBegin, aEnd, bBegin);
        return aAt != aEnd ? *aAt < *bAt : a < b;
    });
    std::vector<bool> repeat(faceCount, false);
    uint32_t duplicateFaces = 0;
    for (uint32_t i = 1; i < faceCount; ++i) {
        const auto [begin, end] = cornerSet(bySet[i]);
        const auto [previousBegin, previousEnd] = cornerSet(bySet[i - 1]);
        if (std::equal(begin, end, previousBegin, previousEnd)) {
            repeat[bySet[i]] = true;
            ++duplicateFaces;
        }
    }
    std::vector<uint32_t>().swap(bySet);
    std::vector<uint32_t>().swap(sortedCornersOf);

    // The cleaned mesh is kept as the hierarchy's base for as long as the mesh is open: sized
    // for everything up front, it holds no room to grow.
    PolygonMesh result;
    result.uvs = uvs;
    result.positions.reserve(positions.size());
    result.faceSizes.reserve(faceCount - duplicateFaces);
    result.faceVertices.reserve(cornersOf.size());
    result.faceUVs.reserve(uvCornersOf.size());
    result.faceTags.reserve(faceTags.empty() ? 0 : faceCount - duplicateFaces);
    for (uint32_t f = 0; f < faceCount; ++f) {
        if (repeat[f]) continue;
        const auto first = ptrdiff_t(faceStart[f]), last = ptrdiff_t(faceStart[f + 1]);
        result.faceSizes.push_back(uint32_t(last - first));
        result.faceVertices.insert(result.faceVertices.end(), cornersOf.begin() + first, cornersOf.begin() + last);
        if (HasUVs())
            result.faceUVs.insert(result.faceUVs.end(), uvCornersOf.begin() + first, uvCornersOf.begin() + last);
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
