// The child list operations of the node tree and its non-recursive walks.
#include "xml/tests/treedump.h"
#include "xml/xmlnode.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<XMLElement> element(const char *name)
{
    return std::make_unique<XMLElement>(name);
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
    std::vector<std::unique_ptr<XMLNode>> into;
    into.push_back(element("a"));
    into.push_back(std::make_unique<XMLData>("t"));
    empty.insertChildrenAfter(nullptr, std::move(into));
    EXPECT_EQ(dumpTree(&empty), "e(a,'t')");
    expectConsistent(empty);

    XMLElement root("r");
    root.appendChild(element("b"));
    XMLNode *a = root.prependChild(element("a"));
    root.appendChild(element("d"));
    std::vector<std::unique_ptr<XMLNode>> chain;
    chain.push_back(element("c1"));
    chain.push_back(element("c2"));
    root.insertChildrenAfter(a->nextSibling(), std::move(chain));
    EXPECT_EQ(dumpTree(&root), "r(a,b,c1,c2,d)");
    expectConsistent(root);

    std::vector<std::unique_ptr<XMLNode>> front;
    front.push_back(element("f"));
    root.insertChildrenAfter(nullptr, std::move(front));
    std::vector<std::unique_ptr<XMLNode>> back;
    back.push_back(element("z"));
    root.insertChildrenAfter(root.lastChild(), std::move(back));
    EXPECT_EQ(dumpTree(&root), "r(f,a,b,c1,c2,d,z)");
    expectConsistent(root);

    root.appendChild(nullptr);
    EXPECT_EQ(dumpTree(&root), "r(f,a,b,c1,c2,d,z)");
}

TEST(XMLNodeTest, RemoveAndReplaceHandTheNodeToTheCaller)
{
    XMLElement root("r");
    root.appendChild(element("a"));
    root.appendChild(element("b"));
    root.appendChild(element("c"));
    XMLNode *b = root.firstChild()->nextSibling();

    std::unique_ptr<XMLNode> replaced = root.replaceChild(b, element("B"));
    ASSERT_EQ(replaced.get(), b);
    EXPECT_EQ(replaced->parent(), nullptr);
    EXPECT_EQ(replaced->nextSibling(), nullptr);
    EXPECT_EQ(dumpTree(&root), "r(a,B,c)");
    expectConsistent(root);

    std::unique_ptr<XMLNode> last = root.removeChild(root.lastChild());
    EXPECT_EQ(dumpTree(last.get()), "c");
    std::unique_ptr<XMLNode> first = root.removeChild(root.firstChild());
    EXPECT_EQ(dumpTree(first.get()), "a");
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
    e.setAttribute("b", "1");
    e.setAttribute("a", "2");
    e.setAttribute("b", "3");
    EXPECT_EQ(dumpTree(&e), "e[b=3,a=2]");
    EXPECT_TRUE(e.hasAttribute("a"));
    EXPECT_FALSE(e.hasAttribute("c"));
    EXPECT_TRUE(e.attribute("c").isNull());
    e.setAttribute("empty", "");
    EXPECT_FALSE(e.attribute("empty").isNull());
    e.removeAttribute("b");
    e.removeAttribute("missing");
    EXPECT_EQ(dumpTree(&e), "e[a=2,empty=]");
}

TEST(XMLNodeTest, SubtreeWalkVisitsDocumentOrderAndStopsAtTheSubtree)
{
    XMLElement root("r");
    auto a = element("a");
    a->appendChild(element("a1"));
    auto a2 = element("a2");
    a2->appendChild(std::make_unique<XMLData>("t"));
    a->appendChild(std::move(a2));
    XMLElement *aRaw = a.get();
    root.appendChild(std::move(a));
    root.appendChild(element("b"));

    QByteArray order;
    for (XMLNode *node = aRaw; node; node = node->nextInSubtree(aRaw))
        order += node->isElement() ? node->toElement()->name() + ' ' : QByteArray("text ");
    EXPECT_EQ(order, "a a1 a2 text ");
    EXPECT_EQ(root.firstChildElement(), aRaw);
    EXPECT_EQ(aRaw->nextSiblingElement()->name(), "b");
}

TEST(XMLNodeTest, DeepAndWideTreesAreBuiltAndDestroyedWithoutRecursion)
{
    const int count = 300000;
    auto root = element("r");
    XMLNode *current = root.get();
    for (int i = 0; i < count; ++i) {
        auto child = element("d");
        XMLNode *raw = child.get();
        current->appendChild(std::move(child));
        current->appendChild(std::make_unique<XMLData>("x"));
        current = raw;
    }
    auto wide = element("w");
    for (int i = 0; i < count; ++i)
        wide->appendChild(element("s"));
    int seen = 0;
    for (XMLNode *node = root.get(); node; node = node->nextInSubtree(root.get()))
        ++seen;
    EXPECT_EQ(seen, 2 * count + 1);
    root.reset();
    wide.reset();
}

} // namespace
