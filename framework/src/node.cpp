#include "tarnix/node.h"

#include <algorithm>

#include "tarnix/attribute.h"
#include "tarnix/class_desc.h"

namespace tarnix {
namespace {

using TemplateKey = std::pair<QString, QString>;

std::map<TemplateKey, std::map<QString, QString>>& Templates() {
    static auto* templates = new std::map<TemplateKey, std::map<QString, QString>>;
    return *templates;
}

}  // namespace

Node::~Node() = default;

void Node::Initialize() { m_initialized = true; }

Node* Node::Duplicate() const { return nullptr; }

const ClassDesc* Node::GetClass() const { return StaticClass(); }

void Node::Serialize(Stream&) {}

void Node::OnNodeEvent(Attribute&, int) {}

void Node::LoadTemplate(const QString& templateName, bool raiseEvents) {
    const ClassDesc* cls = GetClass();
    if (!cls) return;
    auto found = Templates().find({cls->Name(), templateName});
    if (found == Templates().end()) return;
    for (const auto& entry : found->second)
        if (Attribute* attribute = FindAttribute(entry.first)) attribute->SetFromText(entry.second, !raiseEvents);
}

void Node::SetTemplate(const QString& className, const QString& templateName,
                       const std::map<QString, QString>& values) {
    Templates()[{className, templateName}] = values;
}

Attribute* Node::FindAttribute(const QString& key) const {
    for (Attribute* attribute : m_attributes)
        if (attribute->Key() == key) return attribute;
    return nullptr;
}

const ClassDesc* TreeNode::GetClass() const { return StaticClass(); }

TreeNode::~TreeNode() {
    for (TreeNode* child : m_children) {
        child->m_parent = nullptr;
        delete child;
    }
}

TreeNode* TreeNode::Child(uint32_t index) const { return index < m_children.size() ? m_children[index] : nullptr; }

void TreeNode::AddChild(TreeNode* child) {
    if (child->m_parent) child->m_parent->RemoveChild(child);
    child->m_parent = this;
    m_children.push_back(child);
    child->OnLinked();
}

void TreeNode::RemoveChild(TreeNode* child) {
    auto found = std::find(m_children.begin(), m_children.end(), child);
    if (found == m_children.end()) return;
    m_children.erase(found);
    child->m_parent = nullptr;
}

TreeNode* TreeNode::ChildByClass(const ClassDesc* cls, bool create, uint32_t index) {
    uint32_t seen = 0;
    for (TreeNode* child : m_children) {
        const ClassDesc* childClass = child->GetClass();
        if (childClass && childClass->IsKindOf(cls) && seen++ == index) return child;
    }
    if (!create || !cls) return nullptr;
    Node* created = cls->Create(1);
    auto* child = dynamic_cast<TreeNode*>(created);
    if (!child) {
        delete created;
        return nullptr;
    }
    AddChild(child);
    return child;
}

void TreeNode::OnLinked() {}

}  // namespace tarnix
