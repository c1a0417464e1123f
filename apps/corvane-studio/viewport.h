#pragma once
// The studio's 3D view: an OpenGL 3.3 core-profile widget that draws the document's mesh
// (shaded, with an optional wireframe and the frozen areas tinted), the brush circle (lying on
// the surface under the pointer, or around the pointer on screen when it is off the surface),
// and turns pointer and pen input into strokes and camera moves. It keeps the graphics card's
// copy of the mesh current by sending only the ranges of the draw arrays that changed since
// the last frame; the program keeps no copy of its own.
//
// Invariants: outside a frame the buffers hold the draw arrays as of the last frame; a new
// mesh (or level) is sent whole at the next frame. A stroke runs from a left-button press on
// the surface to the release; the camera does not move during it.

#include <utility>
#include <vector>

#include <QElapsedTimer>
#include <QMatrix4x4>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <QPointF>
#include <QVector3D>

#include "orbit_camera.h"
#include "studio_document.h"

namespace corvane_studio {

class Viewport : public QOpenGLWidget, protected QOpenGLFunctions_3_3_Core {
    Q_OBJECT

public:
    /// @brief Makes every GL widget of the program ask for the context the viewport draws with
    /// (OpenGL 3.3 core, a depth buffer), and keeps the drivers loaded under the sanitizers.
    /// Call before the QApplication is made.
    static void PrepareOpenGL();

    explicit Viewport(StudioDocument& document, QWidget* parent = nullptr);
    ~Viewport() override;

    OrbitCamera& Camera() { return m_camera; }
    void SetWireframe(bool on);
    bool Wireframe() const { return m_wireframe; }
    /// The brush radius on screen, in pixels.
    void SetBrushPixels(int pixels);
    int BrushPixels() const { return m_brushPixels; }

    /// @brief Looks at the whole mesh.
    void FrameMesh();
    void SetView(OrbitCamera::View view);

    double LastFrameMilliseconds() const { return m_frameMilliseconds; }
    /// Vertices sent to the graphics card by the last frame (all of them after a new mesh).
    uint64_t LastUploadedVertices() const { return m_uploadedVertices; }

signals:
    void FrameDrawn(double milliseconds);
    void BrushPixelsChanged(int pixels);
    /// A stroke could not start (no tool, a bad stamp, ...).
    void StrokeRefused(const QString& reason);
    /// The pointer moved over the surface, where it is frozen by `freeze` (0..1), or off it.
    void Hovered(bool onSurface, float freeze);

protected:
    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class Drag { kNone, kStroke, kOrbit, kPan, kZoom };

    void MeshReplaced();
    // Another level of the same mesh: it is sent again, seen as it was.
    void LevelReplaced();
    void SendChanges();
    /// Sends the triangles' or the edges' index array into `array`'s element buffer; returns
    /// whether there are any.
    bool SendIndices(GLuint array, const corvane_apps::DrawMesh& drawMesh, bool edges);
    /// Frees `array`'s element buffer; returns false (none sent).
    bool ReleaseIndices(GLuint array);
    /// Draws the triangles (or the edges) of the runs last sent.
    void DrawRuns(bool edges);
    void DrawCursor(const QMatrix4x4& viewProjection);
    /// Picks the surface under `pixel`; false over the background.
    bool PickAt(const QPointF& pixel, QVector3D& position, QVector3D& normal, float* freeze = nullptr) const;
    void Press(const QPointF& pixel, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, float pressure);
    void Move(const QPointF& pixel, float pressure);
    void Release(const QPointF& pixel, float pressure);
    QMatrix4x4 ModelMatrix() const;

    StudioDocument& m_document;
    OrbitCamera m_camera;
    bool m_wireframe = false;
    int m_brushPixels = 40;

    Drag m_drag = Drag::kNone;
    QPointF m_lastPixel;       // where the pointer is
    bool m_cursorOn = false;   // the pointer is over the surface
    bool m_pointerIn = false;  // the pointer is over the viewport
    QVector3D m_cursorPosition, m_cursorNormal;
    float m_cursorRadius = 0.0f;  // world units
    QVector3D m_strokeStart;      // where the stroke took hold: a pointer-following stroke moves in its view plane

    bool m_glReady = false;
    bool m_sendAll = true;
    QOpenGLShaderProgram m_meshProgram, m_lineProgram;
    GLuint m_vertexBuffer = 0, m_triangleBuffer = 0, m_edgeBuffer = 0;
    GLuint m_triangleArray = 0, m_edgeArray = 0;  // both read m_vertexBuffer
    GLuint m_cursorArray = 0, m_cursorBuffer = 0;
    std::vector<corvane_apps::DrawMesh::Run> m_runs;  // as the buffers were last sent
    bool m_edgesSent = false;                         // only while the wireframe is shown
    double m_frameMilliseconds = 0.0;
    uint64_t m_uploadedVertices = 0;
    // What the buffers last sent were drawn with.
    std::pair<QVector3D, QVector3D> m_drawnBox;
    QMatrix4x4 m_drawnModel;
};

}  // namespace corvane_studio
