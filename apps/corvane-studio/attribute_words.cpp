#include "attribute_words.h"

#include <vector>

#include <QHash>

namespace corvane_studio {
namespace {

// Where a setting is listed: with the tool's settings, under Advanced, or under Advanced and
// saying that the host's stroke does not read it yet.
enum Place { kMain, kAdvanced, kUnused };

// One key's words as plain (UTF-8) text; an empty unit for none.
struct Entry {
    struct Choice {
        int value;
        const char* name;
        const char* tip;
    };
    const char* key;
    const char* label;
    const char* tip;
    const char* unit;
    Place place;
    std::vector<Choice> choices;
};

// Each entry kept as written, one row of the table after another.
// clang-format off
const Entry kEntries[] = {
    // ---- the framework's brush settings ------------------------------------------------------
    {"size", "Size", "The brush radius: on screen in pixels, turned into world units where a stroke starts.", "px", kMain},
    {"strength", "Strength", "How strongly a stroke works, 0 to 100, the same scale for every tool: 15 shows "
     "in one stroke, 100 never moves the surface further than the brush radius.", "", kMain},
    {"falloff", "Falloff", "How the brush's effect fades from its centre to its rim.", "", kMain,
     {{0, "Linear", "Fades evenly from the centre to the rim."},
      {1, "Smooth", "Full at the centre, easing out to nothing at the rim."},
      {2, "Soft", "Broad and rounded, easing out towards the rim."},
      {3, "Sharp", "Strongest at the centre, dropping away quickly."},
      {4, "Flat", "The same strength everywhere under the brush."},
      {5, "Sphere", "The profile of a ball: nearly full until close to the rim."},
      {6, "Needle", "A narrow point at the centre."},
      {7, "Plateau", "Full out to four fifths of the radius, then easing out."},
      {8, "Bell", "A bell curve, soft at the rim."},
      {9, "Ring", "Strongest half way out, nothing at the centre and the rim."},
      {-1, "None", "No falloff curve: the tools sculpt nothing without one."}}},
    {"fallofftype", "Falloff kind", "Which part of the surface the brush reaches.", "", kMain,
     {{0, "Surface", "Spreads over the surface from where the brush touches it: a fold behind stays "
                      "untouched."},
      {1, "Geodesic", "By the distance along the surface: a round region on a flat surface, not reaching "
                       "across gaps."},
      {2, "Volume", "Everything inside the brush's sphere, whatever part of the surface it belongs to."}}},
    {"direction", "Direction", "The way the tool moves the surface.", "", kMain,
     {{0, "Normal at the centre", "Along the surface's normal under the brush centre."},
      {1, "Area normal", "Along the average normal of the area under the brush."},
      {2, "Vertex normals", "Each point along its own normal."},
      {3, "Along the stroke", "In the direction the stroke travels."},
      {4, "Across the stroke", "Sideways to the stroke, within the surface."},
      {5, "X axis", "Along the mesh's x axis."},
      {6, "Y axis", "Along the mesh's y axis."},
      {7, "Z axis", "Along the mesh's z axis."},
      // Modes 8 and 9 move alike; the studio offers one of them.
      {8, "Towards the camera", "Towards the eye, from each dab."},
      {10, "XY diagonal", "Along the diagonal between the x and y axes."},
      {11, "XZ diagonal", "Along the diagonal between the x and z axes."},
      {12, "YZ diagonal", "Along the diagonal between the y and z axes."}}},
    {"strokesmoothing", "Stroke smoothing", "The dabs trail the pointer for a steadier line: the larger the "
     "amount (up to 0.95), the steadier the line and the further the dabs lag behind. Off, they lie on the "
     "pointer's path.", "", kMain},
    {"dabspacing", "Dab spacing", "The distance between dabs along the stroke, in percent of the brush "
     "radius. Closer dabs each give less, so a stroke's strength stays the same.", "% of radius", kMain},
    {"pressuresize", "Pressure sets size", "Pen pressure scales each dab's radius as well as its strength.", "", kMain},
    {"invert", "Invert", "The tool works the other way (Sculpt lowers), as holding Ctrl does; Ctrl then turns "
     "it back.", "", kMain},
    {"projecttosurface", "Stay on the surface", "Moved points are put back onto the surface, so the faces "
     "even out and the shape stays.", "", kMain},
    {"adaptiverefine", "Detail size", "With dynamic tessellation: the edge length aimed at, times the brush "
     "radius (off: 0.2 of the radius).", "× radius", kMain},
    {"strengthscale", "Tool strength scale", "The tool's own factor on the strength, set as the tool is "
     "picked (Pinch 0.01, Amplify 0.2, Wax 0.5, otherwise 1).", "×", kAdvanced},
    {"strengthbias", "Wax bias", "Wax only: lets a share (in hundredths) of each dab's move through whatever "
     "the pen's pressure.", "", kAdvanced},
    {"distancemode", "Region distance", "How the area the tool reads its direction and plane from is "
     "measured. Choosing the falloff kind sets it (Geodesic: along the surface).", "", kAdvanced,
     {{0, "Over the surface", "Spread over the surface from the hit."},
      {1, "Along the surface", "By the distance along the surface (geodesic)."}}},
    {"steadystroke", "Steady stroke", "Holds the stroke back until the pointer has moved this far.", "", kUnused},
    {"dabjitter", "Dab jitter", "Scatters the dabs around the path, in percent of the radius.", "%", kUnused},
    {"curvaturerefine", "Refine by curvature", "With dynamic tessellation: finer faces where the surface "
     "bends.", "", kUnused},
    {"stamprandomize", "Random stamp", "Turns and shifts each dab's stamp at random, by the amount.", "", kUnused},

    // ---- the base brush's (Velder) ----------------------------------------------------------
    {"dynamictessellation", "Dynamic tessellation", "On a triangle mesh that is not subdivided, each dab "
     "splits the long edges under the brush and merges the short ones, adding detail where you sculpt.", "", kMain},
    {"refinemode", "Refine", "When dynamic tessellation refines the faces under the brush.", "", kAdvanced,
     {{0, "Every few dabs", "Every \"Refine interval\" dabs."},
      {1, "Every dab", "At every dab."}}},
    {"refineinterval", "Refine interval", "With dynamic tessellation refining every few dabs: how many.", "dabs", kAdvanced},

    // ---- the module's (Corvane) -------------------------------------------------------------
    {"builduprate", "Build-up", "How quickly a stroke builds to its full height over a spot: at 1 the first "
     "dab gives most of it, lower rates need more dabs over the same spot. The height a stroke reaches stays "
     "the same.", "", kMain},
    {"preservevolume", "Keep volume", "Smoothing inflates back what it would shrink, so forms keep their "
     "volume.", "", kMain},
    {"affectalllayers", "All layers", "Smooths the surface as shown, all layers together; off, only the layer "
     "strokes go into.", "", kMain},
    {"globalplane", "Average plane", "The plane the tool works towards is the mean of the planes of the "
     "stroke's dabs so far, for an even surface along a long stroke.", "", kMain},
    {"updateplane", "Plane follows", "The plane is found again at every dab; off, the first dab's plane holds "
     "for the whole stroke.", "", kMain},
    {"lockborders", "Hold borders", "The points on the mesh's open borders stay where they are.", "", kMain},
    {"bilinearsample", "Smooth stamp sampling", "Reads the stamp image between its pixels (bilinear), for "
     "smoother stamps at a little cost.", "", kAdvanced},
    {"drawfromcenter", "Drag from the centre", "Imprint: the drag grows the imprint from where it starts; "
     "off, it fills the box the drag spans.", "", kUnused},
};
// clang-format on

QHash<QString, AttributeWords> MakeTable() {
    QHash<QString, AttributeWords> table;
    for (const Entry& entry : kEntries) {
        AttributeWords& words = table[QLatin1String(entry.key)];
        words.label = QString::fromUtf8(entry.label);
        words.tip = QString::fromUtf8(entry.tip);
        if (entry.place == kUnused) words.tip += QStringLiteral(" This studio does not use it yet.");
        words.unit = QString::fromUtf8(entry.unit);
        for (const Entry::Choice& choice : entry.choices)
            words.choices.push_back({choice.value, QString::fromUtf8(choice.name), QString::fromUtf8(choice.tip)});
        words.advanced = entry.place != kMain;
    }
    return table;
}

}  // namespace

const AttributeWords* WordsFor(const QString& key) {
    static const QHash<QString, AttributeWords> table = MakeTable();
    const auto found = table.constFind(key);
    return found == table.constEnd() ? nullptr : &found.value();
}

QString PreferenceTip(const QString& name) {
    static const QHash<QString, QString> tips = {
        {QStringLiteral("Render Corvane"),
         QStringLiteral("The brush tells the viewport which areas it changed, dab by dab.")},
        {QStringLiteral("Use Original Data For Flatten"),
         QStringLiteral(
             "Flatten and the other plane tools find their plane from the normals as the stroke found them.")},
        {QStringLiteral("Use Vertex Weights For Flatten"),
         QStringLiteral("Points near the brush centre count more in finding the plane.")},
        {QStringLiteral("Wax Fills Only"), QStringLiteral("Wax only ever raises the surface.")},
        {QStringLiteral("Wax Scrapes Only"), QStringLiteral("Wax only ever lowers the surface.")},
        {QStringLiteral("Corvane Level Factor"),
         QStringLiteral("Scales how finely the brush works for its size (0.25 to 4; 1 to start with).")},
    };
    return tips.value(name);
}

}  // namespace corvane_studio
