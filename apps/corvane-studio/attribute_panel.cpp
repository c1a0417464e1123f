#include "attribute_panel.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "attribute_words.h"
#include "brush_host.h"
#include "studio_document.h"
#include "tarnix/attribute.h"
#include "tarnix/brush_operation.h"
#include "tarnix/preferences.h"

namespace corvane_studio {
namespace {

constexpr int kTypeInt = tarnix::AttributeTraits<int>::kTypeCode;
constexpr int kTypeBool = tarnix::AttributeTraits<bool>::kTypeCode;
constexpr int kTypeFloat = tarnix::AttributeTraits<float>::kTypeCode;
constexpr int kTypeFloatRange = 5;
constexpr int kTypeSwitchAmount = tarnix::AttributeTraits<tarnix::BoolFloat>::kTypeCode;
// Spin boxes hold what a person types; a range declared wider (or none) is cut to this.
constexpr double kWidestTyped = 1e6;

// Digits enough for the values a range holds (the presets' 0.0625 among them), as a spin box
// keeps only what it shows.
int DecimalsFor(const tarnix::Attribute& attribute) {
    const double widest = std::max(std::abs(attribute.DeclaredMinimum()), std::abs(attribute.DeclaredMaximum()));
    return widest <= 1.0 ? 4 : widest <= 100.0 ? 2 : widest <= kWidestTyped ? 1 : 4;
}

QDoubleSpinBox* NumberBox(QWidget* parent, const tarnix::Attribute& attribute, int decimals, double value,
                          const QString& unit) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(std::max(attribute.DeclaredMinimum(), -kWidestTyped),
                  std::min(attribute.DeclaredMaximum(), kWidestTyped));
    box->setDecimals(decimals);
    box->setSingleStep(decimals > 0 ? std::pow(10.0, -std::min(decimals, 2)) : 1.0);
    box->setValue(value);
    box->setKeyboardTracking(false);
    if (!unit.isEmpty()) box->setSuffix(QLatin1Char(' ') + unit);
    // Sized by its range's widest number, a box would make the panel wider than its dock.
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-000.000 ") + unit));
    return box;
}

QComboBox* ChoiceBox(QWidget* parent, const AttributeWords& words, int value) {
    auto* box = new QComboBox(parent);
    for (const AttributeWords::Choice& choice : words.choices) {
        box->addItem(choice.name, choice.value);
        box->setItemData(box->count() - 1, choice.tip, Qt::ToolTipRole);
    }
    // A value the studio has no name for still shows, as the number it is.
    if (box->findData(value) < 0) box->addItem(QString::number(value), value);
    box->setCurrentIndex(box->findData(value));
    return box;
}

}  // namespace

QString AttributeLabel(const tarnix::Attribute& attribute) {
    if (const AttributeWords* words = WordsFor(attribute.Key())) return words->label;
    return attribute.DisplayName().isEmpty() ? attribute.Key() : attribute.DisplayName();
}

QString AttributeTip(const tarnix::Attribute& attribute) {
    const AttributeWords* words = WordsFor(attribute.Key());
    const QString text =
        words ? words->tip.toHtmlEscaped() : QObject::tr("A setting of the module that the studio has no words for.");
    return QStringLiteral("<p>%1</p><p><i>%2</i></p>")
        .arg(text, QObject::tr("In session files: \"%1\"").arg(attribute.Key().toHtmlEscaped()));
}

