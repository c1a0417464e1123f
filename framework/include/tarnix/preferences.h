#pragma once
// Preferences: host settings that plug-ins declare as module-level objects.
//
// The value of a preference lives in an attribute that the framework owns (in its
// preference set), not in the declaring object: a plug-in's preference object only points
// at it, needs no destruction, and a plug-in that is loaded again finds its preference
// with the value the user left. Readers convert the object to its value each time they
// need it, so a change is seen at once.
//
// The trailing flag of the constructors marks a developer preference: it is shown only
// while the host runs in test mode.

#include <vector>

#include <QString>

#include "tarnix/attribute.h"

namespace tarnix {
namespace Preferences {

/// @brief What the host knows of one declared preference.
struct Entry {
    QString name;
    QString category;
    QString displayName;
    QString displayCategory;
    QString defaultText;
    bool testModeOnly;
    Attribute* attribute;
};

/// @brief Every declared preference, in order of declaration.
std::vector<Entry> All();
/// @brief Shows the test-mode-only preferences exactly when test mode is on.
void ApplyTestModeVisibility();

class Bool {
public:
    Bool(const char* name, const char* category, const QString& displayName, const QString& displayCategory,
         bool defaultValue, bool testModeOnly);
    operator bool() const { return m_attribute->Value(); }
    AttributeInstance<bool>* Attribute() const { return m_attribute; }

private:
    AttributeInstance<bool>* m_attribute;
};

class Float {
public:
    Float(const char* name, const char* category, const QString& displayName, const QString& displayCategory,
          float defaultValue, float minimum, float maximum, bool testModeOnly);
    operator float() const { return m_attribute->Value(); }
    AttributeFloatRange* Attribute() const { return m_attribute; }

private:
    AttributeFloatRange* m_attribute;
};

}  // namespace Preferences
}  // namespace tarnix
