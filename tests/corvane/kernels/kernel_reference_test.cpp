#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "brush/tools.h"
#include "builtin_shapes.h"
#include "dab_setup.h"
#include "kernels/kernel_index.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

// Every one of the 1024 patch kernels, reached through the patch tester the way the host's face
// enumeration reaches it, against a slow reference written here from the brush's rules: the
// positions, normals and undo entries a dab leaves, vertex by vertex, the order in which the
// undo record gains its entries and renderers hear of moved vertices. The reference knows
// nothing of the kernels' grids, scratch or frame; it walks each patch's vertices in grid
// order with the level's own topology. It runs on a closed mesh with small patches, on the
// same mesh with patches deep enough for the kernels to keep their records in memory order,
// and on an open mesh, whose patches border on nothing along its edges.

namespace {

using corvane::Family;
using tarnix::Vector;

constexpr float kUnpack = 3.051851e-5f;  // packed normal to float

// The patches' size: 2^depth quads along a side.
struct Layout {
    explicit Layout(uint32_t patchDepth) : depth(patchDepth), n(1u << patchDepth), side(n + 1) {}
    uint32_t depth;
    uint32_t n;     // quads along a patch side
    uint32_t side;  // vertices along a patch side
};

// What one dab reads and changes, as the test configures it: the inputs the brush is given
// (centre in mesh space, unit direction), and what the reference needs besides.
struct Dab {
    dab_setup::Dab in;
    uint32_t index;
    Family family;
    uint32_t tool;
    bool layerSmoothing, bilinear, atPartner, ignoreMeshScale;
    Vector worldCentre;  // where distances are measured from with a non-uniform scale
    float planeMin, planeMax, buildUpRate, waxFactor;
    std::vector<float> falloff, pixels;
    bool Bit(uint32_t bit) const { return index & bit; }
};

struct Entry {
    Vector original, normal;
    float buildUp;
    bool present;  // the undo record holds the vertex
};

// The level as the reference tracks it.
struct State {
    std::vector<Vector> positions, offsets;
    std::vector<std::array<int16_t, 3>> normals;
    std::vector<Entry> entries;
    std::vector<uint8_t> freeze;
    float layerStrength = 1.0f;
    Vector LayerPosition(uint32_t v) const { return positions[v] + offsets[v] * (1.0f - layerStrength); }
    Vector Normal(uint32_t v) const { return Vector(normals[v][0], normals[v][1], normals[v][2]) * kUnpack; }
};

State Capture(const tarnix::SubdivisionLevel& level, tarnix::SculptLayer* layer) {
    State state;
    tarnix::MeshChange* change = const_cast<tarnix::SubdivisionLevel&>(level).CurrentChange();
    for (uint32_t v = 0; v < level.VertexCount(); ++v) {
        state.positions.push_back(level.VertexPosition(v));
        state.offsets.push_back(layer ? layer->Offset(v) : Vector(0, 0, 0));
        const tarnix::PackedNormal& n = level.m_normals[v];
        state.normals.push_back({n.x, n.y, n.z});
        state.freeze.push_back(level.m_vertices[v].freeze);
        const tarnix::StoredVertexInfo* entry = change->Find(v);
        state.entries.push_back(
            entry ? Entry{Vector(entry->m_position[0], entry->m_position[1], entry->m_position[2]),
                          Vector(entry->m_normal[0], entry->m_normal[1], entry->m_normal[2]) * kUnpack,
                          entry->m_buildUp, true}
                  : Entry{state.positions.back(), state.Normal(v), -1.0f, false});
    }
    state.layerStrength = layer ? layer->Strength() : 1.0f;
    return state;
}

// The patches of the level as grids of its vertices, and the vertex one step outside each
// border vertex (across the patch side, or the border vertex itself on an open side).
struct Patches {
    Layout layout;
    std::vector<std::vector<uint32_t>> grids;
    std::vector<std::array<std::vector<uint32_t>, 4>> outside;  // [patch][side][position]
    std::vector<std::vector<uint32_t>> neighbours;              // one ring of each vertex

