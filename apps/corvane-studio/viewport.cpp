#include "viewport.h"

#include <cmath>
#include <utility>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTabletEvent>
#include <QWheelEvent>

#include <QSurfaceFormat>

#include "brush_host.h"
#include "sanitizer_support.h"
#include "tarnix/brush_operation.h"
#include "tarnix/geometry.h"
#include "tarnix/subdivision_level.h"

namespace corvane_studio {

void Viewport::PrepareOpenGL() {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
    KeepDriversLoaded();
}
namespace {

// Positions stay in mesh space on the card; the model matrix places them in the world.
const char* const kMeshVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 packedNormal;  // x, y, z and the freeze strength, each -1..1
uniform mat4 modelViewProjection;
uniform mat4 modelView;
uniform mat3 normalMatrix;
out vec3 viewNormal;
out vec3 viewPosition;
out float freeze;
void main() {
    viewNormal = normalMatrix * packedNormal.xyz;
    viewPosition = (modelView * vec4(position, 1.0)).xyz;
    freeze = packedNormal.w;
    gl_Position = modelViewProjection * vec4(position, 1.0);
}
)";

// A clay material lit from over the viewer's shoulder, with a soft rim; frozen areas tinted.
const char* const kMeshFragmentShader = R"(#version 330 core
in vec3 viewNormal;
in vec3 viewPosition;
in float freeze;
uniform vec3 baseColour;
out vec4 colour;
void main() {
    vec3 n = normalize(viewNormal);
    vec3 toEye = normalize(-viewPosition);
    if (dot(n, toEye) < 0.0) n = -n;
    vec3 key = normalize(vec3(-0.4, 0.6, 0.7));
    vec3 fill = normalize(vec3(0.6, -0.2, 0.5));
    float diffuse = max(dot(n, key), 0.0) * 0.75 + max(dot(n, fill), 0.0) * 0.2;
    float specular = pow(max(dot(reflect(-key, n), toEye), 0.0), 24.0) * 0.25;
    float rim = pow(1.0 - max(dot(n, toEye), 0.0), 3.0) * 0.25;
    vec3 surface = mix(baseColour, vec3(0.25, 0.45, 0.95), clamp(freeze, 0.0, 1.0) * 0.7);
    colour = vec4(surface * (0.18 + diffuse) + vec3(specular + rim), 1.0);
}
)";

const char* const kLineVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
uniform mat4 modelViewProjection;
void main() { gl_Position = modelViewProjection * vec4(position, 1.0); }
)";

const char* const kLineFragmentShader = R"(#version 330 core
uniform vec4 lineColour;
out vec4 colour;
void main() { colour = lineColour; }
)";

constexpr int kCursorSegments = 64;

tarnix::Vector ToTarnix(const QVector3D& v) { return {v.x(), v.y(), v.z()}; }
QVector3D ToQt(const tarnix::Vector& v) { return {v.x, v.y, v.z}; }

}  // namespace

Viewport::Viewport(StudioDocument& document, QWidget* parent) : QOpenGLWidget(parent), m_document(document) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setSamples(4);
    setFormat(format);
    setMouseTracking(true);
    // Every pointer move of a stroke counts: merged into the last, the moves of a fast drag
    // would lose its corners. The window system's integration turns merging on as the
    // application starts, so it is turned off here.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    QCoreApplication::setAttribute(Qt::AA_CompressTabletEvents, false);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 240);
    connect(&document, &StudioDocument::MeshReplaced, this, &Viewport::MeshReplaced);
    connect(&document, &StudioDocument::LevelReplaced, this, &Viewport::LevelReplaced);
    connect(&document, &StudioDocument::MeshChanged, this, qOverload<>(&QWidget::update));
}

Viewport::~Viewport() {
    if (!m_glReady) return;
    makeCurrent();
    const GLuint buffers[] = {m_vertexBuffer, m_triangleBuffer, m_edgeBuffer, m_cursorBuffer};
    glDeleteBuffers(4, buffers);
    const GLuint arrays[] = {m_triangleArray, m_edgeArray, m_cursorArray};
    glDeleteVertexArrays(3, arrays);
    doneCurrent();
}

void Viewport::SetWireframe(bool on) {
    m_wireframe = on;
    update();
}

void Viewport::SetBrushPixels(int pixels) {
    pixels = std::clamp(pixels, 2, 1000);
    if (pixels == m_brushPixels) return;
    m_brushPixels = pixels;
    emit BrushPixelsChanged(pixels);
    update();
}

void Viewport::MeshReplaced() {
    LevelReplaced();
    FrameMesh();
}

