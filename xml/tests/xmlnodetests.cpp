// The child list operations of the node tree and its non-recursive walks.
#include "xml/tests/treedump.h"
#include "xml/xmlnode.h"
#include <gtest/gtest.h>
#include <memory>

namespace {

std::unique_ptr<XMLElement> element(const char *name) { return std::make_unique<XMLElement>(name); }

std::vector<std::unique_ptr<XMLNode>> chain(std::initializer_list<const char *> names)
{
    std::vector<std::unique_ptr<XMLNode>> nodes;
    for (const char *name : names)
        nodes.push_back(element(name));
    return nodes;
}

// Both directions of the sibling links and the parents: a missed back link hides from the dump.
void expectConsistent(const XMLNode &parent)
{
    const XMLNode *previous = nullptr;
    for (const XMLNode *child = parent.firstChild(); child; child = child->nextSibling()) {
        EXPECT_EQ(child->parent(), &parent);
        EXPECT_EQ(child->previousSibling(), previous);
        previous = child;
    }
    EXPECT_EQ(parent.lastChild(), previous);
}

TEST(XMLNodeTest, AppendPrependAndInsertKeepOrderAndLinks)
{
    XMLElement empty("e");
    empty.insertChildrenAfter(nullptr, chain({"a", "b"}));
    EXPECT_EQ(dumpTree(&empty), "e(a,b)");
    expectConsistent(empty);
    XMLElement root("r");
    root.appendChild(element("b"));
    XMLNode *a = root.prependChild(element("a"));
    root.appendChild(element("d"));
    root.insertChildrenAfter(a->nextSibling(), chain({"c1", "c2"}));
    EXPECT_EQ(dumpTree(&root), "r(a,b,c1,c2,d)");
    expectConsistent(root);
    root.insertChildrenAfter(nullptr, chain({"f"}));
    root.insertChildrenAfter(root.lastChild(), chain({"z"}));
    root.appendChild(nullptr);
    EXPECT_EQ(dumpTree(&root), "r(f,a,b,c1,c2,d,z)");
    expectConsistent(root);
}

TEST(XMLNodeTest, RemoveAndReplaceHandTheNodeToTheCaller)
{
    XMLElement root("r");
    root.insertChildrenAfter(nullptr, chain({"a", "b", "c"}));
    XMLNode *b = root.firstChild()->nextSibling();
    std::unique_ptr<XMLNode> replaced = root.replaceChild(b, element("B"));
    ASSERT_EQ(replaced.get(), b);
    EXPECT_EQ(replaced->parent(), nullptr);
    EXPECT_EQ(replaced->nextSibling(), nullptr);
    EXPECT_EQ(dumpTree(&root), "r(a,B,c)");
    expectConsistent(root);
    EXPECT_EQ(dumpTree(root.removeChild(root.lastChild()).get()), "c");
    EXPECT_EQ(dumpTree(root.removeChild(root.firstChild()).get()), "a");
    EXPECT_EQ(dumpTree(&root), "r(B)");
    expectConsistent(root);
    // Neither call may touch a node that belongs to someone else.
    XMLElement other("o");
    EXPECT_EQ(root.removeChild(&other), nullptr);
    EXPECT_EQ(root.replaceChild(&other, element("x")), nullptr);
    EXPECT_EQ(dumpTree(&root), "r(B)");
    std::vector<std::unique_ptr<XMLNode>> taken = root.takeChildren();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0]->parent(), nullptr);
    EXPECT_EQ(root.firstChild(), nullptr);
    EXPECT_EQ(root.lastChild(), nullptr);
}

TEST(XMLNodeTest, AttributesKeepInsertionOrderAndFirstMatchWins)
{
    XMLElement e("e");
    for (const char *pair : {"b1", "a2", "b3", "e"})
        e.setAttribute(QByteArray(1, pair[0]), pair + 1);
    EXPECT_EQ(dumpTree(&e), "e[b=3,a=2,e=]");
    e.removeAttribute("b");
    e.removeAttribute("missing");
    EXPECT_EQ(dumpTree(&e), "e[a=2,e=]");
    EXPECT_TRUE(e.attribute("c").isNull());
    EXPECT_FALSE(e.hasAttribute("c"));
    EXPECT_FALSE(e.attribute("e").isNull());
}

// Past a few attributes names are found through an index; it must give the
// same answers, also after removals shift the positions.
TEST(XMLNodeTest, ManyAttributesAreFoundByName)
{
    XMLElement e("e");
    const int count = 1000;
    for (int i = 0; i < count; ++i)
        e.setAttribute("a" + QByteArray::number(i), QByteArray::number(i));
    e.setAttribute("a7", "seven");
    EXPECT_EQ(e.attributes().size(), size_t(count));
    EXPECT_EQ(e.attribute("a7"), "seven");
    EXPECT_EQ(e.attributes().at(7).value, "seven");
    e.removeAttribute("a3");
    EXPECT_FALSE(e.hasAttribute("a3"));
    EXPECT_EQ(e.attribute("a999"), "999");
    e.setAttribute("a3", "back");
    EXPECT_EQ(e.attributes().back().name, "a3");
    EXPECT_EQ(e.attribute("a3"), "back");
    EXPECT_TRUE(e.attribute("a1000").isNull());
}

TEST(XMLNodeTest, SubtreeWalkVisitsDocumentOrderAndStopsAtTheSubtree)
{
    XMLElement root("r");
    auto a = element("a");
    a->insertChildrenAfter(nullptr, chain({"a1", "a2"}));
    a->lastChild()->appendChild(std::make_unique<XMLData>("t"));
    XMLElement *aRaw = a.get();
    root.appendChild(std::move(a));
    root.appendChild(element("b"));
    QByteArray order;
    for (XMLNode *node = aRaw; node; node = node->nextInSubtree(aRaw))
        order += node->isElement() ? node->toElement()->name() + ' ' : QByteArray("text ");
    EXPECT_EQ(order, "a a1 a2 text ");
}

TEST(XMLNodeTest, DeepAndWideTreesAreBuiltAndDestroyedWithoutRecursion)
{
    const int count = 300000;
    auto root = element("r");
    XMLNode *current = root.get();
    for (int i = 0; i < count; ++i) {
        current->appendChild(element("d"));
        current->appendChild(std::make_unique<XMLData>("x"));
        current = current->firstChild();
    }
    auto wide = element("w");
    for (int i = 0; i < count; ++i)
        wide->appendChild(element("s"));
    int seen = 0;
    for (XMLNode *node = root.get(); node; node = node->nextInSubtree(root.get()))
        ++seen;
    EXPECT_EQ(seen, 2 * count + 1);
}

} // namespace