    Patches(const tarnix::SubdivisionLevel& level, const tarnix::SubdivisionLevel& base, Layout patchLayout)
        : layout(patchLayout) {
        const uint32_t n = layout.n, width = layout.side;
        const auto& table = tarnix::SubdivisionLevel::QuadVertexIndexTable(layout.depth);
        for (uint32_t p = 0; p < base.m_faceCount; ++p) {
            std::vector<uint32_t> grid(width * width);
            for (uint32_t k = 0; k < width * width; ++k) grid[k] = level.m_cornerIndices[4 * p * n * n + table[k]];
            grids.push_back(grid);
        }
        neighbours.resize(level.VertexCount());
        for (uint32_t v = 0; v < level.VertexCount(); ++v) {
            uint32_t count = 0;
            const uint32_t* faces = level.FacesAroundVertex(v, count);
            std::set<uint32_t> near;
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t* c = level.FaceCorners(faces[i]);
                for (int k = 0; k < 4; ++k)
                    if (c[k] == v) near.insert({c[(k + 1) % 4], c[(k + 3) % 4]});
            }
            neighbours[v].assign(near.begin(), near.end());
        }
        for (uint32_t p = 0; p < base.m_faceCount; ++p) {
            std::array<std::vector<uint32_t>, 4> sides;
            for (uint32_t side = 0; side < 4; ++side) {
                sides[side].resize(width);
                const uint32_t across = base.EdgeAdjacency(p, side);
                for (uint32_t j = 0; j < width; ++j) {
                    // Side 0 is grid row 0, side 1 column n, side 2 row n, side 3 column 0.
                    const uint32_t r = side == 0 ? 0 : side == 2 ? n : j, c = side == 1 ? n : side == 3 ? 0 : j;
                    const uint32_t border = grids[p][r * width + c];
                    sides[side][j] = border;
                    if (across >= tarnix::Mesh::kOpenBorder) continue;
                    const auto& mine = grids[p];
                    const auto& theirs = grids[across / 4];
                    for (uint32_t u : neighbours[border])
                        if (std::count(theirs.begin(), theirs.end(), u) && !std::count(mine.begin(), mine.end(), u))
                            sides[side][j] = u;
                }
            }
            outside.push_back(sides);
        }
    }
    // The vertex at grid cell (r, c) of patch p, r and c from -1 to n + 1 (not both outside).
    uint32_t Cell(uint32_t p, int r, int c) const {
        const int n = int(layout.n);
        if (r < 0) return outside[p][0][c];
        if (c > n) return outside[p][1][r];
        if (r > n) return outside[p][2][c];
        if (c < 0) return outside[p][3][r];
        return grids[p][r * layout.side + c];
    }
};

// The stamp at `at`; false outside an untiled image.
bool SampleStamp(const Dab& dab, const Vector& at, float out[3]) {
    const tarnix::Vector4 h = dab.in.stamp.matrix.Transform4(at, 1.0f);
    const float u = h.x / h.w, v = h.y / h.w;
    const int w = int(dab.in.stamp.width), hgt = int(dab.in.stamp.height);
    int iu = int(std::nearbyint(u)), iv = int(std::nearbyint(v));
    const bool tiled = dab.Bit(corvane::kBitTiled);
    if (tiled) {
        iu = ((iu % w) + w) % w;
        iv = ((iv % hgt) + hgt) % hgt;
    } else if (iu < 0 || iu >= w || iv < 0 || iv >= hgt) {
        return false;
    }
    const int channels = dab.in.stamp.vectorDisplacement ? 3 : 1;
    const auto texel = [&](int x, int y, int channel) {
        if (tiled) x %= w, y %= hgt;
        else if (x >= w || y >= hgt) return 0.0f;
        return dab.pixels[(size_t(y) * w + x) * channels + channel];
    };
    for (int k = 0; k < channels; ++k) {
        if (!dab.bilinear) {
            out[k] = texel(iu, iv, k);
            continue;
        }
        const float fu = (u - 0.5f) - std::floor(u - 0.5f), fv = (v - 0.5f) - std::floor(v - 0.5f);
        out[k] = (1 - fu - fv + fu * fv) * texel(iu, iv, k) + (fu - fu * fv) * texel(iu + 1, iv, k) +
                 (fv - fu * fv) * texel(iu, iv + 1, k) + fu * fv * texel(iu + 1, iv + 1, k);
    }
    return true;
}

