#include <gtest/gtest.h>

#include <stdexcept>

#include "tarnix/class_desc.h"
#include "tarnix/node.h"
#include "tarnix/node_array.h"

namespace {

int g_linkCount = 0;
int g_liveLeaves = 0;

tarnix::Node* CreateLeaf(uint32_t count);
tarnix::ClassDesc g_leafClass(tarnix::TreeNode::StaticClass(), tarnix::TreeNode::StaticClass(), "TreeTestLeaf", "Leaf",
                              &CreateLeaf, 0, 0);

struct Leaf : tarnix::TreeNode {
    Leaf() { ++g_liveLeaves; }
    ~Leaf() override { --g_liveLeaves; }
    const tarnix::ClassDesc* GetClass() const override { return &g_leafClass; }
    void OnLinked() override { ++g_linkCount; }
};

tarnix::Node* CreateLeaf(uint32_t count) {
    if (count < 2) return new Leaf;
    return tarnix::CreateNodeArray<Leaf>(count);
}

TEST(TreeNodeTest, ChildByClassCreatesAndLinksOnlyWhenMissing) {
    g_linkCount = 0;
    tarnix::TreeNode root;
    EXPECT_EQ(root.ChildByClass(&g_leafClass, false), nullptr);
    tarnix::TreeNode* created = root.ChildByClass(&g_leafClass, true);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->Parent(), &root);
    EXPECT_EQ(g_linkCount, 1);
    EXPECT_EQ(root.ChildByClass(&g_leafClass, true), created);
    EXPECT_EQ(root.ChildByClass(tarnix::TreeNode::StaticClass(), false), created)
        << "a derived class answers for its parent class";
    EXPECT_EQ(g_linkCount, 1);

    root.RemoveChild(created);
    EXPECT_EQ(created->Parent(), nullptr);
    EXPECT_EQ(root.ChildCount(), 0u);
    root.AddChild(created);
    EXPECT_EQ(g_linkCount, 2) << "every link runs OnLinked";
}

TEST(TreeNodeTest, NodeArraysHoldTheirCountAndDestroyEveryElement) {
    g_liveLeaves = 0;
    tarnix::Node* first = g_leafClass.Create(3);
    EXPECT_EQ(g_liveLeaves, 3);
    auto* leaves = dynamic_cast<Leaf*>(first);
    EXPECT_EQ(&leaves[2].GetClass()->Name(), &g_leafClass.Name());
    tarnix::DestroyNodeArray(first);
    EXPECT_EQ(g_liveLeaves, 0);
}

struct Fragile : tarnix::Node {
    static inline int built = 0;
    static inline int destroyed = 0;
    Fragile() {
        if (built == 2) throw std::runtime_error("third constructor fails");
        ++built;
    }
    ~Fragile() override { ++destroyed; }
};

TEST(TreeNodeTest, NodeArrayConstructionFailureDestroysWhatWasBuilt) {
    EXPECT_THROW(tarnix::CreateNodeArray<Fragile>(5), std::runtime_error);
    EXPECT_EQ(Fragile::destroyed, 2);
    EXPECT_EQ(tarnix::node_array_detail::SaturatingArrayBytes(~uint64_t(0), 1024), ~size_t(0))
        << "an impossible size saturates rather than wrapping";
}

}  // namespace
