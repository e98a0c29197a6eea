// The forgiving reader, the writer, their round trip, the file operations and
// attribute expansion.
#include "xml/tests/treedump.h"
#include "xml/xmldocument.h"
#include "macros/macromap.h"
#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <random>

namespace {

// The tree of a read as dumpTree() writes it; after a failed read "error <line>: <message> / <tree>".
QByteArray readTree(const QByteArray &text, bool keepText)
{
    XMLDocument document(keepText);
    const bool read = document.read(text);
    const QByteArray tree = dumpTree(document.root());
    if (read)
        return tree;
    return "error " + QByteArray::number(document.errorLine()) + ": " + document.errorMessage() + " / " + tree;
}

TEST(XMLReadTest, Table)
{
    const struct {
        QByteArray text;
        bool keepText;
        const char *tree;
    } cases[] = {
        {R"(<a x='1' y="2"/>)", false, "a[x=1,y=2]"},
        {"  \n<a><b/><c></c></a>", false, "a(b,c)"},
        {R"(<abc></ab>)", false, "abc"},
        {R"(<a><b></></a>)", false, "a(b)"},
        {R"(</x><a/>)", false, "a"},
        {R"(<a/><b/>)", false, "b"},
        {R"(<a>x &amp; y</a>)", true, "a('x & y')"},
        {R"(<a>x &amp; y</a>)", false, "a"},
        {R"(<a>&#x41;&#65;&#321;&foo;&amp</a>)", true, "a('AAA&foo;&amp')"},
        {R"(<a>&lt;&gt;&quot;&apos;&#x6a;</a>)", true, "a('<>\"'j')"},
        {R"(<a>&#12a;&#x4g;x</a>)", true, "a('&#12a;&#x4g;x')"},
        {R"(<a v='&lt;&#x41;&x'/>)", false, "a[v=<A&x]"},
        {"<a v='1\r\n'>t\r\nu</a>", true, "a[v=1\r\n]('t\nu')"},
        {R"(<a b c='1' c="2" d = 'x'/>)", false, "a[c=2,d=x]"},
        {R"(<a v='no end/>)", false, "null"},
        {R"(<a><!-- c --></a>)", true, "a('',#' c ','')"},
        {R"(<a><!-- c --></a>)", false, "a"},
        {R"(<a><!-- no end </a>)", true, "null"},
        {R"(<a><![CDATA[x<y&amp;]]></a>)", false, "a(!'x<y&amp;')"},
        {R"(<a><![CDATA[open</a>)", false, "null"},
        {R"(<a><!ELEMENT x></a>)", true, "a('',' x>')"},
        {R"(<a><?pi x?></a>)", true, "a('',' x?>')"},
        {R"(<a></a junk><b/></a>)", false, "a(b)"},
        {R"(x<a/>)", false, "null"},
        {R"(<a><b>)", false, "null"},
        {"<e>caf\xC3\xA9</e>", true, "e('caf\xC3\xA9')"},
        {QByteArray("<a/>\0<b/>", 9), false, "a"},
        // Failures keep what was completed.
        {"<a>\n\n<b></a>", false, "error 2: tagName mismatch / null"},
        {R"(<ab></abc>)", false, "error 0: tagName mismatch / null"},
        {"<a>\n<b x='1'\n ='2'/></a>", false, "error 2: bad tagName / null"},
        {R"(<a/><b><c></b>)", false, "error 0: tagName mismatch / a"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(readTree(c.text, c.keepText), c.tree) << c.text.constData();
}

TEST(XMLReadTest, DeclarationAndDoctypeSetTheDocumentFields)
{
    XMLDocument document;
    ASSERT_TRUE(document.read(R"(<?xml version="1.0" encoding='UTF-8' standalone='yes'?>
<!DOCTYPE proj>
<a/>)"));
    EXPECT_EQ(document.version(), "1.0");
    EXPECT_EQ(document.encoding(), "UTF-8");
    EXPECT_EQ(document.doctype(), "proj");
    EXPECT_EQ(dumpTree(document.root()), "a");
    // A prefix of DOCTYPE counts; an internal subset keeps it unrecorded; a new
    // read forgets the old declaration.
    ASSERT_TRUE(document.read(R"(<!DOC p><a/>)"));
    EXPECT_EQ(document.doctype(), "p");
    EXPECT_TRUE(document.version().isNull());
    ASSERT_TRUE(document.read(R"(<!DOCTYPE p [ ]><a/>)"));
    EXPECT_TRUE(document.doctype().isNull());
}

TEST(XMLReadTest, ZeroBytesAndLinesFromZero)
{
    XMLDocument document(true);
    // An empty numeric reference gives a zero byte; so does one past 255.
    EXPECT_EQ(readTree(R"(<a v='&#;'>&#;x&#x100;</a>)", true), QByteArray("a[v=\0]('\0x\0')", 13));
    ASSERT_TRUE(document.read("\n\n<a>\n<b/>t<!--\n-->\n<c/></a>"));
    const XMLElement *a = document.root();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->line(), 2u);
    EXPECT_EQ(a->firstChild()->line(), 2u); // the newline after <a> is part of the text
    EXPECT_EQ(a->firstChildElement()->line(), 3u);
    EXPECT_EQ(a->firstChildElement()->nextSiblingElement()->line(), 5u);
}

using Attributes = std::initializer_list<std::pair<const char *, const char *>>; // a null value: a null attribute

template <typename... Children>
std::unique_ptr<XMLElement> makeElement(const char *name, Attributes attributes = {}, Children &&...children)
{
    auto e = std::make_unique<XMLElement>(name);
    for (const auto &attribute : attributes)
        e->setAttribute(attribute.first, attribute.second);
    (e->appendChild(std::forward<Children>(children)), ...);
    return e;
}

// The document's text with `root` at the given settings.
QByteArray written(XMLDocument &document, std::unique_ptr<XMLElement> root, quint32 indent, quint32 wrapWidth = 0)
{
    document.setRoot(std::move(root));
    return document.toText(indent, wrapWidth);
}

TEST(XMLWriteTest, DeclarationDoctypeAndIndentation)
{
    XMLDocument document(true);
    document.setVersion("1.0");
    document.setEncoding("UTF-8");
    document.setDoctype("proj");
    auto root = makeElement("a", {},
                            makeElement("b", {{"x", "1"}}, makeElement("c"), std::make_unique<XMLComment>(" n "),
                                        std::make_unique<XMLCDATASection>("<&>")),
                            makeElement("t", {}, std::make_unique<XMLData>("v\n"), makeElement("hidden")));
    EXPECT_EQ(written(document, std::move(root), 2), R"(<?xml  version="1.0" encoding="UTF-8" ?>
<!DOCTYPE proj>
<a>
  <b x="1">
    <c/>
    <!-- n -->    <![CDATA[<&>]]>  </b>
  <t>v&#xa;</t>
</a>
)");
    document.setVersion(QByteArray());
    document.setDoctype(QByteArray());
    EXPECT_EQ(written(document, makeElement("a"), 0), R"(<?xml  encoding="UTF-8" ?>
<a/>)");
}

TEST(XMLWriteTest, AttributesWrapWhenTheyPassTheWidth)
{
    XMLDocument document;
    auto make = [] { return makeElement("r", {}, makeElement("el", {{"aa", "1234"}, {"b", "5"}, {"n", nullptr}})); };
    // At level 1: 2 + 2 + 1 = 5, then aa: + 2 + 4 + 4 = 15, b: + 1 + 4 + 1 = 21,
    // n: + 1 + 4 + 0 = 26. The null-valued n stays on the current line.
    const QByteArray unwrapped = R"(<r>
  <el aa="1234" b="5" n="" />
</r>
)";
    EXPECT_EQ(written(document, make(), 2, 26), unwrapped);
    EXPECT_EQ(written(document, make(), 2, 25), R"(<r>
  <el
    aa="1234"
    b="5" n="" />
</r>
)");
    // One attribute never wraps; width 0 never wraps.
    EXPECT_EQ(written(document, makeElement("e", {{"a", "long value"}}), 2, 1), R"(<e a="long value" />)" "\n");
    EXPECT_EQ(written(document, make(), 2, 0), unwrapped);
}

TEST(XMLWriteTest, EscapesEveryNonPrintableByte)
{
    XMLDocument document;
    EXPECT_EQ(written(document, makeElement("e", {{"v", "q\"a&l<g>'\n\t\x7F\x80\xFF\x01 ~"}}), 0),
              R"(<e v="q&quot;a&amp;l&lt;g&gt;'&#xa;&#x9;&#x7f;&#x80;&#xff;&#x1; ~" />)");
    EXPECT_EQ(written(document, makeElement("z", {}, std::make_unique<XMLData>(QByteArray("\0x", 2))), 0),
              R"(<z>&#x0;x</z>)");
}

// A random tree with arbitrary bytes in text and values; text only as an element's single
// child, which is what the writer keeps.
std::unique_ptr<XMLElement> randomTree(std::mt19937 &random, int depth, bool withText)
{
    // Up to maxLength bytes, any byte or from the given alphabet.
    auto randomBytes = [&random](unsigned maxLength, const QByteArray &alphabet = QByteArray()) {
        QByteArray bytes;
        for (unsigned i = random() % (maxLength + 1); i > 0; --i)
            bytes.append(alphabet.isEmpty() ? char(random() % 256)
                                            : alphabet.at(int(random() % unsigned(alphabet.size()))));
        return bytes;
    };
    auto randomName = [&](bool attribute) {
        const QByteArray first(1, "abcXYZ_:-"[random() % (attribute ? 9 : 6)]);
        return first + randomBytes(5, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_:-");
    };
    auto element = std::make_unique<XMLElement>(randomName(false));
    const int attributes = int(random() % 4);
    for (int i = 0; i < attributes; ++i)
        element->setAttribute(randomName(true) + QByteArray::number(i), randomBytes(12));
    const unsigned kind = depth > 0 ? random() % 3 : 2;
    if (kind == 0 && withText)
        element->appendChild(std::make_unique<XMLData>(randomBytes(20)));
    for (int i = kind == 1 ? int(random() % 4) : 0; i > 0; --i)
        element->appendChild(randomTree(random, depth - 1, withText));
    return element;
}

// The reader keeps an empty text node wherever a tag follows a tag; the comparison ignores them.
void removeEmptyText(XMLNode *root)
{
    for (XMLNode *node = root, *next = nullptr; node; node = next) {
        next = node->nextInSubtree(root);
        if (node->nodeType() == XMLNodeType::Data && static_cast<XMLTextNode *>(node)->text().isEmpty())
            node->parent()->removeChild(node);
    }
}

TEST(XMLRoundTripTest, GeneratedTreesReadBackUnchanged)
{
    // Compact with text kept, then indented and wrapped without text (the reader skips it).
    for (const bool keepText : {true, false}) {
        std::mt19937 random(keepText ? 20261206 : 7);
        for (int i = 0; i < (keepText ? 400 : 200); ++i) {
            XMLDocument source(keepText);
            source.setRoot(randomTree(random, 4, keepText));
            const QByteArray text = keepText ? source.toText(0, 0) : source.toText(3, 40);
            removeEmptyText(source.root());
            XMLDocument target(keepText);
            ASSERT_TRUE(target.read(text)) << text.constData();
            removeEmptyText(target.root());
            ASSERT_EQ(dumpTree(target.root()), dumpTree(source.root())) << text.constData();
        }
    }
}

TEST(XMLRoundTripTest, DeepDocumentsReadAndWriteWithoutRecursion)
{
    const QByteArray text = QByteArray("<d>").repeated(200000) + "<leaf/>" + QByteArray("</d>").repeated(200000);
    XMLDocument document;
    ASSERT_TRUE(document.read(text));
    EXPECT_EQ(document.toText(0, 0), text);
}

class XMLFileTest : public testing::Test {
protected:
    QString path(const char *name) const { return m_dir.path() + '/' + QString::fromLatin1(name); }
    void writeFile(const char *name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir m_dir;
};

TEST_F(XMLFileTest, LoadAndSave)
{
    writeFile("a.xml", "\xEF\xBB\xBF<a x='&#xa;'/>");
    QXMLDocument document;
    ASSERT_TRUE(document.load(path("a.xml")));
    EXPECT_EQ(dumpTree(document.root()), "a[x=\n]");
    ASSERT_TRUE(document.save(path("b.xml"), 2));
    QFile saved(path("b.xml"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), R"(<a x="&#xa;" />)" "\n");
    EXPECT_FALSE(document.load(path("missing.xml")));
    EXPECT_EQ(document.errorMessage(), "couldn't read " + QFile::encodeName(path("missing.xml")));
    EXPECT_EQ(document.errorLine(), 0u);
    EXPECT_FALSE(document.save(path("no/such/dir.xml"), 0));
    EXPECT_EQ(document.errorMessage(), "couldn't write " + QFile::encodeName(path("no/such/dir.xml")));
}

TEST_F(XMLFileTest, DocumentType)
{
    const struct {
        QByteArray head;
        const char *type; // null: none
    } cases[] = {
        {"<?xml version='1.0'?>\n<?other?><!DOCTYPE   N1_x [ ]>", "N1_x"},
        {"<a><!DOCTYPE x>", nullptr},
        {"<!DOCTYPEx>", nullptr},
        {"<!DOCTYPE >", nullptr},
        {QByteArray(1020, ' ') + "<!DOCTYPE late>", nullptr},
    };
    for (const auto &c : cases) {
        writeFile("t.xml", c.head);
        const QByteArray type = QXMLDocument::documentType(path("t.xml"));
        EXPECT_EQ(type.isNull(), !c.type) << c.head.constData();
        EXPECT_EQ(type, QByteArray(c.type)) << c.head.constData();
    }
    EXPECT_TRUE(QXMLDocument::documentType(path("missing.xml")).isNull());
}

// With the table alone, through the subtree or on the element only; a value
// whose expansion passes the length limit stays as it is.
TEST(XMLMacroTest, ExpandAttributeMacros)
{
    QXMLDocument document;
    ASSERT_TRUE(document.read("<a v='$(A)-$(Unknown)' w='plain'><b v='[$(B)]'><c u='$(A)\xC3\xA9'/></b></a>"));
    const MacroMap table = parseMacroList(QString::fromUtf8("A=x;B=\xC3\xBC"));
    EXPECT_TRUE(document.expandAttributeMacros(document.root(), table, AttributeScope::Element));
    EXPECT_EQ(dumpTree(document.root()), "a[v=x-$(Unknown),w=plain](b[v=[$(B)]](c[u=$(A)\xC3\xA9]))");
    EXPECT_TRUE(document.expandAttributeMacros(document.root(), table));
    EXPECT_EQ(dumpTree(document.root()), "a[v=x-$(Unknown),w=plain](b[v=[\xC3\xBC]](c[u=x\xC3\xA9]))");
    const MacroMap half = parseMacroList("H=" + QString(QXMLDocument::MaxExpandedLength / 2, QLatin1Char('h')));
    ASSERT_TRUE(document.read(R"(<a v='$(H)$(H)' w='$(H)$(H)x'/>)"));
    EXPECT_FALSE(document.expandAttributeMacros(document.root(), half));
    EXPECT_EQ(document.root()->attribute("v").size(), QXMLDocument::MaxExpandedLength);
    EXPECT_EQ(document.root()->attribute("w"), "$(H)$(H)x");
}

} // namespace
