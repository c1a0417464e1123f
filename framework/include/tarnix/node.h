#pragma once
// Node: the base of every object of the host's scene and of every brush. A node owns a list
// of attributes (registered by their constructors), receives their events through
// OnNodeEvent, counts its content changes in Version, and can be stored in a Stream.
// TreeNode adds the scene tree: a parent, owned children, creation-and-link by class.

#include <cstdint>
#include <map>
#include <vector>

#include <QString>

namespace tarnix {

class Attribute;
class ClassDesc;
class Stream;

class Node {
public:
    Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    virtual ~Node();

    /// @brief Runs once after a factory has constructed the object; overrides call it.
    virtual void Initialize();
    bool IsInitialized() const { return m_initialized; }
    /// @brief A new copy of the object; null for classes that cannot be copied.
    virtual Node* Duplicate() const;
    /// @brief The object's own class descriptor.
    virtual const ClassDesc* GetClass() const;
    /// @brief Stores or loads the object's own data (direction from the stream).
    virtual void Serialize(Stream& stream);
    /// @brief Attribute events: 0 value changed, 1 linked to a source, 2 gained a target.
    virtual void OnNodeEvent(Attribute& attribute, int eventType);

    static const ClassDesc* StaticClass();

    /// @brief Sets the attributes that the named template of this node's class supplies
    /// (an empty name is the class's default template); with `raiseEvents` false the values
    /// are set silently.
    void LoadTemplate(const QString& templateName, bool raiseEvents);
    /// @brief Registers a template: attribute key to value text, for a class and a name.
    static void SetTemplate(const QString& className, const QString& templateName,
                            const std::map<QString, QString>& values);

    /// @brief Marks the content as changed: the version counter advances.
    void ContentChanged() { ++m_version; }
    uint32_t Version() const { return m_version; }

    const std::vector<Attribute*>& Attributes() const { return m_attributes; }
    Attribute* FindAttribute(const QString& key) const;

private:
    friend class Attribute;
    std::vector<Attribute*> m_attributes;
    uint32_t m_version = 0;
    bool m_initialized = false;
};

class TreeNode : public virtual Node {
public:
    TreeNode() = default;
    ~TreeNode() override;

    TreeNode* Parent() const { return m_parent; }
    uint32_t ChildCount() const { return uint32_t(m_children.size()); }
    TreeNode* Child(uint32_t index) const;

    /// @brief Takes ownership of `child`, links it under this node, then runs its OnLinked.
    void AddChild(TreeNode* child);
    /// @brief Unlinks `child` and hands its ownership back to the caller.
    void RemoveChild(TreeNode* child);
    /// @brief The `index`-th child of class `cls` (or of a class derived from it); when
    /// there is none and `create` is set, a new object of `cls` is created and linked.
    TreeNode* ChildByClass(const ClassDesc* cls, bool create, uint32_t index = 0);

    /// @brief Runs each time the node has been linked under a parent.
    virtual void OnLinked();

    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

private:
    TreeNode* m_parent = nullptr;
    std::vector<TreeNode*> m_children;
};

}  // namespace tarnix