// What the reference expects of one dab over every patch in order.
struct Outcome {
    State state;
    std::vector<bool> patchResults;
    std::set<uint32_t> moved;
    std::vector<uint32_t> movedInOrder;
    std::vector<uint32_t> entriesAdded;  // vertices the undo record gains, in order
};

Outcome ReferenceDab(const Dab& dab, const State& before, const Patches& patches,
                     const std::vector<uint32_t>& partner) {
    Outcome out{before, {}, {}, {}, {}};
    State& cur = out.state;
    const int last = int(patches.layout.n);  // the last row and column of a patch
    // The undo record gains a vertex when the walk first meets it, and its mirror partner when
    // the stamp is sampled there.
    const auto enter = [&](uint32_t v) {
        if (cur.entries[v].present) return;
        cur.entries[v] = Entry{cur.positions[v], cur.Normal(v), 0.0f, true};
        out.entriesAdded.push_back(v);
    };
    std::vector<bool> reached(cur.positions.size(), false);
    const bool whole = dab.Bit(corvane::kBitWholeMesh), layer = dab.Bit(corvane::kBitLayer);
    float length = dab.in.length, waxDepth = dab.in.waxDepth;
    if (dab.Bit(corvane::kBitNonUniformScale) && !dab.ignoreMeshScale) {
        const float c = std::fabs(dab.in.direction.x) * dab.in.inverseScale.x +
                        std::fabs(dab.in.direction.y) * dab.in.inverseScale.y +
                        std::fabs(dab.in.direction.z) * dab.in.inverseScale.z;
        (dab.tool == corvane::kToolWax ? waxDepth : length) *= c;
    }
    for (uint32_t p = 0; p < patches.grids.size(); ++p) {
        const State start = cur;  // the patch as its kernel begins
        bool inside = false;
        for (int r = 0; r <= last; ++r)
            for (int c = 0; c <= last; ++c) {
                const uint32_t v = patches.Cell(p, r, c);
                enter(v);
                if (reached[v]) continue;  // moved by an earlier patch of this dab
                reached[v] = true;
                const Entry& entry = cur.entries[v];
                float w;
                if (whole) {
                    w = dab.in.viewWeighted ? std::max(0.0f, cur.Normal(v) | dab.in.viewDirection) : 1.0f;
                } else {
                    const bool world = dab.Bit(corvane::kBitNonUniformScale);
                    const Vector o = world ? dab.in.meshToWorld.Transform(entry.original, 1.0f) : entry.original;
                    const float d2 = ((world ? dab.worldCentre : dab.in.center) - o).LengthSquared();
                    if (d2 > dab.in.radius * dab.in.radius) continue;
                    const uint32_t i = uint32_t(std::sqrt(d2) * (float(dab.falloff.size() - 1) / dab.in.radius));
                    w = i < dab.falloff.size() ? dab.falloff[i] : 0.0f;
                }
                w *= dab.waxFactor;
                if (dab.Bit(corvane::kBitFreeze)) w *= 1.0f - float(cur.freeze[v] & 0x7F) / 127.0f;
                float sample[3] = {1, 1, 1};
                if (dab.Bit(corvane::kBitStamp)) {
                    const bool atPartner = dab.atPartner && partner[v] != tarnix::Mesh::kNone;
                    if (atPartner) enter(partner[v]);
                    const Vector at = atPartner ? cur.entries[partner[v]].original : entry.original;
                    if (!SampleStamp(dab, at, sample)) continue;
                }
                const float grey = dab.in.stamp.vectorDisplacement ? sample[1] : sample[0];
                const bool stamped = dab.Bit(corvane::kBitStamp);
                const Vector position = cur.positions[v];
                Vector d;
                switch (dab.family) {
                    case Family::kDisplacement: {
                        float& e = cur.entries[v].buildUp;
                        const bool stampedBuildUp = stamped && dab.in.stamp.buildUp;
                        if (!whole) {
                            w *= dab.buildUpRate * (1.0f - e);
                            if (!stampedBuildUp) e += w * dab.in.dabFactor;
                        }
                        if (stamped && dab.in.stamp.vectorDisplacement) {
                            const Vector n = dab.in.direction;
                            const Vector x = (n & (Vector(1, 0, 0) & n)).Normalized(),
                                         y = (n & (Vector(0, 1, 0) & n)).Normalized();
                            const float a = w * length * dab.in.stamp.maskFactor;
                            d = x * (a * sample[0] * dab.in.stamp.scaleX) +
                                n * (a * sample[1] * dab.in.stamp.depthStep) +
                                y * (a * sample[2] * dab.in.stamp.scaleY);
                            if (stampedBuildUp && !whole)
                                e += std::fabs(w * sample[0] * dab.in.stamp.maskFactor) * dab.in.dabFactor;
                            break;
                        }
                        if (stamped) w *= grey * dab.in.stamp.maskFactor;
                        if (stampedBuildUp && !whole) e += std::fabs(w) * dab.in.dabFactor;
                        d = (dab.Bit(corvane::kBitVertexNormals) ? entry.normal : dab.in.direction) * (w * length);
                        break;
                    }
                    case Family::kPinch:
                        if (stamped) w *= grey * dab.in.stamp.maskFactor;
                        d = (dab.in.center - position) * 0.1f * (w * length);
                        break;
                    case Family::kPlane: {
                        if (stamped) w *= grey * dab.in.stamp.maskFactor;
                        float t = waxDepth + (dab.in.planeDistance - (dab.in.direction | position));
                        t = std::max(dab.planeMin, std::min(dab.planeMax, t));
                        d = dab.in.direction * t * (w * length * 0.01f);
                        break;
                    }
                    case Family::kSmoothing: {
                        if (stamped) w *= grey * dab.in.stamp.maskFactor;
                        // The five-point average of the grid around the vertex; at a patch
                        // corner the one-ring midpoint as the patch began, plus a fifth of
                        // what the corner's grid neighbours have moved since. Smoothing the
                        // active layer reads layer positions as the patch began throughout.
                        const auto read = [&](uint32_t u) {
                            return dab.layerSmoothing ? start.LayerPosition(u) : cur.positions[u];
                        };
                        const bool corner = (r == 0 || r == last) && (c == 0 || c == last);
                        Vector target;
                        if (corner) {
                            Vector mean(0, 0, 0);
                            for (uint32_t u : patches.neighbours[v])
                                mean += dab.layerSmoothing ? start.LayerPosition(u) : start.positions[u];
                            mean *= 1.0f / float(patches.neighbours[v].size());
                            target = ((dab.layerSmoothing ? start.LayerPosition(v) : start.positions[v]) + mean) * 0.5f;
                            if (!dab.layerSmoothing)
                                for (const auto& [dr, dc] : {std::make_pair(1, 0), {-1, 0}, {0, 1}, {0, -1}})
                                    if (r + dr >= 0 && r + dr <= last && c + dc >= 0 && c + dc <= last) {
                                        const uint32_t u = patches.Cell(p, r + dr, c + dc);
                                        target += (cur.positions[u] - start.positions[u]) * 0.2f;
                                    }
                        } else {
                            target = read(v);
                            for (const auto& [dr, dc] : {std::make_pair(1, 0), {-1, 0}, {0, 1}, {0, -1}}) {
                                const bool inPatch = r + dr >= 0 && r + dr <= last && c + dc >= 0 && c + dc <= last;
                                const uint32_t u = patches.Cell(p, r + dr, c + dc);
                                target += inPatch || dab.layerSmoothing ? read(u) : start.positions[u];
                            }
                            target *= 0.2f;
                        }
                        const Vector base = dab.layerSmoothing ? start.LayerPosition(v) : position;
                        d = (target - base) * (w * length);
                        break;
                    }
                }
                inside = true;
                out.moved.insert(v);
                out.movedInOrder.push_back(v);
                if (layer) {
                    cur.offsets[v] += d;
                    cur.positions[v] += d * cur.layerStrength;
                } else {
                    cur.positions[v] = position + d;
                }
            }
        out.patchResults.push_back(inside);
        // The patch's normals across its grid, from the positions it leaves.
        for (int r = 0; r <= last; ++r)
            for (int c = 0; c <= last; ++c) {
                const auto at = [&](int rr, int cc) { return cur.positions[patches.Cell(p, rr, cc)]; };
                const Vector n = ((at(r, c + 1) - at(r, c - 1)) & (at(r + 1, c) - at(r - 1, c))).Normalized();
                auto& packed = cur.normals[patches.Cell(p, r, c)];
                for (int k = 0; k < 3; ++k)
                    packed[k] = int16_t(std::lround(std::max(-32767.0f, std::min(32767.0f, (&n.x)[k] * 32767.0f))));
            }
    }
    return out;
}