void Viewport::LevelReplaced() {
    m_sendAll = true;
    m_cursorOn = false;
    m_drag = Drag::kNone;
    update();
}

QMatrix4x4 Viewport::ModelMatrix() const {
    // tarnix matrices act on row vectors; OpenGL's on columns: the same numbers transposed.
    const tarnix::Matrix& toWorld = m_document.Sculpture().Geometry().GetTransformation().MeshToWorld();
    return QMatrix4x4(&toWorld.m[0][0]).transposed();
}

void Viewport::FrameMesh() {
    if (m_document.HasMesh()) {
        const tarnix::AxisAlignedBoundingBox box = m_document.Sculpture().WorldBox();
        m_camera.Frame(ToQt(box.Minimum()), ToQt(box.Maximum()));
    }
    update();
}

void Viewport::SetView(OrbitCamera::View view) {
    m_camera.SetView(view);
    update();
}

void Viewport::initializeGL() {
    initializeOpenGLFunctions();
    m_meshProgram.addShaderFromSourceCode(QOpenGLShader::Vertex, kMeshVertexShader);
    m_meshProgram.addShaderFromSourceCode(QOpenGLShader::Fragment, kMeshFragmentShader);
    m_meshProgram.link();
    m_lineProgram.addShaderFromSourceCode(QOpenGLShader::Vertex, kLineVertexShader);
    m_lineProgram.addShaderFromSourceCode(QOpenGLShader::Fragment, kLineFragmentShader);
    m_lineProgram.link();

    // Triangles and edges each have a vertex array of their own over the one vertex buffer:
    // the element buffer is part of a vertex array's state, so binding the edges' into the
    // triangles' array would leave the next frame drawing triangles from the edges' indices.
    glGenBuffers(1, &m_vertexBuffer);
    glGenBuffers(1, &m_triangleBuffer);
    glGenBuffers(1, &m_edgeBuffer);
    glGenVertexArrays(1, &m_triangleArray);
    glGenVertexArrays(1, &m_edgeArray);
    for (const auto& [array, elements] :
         {std::pair{m_triangleArray, m_triangleBuffer}, std::pair{m_edgeArray, m_edgeBuffer}}) {
        glBindVertexArray(array);
        glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(corvane_apps::DrawVertex),
                              reinterpret_cast<void*>(offsetof(corvane_apps::DrawVertex, position)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_SHORT, GL_TRUE, sizeof(corvane_apps::DrawVertex),
                              reinterpret_cast<void*>(offsetof(corvane_apps::DrawVertex, normal)));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elements);
    }
    glBindVertexArray(0);

    glGenVertexArrays(1, &m_cursorArray);
    glGenBuffers(1, &m_cursorBuffer);
    glBindVertexArray(m_cursorArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_cursorBuffer);
    glBufferData(GL_ARRAY_BUFFER, kCursorSegments * 3 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glBindVertexArray(0);
    m_glReady = true;
    m_sendAll = true;
}

void Viewport::resizeGL(int, int) {}

void Viewport::SendChanges() {
    corvane_apps::DrawMesh* drawMesh = m_document.DrawMesh();
    m_uploadedVertices = 0;
    if (!drawMesh) return;
    bool rebuilt = false;
    const std::vector<corvane_apps::DrawMesh::Range>& ranges = drawMesh->Refresh(rebuilt);
    const bool whole = m_sendAll || rebuilt;
    glBindBuffer(GL_ARRAY_BUFFER, m_vertexBuffer);
    if (whole)
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(drawMesh->VertexCount() * sizeof(corvane_apps::DrawVertex)), nullptr,
                     GL_DYNAMIC_DRAW);
    // The vertices go from the mesh to the card through a small staging array, so that the
    // program holds the drawn mesh only once, on the card.
    constexpr uint32_t kStagedVertices = 1u << 16;
    std::vector<corvane_apps::DrawVertex> staged;
    const auto send = [&](uint32_t first, uint32_t count) {
        for (uint32_t done = 0; done < count; done += kStagedVertices) {
            const uint32_t piece = std::min(kStagedVertices, count - done);
            staged.resize(piece);
            drawMesh->WriteVertices(first + done, piece, staged.data());
            glBufferSubData(GL_ARRAY_BUFFER, GLintptr((first + done) * sizeof(corvane_apps::DrawVertex)),
                            GLsizeiptr(piece * sizeof(corvane_apps::DrawVertex)), staged.data());
        }
        m_uploadedVertices += count;
    };
    if (!whole) {
        for (const corvane_apps::DrawMesh::Range& range : ranges) send(range.first, range.count);
        return;
    }
    send(0, drawMesh->VertexCount());
    m_runs = drawMesh->Runs();
    SendIndices(m_triangleArray, *drawMesh, false);
    // The edges go to the card only while the wireframe is shown.
    m_edgesSent = m_wireframe ? SendIndices(m_edgeArray, *drawMesh, true) : ReleaseIndices(m_edgeArray);
    m_sendAll = false;
}

