#pragma once
// tarnix::Stream: the binary stored form of nodes, in both directions.
//
// A stream is either storing (writing into a growing byte array) or loading (reading from a
// byte array); Serialize routines call the same Exchange sequence in both directions and ask
// IsStoring() where they differ. The data opens with a header: the magic "TXST" and the
// format version of the framework that wrote it (IsVersionAtLeast tests it, so that newer
// fields are read only from data that has them). Every stored object is preceded by its
// class-version record: the names and versions of its class and each parent class, so that
// a class can ask which version of itself wrote the data (ClassVersion).
//
// Values are little-endian. Reading never passes the end of the data: a truncated or
// malformed stream throws a tarnix::Error (code kCodeStream) naming what was being read.

#include <cstdint>
#include <map>

#include <QByteArray>
#include <QString>

#include "tarnix/store.h"

namespace tarnix {

class ClassDesc;
class Node;

class Stream {
public:
    static constexpr uint32_t kCurrentFormatVersion = 400;

    /// @brief A storing stream writing data of `formatVersion` (older versions leave out
    /// what they did not have: the framework's "save for an older host").
    explicit Stream(uint32_t formatVersion = kCurrentFormatVersion);
    /// @brief A loading stream over `data`; throws when the header is not a stream header.
    explicit Stream(const QByteArray& data);

    bool IsStoring() const { return m_storing; }
    bool IsLoading() const { return !m_storing; }
    const QByteArray& Data() const { return m_data; }
    uint32_t FormatVersion() const { return m_formatVersion; }
    /// @brief The version test: whether the data was written by format `version` or later.
    bool IsVersionAtLeast(uint32_t version) const { return m_formatVersion >= version; }
    /// @brief Bytes not yet read (loading).
    qsizetype Remaining() const { return m_data.size() - m_position; }

    void Exchange(bool& value);
    void Exchange(uint8_t& value);
    void Exchange(int32_t& value);
    void Exchange(uint32_t& value);
    void Exchange(uint64_t& value);
    void Exchange(float& value);
    void Exchange(double& value);
    void Exchange(QString& value);

    /// @brief `size` bytes of plain data as they lie in memory (little-endian hosts): what a
    /// large array of records is stored as. Loading checks them against the bytes left.
    void ExchangeBytes(void* data, qsizetype size, const char* what) {
        if (IsStoring()) WriteBytes(data, size);
        else ReadBytes(data, size, what);
    }

    /// @brief A store of 32-bit values: its count, then the elements.
    void WriteStore(const Store<uint32_t>& store);
    void ReadStore(Store<uint32_t>& store);

    /// @brief Stores `node`: its class-version record, then its Serialize.
    void StoreObject(Node& node);
    /// @brief Loads into `node`; the record must name the node's own class.
    void LoadObject(Node& node);
    /// @brief The version stored with `cls` for the object being exchanged (storing: the
    /// class's current version); -1 when the record does not name the class.
    int ClassVersion(const ClassDesc* cls) const;

private:
    void WriteBytes(const void* data, qsizetype size);
    void ReadBytes(void* data, qsizetype size, const char* what);
    [[noreturn]] void Fail(const QString& text) const;

    QByteArray m_data;
    qsizetype m_position = 0;
    bool m_storing;
    uint32_t m_formatVersion;
    std::map<QString, int> m_classVersions;
};

}  // namespace tarnix
