#include "patch/patch_map.h"

#include <algorithm>

#include "host/crash_guard.h"
#include "host/errors.h"
#include "tarnix/mesh.h"
#include "tarnix/node_array.h"
#include "tarnix/stream.h"

using corvane::EntryGuard;

tarnix::Node* PatchMap::Create(uint32_t count) {
    if (count < 2) {
        auto* map = new PatchMap;
        map->Initialize();
        return map;
    }
    PatchMap* maps = tarnix::CreateNodeArray<PatchMap>(count);
    for (uint32_t i = 0; i < count; ++i) maps[i].Initialize();
    return maps;
}

void PatchMap::OnLinked() {
    const EntryGuard guard(corvane::kGuardPatchMapOnLinked);
    tarnix::TreeNode* parent = Parent();
    if (!parent) return;
    auto* mesh = dynamic_cast<tarnix::Mesh*>(parent);
    if (!mesh) corvane::RaiseError("PatchMap::OnLinked", 3363, QStringLiteral("Wrong parrent for PatchMap class"));

    // A larger table replaces the old one; a smaller one reuses it.
    const uint64_t needed = uint64_t(mesh->m_faceCount) * kSlotsPerFace;
    if (needed > m_neighbourFaces.Count()) {
        m_neighbourFaces.Release();
        if (needed > UINT32_MAX || !m_neighbourFaces.Reserve(uint32_t(needed))) return;
    }
    m_neighbourFaces.SetCount(uint32_t(needed));
    std::fill(m_neighbourFaces.begin(), m_neighbourFaces.end(), kNone);

    // Rows are read as quads: the map is only made for all-quad meshes.
    for (uint32_t face = 0; face < mesh->m_faceCount; ++face) {
        m_currentFace = face;
        const uint32_t* corners = mesh->m_cornerIndices.Data() + 4 * size_t(face);
        for (uint32_t corner = 0; corner < 4; ++corner) mesh->EnumerateAdjacentVertices(this, corners[corner], face);
    }
}

void PatchMap::Serialize(tarnix::Stream& stream) {
    const EntryGuard guard(corvane::kGuardPatchMapSerialize);
    tarnix::TreeNode::Serialize(stream);
    if (!stream.IsVersionAtLeast(kTableStreamVersion)) return;
    if (stream.IsStoring()) stream.WriteStore(m_neighbourFaces);
    else stream.ReadStore(m_neighbourFaces);
}

void PatchMap::Operator(uint32_t /*vertex*/, uint32_t face) {
    const uint64_t rowStart = uint64_t(m_currentFace) * kSlotsPerFace;
    if (rowStart + kSlotsPerFace > m_neighbourFaces.Count()) return;
    uint32_t* row = m_neighbourFaces.Data() + rowStart;
    for (uint32_t slot = 0; slot < kSlotsPerFace; ++slot) {
        if (row[slot] == face) return;
        if (row[slot] == kNone) {
            row[slot] = face;
            return;
        }
    }
}
