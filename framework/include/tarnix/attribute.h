#pragma once
// Attributes: the named, typed values of a node that the host shows, stores and links.
//
// An attribute belongs to the node given to its constructor and registers itself there.
// Links run from a source to its targets: a target follows its source's value. Events go
// to the owner's OnNodeEvent:
//   0  value changed (not raised by silent sets),
//   1  the attribute was linked to a source,
//   2  the attribute gained a target.
// Setting a value stores it, hands it to every target (a target whose value has another
// size or type is only told of a change, event 0; the others receive the value, not
// silently) and, unless silent, raises event 0 on the attribute itself. Linking a target
// gives it the source's value when the values differ and the target can take it, then
// raises event 2 on the source and event 1 on the target.
//
// An attribute may declare the values it takes (an inclusive range; for a switch with an
// amount, the amount's). The attribute itself does not enforce it (code sets what it
// sets); hosts check the values users and files give against it before setting them.

#include <cstdint>
#include <cstring>
#include <vector>

#include <QString>

namespace tarnix {

class Node;
class Stream;

class Attribute {
public:
    static constexpr int kEventValueChanged = 0;
    static constexpr int kEventLinkedToSource = 1;
    static constexpr int kEventTargetAdded = 2;

    Attribute(Node* owner, const QString& key);
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;
    virtual ~Attribute();

    Node* Owner() const { return m_owner; }
    const QString& Key() const { return m_key; }

    /// @brief The framework's type code (int 2, bool 3, float 4, float range 5, string 7,
    /// switch with amount 8).
    virtual int TypeCode() const = 0;
    /// @brief Size in bytes of the value that links hand over; 0 for "no value".
    virtual uint32_t ValueSize() const = 0;
    virtual const void* ValueData() const = 0;
    /// @brief Takes a value of ValueSize() bytes (from a source), with events as a set.
    virtual void SetValueData(const void* data, bool silent) = 0;
    virtual QString ToText() const = 0;
    /// @brief Parses a value; false (nothing changed) when the text does not fit the type.
    virtual bool SetFromText(const QString& text, bool silent) = 0;
    virtual void Serialize(Stream& stream) = 0;

    void SetVisible(bool visible) { m_visible = visible; }
    bool IsVisible() const { return m_visible; }
    void SetSeparator(bool separator) { m_separator = separator; }
    bool HasSeparator() const { return m_separator; }
    void SetCategory(const QString& category) { m_category = category; }
    const QString& Category() const { return m_category; }
    void SetDisplayName(const QString& name) { m_displayName = name; }
    const QString& DisplayName() const { return m_displayName; }

    /// @brief Declares the values a host may set: `minimum` to `maximum`, both included.
    void DeclareRange(double minimum, double maximum) {
        m_declaredMinimum = minimum;
        m_declaredMaximum = maximum;
    }
    /// @brief The declared range; without a declaration, every value of the type.
    double DeclaredMinimum() const { return m_declaredMinimum; }
    double DeclaredMaximum() const { return m_declaredMaximum; }

    /// @brief Makes this attribute follow `source`: it is linked as a target of `source`.
    /// With `twoWay` the source follows this attribute as well.
    void Connect(Attribute* source, bool twoWay);
    /// @brief Adds `target` to this attribute's targets (see the header comment).
    void LinkTarget(Attribute* target);
    void UnlinkTarget(Attribute* target);
    const std::vector<Attribute*>& Targets() const { return m_targets; }
    const std::vector<Attribute*>& Sources() const { return m_sources; }

    /// @brief Delivers an event of `eventType` to the owner.
    void RaiseEvent(int eventType);

protected:
    /// @brief Hands the current value to the targets, then raises event 0 unless silent.
    void ValueWasSet(bool silent);

private:
    Node* m_owner;
    QString m_key;
    QString m_category;
    QString m_displayName;
    bool m_visible = true;
    bool m_separator = false;
    bool m_propagating = false;
    double m_declaredMinimum = -1e300, m_declaredMaximum = 1e300;
    std::vector<Attribute*> m_targets;
    std::vector<Attribute*> m_sources;
};

/// @brief The value traits of the attribute instances the framework provides.
template <class T>
struct AttributeTraits;

/// @brief An attribute holding one value of type T (bool, int, float, QString, BoolFloat).
/// The value lives in the attribute, or, when the attribute is bound, in a member of its
/// owner that the attribute reads and writes (the owner's code then reads the member).
template <class T>
class AttributeInstance : public Attribute {
public:
    AttributeInstance(Node* owner, const QString& key, const T& initial = T())
        : Attribute(owner, key), m_storage(initial), m_value(&m_storage) {}
    /// @brief A bound attribute: its value is `*boundValue`.
    AttributeInstance(Node* owner, const QString& key, T* boundValue) : Attribute(owner, key), m_value(boundValue) {}

