#pragma once
// tarnix::MeshRenderer: a child node of a mesh that draws it. Sculpting code tells it which
// vertices and quads changed; this renderer keeps what it is told (for a host to redraw, and
// for tests). Its update granularity tells brushes how to report: 0 asks to be told of every
// vertex as it moves, anything else of each changed patch once.

#include <cstdint>
#include <vector>

#include "tarnix/node.h"

namespace tarnix {

class MeshRenderer : public TreeNode {
public:
    struct Notification {
        uint32_t vertex;
        uint32_t quad;
        uint32_t position;  // the quad-array position, or 0xFFFFFFFF for a vertex report
    };

    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    /// @brief The float query: 0 asks for a report per vertex, anything else per patch.
    float UpdateGranularity() const { return m_granularity; }
    void SetUpdateGranularity(float granularity) { m_granularity = granularity; }

    /// @brief The change notification.
    virtual void Notify(uint32_t vertex, uint32_t quad, uint32_t position = 0xFFFFFFFFu);

    const std::vector<Notification>& Notifications() const { return m_notifications; }
    uint64_t NotificationCount() const { return m_count; }
    /// @brief Whether notifications are kept (counted either way); on by default.
    void SetKeepNotifications(bool keep) { m_keep = keep; }
    void ClearNotifications() {
        m_notifications.clear();
        m_count = 0;
    }

private:
    float m_granularity = 1.0f;
    bool m_keep = true;
    uint64_t m_count = 0;
    std::vector<Notification> m_notifications;
};

}  // namespace tarnix
