// _corvane: the Python extension under the `corvane` package. It binds the programs' shared
// library (BrushHost, Sculpture and the steps run on it, sessions, mesh files, pictures): the package's Python code
// turns keyword arguments into the session format's step objects and passes them here as JSON
// text, so that scripts get the same checks and the same one-line messages as session files.
//
// Faults (tarnix::Error*) become corvane.Error with the message the programs print. Arrays
// going out are fresh NumPy arrays: the host may move a level's storage (a tessellating stroke,
// its undo, a new level), so a view into it could outlive the memory. Arrays coming in are read
// in place when they already have the right type and layout.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include <QTextStream>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "errors.h"
#include "mesh_files.h"
#include "preview.h"
#include "sculpture.h"
#include "session.h"
#include "session_runner.h"
#include "step_runner.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/kernel.h"
#include "tarnix/preferences.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

namespace py = pybind11;

namespace {

using corvane_apps::BrushHost;
using corvane_apps::Fail;
using corvane_apps::Sculpture;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The host is made when a script first needs it, and lives while any sculpture does.
struct HostPlaces {
    QString plugins, resources;
    std::shared_ptr<BrushHost> host;
};

HostPlaces& Places() {
    static HostPlaces places;
    return places;
}

std::shared_ptr<BrushHost> Host() {
    HostPlaces& places = Places();
    if (!places.host) places.host = std::make_shared<BrushHost>(places.plugins);
    return places.host;
}

py::dict FiguresDict(const corvane_apps::StrokeFigures& figures) {
    py::dict d;
    d["step"] = figures.step.toStdString();
    d["tool"] = figures.tool.toStdString();
    d["whole_mesh"] = figures.wholeMesh;
    d["dabs"] = figures.dabs;
    d["processed_vertices"] = figures.processedVertices;
    d["vertex_updates"] = figures.vertexUpdates;
    d["moved_vertices"] = figures.movedVertices;
    d["added_vertices"] = figures.addedVertices;
    d["faces_changed"] = figures.facesChanged;
    d["max_displacement"] = figures.maxDisplacement;
    d["seconds"] = figures.seconds;
    d["module_seconds"] = figures.brushSeconds;
    d["host_seconds"] = std::max(0.0, figures.seconds - figures.brushSeconds);
    d["mega_vertices_per_second"] = figures.MegaVerticesPerSecond();
    if (!figures.warning.isEmpty()) d["warning"] = figures.warning.toStdString();
    return d;
}

// Checks what only the loaded module can tell (tool, attributes, preferences), as for a session.
void CheckWithHost(const BrushHost& host, const corvane_apps::Step* step,
                   const std::vector<corvane_apps::NamedValue>& preferences) {
    corvane_apps::Session session;
    session.file = QStringLiteral("corvane");
    if (step) session.steps.push_back(*step);
    session.preferences = preferences;
    host.CheckSession(session);
}

class PySculpture {
public:
    PySculpture(const corvane_apps::MeshFile& file, const QString& name, uint32_t subdivide)
        : m_host(Host()), m_sculpture(std::make_unique<Sculpture>(*m_host)) {
        m_sculpture->Load(file, name, subdivide);
        // A script's stamps are found from its working folder; its strokes look from their
        // first point, and whole-mesh steps from where pictures nobody placed look.
        m_steps = std::make_unique<corvane_apps::StepRunner>(
            *m_host, *m_sculpture, corvane_apps::StepContext{{}, QStringLiteral("here"), {}, {}});
    }

    Sculpture& Get() const {
        if (!m_sculpture) Fail(QStringLiteral("the sculpture is closed"));
        return *m_sculpture;
    }
    void Close() {
        m_steps.reset();
        m_sculpture.reset();
    }

    const tarnix::SubdivisionLevel& LevelOf(std::optional<uint32_t> level) const {
        const Sculpture& sculpture = Get();
        const uint32_t index = level.value_or(sculpture.Level().Index());
        if (index >= sculpture.LevelCount())
            Fail(QStringLiteral("level %1 does not exist (levels 0 to %2)").arg(index).arg(sculpture.LevelCount() - 1));
        return *sculpture.Geometry().Level(index);
    }