QWidget* MakeAttributeEditor(const tarnix::Attribute& attribute, QWidget* parent,
                             std::function<void(const QString& text)> set) {
    const AttributeWords* words = WordsFor(attribute.Key());
    const QString unit = words ? words->unit : QString();
    QWidget* editor = nullptr;
    const QString text = attribute.ToText();
    switch (attribute.TypeCode()) {
        case kTypeBool: {
            auto* box = new QCheckBox(parent);
            box->setChecked(text == QLatin1String("true"));
            QObject::connect(box, &QCheckBox::toggled, box,
                             [set](bool on) { set(on ? QStringLiteral("true") : QStringLiteral("false")); });
            editor = box;
            break;
        }
        case kTypeInt: {
            if (words && !words->choices.isEmpty()) {
                QComboBox* box = ChoiceBox(parent, *words, text.toInt());
                QObject::connect(box, qOverload<int>(&QComboBox::currentIndexChanged), box,
                                 [set, box] { set(QString::number(box->currentData().toInt())); });
                editor = box;
                break;
            }
            auto* box = new QSpinBox(parent);
            box->setRange(int(std::max(attribute.DeclaredMinimum(), -kWidestTyped)),
                          int(std::min(attribute.DeclaredMaximum(), kWidestTyped)));
            box->setValue(text.toInt());
            box->setKeyboardTracking(false);
            if (!unit.isEmpty()) box->setSuffix(QLatin1Char(' ') + unit);
            QObject::connect(box, qOverload<int>(&QSpinBox::valueChanged), box,
                             [set](int value) { set(QString::number(value)); });
            editor = box;
            break;
        }
        case kTypeFloat:
        case kTypeFloatRange: {
            const auto* range = attribute.TypeCode() == kTypeFloatRange
                                    ? static_cast<const tarnix::AttributeFloatRange*>(&attribute)
                                    : nullptr;
            QDoubleSpinBox* box =
                NumberBox(parent, attribute, range ? std::max(2, range->Decimals()) : DecimalsFor(attribute),
                          text.toDouble(), unit);
            QObject::connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), box,
                             [set](double value) { set(QString::number(value, 'g', 9)); });
            editor = box;
            break;
        }
        case kTypeSwitchAmount: {
            // "true 0.25": the switch, then the amount (which counts only while it is on).
            const QStringList parts = text.split(QLatin1Char(' '));
            auto* pair = new QWidget(parent);
            auto* row = new QHBoxLayout(pair);
            row->setContentsMargins(0, 0, 0, 0);
            auto* box = new QCheckBox(pair);
            box->setChecked(parts.value(0) == QLatin1String("true"));
            QDoubleSpinBox* amount =
                NumberBox(pair, attribute, DecimalsFor(attribute), parts.value(1).toDouble(), unit);
            amount->setEnabled(box->isChecked());
            row->addWidget(box);
            row->addWidget(amount, 1);
            const auto send = [set, box, amount] {
                amount->setEnabled(box->isChecked());
                set(QStringLiteral("%1 %2")
                        .arg(box->isChecked() ? QStringLiteral("true") : QStringLiteral("false"))
                        .arg(amount->value(), 0, 'g', 9));
            };
            QObject::connect(box, &QCheckBox::toggled, pair, send);
            QObject::connect(amount, qOverload<double>(&QDoubleSpinBox::valueChanged), pair, send);
            editor = pair;
            break;
        }
        default: {
            auto* line = new QLineEdit(text, parent);
            QObject::connect(line, &QLineEdit::editingFinished, line, [set, line] { set(line->text()); });
            editor = line;
        }
    }
    editor->setObjectName(QStringLiteral("attribute:") + attribute.Key());
    editor->setToolTip(AttributeTip(attribute));
    return editor;
}

AttributePanel::AttributePanel(StudioDocument& document, QSet<QString> ownControls, QWidget* parent)
    : QWidget(parent), m_document(document), m_ownControls(std::move(ownControls)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // However many rows a tool shows, each keeps its height: the panel grows, never squeezes.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    Rebuild();
}

void AttributePanel::SetFreezeBrush(bool on) {
    if (on == m_freezeBrush) return;
    m_freezeBrush = on;
    Rebuild();
}

QStringList AttributePanel::VisibleKeys() const {
    QStringList keys;
    if (m_freezeBrush) return keys;
    for (const tarnix::Attribute* attribute : m_document.Host().Brush().Attributes())
        if (!attribute->Key().isEmpty() && attribute->IsVisible() && !m_ownControls.contains(attribute->Key()))
            keys << attribute->Key();
    return keys;
}

void AttributePanel::Rebuild() {
    // A fresh form each time: the rows of the last one go with it.
    delete m_content;
    m_content = new QWidget(this);
    layout()->addWidget(m_content);
    auto* column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    m_shownKeys = VisibleKeys();
    if (m_freezeBrush) {
        auto* note = new QLabel(tr("The freeze brush paints how strongly the surface resists every tool. It takes "
                                   "the brush's Size and Strength (one pass adds that share of a full freeze); hold "
                                   "<b>Ctrl</b> to thaw. Mesh &gt; Clear Freeze and Invert Freeze work on the whole "
                                   "mesh."),
                                m_content);
        note->setObjectName(QStringLiteral("freezeSettings"));
        note->setWordWrap(true);
        column->addWidget(note);
    } else {
        AddSettings(*column);
    }
    // Shown and laid out now, not some passes of the event loop later: until then the scroll
    // area around would size the panel by rows not yet shown.
    m_content->show();
    layout()->activate();
}