bool Viewport::SendIndices(GLuint array, const corvane_apps::DrawMesh& drawMesh, bool edges) {
    // An element buffer is filled through the vertex array it belongs to: the core profile
    // has no element buffer binding outside one.
    glBindVertexArray(array);
    const size_t count = edges ? drawMesh.EdgeIndexCount() : drawMesh.TriangleIndexCount();
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(count * sizeof(uint16_t)), nullptr, GL_STATIC_DRAW);
    drawMesh.WriteIndices(edges, [this](const std::vector<uint16_t>& piece, size_t at) {
        glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(at * sizeof(uint16_t)),
                        GLsizeiptr(piece.size() * sizeof(uint16_t)), piece.data());
    });
    glBindVertexArray(0);
    return count != 0;
}

bool Viewport::ReleaseIndices(GLuint array) {
    glBindVertexArray(array);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, 0, nullptr, GL_STATIC_DRAW);
    glBindVertexArray(0);
    return false;
}

void Viewport::DrawRuns(bool edges) {
    // The software renderer keeps what it has set up of every triangle drawn until it has
    // rasterised it, and sets up far faster than it rasterises: a whole mesh in one call
    // would hold hundreds of megabytes for a moment. Drawn run by run, each waiting for the
    // run before the last, at most two runs are held.
    GLsync inFlight[2] = {nullptr, nullptr};
    int drawn = 0;
    for (const corvane_apps::DrawMesh::Run& run : m_runs) {
        const size_t first = edges ? run.firstEdgeIndex : run.firstTriangleIndex;
        const size_t count = edges ? run.edgeIndices : run.triangleIndices;
        if (count == 0) continue;
        GLsync& older = inFlight[drawn++ % 2];
        if (older) {
            glClientWaitSync(older, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
            glDeleteSync(older);
        }
        glDrawElementsBaseVertex(edges ? GL_LINES : GL_TRIANGLES, GLsizei(count), GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(first * sizeof(uint16_t)), GLint(run.firstVertex));
        older = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    }
    for (GLsync fence : inFlight)
        if (fence) glDeleteSync(fence);
}

void Viewport::paintGL() {
    QElapsedTimer timer;
    timer.start();
    glClearColor(0.16f, 0.17f, 0.19f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!m_document.HasMesh()) return;
    // While long work runs on the mesh it may not be read: the picture last sent stays.
    if (!m_document.IsBusy()) {
        SendChanges();
        const tarnix::AxisAlignedBoundingBox box = m_document.Sculpture().WorldBox();
        m_drawnBox = {ToQt(box.Minimum()), ToQt(box.Maximum())};
        m_drawnModel = ModelMatrix();
    }
    m_camera.Fit(m_drawnBox.first, m_drawnBox.second);
    const QSize pixels = size() * devicePixelRatioF();
    const QMatrix4x4 view = m_camera.ViewMatrix(), projection = m_camera.Projection(pixels);
    const QMatrix4x4 model = m_drawnModel;
    const QMatrix4x4 modelView = view * model;

    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glBindVertexArray(m_triangleArray);
    m_meshProgram.bind();
    m_meshProgram.setUniformValue("modelViewProjection", projection * modelView);
    m_meshProgram.setUniformValue("modelView", modelView);
    m_meshProgram.setUniformValue("normalMatrix", modelView.normalMatrix());
    m_meshProgram.setUniformValue("baseColour", QVector3D(0.78f, 0.66f, 0.56f));
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
    DrawRuns(false);
    glDisable(GL_POLYGON_OFFSET_FILL);
    m_meshProgram.release();

    if (m_wireframe) {
        // Not busy, this frame sent the vertices of the draw mesh's current layout.
        if (!m_edgesSent && !m_document.IsBusy() && m_document.DrawMesh())
            m_edgesSent = SendIndices(m_edgeArray, *m_document.DrawMesh(), true);
        m_lineProgram.bind();
        m_lineProgram.setUniformValue("modelViewProjection", projection * modelView);
        m_lineProgram.setUniformValue("lineColour", QVector4D(0.1f, 0.1f, 0.12f, 1.0f));
        glBindVertexArray(m_edgeArray);
        if (m_edgesSent) DrawRuns(true);
        m_lineProgram.release();
    }
    glBindVertexArray(0);
    if (!m_wireframe && m_edgesSent) m_edgesSent = ReleaseIndices(m_edgeArray);
    DrawCursor(projection * view);
    m_frameMilliseconds = double(timer.nsecsElapsed()) / 1e6;
    emit FrameDrawn(m_frameMilliseconds);
}

void Viewport::DrawCursor(const QMatrix4x4& viewProjection) {
    // Around the pointer only while it could start a stroke, not while it turns the camera.
    const bool aroundPointer = m_pointerIn && (m_drag == Drag::kNone || m_drag == Drag::kStroke);
    if (!m_cursorOn && !aroundPointer) return;
    float points[kCursorSegments * 3];
    QMatrix4x4 transform = viewProjection;
    if (m_cursorOn) {
        // A circle of the brush's world radius in the surface's tangent plane.
        const QVector3D n = m_cursorNormal.normalized();
        const QVector3D helper = std::abs(n.x()) < 0.9f ? QVector3D(1, 0, 0) : QVector3D(0, 1, 0);
        const QVector3D u = QVector3D::crossProduct(n, helper).normalized(), v = QVector3D::crossProduct(n, u);
        for (int i = 0; i < kCursorSegments; ++i) {
            const float angle = 2.0f * 3.14159265f * float(i) / kCursorSegments;
            const QVector3D p = m_cursorPosition + (u * std::cos(angle) + v * std::sin(angle)) * m_cursorRadius;
            points[3 * i] = p.x(), points[3 * i + 1] = p.y(), points[3 * i + 2] = p.z();
        }
    } else {
        // Off the surface, the brush's size on screen around the pointer.
        transform.setToIdentity();
        transform.ortho(0.0f, float(width()), float(height()), 0.0f, -1.0f, 1.0f);
        for (int i = 0; i < kCursorSegments; ++i) {
            const float angle = 2.0f * 3.14159265f * float(i) / kCursorSegments;
            points[3 * i] = float(m_lastPixel.x()) + std::cos(angle) * float(m_brushPixels);
            points[3 * i + 1] = float(m_lastPixel.y()) + std::sin(angle) * float(m_brushPixels);
            points[3 * i + 2] = 0.0f;
        }
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_cursorBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(points), points);
    glDisable(GL_DEPTH_TEST);
    // The near and far planes hug the mesh: a circle wider than the mesh, or tilted towards
    // the eye, would be cut by them.
    glEnable(GL_DEPTH_CLAMP);
    m_lineProgram.bind();
    m_lineProgram.setUniformValue("modelViewProjection", transform);
    m_lineProgram.setUniformValue("lineColour", m_document.IsFreezeBrush() ? QVector4D(0.4f, 0.6f, 1.0f, 1.0f)
                                                                           : QVector4D(1.0f, 0.85f, 0.3f, 1.0f));
    glBindVertexArray(m_cursorArray);
    glDrawArrays(GL_LINE_LOOP, 0, kCursorSegments);
    glBindVertexArray(0);
    m_lineProgram.release();
    glDisable(GL_DEPTH_CLAMP);
}

bool Viewport::PickAt(const QPointF& pixel, QVector3D& position, QVector3D& normal, float* freeze) const {
    if (!m_document.HasMesh() || m_document.IsBusy()) return false;
    QVector3D origin, direction;
    m_camera.Ray(pixel, size(), origin, direction);
    const std::optional<corvane_apps::SurfaceHit> hit =
        m_document.Sculpture().Pick(ToTarnix(origin), ToTarnix(direction));
    if (!hit) return false;
    position = ToQt(hit->position);
    normal = ToQt(hit->normal);
    if (freeze) *freeze = hit->freeze;
    return true;
}

void Viewport::Press(const QPointF& pixel, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, float pressure) {
    if (m_drag != Drag::kNone) return;
    m_lastPixel = pixel;
    const bool alt = modifiers & Qt::AltModifier;
    if (button == Qt::LeftButton && !alt) {
        QVector3D position, normal;
        if (PickAt(pixel, position, normal)) {
            // The brush keeps its size on screen: its world radius is taken where it lands.
            const float depth = QVector3D::dotProduct(position - m_camera.Eye(), m_camera.Forward());
            StudioDocument::StrokeSettings settings;
            settings.worldRadius = float(m_brushPixels) * m_camera.WorldPerPixel(depth, size());
            settings.invert = modifiers & Qt::ControlModifier;
            settings.smooth = modifiers & Qt::ShiftModifier;
            // The host casts dabs along the scene camera's view: it follows this view.
            settings.camera = {ToTarnix(m_camera.Eye()), ToTarnix(m_camera.Target())};
            const QString refused = m_document.BeginStroke(settings, ToTarnix(position), pressure);
            if (!refused.isEmpty()) {
                emit StrokeRefused(refused);
                return;
            }
            m_drag = Drag::kStroke;
            m_strokeStart = position;
            m_cursorOn = true;
            m_cursorPosition = position, m_cursorNormal = normal, m_cursorRadius = settings.worldRadius;
            update();
            return;
        }
        m_drag = Drag::kOrbit;
    } else if (button == Qt::LeftButton || button == Qt::RightButton) {
        m_drag = (button == Qt::RightButton && (alt || (modifiers & Qt::ControlModifier))) ? Drag::kZoom
                 : (button == Qt::RightButton && (modifiers & Qt::ShiftModifier))          ? Drag::kPan
                                                                                           : Drag::kOrbit;
    } else if (button == Qt::MiddleButton) {
        m_drag = Drag::kPan;
    }
}

void Viewport::Move(const QPointF& pixel, float pressure) {
    const QPointF delta = pixel - m_lastPixel;
    m_lastPixel = pixel;
    m_pointerIn = true;
    switch (m_drag) {
        case Drag::kOrbit:
            m_camera.Orbit(delta);
            break;
        case Drag::kPan:
            m_camera.Pan(delta, size());
            break;
        case Drag::kZoom:
            m_camera.Zoom(std::exp(float(delta.y()) * 0.01f));
            break;
        case Drag::kStroke:
            if (m_document.FollowsPointer()) {
                // The pointer on the plane through where the stroke took hold, facing the view:
                // the surface follows it there, past its own outline too.
                QVector3D origin, direction;
                m_camera.Ray(pixel, size(), origin, direction);
                const float along = QVector3D::dotProduct(direction, m_camera.Forward());
                if (along > 0.0f) {
                    const float depth = QVector3D::dotProduct(m_strokeStart - origin, m_camera.Forward()) / along;
                    m_cursorPosition = origin + direction * depth;
                    m_document.StrokeTo(ToTarnix(m_cursorPosition), pressure);
                }
                break;
            }
            [[fallthrough]];
        case Drag::kNone: {
            QVector3D position, normal;
            float freeze = 0.0f;
            m_cursorOn = PickAt(pixel, position, normal, &freeze);
            emit Hovered(m_cursorOn, freeze);
            if (!m_cursorOn) break;
            m_cursorPosition = position, m_cursorNormal = normal;
            if (m_drag == Drag::kStroke) {
                m_document.StrokeTo(ToTarnix(position), pressure);
            } else {
                const float depth = QVector3D::dotProduct(position - m_camera.Eye(), m_camera.Forward());
                m_cursorRadius = float(m_brushPixels) * m_camera.WorldPerPixel(depth, size());
            }
            break;
        }
    }
    update();
}

void Viewport::Release(const QPointF& pixel, float pressure) {
    // The stroke goes on to where the button was let go, which the last move may not have
    // reported.
    if (m_drag == Drag::kStroke && pixel != m_lastPixel) Move(pixel, pressure);
    if (m_drag == Drag::kStroke) m_document.EndStroke();
    m_drag = Drag::kNone;
    update();
}

void Viewport::mousePressEvent(QMouseEvent* event) {
    Press(event->localPos(), event->button(), event->modifiers(), 1.0f);
}

void Viewport::mouseMoveEvent(QMouseEvent* event) { Move(event->localPos(), 1.0f); }

void Viewport::mouseReleaseEvent(QMouseEvent* event) { Release(event->localPos(), 1.0f); }

void Viewport::tabletEvent(QTabletEvent* event) {
    const float pressure = float(std::clamp(event->pressure(), 0.0, 1.0));
    switch (event->type()) {
        case QEvent::TabletPress:
            Press(event->posF(), event->button(), event->modifiers(), pressure);
            break;
        case QEvent::TabletMove:
            Move(event->posF(), pressure);
            break;
        case QEvent::TabletRelease:
            Release(event->posF(), pressure);
            break;
        default:
            return;
    }
    event->accept();
}

void Viewport::wheelEvent(QWheelEvent* event) {
    if (m_drag != Drag::kNone) return;
    m_camera.Zoom(std::pow(0.9f, float(event->angleDelta().y()) / 120.0f));
    update();
}

void Viewport::leaveEvent(QEvent*) {
    if (m_drag == Drag::kStroke) return;
    m_cursorOn = m_pointerIn = false;
    update();
}

}  // namespace corvane_studio