// The meshes the kernels run on: the level sculpted, and how deep its patches are.
struct Sculpted {
    std::unique_ptr<tarnix::Geometry> geometry;
    Layout layout;
    // Normals come from differences of neighbouring positions, which finer meshes hold closer
    // together: the positions' rounding weighs more there.
    int normalSlack;
};

// A cube (closed) with patches `depth` deep, each a face of its first level.
Sculpted ClosedMesh(uint32_t depth) {
    return {shapes::Subdivided(shapes::Cube(), depth + 1), Layout(depth), depth > 1 ? 8 : 3};
}

// A gently curved sheet of 2 x 2 faces (open all round) at the height of the cube's lower side,
// so that the dabs reach across its edges.
Sculpted OpenMesh(uint32_t depth) {
    tarnix::PolygonMesh sheet = shapes::Plane(2, 2);
    for (Vector& p : sheet.positions) p = Vector(p.x - 1.0f, p.y - 1.0f, -0.8f + 0.1f * (p.x - 1.0f) * (p.y - 1.0f));
    return {shapes::Subdivided(sheet, depth + 1), Layout(depth), 8};
}

// Runs dab `index`'s configuration twice on `sculpted` (the second dab is the one checked,
// the first for the order of its undo entries) and compares.
void CheckKernel(uint32_t index, const Sculpted& sculpted) {
    const Family family = corvane::FamilyOf(index);
    const bool whole = index & corvane::kBitWholeMesh, layerBit = index & corvane::kBitLayer;
    const bool normalsBit = index & corvane::kBitVertexNormals, nonUniform = index & corvane::kBitNonUniformScale;
    // Plane tools by the top two bits: Flatten, Wax, Scrape, Fill.
    const uint32_t planeTools[4] = {corvane::kToolFlatten, corvane::kToolWax, corvane::kToolScrape, corvane::kToolFill};
    const uint32_t tool = family == Family::kPlane       ? planeTools[index >> 8]
                          : family == Family::kPinch     ? corvane::kToolPinch
                          : family == Family::kSmoothing ? corvane::kToolSmooth
                                                         : corvane::kToolSculpt;
    tarnix::Geometry* geometry = sculpted.geometry.get();
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const Layout layout = sculpted.layout;
    if (index & corvane::kBitFreeze)
        for (uint32_t v = 0; v < level->VertexCount(); v += 3) level->SetFreeze(v, uint8_t(17 * v % 128));
    tarnix::SculptLayer* layer = nullptr;
    if (layerBit) {
        layer = level->AddLayer(QStringLiteral("detail"));
        layer->SetStrength(0.5f);
        level->SetActiveLayer(0);
    }
    auto* renderer = new tarnix::MeshRenderer;
    level->AddChild(renderer);
    auto brush = dab_setup::MakeBrush(tool);
    brush->SetStrengthBias(30.0f);

    Dab dab{};
    dab.index = index;
    dab.family = family;
    dab.tool = tool;
    dab.layerSmoothing = family == Family::kSmoothing && !normalsBit;
    dab.in.stamp.vectorDisplacement = (index & corvane::kBitStamp) && (index & corvane::kBitNotifyEachVertex);
    dab.bilinear = index & corvane::kBitFreeze;
    dab.in.stamp.buildUp = layerBit;
    dab.atPartner = nonUniform;
    dab.in.viewWeighted = layerBit;
    const corvane::KernelSwitches& switches = corvane::ToolOf(tool).switches;
    dab.ignoreMeshScale = switches.ignoresMeshScale;
    dab.in.direction = Vector(0.1f, 0.2f, -1.0f).Normalized();
    dab.in.viewDirection = Vector(0.2f, 0.1f, -1.0f).Normalized();
    dab.in.inverseScale = nonUniform ? Vector(1.0f, 0.8f, 1.25f) : Vector(1, 1, 1);
    dab.in.meshToWorld = nonUniform ? tarnix::Matrix::Scale({1.0f, 1.25f, 0.8f}) : tarnix::Matrix();
    dab.in.stamp.matrix = tarnix::Matrix::Scale({4, 4, 1}) * tarnix::Matrix::Translation({4, 4, 0});
    dab.in.radius = 0.9f;
    dab.in.length = family == Family::kPlane       ? (tool == corvane::kToolWax ? 100.0f : 60.0f)
                    : family == Family::kSmoothing ? 0.6f
                                                   : 0.3f;
    dab.in.planeDistance = 0.7f;
    dab.in.waxDepth = tool == corvane::kToolWax ? 0.05f : 0.0f;
    dab.planeMin = switches.planeMinimum;
    dab.planeMax = switches.planeMaximum;
    dab.buildUpRate = std::pow(brush->BuildUpRate(), 3.0f);
    dab.in.dabFactor = 0.7f;
    const float bias = brush->StrengthBias();
    dab.waxFactor = tool == corvane::kToolWax ? (1.0f - 0.01f * bias) * dab.in.dabFactor + 0.01f * bias : 1.0f;
    dab.in.stamp.maskFactor = 0.8f;
    dab.in.stamp.scaleX = dab.in.stamp.scaleY = 0.02f;
    dab.in.stamp.depthStep = 0.05f;
    dab.in.stamp.width = dab.in.stamp.height = 8;
    for (size_t i = 0; i < 8 * 8 * 3; ++i) dab.pixels.push_back(float((i * 37) % 11) / 10.0f);
    const auto falloff = brush->FalloffData();
    dab.falloff.assign(falloff.data, falloff.data + falloff.count);
    dab.in.stamp.pixels = dab.pixels.data();
    dab.in.stamp.on = index & corvane::kBitStamp;
    dab.in.stamp.tiled = index & corvane::kBitTiled;
    dab.in.mirrorIndex = 1;
    dab.in.nonUniformScale = nonUniform;
    dab.in.alongVertexNormals = normalsBit && family != Family::kSmoothing;
    dab.in.wholeMesh = whole;
    dab.in.renderers = true;
    dab.in.notifyEachVertex = index & corvane::kBitNotifyEachVertex;

    tarnix::StampConfiguration stampConfig;
    stampConfig.m_mirrored = dab.atPartner;
    brush->SetStampConfig(stampConfig);
    brush->MirrorConfig().SetMirrorMode(tarnix::MirrorConfiguration::kTopological);

    // One dab as the dab driver prepares it, centred at `centre` (mesh space).
    const auto runDab = [&](const Vector& centre) {
        dab.in.center = centre;
        dab.worldCentre = dab.in.meshToWorld.Transform(centre, 1.0f);
        brush->m_affectAllLayersAttr.SetValue(normalsBit);
        brush->m_bilinearSampleAttr.SetValue(dab.bilinear);
        const dab_setup::BoundDab bound(*brush, level, layout.depth, dab.in);
        EXPECT_EQ(brush->Frame().kernel, index) << "the brush is set up as the kernel's choices say";
        std::vector<bool> results;
        for (uint32_t patch = 0; patch < geometry->Level(1)->m_faceCount; ++patch)
            results.push_back(brush->PatchTester(level, patch));
        return results;
    };
    const Patches patches(*level, *geometry->Level(1), layout);
    std::vector<uint32_t> partner(level->VertexCount(), tarnix::Mesh::kNone);
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        uint32_t count = 0, mirrored = 0, unused = 0;
        const uint32_t face = level->FacesAroundVertex(v, count)[0];
        const uint32_t* c = level->FaceCorners(face);
        partner[v] = level->TopologicalMirror(face, uint32_t(std::find(c, c + 4, v) - c), mirrored, unused);
    }
    SCOPED_TRACE(testing::Message() << "kernel " << index << " (tool " << tool << ")");

    // A first dab: moved vertices, build-up and undo entries to start from. The record gains
    // its entries as the patches are walked, in grid order, whatever the vertices' numbers
    // (smoothing the active layer reads, and so enters, each patch's ring before its walk).
    const State fresh = Capture(*level, layer);
    runDab({-0.4f, 0.3f, -0.8f});
    if (!dab.layerSmoothing) {
        const std::vector<uint32_t> firstEntries = ReferenceDab(dab, fresh, patches, partner).entriesAdded;
        const tarnix::MeshChange& change = *level->CurrentChange();
        ASSERT_EQ(change.Count(), firstEntries.size());
        for (uint32_t slot = 0; slot < change.Count(); ++slot)
            ASSERT_EQ(change[slot].m_vertex, firstEntries[slot]) << "undo slot " << slot;
    }

    const State before = Capture(*level, layer);
    renderer->ClearNotifications();
    const std::vector<bool> results = runDab({0.2f, -0.1f, -0.8f});
    const Outcome expected = ReferenceDab(dab, before, patches, partner);
    const State actual = Capture(*level, layer);

    ASSERT_GT(expected.moved.size(), 10u) << "the dab reaches vertices";
    ASSERT_EQ(results, expected.patchResults);
    ASSERT_TRUE(expected.entriesAdded.empty()) << "the first dab reached every vertex";
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        ASSERT_LT((actual.positions[v] - expected.state.positions[v]).Length(), 2e-5f) << "position of " << v;
        ASSERT_LT((actual.offsets[v] - expected.state.offsets[v]).Length(), 2e-5f) << "layer offset of " << v;
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(actual.normals[v][k], expected.state.normals[v][k], sculpted.normalSlack) << "normal of " << v;
        ASSERT_EQ(actual.entries[v].original, before.entries[v].original) << "undo entry of " << v;
        ASSERT_NEAR(actual.entries[v].buildUp, expected.state.entries[v].buildUp, 1e-6f) << "build-up of " << v;
        const tarnix::StoredVertexInfo* entry = level->CurrentChange()->Find(v);
        ASSERT_EQ(entry->m_stamp, level->m_changeCounter) << "every vertex of the patches is reached once";
        ASSERT_EQ(level->CurrentChange()->LayerWord(*entry), layerBit ? v : tarnix::Mesh::kNone);
    }
    std::vector<uint32_t> notified;
    for (const auto& note : renderer->Notifications())
        notified.push_back(index & corvane::kBitNotifyEachVertex ? note.vertex : note.quad);
    std::vector<uint32_t> expectedNotes = expected.movedInOrder;
    if (!(index & corvane::kBitNotifyEachVertex)) {
        expectedNotes.clear();
        for (uint32_t p = 0; p < results.size(); ++p)
            if (results[p]) expectedNotes.push_back(p * layout.n * layout.n);
    }
    ASSERT_EQ(notified, expectedNotes) << "renderers hear of each moved vertex as it moves, or once per patch";
}

