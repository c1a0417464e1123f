// Project files: a document put down and picked up is the same document, bit for bit, and
// sculpts on alike; a file that is not a sound project is refused and changes nothing.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include "caught_error.h"
#include "host_suite.h"
#include "project_file.h"
#include "tarnix/brush_operation.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

class ProjectFileTest : public test_support::HostSuite {
protected:
    static StrokeStep Stroke(const char* tool, std::vector<tarnix::Vector> path, float strength = 30.0f) {
        return HostSuite::Stroke(tool, 0.25f, strength, std::move(path));
    }

    // A sculpted, layered, frozen document on a sphere placed unevenly, two levels subdivided,
    // sculpted one level down.
    static std::unique_ptr<Sculpture> Document() {
        auto sculpture = Shape("sphere", 3);
        sculpture->Place({1, 1.3f, 1}, {10, 0, 0}, {0, 0.5f, 0});
        sculpture->Look({{0, 0.5f, 5}, {0, 0.5f, 0}});
        Run(*sculpture, Stroke("Sculpt", {{-0.3f, 0.4f, 2}, {0.3f, 0.6f, 2}}));
        LayerSetup layer;
        layer.name = QStringLiteral("forms");
        sculpture->AddLayer(layer, true);
        Run(*sculpture, Stroke("Wax", {{-0.2f, 0.2f, 2}, {0.2f, 0.3f, 2}}));
        sculpture->SetLayerStrength(0, 0.6f);
        sculpture->RenameLayer(0, QStringLiteral("big forms"));
        sculpture->PaintFreeze({0, 0.5f, 1}, 0.3f, 0.7f, false);
        sculpture->CommitEdit();
        sculpture->SculptLevel(2);
        Run(*sculpture, Stroke("Smooth", {{-0.2f, 0.5f, 2}, {0.2f, 0.5f, 2}}, 100.0f));
        // The brush as the sculptor left it: Flatten, with a falloff and a stamp of its own.
        StrokeStep flatten = Stroke("Flatten", {{0, 0, 2}});
        flatten.falloff = 4;
        flatten.stamp = QStringLiteral("Stamps/bw_scale.tif");
        sculpture->Prepare(flatten);
        return sculpture;
    }

    static bool SameLevels(const tarnix::Geometry& a, const tarnix::Geometry& b) {
        if (a.LevelCount() != b.LevelCount()) return false;
        for (uint32_t i = 0; i < a.LevelCount(); ++i) {
            const tarnix::SubdivisionLevel &x = *a.Level(i), &y = *b.Level(i);
            if (x.VertexCount() != y.VertexCount() || x.LayerCount() != y.LayerCount()) return false;
            for (uint32_t v = 0; v < x.VertexCount(); ++v)
                if (std::memcmp(x.m_vertices[v].position, y.m_vertices[v].position, 12) != 0 ||
                    x.m_vertices[v].freeze != y.m_vertices[v].freeze ||
                    std::memcmp(&x.m_normals[v], &y.m_normals[v], sizeof(tarnix::PackedNormal)) != 0)
                    return false;
            for (uint32_t k = 0; k < x.LayerCount(); ++k)
                for (uint32_t v = 0; v < x.VertexCount(); ++v)
                    if (!(x.Layer(k)->Offset(v) == y.Layer(k)->Offset(v))) return false;
        }
        return true;
    }
};

TEST_F(ProjectFileTest, ADocumentPutDownAndPickedUpIsTheSameAndSculptsOnAlike) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sphere.corvane"));
    auto original = Document();
    const BrushHost::Settings brush = Host().BrushSettings();
    WriteProject(path, *original, Host(), {{QStringLiteral("freeze strength"), QStringLiteral("35")}});

    // Another document and another tool in hand, then the project.
    tarnix::PolygonMesh cube;
    shapes::Named(QStringLiteral("cube"), cube);
    Sculpture reopened(Host());
    reopened.Load(cube, QStringLiteral("cube"), 1);
    reopened.Prepare(Stroke("Pinch", {{0, 0, 2}}));
    const ProgramSettings program = ReadProject(path, reopened, Host());
    EXPECT_EQ(program.at(QStringLiteral("freeze strength")), QStringLiteral("35"));

    EXPECT_TRUE(SameLevels(original->Geometry(), reopened.Geometry()));
    EXPECT_EQ(reopened.Level().Index(), 2u);
    const tarnix::SculptLayer& layer = *reopened.Geometry().Level(3)->Layer(0);
    EXPECT_EQ(layer.Strength(), 0.6f);
    EXPECT_TRUE(reopened.Geometry().GetTransformation().MeshToWorld() ==
                original->Geometry().GetTransformation().MeshToWorld());
    for (uint32_t v = 0; v < reopened.Level().VertexCount(); ++v)
        ASSERT_TRUE(reopened.OwnPosition(reopened.Level().VertexPosition(v)) ==
                    original->OwnPosition(original->Level().VertexPosition(v)));
    const BrushHost::Settings back = Host().BrushSettings();
    EXPECT_EQ(back.tool, QStringLiteral("Flatten"));
    EXPECT_TRUE(back.attributes == brush.attributes);
    EXPECT_TRUE(back.records == brush.records);
    EXPECT_EQ(back.stamp.m_imagePath, brush.stamp.m_imagePath);

    // The same strokes on both give the same result, to the bit.
    for (Sculpture* sculpture : {original.get(), &reopened}) {
        sculpture->Look({{0, 0.5f, 5}, {0, 0.5f, 0}});
        Run(*sculpture, Stroke("Sculpt", {{-0.3f, 0.6f, 2}, {0.3f, 0.4f, 2}}));
        sculpture->SculptLevel(3);
        Run(*sculpture, Stroke("Pinch", {{-0.3f, 0.5f, 2}, {0.3f, 0.5f, 2}}));
    }
    EXPECT_TRUE(SameLevels(original->Geometry(), reopened.Geometry()));
    EXPECT_EQ(reopened.LayerName(0), QStringLiteral("big forms"));
}

TEST_F(ProjectFileTest, WhatIsNotASoundProjectIsRefusedAndChangesNothing) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sphere.corvane"));
    auto original = Document();
    WriteProject(path, *original, Host());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();

    tarnix::PolygonMesh cube;
    shapes::Named(QStringLiteral("cube"), cube);
    Sculpture kept(Host());
    kept.Load(cube, QStringLiteral("cube"), 2);
    const uint32_t vertices = kept.Level().VertexCount();
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    QByteArray longer = bytes + QByteArray(3, 'x');
    const Case cases[] = {
        {"cut.corvane", bytes.left(bytes.size() / 2), "cut short"},
        {"tail.corvane", longer, "after the project's end"},
        {"text.corvane", QByteArray("v 0 0 0\nf 1 2 3\n"), "not a Corvane project"},
        {"empty.corvane", QByteArray(), "not a Corvane project"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString damaged = folder.filePath(QString::fromLatin1(c.name));
        QFile out(damaged);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.bytes);
        out.close();
        const QString fault = FaultOf([&] { ReadProject(damaged, kept, Host()); });
        EXPECT_TRUE(fault.startsWith(damaged)) << fault.toStdString();
        EXPECT_TRUE(fault.contains(QString::fromLatin1(c.says))) << fault.toStdString();
        EXPECT_EQ(kept.Level().VertexCount(), vertices) << "the document stays";
    }
    EXPECT_FALSE(
        FaultOf([&] { ReadProject(folder.filePath(QStringLiteral("none.corvane")), kept, Host()); }).isEmpty());
}

}  // namespace
}  // namespace corvane_apps
