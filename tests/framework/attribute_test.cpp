#include <gtest/gtest.h>

#include <vector>

#include "tarnix/attribute.h"
#include "tarnix/node.h"
#include "tarnix/stream.h"

namespace {

struct Event {
    const tarnix::Attribute* attribute;
    int type;
    bool operator==(const Event& o) const { return attribute == o.attribute && type == o.type; }
};

// A node that records the events of its attributes.
struct RecordingNode : tarnix::Node {
    std::vector<Event> events;
    void OnNodeEvent(tarnix::Attribute& attribute, int type) override { events.push_back({&attribute, type}); }
};

TEST(AttributeTest, LinkingHandsTheValueOverAndTellsBothSides) {
    RecordingNode sourceNode, targetNode;
    tarnix::AttributeInstance<bool> source(&sourceNode, QStringLiteral("source"), true);
    tarnix::AttributeInstance<bool> target(&targetNode, QStringLiteral("target"), false);
    target.Connect(&source, false);

    EXPECT_TRUE(target.Value()) << "the target takes the differing value on linking";
    EXPECT_EQ(sourceNode.events, (std::vector<Event>{{&source, 2}}));
    // The value arrives as a normal set (event 0), then the link itself is announced.
    EXPECT_EQ(targetNode.events, (std::vector<Event>{{&target, 0}, {&target, 1}}));

    sourceNode.events.clear();
    targetNode.events.clear();
    source.SetValue(false, true);
    EXPECT_FALSE(target.Value()) << "targets follow even silent sets of their source";
    EXPECT_TRUE(sourceNode.events.empty());
    EXPECT_EQ(targetNode.events, (std::vector<Event>{{&target, 0}})) << "targets get the value not silently";
    source.SetValue(true);
    EXPECT_EQ(sourceNode.events, (std::vector<Event>{{&source, 0}})) << "a set that is not silent is told";
}

// A target of another type is only told of its source's change; two-way links settle
// without looping.
TEST(AttributeTest, TargetsOfAnotherTypeAreOnlyToldAndTwoWayLinksSettle) {
    RecordingNode node, pair;
    tarnix::AttributeInstance<QString> a(&pair, QStringLiteral("a"), QStringLiteral("a"));
    tarnix::AttributeInstance<QString> b(&pair, QStringLiteral("b"));
    tarnix::AttributeInstance<bool> flag(&node, QStringLiteral("flag"), true);
    flag.Connect(&a, false);
    b.Connect(&a, true);
    node.events.clear();
    a.SetValue(QStringLiteral("one"), true);
    EXPECT_TRUE(flag.Value());
    EXPECT_EQ(b.Value(), QStringLiteral("one"));
    EXPECT_EQ(node.events, (std::vector<Event>{{&flag, 0}}));
    b.SetValue(QStringLiteral("two"));
    EXPECT_EQ(a.Value(), QStringLiteral("two"));
}

TEST(AttributeTest, DestroyingEitherSideOfALinkUnlinksIt) {
    RecordingNode node;
    tarnix::AttributeInstance<bool> source(&node, QStringLiteral("source"));
    {
        tarnix::AttributeInstance<bool> target(&node, QStringLiteral("target"));
        target.Connect(&source, false);
        EXPECT_EQ(source.Targets().size(), 1u);
    }
    EXPECT_TRUE(source.Targets().empty());
    source.SetValue(true);  // must not reach the destroyed target
    EXPECT_EQ(node.Attributes().size(), 1u);
}

// A set raises a value-changed event unless silent; a float range clamps, and assignment
// from another range is silent.
TEST(AttributeTest, SettingRaisesValueChangedUnlessSilentAndFloatRangesClamp) {
    RecordingNode node;
    tarnix::AttributeFloatRange rate(&node, QStringLiteral("rate"), 0.0f, 1.0f, 0.5f, 2);
    rate.SetValue(1.5f);
    EXPECT_EQ(rate.Value(), 1.0f);
    EXPECT_EQ(node.events, (std::vector<Event>{{&rate, 0}}));
    rate.SetValue(-2.0f, true);
    EXPECT_EQ(rate.Value(), 0.0f);
    EXPECT_EQ(node.events.size(), 1u) << "silent";
    EXPECT_EQ(node.FindAttribute(QStringLiteral("rate")), &rate);
    tarnix::AttributeFloatRange other(&node, QStringLiteral("other"), 0.0f, 1.0f, 0.25f, 2);
    node.events.clear();
    rate = other;
    EXPECT_EQ(rate.Value(), 0.25f);
    EXPECT_TRUE(node.events.empty());
}

TEST(AttributeTest, AttributesRoundTripThroughStreams) {
    RecordingNode node;
    tarnix::AttributeInstance<bool> flag(&node, QStringLiteral("flag"), true);
    tarnix::AttributeFloatRange rate(&node, QStringLiteral("rate"), 0.0f, 1.0f, 0.3f, 2);
    tarnix::AttributeInstance<QString> name(&node, QStringLiteral("name"), QStringLiteral("clay"));
    const std::vector<tarnix::Attribute*> all{&flag, &rate, &name};
    tarnix::Stream out;
    for (tarnix::Attribute* attribute : all) attribute->Serialize(out);
    EXPECT_EQ(out.Data().size(), 8 + 1 + 4 + 4 + 4) << "a bool is one byte";

    flag.SetValue(false);
    rate.SetValue(0.9f);
    name.SetValue(QString());
    node.events.clear();
    tarnix::Stream in(out.Data());
    for (tarnix::Attribute* attribute : all) attribute->Serialize(in);
    EXPECT_TRUE(flag.Value());
    EXPECT_EQ(rate.Value(), 0.3f);
    EXPECT_EQ(name.Value(), QStringLiteral("clay"));
    EXPECT_TRUE(node.events.empty()) << "loading sets values silently";
}

TEST(AttributeTest, TemplatesSetTheirAttributesByKey) {
    struct TemplatedNode : RecordingNode {
        tarnix::AttributeInstance<bool> flag{this, QStringLiteral("flag")};
        tarnix::AttributeFloatRange rate{this, QStringLiteral("rate"), 0.0f, 1.0f, 0.5f, 2};
    } node;
    tarnix::Node::SetTemplate(QStringLiteral("Node"), QString(),
                              {{QStringLiteral("flag"), QStringLiteral("true")},
                               {QStringLiteral("rate"), QStringLiteral("0.75")},
                               {QStringLiteral("missing"), QStringLiteral("1")}});
    node.LoadTemplate(QString(), false);
    EXPECT_TRUE(node.flag.Value());
    EXPECT_EQ(node.rate.Value(), 0.75f);
    EXPECT_TRUE(node.events.empty());
    tarnix::Node::SetTemplate(QStringLiteral("Node"), QString(), {});
}

}  // namespace
