#pragma once
// Editors for the framework's attributes, made from each attribute's type alone, so that
// whatever a module offers can be changed without code for it: a check box for a switch, a
// spin box for a number (kept in range for a range), both for a switch with an amount, a line
// for text. AttributePanel lists the brush attributes the module shows for the active tool
// and is rebuilt whenever the module shows or hides some; the preferences dialog lists the
// visible preferences the same way.

#include <functional>

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

class QFormLayout;

namespace tarnix {
class Attribute;
class BrushOperation;
}  // namespace tarnix

namespace corvane_studio {

/// @brief A widget that shows `attribute` and sets it (with its change event) when edited,
/// then calls `changed`. Its object name is "attribute:" followed by the attribute's key.
QWidget* MakeAttributeEditor(tarnix::Attribute& attribute, QWidget* parent, std::function<void()> changed = {});
/// @brief The name people read: the display name, else the key.
QString AttributeLabel(const tarnix::Attribute& attribute);

class AttributePanel : public QWidget {
    Q_OBJECT

public:
    /// `ownControls`: keys the studio shows with controls of its own (size, strength, ...).
    AttributePanel(tarnix::BrushOperation& brush, QSet<QString> ownControls, QWidget* parent = nullptr);
    /// @brief Lists the attributes the brush shows now.
    void Rebuild();
    /// The keys of the attributes listed, in order.
    const QStringList& ShownKeys() const { return m_shownKeys; }

signals:
    void AttributeChanged();

private:
    QStringList VisibleKeys() const;

    tarnix::BrushOperation& m_brush;
    QSet<QString> m_ownControls;
    QWidget* m_content = nullptr;
    QFormLayout* m_form = nullptr;
    QStringList m_shownKeys;
};

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget* parent = nullptr);
};

}  // namespace corvane_studio