    py::object Step(const std::string& text) {
        Get();  // refuses a closed sculpture
        const corvane_apps::Step step =
            corvane_apps::ParseStep(corvane_apps::ParseJson(QByteArray::fromStdString(text), QStringLiteral("corvane")),
                                    QStringLiteral("corvane"));
        if (step.kind == corvane_apps::Step::kUndo || step.kind == corvane_apps::Step::kRedo) {
            m_steps->TakeBack(step);
            return py::none();
        }
        CheckWithHost(*m_host, &step, {});
        if (step.stroke.stamp)
            corvane_apps::WithContext(QStringLiteral("corvane: %1.stamp").arg(step.where),
                                      [&] { m_steps->WithStampFile(step.stroke); });
        const corvane_apps::StrokeFigures figures = m_steps->Sculpt(step);
        // A step that changed nothing says why, as Python says such things.
        if (!figures.warning.isEmpty() &&
            PyErr_WarnEx(PyExc_UserWarning,
                         QStringLiteral("%1: %2").arg(step.where, figures.warning).toUtf8().constData(), 1) != 0)
            throw py::error_already_set();
        return FiguresDict(figures);
    }

    std::shared_ptr<BrushHost> m_host;
    std::unique_ptr<Sculpture> m_sculpture;
    std::unique_ptr<corvane_apps::StepRunner> m_steps;
};

corvane_apps::MeshFile FromArrays(py::array_t<float, py::array::c_style | py::array::forcecast> positions,
                                  py::array_t<int64_t, py::array::c_style | py::array::forcecast> faces) {
    if (positions.ndim() != 2 || positions.shape(1) != 3)
        Fail(QStringLiteral("positions must be an array of shape (n, 3)"));
    if (faces.ndim() != 2 || faces.shape(1) < 3)
        Fail(QStringLiteral("faces must be an array of shape (m, 3) or (m, 4)"));
    corvane_apps::MeshFile file;
    tarnix::PolygonMesh& polygons = file.polygons;
    const auto p = positions.unchecked<2>();
    for (py::ssize_t v = 0; v < p.shape(0); ++v) polygons.positions.push_back({p(v, 0), p(v, 1), p(v, 2)});
    const auto f = faces.unchecked<2>();
    for (py::ssize_t i = 0; i < f.shape(0); ++i) {
        polygons.faceSizes.push_back(uint32_t(f.shape(1)));
        for (py::ssize_t k = 0; k < f.shape(1); ++k) {
            if (f(i, k) < 0 || f(i, k) > UINT32_MAX)
                Fail(QStringLiteral("face %1 names vertex %2").arg(i).arg(f(i, k)));
            polygons.faceVertices.push_back(uint32_t(f(i, k)));
        }
    }
    return file;
}

// Positions and normals in the mesh's own space (the levels may carry a part of its placement's scale).
py::array_t<float> Positions(const corvane_apps::Sculpture& sculpture, const tarnix::Mesh& mesh) {
    py::array_t<float> array({py::ssize_t(mesh.VertexCount()), py::ssize_t(3)});
    auto out = array.mutable_unchecked<2>();
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
        const tarnix::Vector p = sculpture.OwnPosition(mesh.VertexPosition(v));
        out(v, 0) = p.x;
        out(v, 1) = p.y;
        out(v, 2) = p.z;
    }
    return array;
}

py::array_t<float> Normals(const corvane_apps::Sculpture& sculpture, const tarnix::Mesh& mesh) {
    py::array_t<float> array({py::ssize_t(mesh.VertexCount()), py::ssize_t(3)});
    auto out = array.mutable_unchecked<2>();
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
        const tarnix::Vector n = sculpture.OwnNormal(mesh.VertexNormal(v));
        out(v, 0) = n.x;
        out(v, 1) = n.y;
        out(v, 2) = n.z;
    }
    return array;
}

py::array_t<uint32_t> Faces(const tarnix::Mesh& mesh) {
    const py::ssize_t corners = mesh.CornersPerFace();
    py::array_t<uint32_t> array({py::ssize_t(mesh.m_faceCount), corners});
    std::copy(mesh.m_cornerIndices.begin(), mesh.m_cornerIndices.begin() + mesh.m_faceCount * corners,
              array.mutable_data());
    return array;
}

