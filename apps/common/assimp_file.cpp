// PLY, STL, glTF and FBX files through Assimp. Assimp's meshes carry one texture coordinate per
// vertex, so files store a vertex once per UV island it belongs to (and STL once per
// triangle): the reader joins vertices at the same position into one, keeping the coordinates
// per face corner; the writer splits them again.

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>

#include <array>
#include <cmath>
#include <cstring>
#include <map>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {
namespace {

// ---- reading ---------------------------------------------------------------------------------

// Assimp's names for things a file left unnamed ("<STL_BINARY>", "DefaultMaterial") are not
// the file's own names.
QString FileName(const aiString& name) {
    const QString text = QString::fromUtf8(name.C_Str()).trimmed();
    return text.startsWith(QLatin1Char('<')) || text == QStringLiteral(AI_DEFAULT_MATERIAL_NAME) ? QString() : text;
}

template <typename Key>
uint32_t IndexOf(std::map<Key, uint32_t>& index, const Key& key) {
    return index.try_emplace(key, uint32_t(index.size())).first->second;
}

struct SceneReading {
    const aiScene* scene;
    QString path;
    bool withUVs = false;
    MeshFile file{};
    CornerJoiner joiner{file.polygons};
    std::map<std::pair<QString, QString>, uint32_t> partIndex;

    void Node(const aiNode& node, const aiMatrix4x4& parent) {
        const aiMatrix4x4 transform = parent * node.mTransformation;
        for (unsigned i = 0; i < node.mNumMeshes; ++i) Mesh(*scene->mMeshes[node.mMeshes[i]], node, transform);
        for (unsigned i = 0; i < node.mNumChildren; ++i) Node(*node.mChildren[i], transform);
    }

    void Mesh(const aiMesh& mesh, const aiNode& node, const aiMatrix4x4& transform) {
        // Sorting by primitive type left each mesh one kind: points and lines are no surface.
        if (!(mesh.mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON))) {
            file.pointsAndLinesLeftOut += mesh.mNumFaces;
            return;
        }
        tarnix::PolygonMesh& polygons = file.polygons;
        std::vector<uint32_t> vertices(mesh.mNumVertices), uvs(mesh.mNumVertices, 0);
        for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
            const aiVector3D p = transform * mesh.mVertices[v];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                Fail(QStringLiteral("%1: a vertex has a coordinate that is not a finite number").arg(path));
            vertices[v] = joiner.Vertex({p.x, p.y, p.z});
            const aiVector3D uv = mesh.HasTextureCoords(0) ? mesh.mTextureCoords[0][v] : aiVector3D();
            if (!std::isfinite(uv.x) || !std::isfinite(uv.y))
                Fail(QStringLiteral("%1: a texture coordinate is not a finite number").arg(path));
            uvs[v] = joiner.UV(uv.x, uv.y);
        }
        QString group = FileName(node.mName);
        if (group.isEmpty()) group = FileName(mesh.mName);
        const QString material = mesh.mMaterialIndex < scene->mNumMaterials
                                     ? FileName(scene->mMaterials[mesh.mMaterialIndex]->GetName())
                                     : QString();
        const uint32_t part = IndexOf(partIndex, {group, material});
        if (part == file.parts.size()) file.parts.push_back({group, material});
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices < 3) {
                ++file.pointsAndLinesLeftOut;
                continue;
            }
            for (unsigned k = 0; k < face.mNumIndices; ++k) {
                if (face.mIndices[k] >= mesh.mNumVertices)
                    Fail(QStringLiteral("%1: a face names vertex %2 of a mesh of %3")
                             .arg(path)
                             .arg(face.mIndices[k])
                             .arg(mesh.mNumVertices));
                polygons.faceVertices.push_back(vertices[face.mIndices[k]]);
                polygons.faceUVs.push_back(uvs[face.mIndices[k]]);
            }
            polygons.faceSizes.push_back(face.mNumIndices);
            polygons.faceTags.push_back(part);
        }
    }
};

// ---- writing ---------------------------------------------------------------------------------

