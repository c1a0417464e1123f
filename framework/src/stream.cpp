#include "tarnix/stream.h"

#include <cstring>

#include "tarnix/class_desc.h"
#include "tarnix/error.h"
#include "tarnix/node.h"

namespace tarnix {
namespace {

constexpr char kMagic[4] = {'T', 'X', 'S', 'T'};
// A class chain deeper than this is not something the framework writes.
constexpr uint32_t kMaximumClassChain = 64;

}  // namespace

Stream::Stream(uint32_t formatVersion) : m_storing(true), m_formatVersion(formatVersion) {
    WriteBytes(kMagic, sizeof(kMagic));
    Exchange(m_formatVersion);
}

Stream::Stream(const QByteArray& data) : m_data(data), m_storing(false), m_formatVersion(0) {
    char magic[sizeof(kMagic)];
    ReadBytes(magic, sizeof(magic), "the stream header");
    if (std::memcmp(magic, kMagic, sizeof(kMagic)) != 0)
        Fail(QStringLiteral("the data is not a stored scene or object (bad header)"));
    Exchange(m_formatVersion);
}

void Stream::WriteBytes(const void* data, qsizetype size) {
    m_data.append(static_cast<const char*>(data), static_cast<int>(size));
}

void Stream::ReadBytes(void* data, qsizetype size, const char* what) {
    if (size < 0 || size > Remaining())
        Fail(QStringLiteral("unexpected end of data while reading %1 at offset %2 (%3 bytes "
                            "needed, %4 left)")
                 .arg(QString::fromUtf8(what))
                 .arg(m_position)
                 .arg(size)
                 .arg(Remaining()));
    // An empty store has no array to copy into.
    if (size > 0) std::memcpy(data, m_data.constData() + m_position, size_t(size));
    m_position += size;
}

void Stream::Fail(const QString& text) const {
    Error::Raise(Error::kCodeStream, "tarnix::Stream", "framework/src/stream.cpp", __LINE__, text);
}

// x86-64 is little-endian, which is the stored byte order; the raw copies below rely on it.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "streams are stored little-endian");

#define TARNIX_EXCHANGE_RAW(Type, what)                   \
    void Stream::Exchange(Type& value) {                  \
        if (m_storing) WriteBytes(&value, sizeof(value)); \
        else ReadBytes(&value, sizeof(value), what);      \
    }
TARNIX_EXCHANGE_RAW(uint8_t, "a byte")
TARNIX_EXCHANGE_RAW(int32_t, "a 32-bit integer")
TARNIX_EXCHANGE_RAW(uint32_t, "a 32-bit integer")
TARNIX_EXCHANGE_RAW(uint64_t, "a 64-bit integer")
TARNIX_EXCHANGE_RAW(float, "a float")
TARNIX_EXCHANGE_RAW(double, "a double")
#undef TARNIX_EXCHANGE_RAW

void Stream::Exchange(bool& value) {
    // Loading never reads `value`: it may not hold a value yet.
    uint8_t byte = m_storing && value ? 1 : 0;
    Exchange(byte);
    if (m_storing) return;
    if (byte > 1) Fail(QStringLiteral("malformed data: a boolean holds %1").arg(byte));
    value = byte != 0;
}

void Stream::Exchange(QString& value) {
    if (m_storing) {
        const QByteArray utf8 = value.toUtf8();
        uint32_t size = uint32_t(utf8.size());
        Exchange(size);
        WriteBytes(utf8.constData(), utf8.size());
        return;
    }
    uint32_t size = 0;
    Exchange(size);
    if (qsizetype(size) > Remaining())
        Fail(
            QStringLiteral("unexpected end of data: a text of %1 bytes with %2 bytes left").arg(size).arg(Remaining()));
    value = QString::fromUtf8(m_data.constData() + m_position, int(size));
    m_position += size;
}

void Stream::WriteStore(const Store<uint32_t>& store) {
    uint32_t count = store.Count();
    Exchange(count);
    WriteBytes(store.Data(), qsizetype(count) * qsizetype(sizeof(uint32_t)));
}

void Stream::ReadStore(Store<uint32_t>& store) {
    uint32_t count = 0;
    Exchange(count);
    const qsizetype bytes = qsizetype(count) * qsizetype(sizeof(uint32_t));
    if (bytes > Remaining())
        Fail(QStringLiteral("unexpected end of data: a table of %1 entries with %2 bytes left")
                 .arg(count)
                 .arg(Remaining()));
    store.SetCount(0);
    if (count > store.Capacity() && !store.Reserve(count)) throw &Error::s_cBadAlloc;
    ReadBytes(store.Data(), bytes, "a table");
    store.SetCount(count);
}

void Stream::StoreObject(Node& node) {
    m_classVersions.clear();
    uint32_t chainLength = 0;
    for (const ClassDesc* cls = node.GetClass(); cls; cls = cls->Parent()) ++chainLength;
    Exchange(chainLength);
    for (const ClassDesc* cls = node.GetClass(); cls; cls = cls->Parent()) {
        QString name = cls->Name();
        int32_t version = cls->Version();
        Exchange(name);
        Exchange(version);
    }
    node.Serialize(*this);
}

void Stream::LoadObject(Node& node) {
    m_classVersions.clear();
    uint32_t chainLength = 0;
    Exchange(chainLength);
    if (chainLength == 0 || chainLength > kMaximumClassChain)
        Fail(QStringLiteral("malformed data: a class record of %1 entries").arg(chainLength));
    QString objectClass;
    for (uint32_t i = 0; i < chainLength; ++i) {
        QString name;
        int32_t version = 0;
        Exchange(name);
        Exchange(version);
        if (i == 0) objectClass = name;
        m_classVersions[name] = version;
    }
    const ClassDesc* cls = node.GetClass();
    if (!cls || cls->Name() != objectClass)
        Fail(QStringLiteral("the data holds an object of class \"%1\", not \"%2\"")
                 .arg(objectClass, cls ? cls->Name() : QStringLiteral("?")));
    node.Serialize(*this);
}

int Stream::ClassVersion(const ClassDesc* cls) const {
    if (!cls) return -1;
    if (m_storing) return cls->Version();
    auto found = m_classVersions.find(cls->Name());
    return found == m_classVersions.end() ? -1 : found->second;
}

}  // namespace tarnix