    const T& Value() const { return *m_value; }
    operator const T&() const { return *m_value; }

    void SetValue(const T& value, bool silent = false) {
        *m_value = value;
        ValueWasSet(silent);
    }

    int TypeCode() const override { return AttributeTraits<T>::kTypeCode; }
    uint32_t ValueSize() const override { return AttributeTraits<T>::Size(*m_value); }
    const void* ValueData() const override { return AttributeTraits<T>::Data(*m_value); }
    void SetValueData(const void* data, bool silent) override { SetValue(AttributeTraits<T>::FromData(data), silent); }
    QString ToText() const override { return AttributeTraits<T>::ToText(*m_value); }
    bool SetFromText(const QString& text, bool silent) override {
        T parsed;
        if (!AttributeTraits<T>::FromText(text, parsed)) return false;
        SetValue(parsed, silent);
        return true;
    }
    void Serialize(Stream& stream) override;

private:
    T m_storage{};
    T* m_value;
};

/// @brief A switch with an amount (a checkbox beside a slider), e.g. stroke smoothing.
struct BoolFloat {
    bool on = false;
    float value = 0.0f;
    bool operator==(const BoolFloat& o) const { return on == o.on && value == o.value; }
};

/// @brief A float attribute kept inside [minimum, maximum], shown with `decimals` digits.
class AttributeFloatRange : public Attribute {
public:
    AttributeFloatRange(Node* owner, const QString& key, float minimum, float maximum, float initial, int decimals);

    float Value() const { return m_value; }
    operator float() const { return m_value; }
    float Minimum() const { return m_minimum; }
    float Maximum() const { return m_maximum; }
    int Decimals() const { return m_decimals; }

    /// @brief Stores the value clamped into the range.
    void SetValue(float value, bool silent = false);
    /// @brief Copies value and range from `other`, silently.
    AttributeFloatRange& operator=(const AttributeFloatRange& other);

    int TypeCode() const override { return 5; }
    uint32_t ValueSize() const override { return sizeof(float); }
    const void* ValueData() const override { return &m_value; }
    void SetValueData(const void* data, bool silent) override;
    QString ToText() const override;
    bool SetFromText(const QString& text, bool silent) override;
    void Serialize(Stream& stream) override;

private:
    float m_minimum;
    float m_maximum;
    float m_value;
    int m_decimals;
};

// ---- value traits -------------------------------------------------------------------------

template <class T>
struct PlainAttributeTraits {
    static uint32_t Size(const T&) { return sizeof(T); }
    static const void* Data(const T& value) { return &value; }
    static T FromData(const void* data) {
        T value;
        std::memcpy(&value, data, sizeof(T));
        return value;
    }
};

template <>
struct AttributeTraits<bool> : PlainAttributeTraits<bool> {
    static constexpr int kTypeCode = 3;
    static QString ToText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
    static bool FromText(const QString& text, bool& value);
};

template <>
struct AttributeTraits<int> : PlainAttributeTraits<int> {
    static constexpr int kTypeCode = 2;
    static QString ToText(int value) { return QString::number(value); }
    static bool FromText(const QString& text, int& value);
};

template <>
struct AttributeTraits<float> : PlainAttributeTraits<float> {
    static constexpr int kTypeCode = 4;
    static QString ToText(float value) { return QString::number(double(value), 'g', 9); }
    static bool FromText(const QString& text, float& value);
};

/// A string hands its QString object over; only string targets (same type code) take it.
template <>
struct AttributeTraits<QString> {
    static constexpr int kTypeCode = 7;
    static uint32_t Size(const QString&) { return sizeof(QString); }
    static const void* Data(const QString& value) { return &value; }
    static QString FromData(const void* data) { return *static_cast<const QString*>(data); }
    static QString ToText(const QString& value) { return value; }
    static bool FromText(const QString& text, QString& value) {
        value = text;
        return true;
    }
};

template <>
struct AttributeTraits<BoolFloat> : PlainAttributeTraits<BoolFloat> {
    static constexpr int kTypeCode = 8;
    static QString ToText(const BoolFloat& value) {
        return AttributeTraits<bool>::ToText(value.on) + QLatin1Char(' ') + AttributeTraits<float>::ToText(value.value);
    }
    static bool FromText(const QString& text, BoolFloat& value);
};

/// A switch with an amount is stored as its bool byte, then its float.
template <>
void AttributeInstance<BoolFloat>::Serialize(Stream& stream);

extern template class AttributeInstance<bool>;
extern template class AttributeInstance<int>;
extern template class AttributeInstance<float>;
extern template class AttributeInstance<QString>;
extern template class AttributeInstance<BoolFloat>;

}  // namespace tarnix
