#include "tarnix/mesh_renderer.h"

namespace tarnix {

void MeshRenderer::Notify(uint32_t vertex, uint32_t quad, uint32_t position) {
    ++m_count;
    if (m_keep) m_notifications.push_back({vertex, quad, position});
}

}  // namespace tarnix