void AttributePanel::AddSettings(QVBoxLayout& column) {
    const auto makeForm = [](QWidget* owner) {
        auto* form = new QFormLayout(owner);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        // A narrow dock puts long rows' editors under their labels rather than cutting them.
        form->setRowWrapPolicy(QFormLayout::WrapLongRows);
        return form;
    };
    auto* main = new QWidget(m_content);
    QFormLayout* mainForm = makeForm(main);
    mainForm->setContentsMargins(0, 0, 0, 0);
    column.addWidget(main);

    auto* fold = new QToolButton(m_content);
    fold->setObjectName(QStringLiteral("advancedFold"));
    fold->setText(tr("Advanced"));
    fold->setToolTip(tr("Settings a developer needs more than a sculptor, and those the studio has no words for"));
    fold->setCheckable(true);
    fold->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    fold->setAutoRaise(true);
    column.addWidget(fold);
    auto* advanced = new QWidget(m_content);
    advanced->setObjectName(QStringLiteral("advancedSettings"));
    QFormLayout* advancedForm = makeForm(advanced);
    column.addWidget(advanced);
    const auto showAdvanced = [this, fold, advanced](bool open) {
        m_advancedOpen = open;
        fold->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        advanced->setVisible(open);
    };
    connect(fold, &QToolButton::toggled, this, showAdvanced);

    for (const tarnix::Attribute* attribute : m_document.Host().Brush().Attributes()) {
        if (!m_shownKeys.contains(attribute->Key())) continue;
        const AttributeWords* words = WordsFor(attribute->Key());
        QFormLayout* form = words && !words->advanced ? mainForm : advancedForm;
        if (attribute->HasSeparator() && form == mainForm && form->rowCount() > 0) {
            auto* line = new QFrame(m_content);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            form->addRow(line);
        }
        // A change may make the module show or hide attributes; the editor that made it is
        // still on the stack, so the panel is rebuilt afterwards.
        const QString key = attribute->Key();
        QWidget* editor = MakeAttributeEditor(*attribute, m_content, [this, key](const QString& text) {
            m_document.SetBrushAttribute(key, text);
            QTimer::singleShot(0, this, [this] {
                if (VisibleKeys() != m_shownKeys) Rebuild();
            });
            emit AttributeChanged();
        });
        auto* label = new QLabel(AttributeLabel(*attribute), m_content);
        label->setToolTip(editor->toolTip());
        label->setBuddy(editor);
        form->addRow(label, editor);
    }
    fold->setVisible(advancedForm->rowCount() > 0);
    fold->setChecked(m_advancedOpen);
    showAdvanced(m_advancedOpen && advancedForm->rowCount() > 0);
}

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Preferences"));
    setObjectName(QStringLiteral("preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    QString category;
    QStringList hidden;
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All()) {
        if (!entry.attribute->IsVisible()) {
            if (entry.testModeOnly) hidden << entry.displayName;
            continue;
        }
        if (entry.displayCategory != category) {
            category = entry.displayCategory;
            auto* heading = new QLabel(QStringLiteral("<b>%1</b>").arg(category.toHtmlEscaped()), this);
            form->addRow(heading);
        }
        tarnix::Attribute* preference = entry.attribute;
        QWidget* editor = MakeAttributeEditor(
            *preference, this, [preference](const QString& text) { preference->SetFromText(text, false); });
        editor->setObjectName(QStringLiteral("preference:") + entry.name);
        const QString tip = PreferenceTip(entry.name);
        editor->setToolTip(tip);
        auto* label = new QLabel(entry.displayName, this);
        label->setToolTip(tip);
        form->addRow(label, editor);
    }
    layout->addLayout(form);
    // The modules' developer preferences are shown in test mode only, by their own rule.
    QString text;
    if (!hidden.isEmpty())
        text = tr("The modules' developer settings are shown only in test mode: %1. To change them, start "
                  "<span style=\"white-space:nowrap\">corvane-studio --test-mode</span>.")
                   .arg(hidden.join(QStringLiteral(", ")).toHtmlEscaped());
    else if (form->rowCount() == 0) text = tr("The loaded modules offer no preferences.");
    if (!text.isEmpty()) {
        auto* note = new QLabel(text, this);
        note->setObjectName(QStringLiteral("preferencesNote"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace corvane_studio
