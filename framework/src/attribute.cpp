#include "tarnix/attribute.h"

#include <algorithm>

#include <QStringList>

#include "tarnix/node.h"
#include "tarnix/stream.h"

namespace tarnix {

Attribute::Attribute(Node* owner, const QString& key) : m_owner(owner), m_key(key) {
    if (m_owner) m_owner->m_attributes.push_back(this);
}

Attribute::~Attribute() {
    for (Attribute* target : m_targets) {
        auto& sources = target->m_sources;
        sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
    }
    for (Attribute* source : m_sources) {
        auto& targets = source->m_targets;
        targets.erase(std::remove(targets.begin(), targets.end(), this), targets.end());
    }
    if (m_owner) {
        auto& attributes = m_owner->m_attributes;
        attributes.erase(std::remove(attributes.begin(), attributes.end(), this), attributes.end());
    }
}

void Attribute::Connect(Attribute* source, bool twoWay) {
    if (!source || source == this) return;
    source->LinkTarget(this);
    if (twoWay) LinkTarget(source);
}

void Attribute::LinkTarget(Attribute* target) {
    if (!target || std::find(m_targets.begin(), m_targets.end(), target) != m_targets.end()) return;
    m_targets.push_back(target);
    target->m_sources.push_back(this);
    const bool takesValue =
        target->TypeCode() == TypeCode() && target->ValueSize() == ValueSize() && target->ValueSize() != 0;
    if (takesValue && target->ToText() != ToText()) target->SetValueData(ValueData(), false);
    RaiseEvent(kEventTargetAdded);
    target->RaiseEvent(kEventLinkedToSource);
}

void Attribute::UnlinkTarget(Attribute* target) {
    auto found = std::find(m_targets.begin(), m_targets.end(), target);
    if (found == m_targets.end()) return;
    m_targets.erase(found);
    auto& sources = target->m_sources;
    sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
}

void Attribute::RaiseEvent(int eventType) {
    if (m_owner) m_owner->OnNodeEvent(*this, eventType);
}

void Attribute::ValueWasSet(bool silent) {
    // A two-way link hands the value back to where it came from; stop there.
    if (!m_propagating) {
        m_propagating = true;
        for (Attribute* target : m_targets) {
            if (target->TypeCode() == TypeCode() && target->ValueSize() == ValueSize())
                target->SetValueData(ValueData(), false);
            else target->RaiseEvent(kEventValueChanged);
        }
        m_propagating = false;
    }
    if (!silent) RaiseEvent(kEventValueChanged);
}

// ---- value traits -------------------------------------------------------------------------

bool AttributeTraits<bool>::FromText(const QString& text, bool& value) {
    const QString lower = text.trimmed().toLower();
    if (lower == QLatin1String("true") || lower == QLatin1String("1")) value = true;
    else if (lower == QLatin1String("false") || lower == QLatin1String("0")) value = false;
    else return false;
    return true;
}

bool AttributeTraits<int>::FromText(const QString& text, int& value) {
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok;
}

bool AttributeTraits<float>::FromText(const QString& text, float& value) {
    bool ok = false;
    value = text.trimmed().toFloat(&ok);
    return ok;
}

bool AttributeTraits<BoolFloat>::FromText(const QString& text, BoolFloat& value) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() == 2 && AttributeTraits<bool>::FromText(parts[0], value.on) &&
           AttributeTraits<float>::FromText(parts[1], value.value);
}

// ---- stored form ----------------------------------------------------------------------------

template <class T>
void AttributeInstance<T>::Serialize(Stream& stream) {
    T value = *m_value;
    stream.Exchange(value);
    if (stream.IsLoading()) SetValue(value, true);
}

template <>
void AttributeInstance<BoolFloat>::Serialize(Stream& stream) {
    BoolFloat value = *m_value;
    stream.Exchange(value.on);
    stream.Exchange(value.value);
    if (stream.IsLoading()) SetValue(value, true);
}

template class AttributeInstance<bool>;
template class AttributeInstance<int>;
template class AttributeInstance<float>;
template class AttributeInstance<QString>;
template class AttributeInstance<BoolFloat>;

// ---- float range ----------------------------------------------------------------------------

AttributeFloatRange::AttributeFloatRange(Node* owner, const QString& key, float minimum, float maximum, float initial,
                                         int decimals)
    : Attribute(owner, key),
      m_minimum(minimum),
      m_maximum(maximum),
      m_value(std::clamp(initial, minimum, maximum)),
      m_decimals(decimals) {
    DeclareRange(minimum, maximum);
}

void AttributeFloatRange::SetValue(float value, bool silent) {
    m_value = std::clamp(value, m_minimum, m_maximum);
    ValueWasSet(silent);
}

AttributeFloatRange& AttributeFloatRange::operator=(const AttributeFloatRange& other) {
    m_minimum = other.m_minimum;
    m_maximum = other.m_maximum;
    m_decimals = other.m_decimals;
    SetValue(other.m_value, true);
    return *this;
}

void AttributeFloatRange::SetValueData(const void* data, bool silent) {
    float value;
    std::memcpy(&value, data, sizeof(value));
    SetValue(value, silent);
}

QString AttributeFloatRange::ToText() const { return QString::number(double(m_value), 'g', 9); }

bool AttributeFloatRange::SetFromText(const QString& text, bool silent) {
    bool ok = false;
    const float value = text.trimmed().toFloat(&ok);
    if (!ok) return false;
    SetValue(value, silent);
    return true;
}

void AttributeFloatRange::Serialize(Stream& stream) {
    float value = m_value;
    stream.Exchange(value);
    if (stream.IsLoading()) SetValue(value, true);
}

}  // namespace tarnix