py::array_t<uint8_t> PictureArray(const corvane_apps::Picture& picture) {
    py::array_t<uint8_t> array({py::ssize_t(picture.height), py::ssize_t(picture.width), py::ssize_t(3)});
    std::copy(picture.rgb.begin(), picture.rgb.end(), array.mutable_data());
    return array;
}

corvane_apps::Picture Picture(const Sculpture& sculpture, std::optional<std::array<float, 3>> eye, int width,
                              int height) {
    if (width < 16 || width > 4096 || height < 16 || height > 4096)
        Fail(QStringLiteral("a picture is 16 to 4096 pixels wide and high, not %1 x %2").arg(width).arg(height));
    const corvane_apps::View view =
        eye ? corvane_apps::View{tarnix::Vector((*eye)[0], (*eye)[1], (*eye)[2]), sculpture.WorldBox().Center()}
            : sculpture.DefaultView();
    corvane_apps::Picture picture = sculpture.Render(view, width, height);
    // A picture that cannot show the mesh says why, as Python says such things.
    if (!picture.problem.isEmpty() && PyErr_WarnEx(PyExc_UserWarning, picture.problem.toUtf8().constData(), 1) != 0)
        throw py::error_already_set();
    return picture;
}

}  // namespace

PYBIND11_MODULE(_corvane, module) {
    module.doc() = "The Corvane sculpting host, bound for Python (use the `corvane` package).";
    static py::exception<std::runtime_error> error(module, "Error");
    py::register_exception_translator([](std::exception_ptr pointer) {
        try {
            if (pointer) std::rethrow_exception(pointer);
        } catch (tarnix::Error* raised) {
            PyErr_SetString(error.ptr(), corvane_apps::OwnedError(raised).Message().toStdString().c_str());
        } catch (const nlohmann::json::exception& fault) {
            PyErr_SetString(error.ptr(), fault.what());
        }
    });

    module.attr("MOST_SUBDIVISIONS") = corvane_apps::kMostSubdivisions;
    module.def("_configure", [](const std::string& plugins, const std::string& resources) {
        Places().plugins = Text(plugins);
        Places().resources = Text(resources);
        QStringList folders = tarnix::Kernel::ResourceDirectories();
        folders.prepend(Text(resources));
        tarnix::Kernel::SetResourceDirectories(folders);
        // Scripts read the figures from the reports; the module's log stays out of their output.
        tarnix::Kernel::SetLogEcho(false);
    });
    module.def("_shutdown", [] { Places().host.reset(); });
    module.def(
        "tools",
        [] {
            std::vector<std::string> names;
            for (const tarnix::BrushConfiguration* tool : Host()->Tools()) names.push_back(tool->Name().toStdString());
            return names;
        },
        "The tools (the brush's presets) by name, in the module's order.");
    module.def(
        "shapes",
        [] {
            std::vector<std::string> names;
            for (const QString& name : shapes::ShapeNames()) names.push_back(name.toStdString());
            return names;
        },
        "The built-in shapes.");
    module.def(
        "mesh_formats",
        [] {
            std::vector<std::string> names;
            for (const QString& name : corvane_apps::MeshFormatsRead()) names.push_back(name.toStdString());
            return names;
        },
        "The mesh file formats read and written, by extension.");
    module.def("_set_preference", [](const std::string& name, const std::string& value) {
        const std::shared_ptr<BrushHost> host = Host();
        const corvane_apps::NamedValue preference{
            Text(name), corvane_apps::ParseJson(QByteArray::fromStdString(value), QStringLiteral("corvane")),
            QStringLiteral("preferences.") + Text(name)};
        CheckWithHost(*host, nullptr, {preference});
        BrushHost::SetPreference(preference);
    });
    module.def(
        "preferences",
        [] {
            Host();
            py::dict values;
            for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All())
                values[py::str(entry.name.toStdString())] = entry.attribute->ToText().toStdString();
            return values;
        },
        "Every preference of the loaded modules with its current value as text.");
    module.def("_run_session", [](const std::string& text, const std::string& file, const std::string& out, bool echo) {
        const corvane_apps::Session session =
            file.empty() ? corvane_apps::ParseSession(QByteArray::fromStdString(text), QStringLiteral("session"))
                         : corvane_apps::ReadSession(Text(file));
        QString progress, warnings;
        QTextStream stream(&progress), warningStream(&warnings);
        corvane_apps::RunSession(session, *Host(), Text(out), stream, warningStream);
        stream.flush();
        warningStream.flush();
        if (echo) py::print(progress.toStdString(), py::arg("end") = "");
        // Steps that changed nothing and pictures that cannot show the mesh say why.
        for (const QString& line : warnings.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (PyErr_WarnEx(PyExc_UserWarning, line.toUtf8().constData(), 1) != 0) throw py::error_already_set();
    });

    py::class_<PySculpture>(module, "_Sculpture")
        .def_static("open",
                    [](const std::string& path, uint32_t subdivide) {
                        const corvane_apps::MeshFile file = corvane_apps::ReadMesh(Text(path));
                        for (const QString& warning : file.warnings)
                            if (PyErr_WarnEx(PyExc_UserWarning, warning.toUtf8().constData(), 1) != 0)
                                throw py::error_already_set();
                        return std::make_unique<PySculpture>(file, Text(path), subdivide);
                    })
        .def_static("shape",
                    [](const std::string& name, uint32_t subdivide) {
                        corvane_apps::MeshFile file;
                        if (!shapes::Named(Text(name), file.polygons))
                            Fail(QStringLiteral("\"%1\" is not one of %2")
                                     .arg(Text(name), shapes::ShapeNames().join(QStringLiteral(", "))));
                        return std::make_unique<PySculpture>(file, Text(name), subdivide);
                    })
        .def_static("from_arrays",
                    [](py::array positions, py::array faces, uint32_t subdivide) {
                        return std::make_unique<PySculpture>(FromArrays(positions, faces), QStringLiteral("arrays"),
                                                             subdivide);
                    })
        .def("close", &PySculpture::Close)
        .def_property_readonly("closed", [](const PySculpture& s) { return !s.m_sculpture; })
        .def("step", &PySculpture::Step)
        .def_property(
            "level", [](const PySculpture& s) { return s.Get().Level().Index(); },
            [](PySculpture& s, uint32_t level) { s.Get().SculptLevel(level); })
        .def_property_readonly("level_count", [](const PySculpture& s) { return s.Get().LevelCount(); })
        .def("subdivide", [](PySculpture& s, uint32_t levels) { s.Get().Subdivide(levels); })
        .def("positions",
             [](const PySculpture& s, std::optional<uint32_t> level) { return Positions(s.Get(), s.LevelOf(level)); })
        .def("normals",
             [](const PySculpture& s, std::optional<uint32_t> level) { return Normals(s.Get(), s.LevelOf(level)); })
        .def("faces", [](const PySculpture& s, std::optional<uint32_t> level) { return Faces(s.LevelOf(level)); })
        .def("uvs",
             [](const PySculpture& s, std::optional<uint32_t> level) -> py::object {
                 const tarnix::SubdivisionLevel& mesh = s.LevelOf(level);
                 const tarnix::FaceVaryingUVs* uvs = s.Get().Geometry().UVs(mesh.Index());
                 if (!uvs) return py::none();
                 py::array_t<float> values({py::ssize_t(uvs->values.size()), py::ssize_t(2)});
                 std::copy(&uvs->values.data()->u, &uvs->values.data()->u + 2 * uvs->values.size(),
                           values.mutable_data());
                 py::array_t<uint32_t> corners({py::ssize_t(mesh.m_faceCount), py::ssize_t(mesh.CornersPerFace())});
                 std::copy(uvs->corners.begin(), uvs->corners.end(), corners.mutable_data());
                 return py::make_tuple(values, corners);
             })
        .def("bounds",
             [](const PySculpture& s) {
                 const tarnix::AxisAlignedBoundingBox box = s.Get().WorldBox();
                 return py::make_tuple(py::make_tuple(box.Minimum().x, box.Minimum().y, box.Minimum().z),
                                       py::make_tuple(box.Maximum().x, box.Maximum().y, box.Maximum().z));
             })
        .def("place",
             [](PySculpture& s, std::array<double, 3> scale, std::array<double, 3> rotate,
                std::array<double, 3> translate) {
                 // The limits of a session file's placement.
                 const double limit = corvane_apps::kSessionCoordinateLimit;
                 for (int axis = 0; axis < 3; ++axis) {
                     if (!(scale[axis] > 0.0) || !std::isnormal(float(scale[axis])) || scale[axis] > limit)
                         Fail(QStringLiteral("corvane: scale[%1]: %2 is out of range (0, %3]")
                                  .arg(axis)
                                  .arg(scale[axis])
                                  .arg(limit));
                     for (const auto& [values, name] :
                          {std::pair{&rotate, "rotate"}, std::pair{&translate, "translate"}})
                         if (!(std::fabs((*values)[axis]) <= limit))
                             Fail(QStringLiteral("corvane: %1[%2]: %3 is out of range [-%4, %4]")
                                      .arg(QLatin1String(name))
                                      .arg(axis)
                                      .arg((*values)[axis])
                                      .arg(limit));
                 }
                 const auto vector = [](const std::array<double, 3>& v) {
                     return tarnix::Vector(float(v[0]), float(v[1]), float(v[2]));
                 };
                 s.Get().Place(vector(scale), vector(rotate), vector(translate));
             })
        .def_property_readonly("undo_count", [](const PySculpture& s) { return s.Get().UndoCount(); })
        .def_property_readonly("redo_count", [](const PySculpture& s) { return s.Get().RedoCount(); })
        .def("add_layer",
             [](PySculpture& s, const std::string& name, float strength, bool locked, bool activate) {
                 const tarnix::SubdivisionLevel& level = s.Get().Level();
                 for (uint32_t i = 0; i < level.LayerCount(); ++i)
                     if (level.Layer(i)->Name() == Text(name))
                         Fail(QStringLiteral("there is a layer \"%1\" already").arg(Text(name)));
                 if (name.empty()) Fail(QStringLiteral("a layer needs a name"));
                 if (!(strength >= 0.0f && strength <= 1.0f))
                     Fail(QStringLiteral("layer strength %1 is out of range [0, 1]").arg(strength));
                 s.Get().AddLayer({Text(name), strength, locked}, activate);
             })
        .def("activate_layer",
             [](PySculpture& s, const std::string& name, std::optional<float> strength) {
                 if (strength && !(*strength >= 0.0f && *strength <= 1.0f))
                     Fail(QStringLiteral("layer strength %1 is out of range [0, 1]").arg(*strength));
                 if (!s.Get().ActivateLayer(Text(name), strength))
                     Fail(QStringLiteral("no layer \"%1\"").arg(Text(name)));
             })
        .def("layers",
             [](const PySculpture& s) {
                 const tarnix::SubdivisionLevel& level = s.Get().Level();
                 py::list layers;
                 for (uint32_t i = 0; i < level.LayerCount(); ++i) {
                     const tarnix::SculptLayer& layer = *level.Layer(i);
                     py::dict d;
                     d["name"] = layer.Name().toStdString();
                     d["strength"] = layer.Strength();
                     d["locked"] = layer.IsLocked();
                     d["active"] = level.ActiveLayer() == &layer;
                     layers.append(d);
                 }
                 return layers;
             })
        .def("freeze",
             [](PySculpture& s, py::array_t<float, py::array::c_style | py::array::forcecast> strengths) {
                 if (strengths.ndim() != 1)
                     Fail(QStringLiteral("freeze strengths must be an array of one value per vertex"));
                 s.Get().Freeze(strengths.data(), size_t(strengths.shape(0)));
             })
        .def("frozen",
             [](const PySculpture& s) {
                 const tarnix::SubdivisionLevel& level = s.Get().Level();
                 py::array_t<float> array(py::ssize_t(level.VertexCount()));
                 float* out = array.mutable_data();
                 for (uint32_t v = 0; v < level.VertexCount(); ++v)
                     out[v] = float(level.m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask) /
                              tarnix::Mesh::kFreezeStrengthMask;
                 return array;
             })
        .def("render", [](const PySculpture& s, std::optional<std::array<float, 3>> eye, int width,
                          int height) { return PictureArray(Picture(s.Get(), eye, width, height)); })
        .def("save_picture",
             [](const PySculpture& s, const std::string& path, std::optional<std::array<float, 3>> eye, int width,
                int height) { corvane_apps::WritePng(Picture(s.Get(), eye, width, height), Text(path)); })
        .def("save", [](const PySculpture& s, const std::string& path, std::optional<uint32_t> level) {
            return s.Get().Write(Text(path), level);
        });
}