// The kernels that some brush state reaches: tiling counts only with a stamp, and a smoothing
// tool without a layer always smooths the summed positions (bit 2).
bool Reachable(uint32_t index) {
    if ((index & corvane::kBitTiled) && !(index & corvane::kBitStamp)) return false;
    return !(corvane::FamilyOf(index) == Family::kSmoothing && !(index & corvane::kBitLayer) &&
             !(index & corvane::kBitVertexNormals));
}

// The meshes, by parameter: closed with small patches; closed with patches deep enough to keep
// their records in the vertices' memory order for the walks whose order cannot show; open.
class KernelReferenceTest : public ::testing::TestWithParam<int> {};

TEST_P(KernelReferenceTest, EveryKernelMovesNormalsAndRecordsAsTheRulesSay) {
    ASSERT_GE(3u, Corvane::kCachedPatchDepth);
    for (uint32_t index = 0; index < corvane::kKernelCount; ++index) {
        if (!Reachable(index)) continue;
        CheckKernel(index, GetParam() == 2 ? OpenMesh(index % 2 ? 1 : 3) : ClosedMesh(GetParam() == 0 ? 1 : 3));
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(ClosedShallowClosedDeepAndOpen, KernelReferenceTest, ::testing::Values(0, 1, 2));

}  // namespace
