#include "session.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <set>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "builtin_shapes.h"
#include "errors.h"
#include "tarnix/brush_operation.h"
#include "tarnix/geometry.h"
#include "tarnix/mirror_configuration.h"
#include "tarnix/strength_conversion.h"

namespace corvane_apps {
namespace {

using nlohmann::json;

// Every position and length of a session lies within this (world units); the runner checks the
// same in the mesh's own space.
constexpr double kLargestCoordinate = kSessionCoordinateLimit;
// A session file larger than this is refused before it is read.
constexpr qint64 kMostSessionBytes = qint64(64) << 20;
// A picture of this many pixels takes 200 MB as it is drawn (colour and depth); 16 tiles of
// 1920 x 1080 fit.
constexpr int64_t kMostPicturePixels = 40000000;
// A session's own values nest a few levels deep; attribute values hold at most a list or two.
constexpr int kDeepestNesting = 64;

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// One value of the file with its place in it ("steps[2].stroke.size"), so that every
// complaint can say where it is.
class Field {
public:
    Field(const json& value, QString where, const QString& file)
        : m_value(value), m_where(std::move(where)), m_file(file) {}

    [[noreturn]] void Fail(const QString& what, SourcePlace place = SourcePlace::Here()) const {
        corvane_apps::Fail(m_where.isEmpty() ? QStringLiteral("%1: %2").arg(m_file, what)
                                             : QStringLiteral("%1: %2: %3").arg(m_file, m_where, what),
                           place);
    }
    const QString& Where() const { return m_where; }
    const json& Value() const { return m_value; }

    bool Has(const char* key) const { return m_value.contains(key); }
    Field operator[](const char* key) const {
        if (!Has(key)) Fail(QStringLiteral("%1 is missing").arg(Quoted(QString::fromUtf8(key))));
        return Field(m_value[key], Child(QString::fromUtf8(key)), m_file);
    }
    std::vector<Field> Items() const {
        if (!m_value.is_array()) Fail(QStringLiteral("must be a list"));
        std::vector<Field> items;
        for (size_t i = 0; i < m_value.size(); ++i)
            items.emplace_back(m_value[i], QStringLiteral("%1[%2]").arg(m_where).arg(i), m_file);
        return items;
    }
    /// Refuses keys the format does not know, so that a misspelt setting is not ignored.
    void ExpectObject(std::initializer_list<const char*> keys) const {
        if (!m_value.is_object()) Fail(QStringLiteral("must be an object"));
        for (auto item = m_value.begin(); item != m_value.end(); ++item) {
            bool known = false;
            for (const char* key : keys) known |= item.key() == key;
            if (!known) Fail(QStringLiteral("unknown key %1").arg(Quoted(QString::fromStdString(item.key()))));
        }
    }

    /// A number in [minimum, maximum], as the float it will be used as.
    float Number(double minimum, double maximum) const {
        const double value = Double();
        if (!(value >= minimum && value <= maximum))
            Fail(QStringLiteral("%1 is out of range [%2, %3]").arg(Text(), Shown(minimum), Shown(maximum)));
        return float(value);
    }
    /// A number greater than 0 that stays a normal float (neither 0, nor denormal, nor
    /// infinite once it is one), at most `maximum`.
    float Positive(double maximum = kLargestCoordinate) const {
        const double value = Double();
        if (!(value > 0.0)) Fail(QStringLiteral("%1 must be greater than 0").arg(Text()));
        if (!std::isnormal(float(value)) || value > maximum)
            Fail(QStringLiteral("%1 is out of range (0, %2]: as a float it must be at least %3")
                     .arg(Text(), Shown(maximum), Shown(double(std::numeric_limits<float>::min()))));
        return float(value);
    }
    /// A coordinate or an angle: within +-kLargestCoordinate.
    float Finite() const { return Number(-kLargestCoordinate, kLargestCoordinate); }
    int Integer(int minimum, int maximum) const {
        // A whole number written with a fraction or an exponent (2.0, 1e308) is still one.
        if (m_value.is_number_float()) {
            const double value = m_value.get<double>();
            if (value != std::floor(value)) Fail(QStringLiteral("must be a whole number"));
            if (value < minimum || value > maximum)
                Fail(QStringLiteral("%1 is out of range [%2, %3]").arg(Text()).arg(minimum).arg(maximum));
            return int(value);
        }
        if (!m_value.is_number_integer()) Fail(QStringLiteral("must be a whole number"));
        // A number past int64 would wrap around if read as one.
        const bool beyond = m_value.is_number_unsigned() && m_value.get<uint64_t>() > uint64_t(INT64_MAX);
        if (beyond || m_value.get<int64_t>() < minimum || m_value.get<int64_t>() > maximum)
            Fail(QStringLiteral("%1 is out of range [%2, %3]").arg(Text()).arg(minimum).arg(maximum));
        return int(m_value.get<int64_t>());
    }
    bool Bool() const {
        if (!m_value.is_boolean()) Fail(QStringLiteral("must be true or false"));
        return m_value.get<bool>();
    }
    QString String() const {
        if (!m_value.is_string()) Fail(QStringLiteral("must be a string"));
        return QString::fromStdString(m_value.get<std::string>());
    }
    tarnix::Vector Point() const {
        if (!m_value.is_array() || m_value.size() != 3) Fail(QStringLiteral("must be a list of three numbers"));
        const std::vector<Field> c = Items();
        return {c[0].Finite(), c[1].Finite(), c[2].Finite()};
    }
    /// One of `names`; the value is its index.
    int Choice(const QStringList& names) const {
        const int index = names.indexOf(String());
        if (index < 0)
            Fail(QStringLiteral("%1 is not one of %2").arg(Quoted(String()), names.join(QStringLiteral(", "))));
        return index;
    }

