#pragma once
// Class descriptors: the framework's run-time type records. A plug-in registers one static
// ClassDesc per class it adds; the descriptor lives as long as the plug-in is loaded, appears
// in the registry on construction and leaves it on destruction. The version a descriptor
// carries is written with every stored object of its class (tarnix::Stream).

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>

namespace tarnix {

class Node;

/// @brief What a host may watch in the registries (classes, plug-ins, preferences).
enum class RegistryChange { Added, Removed };
using RegistryObserver = std::function<void(RegistryChange change, const char* kind, const QString& name)>;
/// @brief Installs the host's observer; an empty function removes it.
void SetRegistryObserver(RegistryObserver observer);
void NotifyRegistry(RegistryChange change, const char* kind, const QString& name);

class ClassDesc {
public:
    /// @brief Creates `count` objects (one for a count of 0 or 1) and returns the first.
    using Factory = Node* (*)(uint32_t count);

    ClassDesc(const ClassDesc* parent, const ClassDesc* secondParent, const char* name, const char* displayName,
              Factory factory, int flags, int version);
    ClassDesc(const ClassDesc&) = delete;
    ClassDesc& operator=(const ClassDesc&) = delete;
    ~ClassDesc();

    const QString& Name() const { return m_name; }
    const QString& DisplayName() const { return m_displayName; }
    const ClassDesc* Parent() const { return m_parent; }
    int Flags() const { return m_flags; }
    int Version() const { return m_version; }

    /// @brief New object(s) through the factory; null for an abstract class.
    Node* Create(uint32_t count = 1) const;
    bool IsKindOf(const ClassDesc* other) const;

    static const ClassDesc* Find(const QString& name);
    /// @brief Registered descriptors in order of registration.
    static std::vector<const ClassDesc*> All();

private:
    const ClassDesc* m_parent;
    QString m_name;
    QString m_displayName;
    Factory m_factory;
    int m_flags;
    int m_version;
};

}  // namespace tarnix
