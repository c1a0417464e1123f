#include "attribute_panel.h"

#include <cmath>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

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

QDoubleSpinBox* NumberBox(QWidget* parent, double minimum, double maximum, int decimals, double value) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(decimals);
    box->setSingleStep(decimals > 0 ? std::pow(10.0, -std::min(decimals, 2)) : 1.0);
    box->setValue(value);
    box->setKeyboardTracking(false);
    return box;
}

}  // namespace

QString AttributeLabel(const tarnix::Attribute& attribute) {
    return attribute.DisplayName().isEmpty() ? attribute.Key() : attribute.DisplayName();
}

QWidget* MakeAttributeEditor(tarnix::Attribute& attribute, QWidget* parent, std::function<void()> changed) {
    tarnix::Attribute* target = &attribute;
    const auto set = [target, changed](const QString& text) {
        target->SetFromText(text, false);
        if (changed) changed();
    };
    QWidget* editor = nullptr;
    const QString text = attribute.ToText();
    switch (attribute.TypeCode()) {
        case kTypeBool: {
            auto* box = new QCheckBox(parent);
            box->setChecked(text == QLatin1String("true"));
            QObject::connect(box, &QCheckBox::toggled, box, [set](bool on) {
                set(on ? QStringLiteral("true") : QStringLiteral("false"));
            });
            editor = box;
            break;
        }
        case kTypeInt: {
            auto* box = new QSpinBox(parent);
            box->setRange(-1000000, 1000000);
            box->setValue(text.toInt());
            box->setKeyboardTracking(false);
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
            QDoubleSpinBox* box = range ? NumberBox(parent, range->Minimum(), range->Maximum(), std::max(2, range->Decimals()),
                                                    range->Value())
                                        : NumberBox(parent, -1e6, 1e6, 4, text.toDouble());
            QObject::connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), box,
                             [set](double value) { set(QString::number(value, 'g', 9)); });
            editor = box;
            break;
        }
        case kTypeSwitchAmount: {
            // "true 0.25": the switch, then the amount.
            const QStringList parts = text.split(QLatin1Char(' '));
            auto* pair = new QWidget(parent);
            auto* row = new QHBoxLayout(pair);
            row->setContentsMargins(0, 0, 0, 0);
            auto* box = new QCheckBox(pair);
            box->setChecked(parts.value(0) == QLatin1String("true"));
            QDoubleSpinBox* amount = NumberBox(pair, -1e6, 1e6, 4, parts.value(1).toDouble());
            row->addWidget(box);
            row->addWidget(amount, 1);
            const auto send = [set, box, amount] {
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
    return editor;
}

AttributePanel::AttributePanel(tarnix::BrushOperation& brush, QSet<QString> ownControls, QWidget* parent)
    : QWidget(parent), m_brush(brush), m_ownControls(std::move(ownControls)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Rebuild();
}

QStringList AttributePanel::VisibleKeys() const {
    QStringList keys;
    for (const tarnix::Attribute* attribute : m_brush.Attributes())
        if (!attribute->Key().isEmpty() && attribute->IsVisible() && !m_ownControls.contains(attribute->Key()))
            keys << attribute->Key();
    return keys;
}

void AttributePanel::Rebuild() {
    // A fresh form each time: the rows of the last one go with it.
    delete m_content;
    m_content = new QWidget(this);
    m_form = new QFormLayout(m_content);
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    layout()->addWidget(m_content);
    m_shownKeys = VisibleKeys();
    for (tarnix::Attribute* attribute : m_brush.Attributes()) {
        if (!m_shownKeys.contains(attribute->Key())) continue;
        if (attribute->HasSeparator()) {
            auto* line = new QFrame(m_content);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            m_form->addRow(line);
        }
        // A change may make the module show or hide attributes; the editor that made it is
        // still on the stack, so the panel is rebuilt afterwards.
        m_form->addRow(AttributeLabel(*attribute), MakeAttributeEditor(*attribute, m_content, [this] {
                           QTimer::singleShot(0, this, [this] {
                               if (VisibleKeys() != m_shownKeys) Rebuild();
                           });
                           emit AttributeChanged();
                       }));
    }

}

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Preferences"));
    setObjectName(QStringLiteral("preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    QString category;
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All()) {
        if (!entry.attribute->IsVisible()) continue;
        if (entry.displayCategory != category) {
            category = entry.displayCategory;
            auto* heading = new QLabel(QStringLiteral("<b>%1</b>").arg(category.toHtmlEscaped()), this);
            form->addRow(heading);
        }
        form->addRow(entry.displayName, MakeAttributeEditor(*entry.attribute, this));
    }
    if (form->rowCount() == 0) form->addRow(new QLabel(tr("The loaded modules show no preferences."), this));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace corvane_studio