    template <class T, class Read>
    void IfPresent(const char* key, T& target, Read read) const {
        if (Has(key)) target = read((*this)[key]);
    }

private:
    double Double() const {
        if (!m_value.is_number()) Fail(QStringLiteral("must be a number"));
        return m_value.get<double>();
    }
    // The value as the file has it (a whole number past 64 bits keeps its digits).
    QString Text() const { return QString::fromStdString(m_value.dump()); }
    static QString Shown(double value) { return QString::number(value, 'g', 6); }
    QString Child(const QString& key) const { return m_where.isEmpty() ? key : m_where + QLatin1Char('.') + key; }

    const json& m_value;
    QString m_where;
    const QString& m_file;
};

// In the order of MirrorConfiguration's modes.
const QStringList kMirrorModes = {
    QStringLiteral("none"),     QStringLiteral("x"),        QStringLiteral("y"),        QStringLiteral("z"),
    QStringLiteral("world_x"),  QStringLiteral("world_y"),  QStringLiteral("world_z"),  QStringLiteral("topological"),
    QStringLiteral("xy"),       QStringLiteral("xz"),       QStringLiteral("yz"),       QStringLiteral("xyz"),
    QStringLiteral("world_xy"), QStringLiteral("world_xz"), QStringLiteral("world_yz"), QStringLiteral("world_xyz")};
const QStringList kFalloffTypes = {QStringLiteral("surface"), QStringLiteral("geodesic"), QStringLiteral("volume")};

int Falloff(const Field& field) {
    QStringList names;
    for (int i = 0; i < tarnix::BrushOperation::kFalloffPresetCount; ++i)
        names << QString::fromUtf8(tarnix::BrushOperation::FalloffPresetName(i));
    names << QStringLiteral("none");
    const int index = field.Choice(names);
    return index == tarnix::BrushOperation::kFalloffPresetCount ? tarnix::BrushOperation::kNoFalloff : index;
}

CameraPlacement Camera(const Field& field) {
    field.ExpectObject({"eye", "target"});
    const CameraPlacement camera{field["eye"].Point(), field["target"].Point()};
    if ((camera.eye - camera.target).LengthSquared() == 0.0f)
        field.Fail(QStringLiteral("eye and target are the same point"));
    return camera;
}

std::vector<NamedValue> NamedValues(const Field& field) {
    if (!field.Value().is_object()) field.Fail(QStringLiteral("must be an object"));
    std::vector<NamedValue> values;
    for (auto item = field.Value().begin(); item != field.Value().end(); ++item) {
        const QString name = QString::fromStdString(item.key());
        values.push_back({name, item.value(), field.Where() + QLatin1Char('.') + name});
    }
    return values;
}

StampOptions ReadStampOptions(const Field& field) {
    field.ExpectObject(
        {"factor", "offset", "inverted", "tiled", "buildup", "rotation", "follow_stroke", "mirrored", "randomize"});
    StampOptions options;
    const auto finite = [](const Field& f) { return std::optional<float>(f.Finite()); };
    const auto flag = [](const Field& f) { return std::optional<bool>(f.Bool()); };
    field.IfPresent("factor", options.factor, finite);
    field.IfPresent("offset", options.offset, finite);
    field.IfPresent("rotation", options.rotation, finite);
    field.IfPresent("inverted", options.inverted, flag);
    field.IfPresent("tiled", options.tiled, flag);
    field.IfPresent("buildup", options.buildUp, flag);
    field.IfPresent("follow_stroke", options.followStroke, flag);
    field.IfPresent("mirrored", options.mirrored, flag);
    field.IfPresent("randomize", options.randomize, flag);
    return options;
}

// The settings strokes and whole-mesh steps share.
void BrushSettings(const Field& field, StrokeStep& step) {
    step.tool = field["tool"].String();
    const auto flag = [](const Field& f) { return f.Bool(); };
    field.IfPresent("invert", step.invert, flag);
    field.IfPresent("smooth", step.smooth, flag);
    if (step.invert && step.smooth) field.Fail(QStringLiteral("\"invert\" and \"smooth\" cannot both be on"));
    if (field.Has("attributes")) step.attributes = NamedValues(field["attributes"]);
    if (field.Has("camera")) step.camera = Camera(field["camera"]);
}

std::vector<tarnix::Vector> Path(const Field& field) {
    std::vector<tarnix::Vector> path;
    for (const Field& point : field.Items()) path.push_back(point.Point());
    if (path.empty()) field.Fail(QStringLiteral("needs at least one point"));
    return path;
}

// Pen pressure at each point of a path of `points`.
std::vector<float> Pressures(const Field& field, size_t points) {
    std::vector<float> pressures;
    for (const Field& pressure : field.Items()) pressures.push_back(pressure.Number(0.0, 1.0));
    if (pressures.size() != points)
        field.Fail(QStringLiteral("%1 pressures for %2 points of the path").arg(pressures.size()).arg(points));
    return pressures;
}

StrokeStep Stroke(const Field& field) {
    field.ExpectObject({"tool", "size", "strength", "pressure", "pressures", "falloff", "falloff_type", "direction",
                        "invert", "smooth", "mirror", "stamp", "stamp_options", "attributes", "path", "camera"});
    StrokeStep stroke;
    BrushSettings(field, stroke);
    stroke.size = field["size"].Positive();
    stroke.strength = field["strength"].Number(0.0, tarnix::StrengthConversion::kStrongest);
    field.IfPresent("pressure", stroke.pressure, [](const Field& f) { return f.Number(0.0, 1.0); });
    if (field.Has("falloff")) stroke.falloff = Falloff(field["falloff"]);
    if (field.Has("falloff_type")) stroke.falloffType = field["falloff_type"].Choice(kFalloffTypes);
    if (field.Has("direction")) stroke.direction = field["direction"].Integer(0, 12);
    field.IfPresent("mirror", stroke.mirror, [](const Field& f) { return f.Choice(kMirrorModes); });
    if (field.Has("stamp")) stroke.stamp = field["stamp"].Value().is_null() ? QString() : field["stamp"].String();
    if (field.Has("stamp_options")) {
        // Options that could change nothing are refused rather than silently ignored.
        if (stroke.stamp && stroke.stamp->isEmpty())
            field["stamp_options"].Fail(QStringLiteral("shape a stamp, but \"stamp\" turns it off"));
        stroke.stampOptions = ReadStampOptions(field["stamp_options"]);
        if (stroke.stampOptions.mirrored.value_or(false) && stroke.mirror == 0)
            field["stamp_options"]["mirrored"].Fail(
                QStringLiteral("mirrors the stamp of a mirrored stroke's twins, but the stroke has no \"mirror\""));
    }
    stroke.path = Path(field["path"]);
    if (field.Has("pressures")) stroke.pressures = Pressures(field["pressures"], stroke.path.size());
    return stroke;
}

StrokeStep WholeMesh(const Field& field) {
    field.ExpectObject({"tool", "strength", "from_camera", "invert", "smooth", "attributes", "camera"});
    StrokeStep step;
    BrushSettings(field, step);
    step.strength = field["strength"].Number(0.0, tarnix::StrengthConversion::kStrongest);
    field.IfPresent("from_camera", step.fromCamera, [](const Field& f) { return f.Bool(); });
    return step;
}

FreezeStroke ReadFreezeStroke(const Field& field) {
    field.ExpectObject({"size", "strength", "thaw", "path", "pressures"});
    FreezeStroke freeze;
    freeze.size = field["size"].Positive();
    freeze.strength = field["strength"].Number(0.0, tarnix::StrengthConversion::kStrongest);
    field.IfPresent("thaw", freeze.thaw, [](const Field& f) { return f.Bool(); });
    freeze.path = Path(field["path"]);
    if (field.Has("pressures")) freeze.pressures = Pressures(field["pressures"], freeze.path.size());
    return freeze;
}

// The steps by their key; `layers` holds the names of the layers the steps before have made
// (null: unknown before the mesh is read, as a project's).
Step ReadStep(const Field& field, std::set<QString>* layers) {
    Step step;
    step.where = field.Where();
    static const char* const kSteps =
        "\"stroke\", \"whole_mesh\", \"undo\", \"redo\", \"subdivide\", \"level\", \"freeze_stroke\", "
        "\"clear_freeze\", \"invert_freeze\", \"layer\", \"add_layer\", \"rename_layer\", \"lock_layer\", "
        "\"layer_strength\", \"preferences\"";
    if (!field.Value().is_object() || field.Value().size() != 1)
        field.Fail(QStringLiteral("a step is an object with one of %1").arg(QString::fromLatin1(kSteps)));
    const auto named = [&](const Field& item) {
        const QString name = item["name"].String();
        if (layers && !layers->count(name))
            item["name"].Fail(
                QStringLiteral("no layer %1 in \"layers\" or added by an earlier step").arg(Quoted(name)));
        return name;
    };
    const auto switchedOn = [](const Field& item) {
        if (!item.Bool()) item.Fail(QStringLiteral("must be true (a step that does nothing is left out)"));
    };
    if (field.Has("stroke")) {
        step.stroke = Stroke(field["stroke"]);
    } else if (field.Has("whole_mesh")) {
        step.kind = Step::kWholeMesh;
        step.stroke = WholeMesh(field["whole_mesh"]);
    } else if (field.Has("undo") || field.Has("redo")) {
        step.kind = field.Has("undo") ? Step::kUndo : Step::kRedo;
        step.count = uint32_t(field[field.Has("undo") ? "undo" : "redo"].Integer(1, 1 << 20));
    } else if (field.Has("subdivide")) {
        step.kind = Step::kSubdivide;
        step.count = uint32_t(field["subdivide"].Integer(1, int(kMostSubdivisions)));
    } else if (field.Has("level")) {
        step.kind = Step::kLevel;
        step.count = uint32_t(field["level"].Integer(0, int(kMostSubdivisions)));
    } else if (field.Has("freeze_stroke")) {
        step.kind = Step::kFreezeStroke;
        step.freeze = ReadFreezeStroke(field["freeze_stroke"]);
    } else if (field.Has("clear_freeze") || field.Has("invert_freeze")) {
        step.kind = field.Has("clear_freeze") ? Step::kClearFreeze : Step::kInvertFreeze;
        switchedOn(field[field.Has("clear_freeze") ? "clear_freeze" : "invert_freeze"]);
    } else if (field.Has("layer")) {
        step.kind = Step::kLayer;
        const Field layer = field["layer"];
        layer.ExpectObject({"name", "strength"});
        step.layer = layer["name"].String();
        if (!step.layer.isEmpty()) named(layer);
        if (layer.Has("strength")) {
            if (step.layer.isEmpty()) layer.Fail(QStringLiteral("the base has no strength"));
            step.layerStrength = layer["strength"].Number(0.0, 1.0);
        }
    } else if (field.Has("add_layer")) {
        step.kind = Step::kAddLayer;
        const Field layer = field["add_layer"];
        layer.ExpectObject({"name", "strength", "locked"});
        step.added.name = layer["name"].String();
        if (step.added.name.isEmpty() || (layers && layers->count(step.added.name)))
            layer["name"].Fail(QStringLiteral("layer names must be distinct and not empty"));
        layer.IfPresent("strength", step.added.strength, [](const Field& f) { return f.Number(0.0, 1.0); });
        layer.IfPresent("locked", step.added.locked, [](const Field& f) { return f.Bool(); });
        if (layers) layers->insert(step.added.name);
    } else if (field.Has("rename_layer")) {
        step.kind = Step::kRenameLayer;
        const Field layer = field["rename_layer"];
        layer.ExpectObject({"name", "to"});
        step.layer = named(layer);
        step.newName = layer["to"].String();
        if (step.newName.isEmpty() || (layers && step.newName != step.layer && layers->count(step.newName)))
            layer["to"].Fail(QStringLiteral("layer names must be distinct and not empty"));
        if (layers) {
            layers->erase(step.layer);
            layers->insert(step.newName);
        }
    } else if (field.Has("lock_layer")) {
        step.kind = Step::kLockLayer;
        const Field layer = field["lock_layer"];
        layer.ExpectObject({"name", "locked"});
        step.layer = named(layer);
        step.locked = layer["locked"].Bool();
    } else if (field.Has("layer_strength")) {
        step.kind = Step::kLayerStrength;
        const Field layer = field["layer_strength"];
        layer.ExpectObject({"name", "strength"});
        step.layer = named(layer);
        step.layerStrength = layer["strength"].Number(0.0, 1.0);
    } else if (field.Has("preferences")) {
        step.kind = Step::kPreferences;
        step.preferences = NamedValues(field["preferences"]);
    } else {
        field.Fail(QStringLiteral("unknown step %1 (steps: %2)")
                       .arg(Quoted(QString::fromStdString(field.Value().begin().key())), QString::fromLatin1(kSteps)));
    }
    return step;
}

// Whether a step may make an undoable change.
bool MayChange(Step::Kind kind) {
    return kind == Step::kStroke || kind == Step::kWholeMesh || kind == Step::kFreezeStroke ||
           kind == Step::kClearFreeze || kind == Step::kInvertFreeze || kind == Step::kLayerStrength;
}

void ReadMesh(const Field& field, Session& session) {
    field.ExpectObject({"builtin", "file", "obj", "subdivide"});
    if (int(field.Has("builtin")) + int(field.Has("file")) + int(field.Has("obj")) != 1)
        field.Fail(QStringLiteral("needs one of \"builtin\" and \"file\""));
    if (field.Has("builtin")) {
        session.shape = field["builtin"].String();
        if (!shapes::ShapeNames().contains(session.shape))
            field["builtin"].Fail(QStringLiteral("%1 is not one of %2")
                                      .arg(Quoted(session.shape), shapes::ShapeNames().join(QStringLiteral(", "))));
    } else {
        // "obj" is the older name of "file", from when meshes came only as OBJ.
        session.meshPathKey = field.Has("file") ? QStringLiteral("file") : QStringLiteral("obj");
        session.meshPath = field[field.Has("file") ? "file" : "obj"].String();
    }
    field.IfPresent("subdivide", session.subdivide,
                    [](const Field& f) { return uint32_t(f.Integer(0, int(kMostSubdivisions))); });
}

void ReadLayers(const Field& field, Session& session) {
    std::set<QString> names;
    for (const Field& item : field.Items()) {
        item.ExpectObject({"name", "strength", "locked"});
        LayerSetup layer;
        layer.name = item["name"].String();
        if (layer.name.isEmpty() || !names.insert(layer.name).second)
            item["name"].Fail(QStringLiteral("layer names must be distinct and not empty"));
        item.IfPresent("strength", layer.strength, [](const Field& f) { return f.Number(0.0, 1.0); });
        item.IfPresent("locked", layer.locked, [](const Field& f) { return f.Bool(); });
        session.layers.push_back(layer);
    }
}

FreezeRegion ReadFreezeRegion(const Field& field) {
    field.ExpectObject({"sphere", "box", "strength"});
    FreezeRegion region;
    if (field.Has("sphere") == field.Has("box")) field.Fail(QStringLiteral("needs either \"sphere\" or \"box\""));
    if (field.Has("sphere")) {
        const Field sphere = field["sphere"];
        sphere.ExpectObject({"center", "radius"});
        region.centre = sphere["center"].Point();
        region.radius = sphere["radius"].Positive();
    } else {
        const Field box = field["box"];
        box.ExpectObject({"min", "max"});
        region.box = true;
        region.centre = box["min"].Point();
        region.corner = box["max"].Point();
        if (region.centre.x > region.corner.x || region.centre.y > region.corner.y || region.centre.z > region.corner.z)
            box.Fail(QStringLiteral("\"min\" must not exceed \"max\""));
    }
    field.IfPresent("strength", region.strength, [](const Field& f) { return f.Number(0.0, 1.0); });
    return region;
}

float FieldOfView(const Field& field) { return field.Number(1.0, 170.0); }

PictureTile ReadTile(const Field& field, size_t steps) {
    field.ExpectObject({"eye", "target", "step", "zoom", "fov", "label", "wireframe"});
    PictureTile tile;
    if (field.Has("step")) {
        if (field.Has("eye") || field.Has("target"))
            field.Fail(QStringLiteral("a tile looks at a step or from an eye, not both"));
        tile.step = size_t(field["step"].Integer(0, int(steps) - 1));
        field.IfPresent("zoom", tile.zoom, [](const Field& f) { return f.Number(0.01, 100.0); });
    } else {
        if (field.Has("zoom"))
            field.Fail(QStringLiteral("\"zoom\" frames a step's view; a view from an eye takes \"fov\""));
        tile.eye = field["eye"].Point();
        tile.target = field["target"].Point();
        if ((tile.eye - tile.target).LengthSquared() == 0.0f)
            field.Fail(QStringLiteral("eye and target are the same point"));
    }
    field.IfPresent("fov", tile.fovDegrees, FieldOfView);
    field.IfPresent("label", tile.label, [](const Field& f) { return f.String(); });
    field.IfPresent("wireframe", tile.wireframe, [](const Field& f) { return f.Bool(); });
    return tile;
}

PictureSetup ReadPicture(const Field& field, size_t steps) {
    field.ExpectObject({"before_after", "width", "height", "eye", "target", "fov", "tiles", "columns"});
    PictureSetup picture;
    field.IfPresent("before_after", picture.beforeAndAfter, [](const Field& f) { return f.Bool(); });
    field.IfPresent("width", picture.width, [](const Field& f) { return f.Integer(16, 4096); });
    field.IfPresent("height", picture.height, [](const Field& f) { return f.Integer(16, 4096); });
    if (field.Has("eye")) picture.eye = field["eye"].Point();
    if (field.Has("target")) picture.target = field["target"].Point();
    if (picture.eye && picture.target && (*picture.eye - *picture.target).LengthSquared() == 0.0f)
        field.Fail(QStringLiteral("eye and target are the same point"));
    field.IfPresent("fov", picture.fovDegrees, FieldOfView);
    if (field.Has("tiles"))
        for (const Field& tile : field["tiles"].Items()) picture.tiles.push_back(ReadTile(tile, steps));
    field.IfPresent("columns", picture.columns, [](const Field& f) { return f.Integer(1, 64); });
    for (const PictureTile& tile : picture.tiles)
        if (tile.step && picture.beforeAndAfter)
            field.Fail(QStringLiteral("a tile that looks at a step has no view before the steps: no \"before_after\""));
    // The whole picture is bounded, not only its tiles: its pixels are drawn and held at once.
    const int64_t tiles = std::max<int64_t>(int64_t(picture.tiles.size()), 1);
    const int64_t columns = std::min<int64_t>(picture.columns, tiles), rows = (tiles + columns - 1) / columns;
    const int64_t width = columns * picture.width * (picture.beforeAndAfter ? 2 : 1), height = rows * picture.height;
    if (width * height > kMostPicturePixels)
        field.Fail(QStringLiteral("the picture would be %1 x %2 pixels, more than the %3 million a picture may have")
                       .arg(width)
                       .arg(height)
                       .arg(kMostPicturePixels / 1000000));
    return picture;
}

}  // namespace

json ParseJson(const QByteArray& text, const QString& file) {
    // Nesting is bounded so that copying and freeing a value (both recursive) cannot exhaust
    // the stack; a key given twice is refused, since the parser would keep only the last.
    std::vector<std::set<std::string>> keysOfObjects;
    const json::parser_callback_t check = [&](int depth, json::parse_event_t event, json& parsed) {
        if (depth > kDeepestNesting)
            Fail(QStringLiteral("%1: values nested more than %2 deep").arg(file).arg(kDeepestNesting));
        if (event == json::parse_event_t::object_start) keysOfObjects.emplace_back();
        if (event == json::parse_event_t::object_end) keysOfObjects.pop_back();
        if (event == json::parse_event_t::key && !keysOfObjects.back().insert(parsed.get<std::string>()).second)
            Fail(QStringLiteral("%1: key %2 is given twice in one object")
                     .arg(file, Quoted(QString::fromStdString(parsed.get<std::string>()))));
        return true;
    };
    try {
        return json::parse(text.constData(), text.constData() + text.size(), check);
    } catch (const json::parse_error& error) {
        // The library's message names the byte and what it expected there.
        const QString reason = QString::fromUtf8(error.what()).section(QStringLiteral(": "), 1);
        Fail(QStringLiteral("%1: not valid JSON: %2").arg(file, reason));
    } catch (const json::exception& error) {
        // A number that overflows a double; the message quotes it, so it can be found.
        const QString reason = QString::fromUtf8(error.what()).section(QLatin1Char(']'), 1).trimmed();
        const QString quoted = reason.section(QLatin1Char('\''), 1, 1);
        const int at = quoted.isEmpty() ? -1 : text.indexOf(quoted.toUtf8());
        const int line = at < 0 ? 0 : int(text.left(at).count('\n')) + 1;
        const int column = at < 0 ? 0 : at - int(text.lastIndexOf('\n', at));
        Fail(at < 0 ? QStringLiteral("%1: not valid JSON: %2").arg(file, reason)
                    : QStringLiteral("%1: line %2, column %3: %4").arg(file).arg(line).arg(column).arg(reason));
    }
}

namespace {

// A journal opens with a line `{"journal": 1, ...}`.
bool IsJournal(const QByteArray& text, const QString& file) {
    const int end = text.indexOf('\n');
    if (end < 0 || !text.trimmed().startsWith('{')) return false;
    try {
        const json first = ParseJson(text.left(end), file);
        return first.is_object() && first.contains("journal");
    } catch (tarnix::Error* raised) {
        const OwnedError error(raised);
        return false;
    }
}

}  // namespace

Session ParseSession(const QByteArray& text, const QString& file) {
    Session session;
    session.file = file;
    session.journal = IsJournal(text, file);
    // A journal's steps stand a line each: they are read from their lines, each with its own
    // place ("line 4") in messages; the last line, cut short when its writer stopped, is left out.
    json document;
    std::vector<json> lines;
    std::vector<QString> lineNames;
    if (session.journal) {
        const QList<QByteArray> parts = text.split('\n');
        document = ParseJson(parts[0], file);
        int lastWritten = int(parts.size()) - 1;
        while (lastWritten > 0 && parts[lastWritten].trimmed().isEmpty()) --lastWritten;
        for (int i = 1; i < parts.size(); ++i) {
            if (parts[i].trimmed().isEmpty()) continue;
            const bool last = i == lastWritten;
            try {
                lines.push_back(ParseJson(parts[i], QStringLiteral("%1: line %2").arg(file).arg(i + 1)));
            } catch (tarnix::Error* raised) {
                OwnedError error(raised);
                if (!last) throw error.Release();
                break;
            }
            lineNames.push_back(QStringLiteral("line %1").arg(i + 1));
        }
    } else {
        document = ParseJson(text, file);
    }
    const Field root(document, QString(), session.file);
    root.ExpectObject({"journal", "mesh", "scale", "rotate", "translate", "layers", "active_layer", "freeze",
                       "preferences", "camera", "picture", "steps"});
    if (session.journal) {
        if (root["journal"].Integer(1, 1) != 1) root["journal"].Fail(QStringLiteral("must be 1"));
        if (root.Has("steps")) root["steps"].Fail(QStringLiteral("a journal's steps stand a line each"));
    } else if (root.Has("journal")) {
        root["journal"].Fail(QStringLiteral("a journal's first line holds only its setup"));
    }
    ReadMesh(root["mesh"], session);
    if (root.Has("scale")) {
        const Field scale = root["scale"];
        if (scale.Value().is_number()) {
            const float s = scale.Positive();
            session.scale = {s, s, s};
        } else {
            const std::vector<Field> axes = scale.Items();
            if (axes.size() != 3) scale.Fail(QStringLiteral("must be a number or a list of three numbers"));
            session.scale = {axes[0].Positive(), axes[1].Positive(), axes[2].Positive()};
        }
    }
    root.IfPresent("rotate", session.rotate, [](const Field& f) { return f.Point(); });
    root.IfPresent("translate", session.translate, [](const Field& f) { return f.Point(); });
    if (root.Has("layers")) ReadLayers(root["layers"], session);
    // A project brings layers of its own, which only reading it tells.
    const bool project = session.meshPath.endsWith(QLatin1String(".corvane"), Qt::CaseInsensitive);
    if (project && session.subdivide != 0)
        root["mesh"]["subdivide"].Fail(QStringLiteral("a project keeps its own levels"));
    for (const char* placement : {"scale", "rotate", "translate"})
        if (project && root.Has(placement)) root[placement].Fail(QStringLiteral("a project keeps its own placement"));
    std::set<QString> layerNames;
    for (const LayerSetup& layer : session.layers) layerNames.insert(layer.name);
    if (root.Has("active_layer")) {
        session.activeLayer = root["active_layer"].String();
        if (!session.activeLayer.isEmpty() && !layerNames.count(session.activeLayer))
            root["active_layer"].Fail(QStringLiteral("no layer %1 in \"layers\"").arg(Quoted(session.activeLayer)));
    }
    if (root.Has("freeze"))
        for (const Field& region : root["freeze"].Items()) session.freeze.push_back(ReadFreezeRegion(region));
    if (root.Has("preferences")) session.preferences = NamedValues(root["preferences"]);
    if (root.Has("camera")) session.camera = Camera(root["camera"]);
    std::vector<Field> steps;
    if (session.journal) {
        for (size_t i = 0; i < lines.size(); ++i) steps.emplace_back(lines[i], lineNames[i], session.file);
    } else {
        steps = root["steps"].Items();
    }
    // Undo and redo are checked against the changes the steps before them can have made (a
    // stroke that misses the mesh makes none, which only running it tells).
    size_t undoable = 0, redoable = 0;
    for (const Field& field : steps) {
        const Step step = ReadStep(field, project ? nullptr : &layerNames);
        if (MayChange(step.kind)) {
            undoable = std::min(undoable + 1, tarnix::Geometry::kMaximumUndoDepth);
            redoable = 0;
        } else if (step.kind == Step::kUndo || step.kind == Step::kRedo) {
            const bool undo = step.kind == Step::kUndo;
            size_t& available = undo ? undoable : redoable;
            if (step.count > available)
                field.Fail(QStringLiteral("%1 %2, but only %3 to %1")
                               .arg(undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                               .arg(step.count)
                               .arg(available));
            available -= step.count;
            (undo ? redoable : undoable) += step.count;
        }
        session.steps.push_back(step);
    }
    if (root.Has("picture")) {
        session.picture = ReadPicture(root["picture"], session.steps.size());
        for (size_t i = 0; i < session.picture.tiles.size(); ++i) {
            const std::optional<size_t> step = session.picture.tiles[i].step;
            if (step && session.steps[*step].kind != Step::kStroke && session.steps[*step].kind != Step::kWholeMesh)
                root["picture"]["tiles"].Items()[i]["step"].Fail(
                    QStringLiteral("steps[%1] is not a stroke or a whole-mesh step").arg(*step));
        }
    }
    return session;
}

Step ParseStep(const nlohmann::json& step, const QString& file) {
    std::set<QString> noLayers;
    Step parsed = ReadStep(Field(step, QString(), file), &noLayers);
    parsed.where = QString::fromStdString(step.begin().key());
    return parsed;
}

Session ReadSession(const QString& path) {
    QFile file(path);
    if (!file.exists()) Fail(QStringLiteral("%1: no such file").arg(path));
    // A device or a pipe could be read for ever.
    if (!QFileInfo(path).isFile()) Fail(QStringLiteral("%1: not a regular file").arg(path));
    if (file.size() > kMostSessionBytes)
        Fail(QStringLiteral("%1: %2 bytes, more than a session file may have (%3)")
                 .arg(path)
                 .arg(file.size())
                 .arg(kMostSessionBytes));
    if (!file.open(QIODevice::ReadOnly)) Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    return ParseSession(file.read(kMostSessionBytes + 1), path);
}

QString MirrorModeName(int mode) {
    return mode >= 0 && mode < kMirrorModes.size() ? kMirrorModes[mode] : kMirrorModes[0];
}

QString FalloffTypeName(int type) { return kFalloffTypes.value(type, kFalloffTypes[0]); }

namespace {

json PointsToJson(const std::vector<tarnix::Vector>& points) {
    json list = json::array();
    for (const tarnix::Vector& p : points) list.push_back({p.x, p.y, p.z});
    return list;
}

json StrokeToJson(const StrokeStep& stroke, bool wholeMesh) {
    json out = {{"tool", stroke.tool.toStdString()}, {"strength", stroke.strength}};
    if (stroke.invert) out["invert"] = true;
    if (stroke.smooth) out["smooth"] = true;
    if (stroke.camera)
        out["camera"] = {{"eye", {stroke.camera->eye.x, stroke.camera->eye.y, stroke.camera->eye.z}},
                         {"target", {stroke.camera->target.x, stroke.camera->target.y, stroke.camera->target.z}}};
    if (!stroke.attributes.empty()) {
        json attributes = json::object();
        for (const NamedValue& attribute : stroke.attributes)
            attributes[attribute.name.toStdString()] = attribute.value;
        out["attributes"] = attributes;
    }
    if (wholeMesh) {
        if (stroke.fromCamera) out["from_camera"] = true;
        return out;
    }
    out["size"] = stroke.size;
    if (stroke.pressure != 1.0f) out["pressure"] = stroke.pressure;
    if (stroke.falloff)
        out["falloff"] = *stroke.falloff == tarnix::BrushOperation::kNoFalloff
                             ? std::string("none")
                             : std::string(tarnix::BrushOperation::FalloffPresetName(*stroke.falloff));
    if (stroke.falloffType) out["falloff_type"] = FalloffTypeName(*stroke.falloffType).toStdString();
    if (stroke.direction) out["direction"] = *stroke.direction;
    if (stroke.mirror != 0) out["mirror"] = MirrorModeName(stroke.mirror).toStdString();
    if (stroke.stamp) out["stamp"] = stroke.stamp->toStdString();
    const StampOptions& o = stroke.stampOptions;
    json options = json::object();
    if (o.factor) options["factor"] = *o.factor;
    if (o.offset) options["offset"] = *o.offset;
    if (o.rotation) options["rotation"] = *o.rotation;
    if (o.inverted) options["inverted"] = *o.inverted;
    if (o.tiled) options["tiled"] = *o.tiled;
    if (o.buildUp) options["buildup"] = *o.buildUp;
    if (o.followStroke) options["follow_stroke"] = *o.followStroke;
    if (o.mirrored) options["mirrored"] = *o.mirrored;
    if (o.randomize) options["randomize"] = *o.randomize;
    if (!options.empty()) out["stamp_options"] = options;
    out["path"] = PointsToJson(stroke.path);
    if (!stroke.pressures.empty()) out["pressures"] = stroke.pressures;
    return out;
}

}  // namespace

json StepToJson(const Step& step) {
    const std::string layer = step.layer.toStdString();
    switch (step.kind) {
        case Step::kStroke:
            return {{"stroke", StrokeToJson(step.stroke, false)}};
        case Step::kWholeMesh:
            return {{"whole_mesh", StrokeToJson(step.stroke, true)}};
        case Step::kUndo:
            return {{"undo", step.count}};
        case Step::kRedo:
            return {{"redo", step.count}};
        case Step::kSubdivide:
            return {{"subdivide", step.count}};
        case Step::kLevel:
            return {{"level", step.count}};
        case Step::kFreezeStroke: {
            json freeze = {{"size", step.freeze.size},
                           {"strength", step.freeze.strength},
                           {"path", PointsToJson(step.freeze.path)}};
            if (step.freeze.thaw) freeze["thaw"] = true;
            if (!step.freeze.pressures.empty()) freeze["pressures"] = step.freeze.pressures;
            return {{"freeze_stroke", freeze}};
        }
        case Step::kClearFreeze:
            return {{"clear_freeze", true}};
        case Step::kInvertFreeze:
            return {{"invert_freeze", true}};
        case Step::kLayer: {
            json change = {{"name", layer}};
            if (step.layerStrength) change["strength"] = *step.layerStrength;
            return {{"layer", change}};
        }
        case Step::kAddLayer:
            return {{"add_layer",
                     {{"name", step.added.name.toStdString()},
                      {"strength", step.added.strength},
                      {"locked", step.added.locked}}}};
        case Step::kRenameLayer:
            return {{"rename_layer", {{"name", layer}, {"to", step.newName.toStdString()}}}};
        case Step::kLockLayer:
            return {{"lock_layer", {{"name", layer}, {"locked", step.locked}}}};
        case Step::kLayerStrength:
            return {{"layer_strength", {{"name", layer}, {"strength", step.layerStrength.value_or(1.0f)}}}};
        case Step::kPreferences: {
            json values = json::object();
            for (const NamedValue& value : step.preferences) values[value.name.toStdString()] = value.value;
            return {{"preferences", values}};
        }
    }
    return {};
}

QString SessionRelativePath(const Session& session, const QString& path) {
    if (QFileInfo(path).isAbsolute()) return path;
    return QFileInfo(session.file).dir().filePath(path);
}

}  // namespace corvane_apps
