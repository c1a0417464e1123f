#include "patch/patch_map.h"

#include "host/crash_guard.h"
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