// An output file of the exporter: written to a temporary file, renamed only when the whole
// export succeeded.
class SavedStream : public Assimp::IOStream {
public:
    explicit SavedStream(QSaveFile& file) : m_file(file) {}
    size_t Read(void*, size_t, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t size, size_t count) override {
        const qint64 written = m_file.write(static_cast<const char*>(buffer), qint64(size * count));
        return written < 0 || size == 0 ? 0 : size_t(written) / size;
    }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const qint64 base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? m_file.pos() : m_file.size();
        return m_file.seek(base + qint64(offset)) ? aiReturn_SUCCESS : aiReturn_FAILURE;
    }
    size_t Tell() const override { return size_t(m_file.pos()); }
    size_t FileSize() const override { return size_t(m_file.size()); }
    void Flush() override {}

private:
    QSaveFile& m_file;
};

class SavingFileSystem : public Assimp::IOSystem {
public:
    bool Exists(const char* path) const override { return QFileInfo::exists(QFile::decodeName(path)); }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        if (!std::strchr(mode, 'w')) return nullptr;
        m_files.push_back(std::make_unique<QSaveFile>(QFile::decodeName(path)));
        if (!m_files.back()->open(QIODevice::WriteOnly)) {
            m_fault =
                QStringLiteral("%1: cannot write: %2").arg(m_files.back()->fileName(), m_files.back()->errorString());
            m_files.pop_back();
            return nullptr;
        }
        return new SavedStream(*m_files.back());
    }
    void Close(Assimp::IOStream* stream) override { delete stream; }

    /// Renames every file written into place; an empty text when all went.
    QString Commit() {
        for (const std::unique_ptr<QSaveFile>& file : m_files)
            if (!file->commit())
                return QStringLiteral("%1: cannot write: %2").arg(file->fileName(), file->errorString());
        return m_fault;
    }
    const QString& Fault() const { return m_fault; }

private:
    std::vector<std::unique_ptr<QSaveFile>> m_files;
    QString m_fault;
};

// One Assimp mesh per part (formats without parts get one): corners with the same vertex and
// texture coordinate share an Assimp vertex.
std::unique_ptr<aiScene> SceneOf(const MeshToWrite& output, bool withParts) {
    const tarnix::Mesh& mesh = *output.mesh;
    const uint32_t perFace = mesh.CornersPerFace();
    const bool partsUsed = withParts && !output.faceParts.empty();
    const size_t partCount = partsUsed ? output.parts.size() : 1;
    std::vector<std::vector<uint32_t>> facesOfPart(partCount);
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) facesOfPart[partsUsed ? output.faceParts[f] : 0].push_back(f);

    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("Corvane");
    std::map<QString, uint32_t> materialIndex;
    std::vector<aiMesh*> meshes;
    std::vector<aiNode*> nodes;
    for (size_t part = 0; part < partCount; ++part) {
        if (facesOfPart[part].empty()) continue;
        const FacePart names = partsUsed ? output.parts[part] : FacePart();
        auto* piece = new aiMesh;
        meshes.push_back(piece);
        piece->mName = aiString(names.group.toStdString());
        piece->mMaterialIndex = IndexOf(materialIndex, names.material);
        piece->mPrimitiveTypes = perFace == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> cornerIndex;
        std::vector<std::pair<uint32_t, uint32_t>> cornerOf;
        piece->mNumFaces = unsigned(facesOfPart[part].size());
        piece->mFaces = new aiFace[piece->mNumFaces];
        for (unsigned i = 0; i < piece->mNumFaces; ++i) {
            const uint32_t f = facesOfPart[part][i];
            aiFace& face = piece->mFaces[i];
            face.mNumIndices = perFace;
            face.mIndices = new unsigned[perFace];
            for (uint32_t k = 0; k < perFace; ++k) {
                const uint32_t uv = output.uvs ? output.uvs->corners[size_t(f) * perFace + k] : 0;
                const std::pair<uint32_t, uint32_t> corner{mesh.FaceCorners(f)[k], uv};
                face.mIndices[k] = IndexOf(cornerIndex, corner);
                if (face.mIndices[k] == cornerOf.size()) cornerOf.push_back(corner);
            }
        }
        piece->mNumVertices = unsigned(cornerOf.size());
        piece->mVertices = new aiVector3D[cornerOf.size()];
        if (output.uvs) {
            piece->mTextureCoords[0] = new aiVector3D[cornerOf.size()];
            piece->mNumUVComponents[0] = 2;
        }
        for (size_t v = 0; v < cornerOf.size(); ++v) {
            const tarnix::Vector p = output.OwnPosition(cornerOf[v].first);
            piece->mVertices[v] = aiVector3D(p.x, p.y, p.z);
            if (output.uvs) {
                const tarnix::TextureCoordinate& uv = output.uvs->values[cornerOf[v].second];
                piece->mTextureCoords[0][v] = aiVector3D(uv.u, uv.v, 0.0f);
            }
        }
        auto* node = new aiNode(names.group.isEmpty() ? std::string("mesh") : names.group.toStdString());
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{unsigned(meshes.size() - 1)};
        nodes.push_back(node);
    }
    scene->mNumMeshes = unsigned(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    std::copy(meshes.begin(), meshes.end(), scene->mMeshes);
    scene->mRootNode->addChildren(unsigned(nodes.size()), nodes.data());
    scene->mNumMaterials = unsigned(materialIndex.size());
    scene->mMaterials = new aiMaterial*[materialIndex.size()];
    for (const auto& [name, index] : materialIndex) {
        scene->mMaterials[index] = new aiMaterial;
        const aiString text(name.isEmpty() ? std::string(AI_DEFAULT_MATERIAL_NAME) : name.toStdString());
        scene->mMaterials[index]->AddProperty(&text, AI_MATKEY_NAME);
    }
    return scene;
}

}  // namespace

