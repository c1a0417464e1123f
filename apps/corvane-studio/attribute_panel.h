#pragma once
// Editors for the framework's attributes, so that whatever a module offers can be changed
// without code for it: a check box for a switch, a spin box for a number (kept in its declared
// range, with its unit), a list of named choices where the studio's words (attribute_words.h)
// name what a number stands for, both a check box and a spin box for a switch with an amount,
// a line for text. Every editor carries the studio's label and tool tip for its key.
// AttributePanel lists the brush attributes the module shows for the active tool and sets them
// through the document, those only a developer needs (and keys the studio has no words for) under a collapsed Advanced
// fold; it is rebuilt whenever the module shows or hides some. The preferences dialog lists the visible preferences the
// same way, and says how to see those shown only in test mode.

#include <functional>

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

class QFormLayout;
class QToolButton;
class QVBoxLayout;

namespace tarnix {
class Attribute;
}  // namespace tarnix

namespace corvane_studio {

class StudioDocument;

/// @brief A widget that shows `attribute` and, when edited, hands `set` the attribute's new
/// value in its text form. Its object name is "attribute:" followed by the attribute's key.
QWidget* MakeAttributeEditor(const tarnix::Attribute& attribute, QWidget* parent,
                             std::function<void(const QString& text)> set);
/// @brief The label people read: the studio's words for the key, else the attribute's
/// display name, else its key.
QString AttributeLabel(const tarnix::Attribute& attribute);
/// @brief The tool tip of the attribute: the studio's words, and the key that session files
/// and scripts name it by.
QString AttributeTip(const tarnix::Attribute& attribute);

class AttributePanel : public QWidget {
    Q_OBJECT

public:
    /// `ownControls`: keys the studio shows with controls of its own (size, strength, ...).
    AttributePanel(StudioDocument& document, QSet<QString> ownControls, QWidget* parent = nullptr);
    /// @brief Lists the attributes the brush shows now.
    void Rebuild();
    /// @brief With the studio's freeze brush in hand the module's settings do not apply: the
    /// panel then tells what the freeze brush takes instead.
    void SetFreezeBrush(bool on);
    /// The keys of the attributes listed, in order (none with the freeze brush).
    const QStringList& ShownKeys() const { return m_shownKeys; }

signals:
    void AttributeChanged();

private:
    QStringList VisibleKeys() const;
    // The rows of the attributes shown, the Advanced fold with its own below.
    void AddSettings(QVBoxLayout& column);

    StudioDocument& m_document;
    QSet<QString> m_ownControls;
    bool m_freezeBrush = false;
    bool m_advancedOpen = false;  // kept across rebuilds: the user opened it
    QWidget* m_content = nullptr;
    QStringList m_shownKeys;
};

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget* parent = nullptr);
};

}  // namespace corvane_studio
