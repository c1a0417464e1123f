#include "attribute_words.h"

#include <QHash>

namespace corvane_studio {
namespace {

// Settings the host's stroke does not read yet: shown, but under Advanced and saying so.
const QString kNotUsedYet = QStringLiteral(" This studio does not use it yet.");

QHash<QString, AttributeWords> MakeTable() {
    QHash<QString, AttributeWords> table;
    const auto add = [&table](const char* key, AttributeWords words) { table.insert(QLatin1String(key), words); };
    const auto advanced = [](AttributeWords words) {
        words.advanced = true;
        return words;
    };

    // ---- the framework's brush settings ------------------------------------------------------
    add("size", {QStringLiteral("Size"), QStringLiteral("The brush radius: on screen in pixels, turned into world units where a stroke starts."),
                 QStringLiteral("px"), {}});
    add("strength", {QStringLiteral("Strength"),
                     QStringLiteral("How strongly a stroke works, 0 to 100, the same scale for every tool: 15 shows in one "
                                    "stroke, 100 never moves the surface further than the brush radius."),
                     {}, {}});
    add("falloff",
        {QStringLiteral("Falloff"), QStringLiteral("How the brush's effect fades from its centre to its rim."), {},
         {{0, QStringLiteral("Linear"), QStringLiteral("Fades evenly from the centre to the rim.")},
          {1, QStringLiteral("Smooth"), QStringLiteral("Full at the centre, easing out to nothing at the rim.")},
          {2, QStringLiteral("Soft"), QStringLiteral("Broad and rounded, easing out towards the rim.")},
          {3, QStringLiteral("Sharp"), QStringLiteral("Strongest at the centre, dropping away quickly.")},
          {4, QStringLiteral("Flat"), QStringLiteral("The same strength everywhere under the brush.")},
          {5, QStringLiteral("Sphere"), QStringLiteral("The profile of a ball: nearly full until close to the rim.")},
          {6, QStringLiteral("Needle"), QStringLiteral("A narrow point at the centre.")},
          {7, QStringLiteral("Plateau"), QStringLiteral("Full out to four fifths of the radius, then easing out.")},
          {8, QStringLiteral("Bell"), QStringLiteral("A bell curve, soft at the rim.")},
          {9, QStringLiteral("Ring"), QStringLiteral("Strongest half way out, nothing at the centre and the rim.")},
          {-1, QStringLiteral("None"), QStringLiteral("No falloff curve: the tools sculpt nothing without one.")}}});
    add("fallofftype",
        {QStringLiteral("Falloff kind"), QStringLiteral("Which part of the surface the brush reaches."), {},
         {{0, QStringLiteral("Surface"),
           QStringLiteral("Spreads over the surface from where the brush touches it: a fold behind stays untouched.")},
          {1, QStringLiteral("Geodesic"),
           QStringLiteral("By the distance along the surface: a round region on a flat surface, not reaching across gaps.")},
          {2, QStringLiteral("Volume"),
           QStringLiteral("Everything inside the brush's sphere, whatever part of the surface it belongs to.")}}});
    add("direction",
        {QStringLiteral("Direction"), QStringLiteral("The way the tool moves the surface."), {},
         {{0, QStringLiteral("Normal at the centre"), QStringLiteral("Along the surface's normal under the brush centre.")},
          {1, QStringLiteral("Area normal"), QStringLiteral("Along the average normal of the area under the brush.")},
          {2, QStringLiteral("Vertex normals"), QStringLiteral("Each point along its own normal.")},
          {3, QStringLiteral("Along the stroke"), QStringLiteral("In the direction the stroke travels.")},
          {4, QStringLiteral("Across the stroke"), QStringLiteral("Sideways to the stroke, within the surface.")},
          {5, QStringLiteral("X axis"), QStringLiteral("Along the mesh's x axis.")},
          {6, QStringLiteral("Y axis"), QStringLiteral("Along the mesh's y axis.")},
          {7, QStringLiteral("Z axis"), QStringLiteral("Along the mesh's z axis.")},
          // Modes 8 and 9 move alike; the studio offers one of them.
          {8, QStringLiteral("Towards the camera"), QStringLiteral("Towards the eye, from each dab.")},
          {10, QStringLiteral("XY diagonal"), QStringLiteral("Along the diagonal between the x and y axes.")},
          {11, QStringLiteral("XZ diagonal"), QStringLiteral("Along the diagonal between the x and z axes.")},
          {12, QStringLiteral("YZ diagonal"), QStringLiteral("Along the diagonal between the y and z axes.")}}});
    add("strokesmoothing",
        {QStringLiteral("Stroke smoothing"),
         QStringLiteral("The dabs trail the pointer for a steadier line: the larger the amount (up to 0.95), the steadier "
                        "the line and the further the dabs lag behind. Off, they lie on the pointer's path."),
         {}, {}});
    add("dabspacing", {QStringLiteral("Dab spacing"),
                       QStringLiteral("The distance between dabs along the stroke, in percent of the brush radius. Closer "
                                      "dabs each give less, so a stroke's strength stays the same."),
                       QStringLiteral("% of radius"), {}});
    add("pressuresize", {QStringLiteral("Pressure sets size"),
                         QStringLiteral("Pen pressure scales each dab's radius as well as its strength."), {}, {}});
    add("invert", {QStringLiteral("Invert"),
                   QStringLiteral("The tool works the other way (Sculpt lowers), as holding Ctrl does; Ctrl then turns it "
                                  "back."),
                   {}, {}});
    add("projecttosurface", {QStringLiteral("Stay on the surface"),
                             QStringLiteral("Moved points are put back onto the surface, so the faces even out and the "
                                            "shape stays."),
                             {}, {}});
    add("adaptiverefine", {QStringLiteral("Detail size"),
                           QStringLiteral("With dynamic tessellation: the edge length aimed at, times the brush radius "
                                          "(off: 0.2 of the radius)."),
                           QStringLiteral("× radius"), {}});
    add("strengthscale", advanced({QStringLiteral("Tool strength scale"),
                                   QStringLiteral("The tool's own factor on the strength, set as the tool is picked (Pinch "
                                                  "0.01, Amplify 0.2, Wax 0.5, otherwise 1)."),
                                   QStringLiteral("×"), {}}));
    add("strengthbias", advanced({QStringLiteral("Wax bias"),
                                  QStringLiteral("Wax only: lets a share (in hundredths) of each dab's move through "
                                                 "whatever the pen's pressure."),
                                  {}, {}}));
    add("distancemode",
        advanced({QStringLiteral("Region distance"),
                  QStringLiteral("How the area the tool reads its direction and plane from is measured. Choosing the "
                                 "falloff kind sets it (Geodesic: along the surface)."),
                  {},
                  {{0, QStringLiteral("Over the surface"), QStringLiteral("Spread over the surface from the hit.")},
                   {1, QStringLiteral("Along the surface"), QStringLiteral("By the distance along the surface (geodesic).")}}}));
    add("steadystroke", advanced({QStringLiteral("Steady stroke"),
                                  QStringLiteral("Holds the stroke back until the pointer has moved this far.") + kNotUsedYet,
                                  {}, {}}));
    add("dabjitter", advanced({QStringLiteral("Dab jitter"),
                               QStringLiteral("Scatters the dabs around the path, in percent of the radius.") + kNotUsedYet,
                               QStringLiteral("%"), {}}));
    add("curvaturerefine", advanced({QStringLiteral("Refine by curvature"),
                                     QStringLiteral("With dynamic tessellation: finer faces where the surface bends.") +
                                         kNotUsedYet,
                                     {}, {}}));
    add("stamprandomize", advanced({QStringLiteral("Random stamp"),
                                    QStringLiteral("Turns and shifts each dab's stamp at random, by the amount.") + kNotUsedYet,
                                    {}, {}}));

    // ---- the base brush's (Velder) ----------------------------------------------------------
    add("dynamictessellation",
        {QStringLiteral("Dynamic tessellation"),
         QStringLiteral("On a triangle mesh that is not subdivided, each dab splits the long edges under the brush and "
                        "merges the short ones, adding detail where you sculpt."),
         {}, {}});
    add("refinemode", advanced({QStringLiteral("Refine"),
                                QStringLiteral("When dynamic tessellation refines the faces under the brush."),
                                {},
                                {{0, QStringLiteral("Every few dabs"), QStringLiteral("Every \"Refine interval\" dabs.")},
                                 {1, QStringLiteral("Every dab"), QStringLiteral("At every dab.")}}}));
    add("refineinterval", advanced({QStringLiteral("Refine interval"),
                                    QStringLiteral("With dynamic tessellation refining every few dabs: how many."),
                                    QStringLiteral("dabs"), {}}));

    // ---- the module's (Corvane) -------------------------------------------------------------
    add("builduprate", {QStringLiteral("Build-up"),
                        QStringLiteral("How quickly a stroke builds to its full height over a spot: at 1 the first dab "
                                       "gives most of it, lower rates need more dabs over the same spot. The height a "
                                       "stroke reaches stays the same."),
                        {}, {}});
    add("preservevolume", {QStringLiteral("Keep volume"),
                           QStringLiteral("Smoothing inflates back what it would shrink, so forms keep their volume."), {},
                           {}});
    add("affectalllayers", {QStringLiteral("All layers"),
                            QStringLiteral("Smooths the surface as shown, all layers together; off, only the layer strokes "
                                           "go into."),
                            {}, {}});
    add("globalplane", {QStringLiteral("Average plane"),
                        QStringLiteral("The plane the tool works towards is the mean of the planes of the stroke's dabs so "
                                       "far, for an even surface along a long stroke."),
                        {}, {}});
    add("updateplane", {QStringLiteral("Plane follows"),
                        QStringLiteral("The plane is found again at every dab; off, the first dab's plane holds for the "
                                       "whole stroke."),
                        {}, {}});
    add("lockborders", {QStringLiteral("Hold borders"),
                        QStringLiteral("The points on the mesh's open borders stay where they are."), {}, {}});
    add("bilinearsample", advanced({QStringLiteral("Smooth stamp sampling"),
                                    QStringLiteral("Reads the stamp image between its pixels (bilinear), for smoother "
                                                   "stamps at a little cost."),
                                    {}, {}}));
    add("drawfromcenter", advanced({QStringLiteral("Drag from the centre"),
                                    QStringLiteral("Imprint: the drag grows the imprint from where it starts; off, it fills "
                                                   "the box the drag spans.") +
                                        kNotUsedYet,
                                    {}, {}}));
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
         QStringLiteral("Flatten and the other plane tools find their plane from the normals as the stroke found them.")},
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