namespace {

MeshFile ReadScene(const QString& path) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(QFile::encodeName(path).toStdString(),
                                             aiProcess_ValidateDataStructure | aiProcess_SortByPType);
    if (!scene || !scene->mRootNode)
        Fail(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(importer.GetErrorString()).trimmed()));
    SceneReading reading{scene, path};
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) reading.withUVs |= scene->mMeshes[i]->HasTextureCoords(0);
    reading.Node(*scene->mRootNode, aiMatrix4x4());
    MeshFile& file = reading.file;
    if (!reading.withUVs) {
        file.polygons.uvs.clear();
        file.polygons.faceUVs.clear();
    }
    if (file.parts.size() <= 1) {
        file.parts.clear();
        file.polygons.faceTags.clear();
    }
    return file;
}

}  // namespace

MeshFile ReadWithAssimp(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QStringLiteral("gltf") || extension == QStringLiteral("glb")) CheckGltfFile(path);
    return ReadInChildProcess(path, ReadingBudget::For(QFileInfo(path).size()), [&] { return ReadScene(path); });
}

uint32_t WriteWithAssimp(const MeshToWrite& output, const QString& path, const QString& extension) {
    // Binary PLY and STL; STL and glTF hold triangles only.
    const std::map<QString, std::pair<const char*, bool>> formats = {{QStringLiteral("ply"), {"plyb", false}},
                                                                     {QStringLiteral("stl"), {"stlb", true}},
                                                                     {QStringLiteral("gltf"), {"gltf2", true}},
                                                                     {QStringLiteral("glb"), {"glb2", true}},
                                                                     {QStringLiteral("fbx"), {"fbxa", false}}};
    const auto& [format, triangles] = formats.at(extension);
    const bool withParts = extension != QStringLiteral("ply") && extension != QStringLiteral("stl");
    const std::unique_ptr<aiScene> scene = SceneOf(output, withParts);

    uint32_t written = 0;
    UsedVertexNumbers(*output.mesh, written);
    Assimp::Exporter exporter;
    auto* files = new SavingFileSystem;
    exporter.SetIOHandler(files);  // the exporter owns it
    const aiReturn result = exporter.Export(scene.get(), format, QFile::encodeName(path).toStdString(),
                                            triangles ? aiProcess_Triangulate : 0u);
    if (result != aiReturn_SUCCESS)
        Fail(files->Fault().isEmpty()
                 ? QStringLiteral("%1: %2").arg(path, QString::fromUtf8(exporter.GetErrorString()).trimmed())
                 : files->Fault());
    const QString fault = files->Commit();
    if (!fault.isEmpty()) Fail(fault);
    return written;
}

}  // namespace corvane_apps
