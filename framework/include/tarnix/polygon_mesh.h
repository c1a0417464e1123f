#pragma once
// tarnix::PolygonMesh: a polygon mesh as it arrives from a file or a program, before the host
// makes a subdivision hierarchy of it; and the check that decides what the host accepts.
//
// What cannot be made sound is refused with a tarnix::Error naming the first offence: no
// faces, a corner index out of range, a coordinate that is not finite, a face with fewer
// than three distinct corners. Harmless flaws are cleaned, and every cleaning is reported:
// repeated corners within a face (a, a, b, c becomes a, b, c), faces repeating another face's
// corners (dropped), vertices no face uses (dropped, the rest renumbered).
//
// Two kinds of data ride along with the faces and follow every cleaning: texture coordinates,
// given per face corner (face-varying: a vertex on a UV seam has one coordinate per side), and
// a tag per face that the program reading the file gives meaning to (its groups and
// materials). Both are optional; when given, their sizes must match the faces.

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "tarnix/math/vector.h"

namespace tarnix {

struct TextureCoordinate {
    float u = 0.0f, v = 0.0f;
};

struct PolygonMesh {
    std::vector<Vector> positions;
    /// Corner count of each face.
    std::vector<uint32_t> faceSizes;
    /// Vertex indices of all faces, face after face.
    std::vector<uint32_t> faceVertices;
    /// Texture coordinates; faceUVs names one per corner, parallel to faceVertices (empty: the
    /// mesh has none).
    std::vector<TextureCoordinate> uvs;
    std::vector<uint32_t> faceUVs;
    /// One tag per face (empty: none).
    std::vector<uint32_t> faceTags;

    uint32_t FaceCount() const { return uint32_t(faceSizes.size()); }
    bool IsAllQuads() const;
    bool HasUVs() const { return !faceUVs.empty(); }

    /// @brief The mesh cleaned as described above; each cleaning adds a line to `changes`.
    /// Throws tarnix::Error* for what cannot be accepted.
    PolygonMesh Cleaned(QStringList& changes) const;
};

}  // namespace tarnix
