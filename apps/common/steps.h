#pragma once
// The steps a program takes on a sculpture, as every program holds them: a stroke's settings
// (tool, size, strength, falloff, direction, mirror, stamp, brush attributes, path and pen
// pressures, camera), a drag of the freeze brush, layers, frozen regions, and undo and redo.
// Session files (session.h) and journals (journal.h) read and write them; the command line,
// the studio and the Python package run them (step_runner.h).

#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include <QString>

#include "tarnix/math/vector.h"
#include "tarnix/stamp_configuration.h"

namespace corvane_apps {

/// Positions, lengths and sizes of a session lie within +-1e9 world units, and within as much
/// in the mesh's own space once placed; a float keeps them finite through every transform.
constexpr double kSessionCoordinateLimit = 1e9;

/// A brush attribute or preference value as the file gives it, checked against the
/// attribute's type when the brush is known.
struct NamedValue {
    QString name;
    nlohmann::json value;
    QString where;  // its place in the file, for messages
};

struct CameraPlacement {
    tarnix::Vector eye, target;
};

/// Changes to the stamp record; what is not given stays as the tool has it.
struct StampOptions {
    std::optional<float> factor, offset, rotation;
    std::optional<bool> inverted, tiled, buildUp, followStroke, mirrored, randomize;
    void ApplyTo(tarnix::StampConfiguration& stamp) const;
};

struct StrokeStep {
    QString tool;
    float size = 0.1f;
    float strength = 15.0f;  // 0..100, one scale for every tool
    float pressure = 1.0f;
    std::optional<int> falloff;      // a preset curve, or BrushOperation::kNoFalloff
    std::optional<int> falloffType;  // BrushOperation::FalloffType
    std::optional<int> direction;    // 0..12
    bool invert = false;
    bool smooth = false;
    int mirror = 0;                // MirrorConfiguration::Mode
    std::optional<QString> stamp;  // absent: the tool's own stamp; empty: none
    StampOptions stampOptions;
    std::vector<NamedValue> attributes;
    std::vector<tarnix::Vector> path;       // world space; empty for a whole-mesh step
    std::vector<float> pressures;           // pen pressure at each point of `path`; empty: `pressure`
    std::optional<CameraPlacement> camera;  // else the session's
    bool fromCamera = false;                // whole mesh: weigh vertices by facing the camera
};

/// A drag of the freeze brush.
struct FreezeStroke {
    float size = 0.1f;       // brush radius
    float strength = 50.0f;  // 0..100: the share of the whole range one pass adds
    bool thaw = false;
    std::vector<tarnix::Vector> path;  // world space
    std::vector<float> pressures;      // at each point; empty: 1
};

struct LayerSetup {
    QString name;
    float strength = 1.0f;
    bool locked = false;
};

struct Step {
    enum Kind {
        kStroke,
        kWholeMesh,
        kUndo,
        kRedo,
        kLayer,         // a layer made the one strokes go into
        kSubdivide,     // levels added above the highest, which is sculpted
        kLevel,         // another level sculpted
        kFreezeStroke,  // a drag of the freeze brush
        kClearFreeze,
        kInvertFreeze,
        kAddLayer,  // a layer added to the sculpted level, and made the active one
        kRenameLayer,
        kLockLayer,
        kLayerStrength,  // a layer's strength changed, as an undoable change
        kPreferences,
    };
    Kind kind = kStroke;
    QString where;                        // "steps[3]"
    StrokeStep stroke;                    // kStroke, kWholeMesh
    uint32_t count = 1;                   // kUndo, kRedo, kSubdivide; kLevel: the level
    QString layer;                        // the layer (kLayer: "" for the base)
    std::optional<float> layerStrength;   // kLayer, kLayerStrength
    QString newName;                      // kRenameLayer
    bool locked = false;                  // kLockLayer
    LayerSetup added;                     // kAddLayer
    FreezeStroke freeze;                  // kFreezeStroke
    std::vector<NamedValue> preferences;  // kPreferences
};

struct FreezeRegion {
    bool box = false;
    tarnix::Vector centre;  // sphere; box: its minimum
    tarnix::Vector corner;  // box: its maximum
    float radius = 0.0f;
    float strength = 1.0f;  // 0 free .. 1 held
};

}  // namespace corvane_apps
