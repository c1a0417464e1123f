#include "tarnix/preferences.h"

#include <memory>

#include "tarnix/class_desc.h"
#include "tarnix/kernel.h"
#include "tarnix/node.h"

namespace tarnix {
namespace Preferences {
namespace {

// The framework's preference set: owner of every preference attribute, kept for the life
// of the process.
struct PreferenceSet : Node {
    std::vector<std::unique_ptr<tarnix::Attribute>> attributes;
    std::vector<Entry> entries;
};

PreferenceSet& TheSet() {
    static PreferenceSet* set = new PreferenceSet;
    return *set;
}

// A plug-in loaded again declares the same preference again: it gets the attribute it had.
Entry* FindEntry(const QString& name, const QString& category, int typeCode) {
    for (Entry& entry : TheSet().entries)
        if (entry.name == name && entry.category == category && entry.attribute->TypeCode() == typeCode) return &entry;
    return nullptr;
}

void Declare(tarnix::Attribute* attribute, const char* name, const char* category, const QString& displayName,
             const QString& displayCategory, bool testModeOnly) {
    attribute->SetDisplayName(displayName);
    attribute->SetCategory(displayCategory);
    attribute->SetVisible(!testModeOnly || Kernel::IsTestModeOn());
    TheSet().entries.push_back({QString::fromUtf8(name), QString::fromUtf8(category), displayName, displayCategory,
                                attribute->ToText(), testModeOnly, attribute});
    NotifyRegistry(RegistryChange::Added, "preference", QString::fromUtf8(name));
}

}  // namespace

std::vector<Entry> All() { return TheSet().entries; }

void ApplyTestModeVisibility() {
    const bool testMode = Kernel::IsTestModeOn();
    for (Entry& entry : TheSet().entries)
        if (entry.testModeOnly) entry.attribute->SetVisible(testMode);
}

Bool::Bool(const char* name, const char* category, const QString& displayName, const QString& displayCategory,
           bool defaultValue, bool testModeOnly) {
    if (Entry* known =
            FindEntry(QString::fromUtf8(name), QString::fromUtf8(category), AttributeTraits<bool>::kTypeCode)) {
        m_attribute = static_cast<AttributeInstance<bool>*>(known->attribute);
        return;
    }
    auto attribute = std::make_unique<AttributeInstance<bool>>(&TheSet(), QString::fromUtf8(name), defaultValue);
    m_attribute = attribute.get();
    Declare(m_attribute, name, category, displayName, displayCategory, testModeOnly);
    TheSet().attributes.push_back(std::move(attribute));
}

Float::Float(const char* name, const char* category, const QString& displayName, const QString& displayCategory,
             float defaultValue, float minimum, float maximum, bool testModeOnly) {
    if (Entry* known = FindEntry(QString::fromUtf8(name), QString::fromUtf8(category), 5)) {
        m_attribute = static_cast<AttributeFloatRange*>(known->attribute);
        return;
    }
    auto attribute =
        std::make_unique<AttributeFloatRange>(&TheSet(), QString::fromUtf8(name), minimum, maximum, defaultValue, 2);
    m_attribute = attribute.get();
    Declare(m_attribute, name, category, displayName, displayCategory, testModeOnly);
    TheSet().attributes.push_back(std::move(attribute));
}

}  // namespace Preferences
}  // namespace tarnix
