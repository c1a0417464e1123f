#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "caught_error.h"
#include "tarnix/class_desc.h"
#include "tarnix/node.h"
#include "tarnix/stream.h"

namespace {

struct Record {
    bool flag = false;
    uint8_t byte = 0;
    int32_t integer = 0;
    uint32_t unsignedInteger = 0;
    uint64_t wide = 0;
    float single = 0;
    double precise = 0;
    QString text;

    bool operator==(const Record& o) const {
        return std::tie(flag, byte, integer, unsignedInteger, wide, single, precise, text) ==
               std::tie(o.flag, o.byte, o.integer, o.unsignedInteger, o.wide, o.single, o.precise, o.text);
    }
    void Exchange(tarnix::Stream& stream) {
        stream.Exchange(flag);
        stream.Exchange(byte);
        stream.Exchange(integer);
        stream.Exchange(unsignedInteger);
        stream.Exchange(wide);
        stream.Exchange(single);
        stream.Exchange(precise);
        stream.Exchange(text);
    }
};

const Record kRecord{true, 200, -7, 0xDEADBEEF, 1ull << 40, -0.5f, 1e-300, QStringLiteral("Grüße")};

QByteArray StoredRecord() {
    Record record = kRecord;
    tarnix::Stream out;
    record.Exchange(out);
    return out.Data();
}

// Expects a stream Error with a message mentioning `fragment`.
template <class Body>
void ExpectStreamError(Body body, const QString& fragment) {
    const CaughtError error = Caught(body);
    EXPECT_EQ(error.code, tarnix::Error::kCodeStream) << "raised: " << error.raised;
    EXPECT_TRUE(error.message.contains(fragment)) << error.message.toStdString();
}

// A call that opens `data` as a stream and reads from it with `read`.
template <class Read>
auto Reading(const QByteArray& data, Read read) {
    return [=] {
        tarnix::Stream in(data);
        read(in);
    };
}

// A call that reads one T from `data`.
template <class T>
auto ReadingOne(const QByteArray& data) {
    return Reading(data, [](tarnix::Stream& in) {
        T value{};
        in.Exchange(value);
    });
}

TEST(StreamTest, ValuesRoundTripAndTheVersionTestFollowsTheWritersFormat) {
    tarnix::Stream in(StoredRecord());
    EXPECT_TRUE(in.IsLoading());
    EXPECT_EQ(in.FormatVersion(), tarnix::Stream::kCurrentFormatVersion);
    EXPECT_TRUE(in.IsVersionAtLeast(328));
    Record loaded;
    loaded.Exchange(in);
    EXPECT_TRUE(loaded == kRecord);
    EXPECT_EQ(in.Remaining(), 0);
    tarnix::Stream old(327);
    tarnix::Stream oldIn(old.Data());
    EXPECT_FALSE(oldIn.IsVersionAtLeast(328));
    EXPECT_TRUE(oldIn.IsVersionAtLeast(327));
}

TEST(StreamTest, EveryTruncationRaisesAnErrorInsteadOfReadingPastTheEnd) {
    const QByteArray whole = StoredRecord();
    for (int length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        ExpectStreamError(Reading(whole.left(length), [](tarnix::Stream& in) { Record().Exchange(in); }),
                          QStringLiteral("unexpected end of data"));
    }
}

TEST(StreamTest, MalformedDataIsRefusedWithAClearText) {
    ExpectStreamError([] { tarnix::Stream in(QByteArray("NOPE\x90\x01\0\0", 8)); }, QStringLiteral("bad header"));

    tarnix::Stream lying;
    uint32_t hugeCount = std::numeric_limits<uint32_t>::max();
    lying.Exchange(hugeCount);
    ExpectStreamError(Reading(lying.Data(),
                              [](tarnix::Stream& in) {
                                  tarnix::Store<uint32_t> table;
                                  in.ReadStore(table);
                              }),
                      QStringLiteral("a table of 4294967295 entries"));
    ExpectStreamError(ReadingOne<QString>(lying.Data()), QStringLiteral("a text of 4294967295 bytes"));

    tarnix::Stream notABool;
    uint8_t two = 2;
    notABool.Exchange(two);
    ExpectStreamError(ReadingOne<bool>(notABool.Data()), QStringLiteral("a boolean holds 2"));
}

// A store replaces the old contents; an empty one (no array at all) reads back as one, into a
// store that never held any.
TEST(StreamTest, StoresRoundTripAndReplaceTheOldContents) {
    for (uint32_t count : {37u, 0u}) {
        tarnix::Store<uint32_t> table;
        for (uint32_t i = 0; i < count; ++i) table.Append(i * i);
        tarnix::Stream out;
        out.WriteStore(table);
        tarnix::Store<uint32_t> loaded;
        if (count) loaded.Append(999);
        tarnix::Stream in(out.Data());
        in.ReadStore(loaded);
        ASSERT_EQ(loaded.Count(), count);
        for (uint32_t i = 0; i < count; ++i) EXPECT_EQ(loaded[i], i * i);
        EXPECT_EQ(in.Remaining(), 0);
    }
}

// A node class of version 3 under TreeNode, to check the class-version record.
tarnix::Node* CreateVersioned(uint32_t);
tarnix::ClassDesc g_versionedClass(tarnix::TreeNode::StaticClass(), tarnix::TreeNode::StaticClass(), "StreamTestNode",
                                   "Stream test node", &CreateVersioned, 0, 3);

struct VersionedNode : tarnix::TreeNode {
    int32_t payload = 0;
    int seenVersion = -2;
    int seenParentVersion = -2;
    const tarnix::ClassDesc* GetClass() const override { return &g_versionedClass; }
    void Serialize(tarnix::Stream& stream) override {
        seenVersion = stream.ClassVersion(&g_versionedClass);
        seenParentVersion = stream.ClassVersion(tarnix::TreeNode::StaticClass());
        stream.Exchange(payload);
    }
};
tarnix::Node* CreateVersioned(uint32_t) { return new VersionedNode; }

TEST(StreamTest, ObjectsCarryTheVersionsOfTheirClassChain) {
    VersionedNode original;
    original.payload = 42;
    tarnix::Stream out;
    out.StoreObject(original);
    EXPECT_EQ(original.seenVersion, 3);

    VersionedNode loaded;
    tarnix::Stream in(out.Data());
    in.LoadObject(loaded);
    EXPECT_EQ(loaded.payload, 42);
    EXPECT_EQ(loaded.seenVersion, 3);
    EXPECT_EQ(loaded.seenParentVersion, 0);
    EXPECT_EQ(in.ClassVersion(tarnix::ClassDesc::Find(QStringLiteral("BrushOperation"))), -1)
        << "a class outside the record has no stored version";

    tarnix::TreeNode other;
    ExpectStreamError([&] { tarnix::Stream(out.Data()).LoadObject(other); }, QStringLiteral("not \"TreeNode\""));
}

}  // namespace
