#pragma once
// The studio's words for the settings the framework, the base brush and the module define:
// per attribute key, the label a sculptor reads, a tool tip, the unit, the names of the
// choices where a number stands for one, and whether only a developer needs it (the panel's
// Advanced fold). The words belong to the studio, not to the modules: keys this table does not
// know are still shown, by their key, under Advanced. The module's own strings (tool names,
// help texts, preference names) are shown as the module gives them.

#include <QString>
#include <QVector>

namespace corvane_studio {

struct AttributeWords {
    struct Choice {
        int value;
        QString name, tip;
    };
    QString label;
    QString tip;
    QString unit;             // shown after the number ("%", "dabs"); empty for none
    QVector<Choice> choices;  // for a number that names one of them
    bool advanced = false;
};

/// @brief The words for the attribute `key`; null for a key the studio does not know.
const AttributeWords* WordsFor(const QString& key);
/// @brief A tool tip for the preference called `name` (its registered name); empty when the
/// studio has none.
QString PreferenceTip(const QString& name);

}  // namespace corvane_studio
