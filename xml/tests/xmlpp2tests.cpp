// The preprocessor: small documents per directive and interaction, checked on the tree and the messages.
#include "xml/tests/treedump.h"
#include "xml/xmlexpression.h"
#include "xml/xmlpp2.h"
#include "macros/propertyclass.h"
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const char kPrefix[] = "XmlPP::processConditionals(): ";

class RecordingPP : public XMLPP2 {
public:
    using XMLPP2::XMLPP2;
    void reportError(const QString &message) override { errors << message; }
    QStringList errors;
};

class PreprocessorTest : public testing::Test {
protected:
    QString path(const QString &name) const { return m_dir.path() + '/' + name; }
    void writeFile(const QString &name, const QByteArray &text) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(text);
    }
    // Loads `text` from "main.xml" and gives the tree of the result; errors() has only its messages.
    QByteArray run(const QByteArray &text, const char *definitions = "", bool expand = false)
    {
        m_pp.errors.clear();
        writeFile("main.xml", text);
        EXPECT_TRUE(m_pp.loadPreprocessed(path("main.xml"), QString::fromUtf8(definitions), expand));
        return dumpTree(m_pp.root());
    }
    QStringList errors() const { return m_pp.errors; }
    QTemporaryDir m_dir;
    RecordingPP m_pp;
};

TEST_F(PreprocessorTest, Directives)
{
    const struct {
        const char *text;
        const char *definitions;
        bool expand;
        const char *tree;
    } cases[] = {
        // <if> and <ifnot>: the value is in the list (exact case, empty items skipped); they enter the name empty.
        {R"(<r><if host_os='win,linux'><a/><b/></if><if host_os='linux'><x/></if><c/></r>)", "host_os=win", false,
         "r(a,b,c)"},
        {R"(<r><if os='Win'><a/></if></r>)", "os=win", false, "r"},
        {R"(<r><if os=',,'><a/></if></r>)", "", false, "r"},
        {R"(<r><ifnot host_os='win'><a/></ifnot><ifnot host_os='mac'><b/></ifnot></r>)", "host_os=win", false, "r(b)"},
        {R"(<r><if host_os='win'><a/></if><ifdef name='host_os'><b/></ifdef></r>)", "", false, "r(b)"},
        {R"(<r><ifdef name='X'><a/></ifdef><ifdef name='Y'><b/></ifdef><ifndef name='X'><c/></ifndef><ifndef name='Y'>)"
         R"(<d/></ifndef></r>)", "X=", false, "r(a,d)"},
        // <ifex>: a number or an expression that cannot be evaluated is no condition.
        {R"(<r><ifex expression='$(M) * 2 == 6'><a/></ifex><ifex expression='$(M) &gt; 3'><b/></ifex></r>)", "M=3",
         false, "r(a)"},
        {R"(<r><ifex expression='5'><a/></ifex><ifex expression='$(Undefined) == 1'><b/></ifex><ifex expression=''>)"
         R"(<c/></ifex></r>)", "", false, "r"},
        // <switch>: the first case holding the value, else the default, else nothing; case values expand; the name is
        // entered empty.
        {R"(<r><switch name='cpu'><case value='a,b'><x/></case><case value='c'><y/></case><default><z/></default>)"
         R"(</switch></r>)", "cpu=c", false, "r(y)"},
        {R"(<r><switch name='cpu'><case value='c'><x/></case><case value='c'><y/></case></switch></r>)", "cpu=c", false,
         "r(x)"},
        {R"(<r><switch name='cpu'><default><z/></default><case value='a'><x/></case></switch><switch name='os'>)"
         R"(<case value='a'><y/></case></switch><n/></r>)", "cpu=q", false, "r(z,n)"},
        {R"(<r><switch name='cpu'><case value='$(A)'><x/></case></switch></r>)", "cpu=c;A=b,c", true, "r(x)"},
        {R"(<r><switch name='cpu'/><ifdef name='cpu'><a/></ifdef></r>)", "", false, "r(a)"},
        // <define>: a value or an unsigned expression (one that cannot be evaluated defines nothing); it replaces a
        // definition and holds for later siblings and their children, not outside its block or element.
        {R"(<r><define name='N' value='$(M)x'/><a v='$(N)'/></r>)", "M=3", true, "r(a[v=3x])"},
        {R"(<r><define name='N' expression='2*$(M)'/><a v='$(N)'/></r>)", "M=3", true, "r(a[v=6])"},
        {R"(<r><define name='N' expression='0-1'/><define name='H' hex_expression='-2'/><a v='$(N) $(H)'/></r>)", "",
         true, "r(a[v=18446744073709551615 0xFFFFFFFFFFFFFFFE])"},
        {R"(<r><define name='N' expression='1/0'/><ifdef name='N'><a/></ifdef></r>)", "", false, "r"},
        {R"(<r><define name='M' value='4'/><a v='$(M)'/></r>)", "M=3", true, "r(a[v=4])"},
        {R"(<r><ifdef name='M'><define name='Z' value='1'/><in v='$(Z)'/></ifdef><ifdef name='Z'><out/></ifdef></r>)",
         "M=", true, "r(in[v=1])"},
        {R"(<r><e><define name='Z' value='1'/></e><ifdef name='Z'><out/></ifdef></r>)", "", false, "r(e)"},
        {R"(<r><a v='$(Z)'/><define name='Z' value='1'/><b v='$(Z)'/><e><c v='$(Z)'/></e></r>)", "", true,
         "r(a[v=$(Z)],b[v=1],e(c[v=1]))"},
        {R"(<r><a v='$(A)'/></r>)", "A=1", false, "r(a[v=$(A)])"},
        // <xmlput>: a processed copy of the <xmldef> with its own macros.
        {"<r><xmldef name='f'><p v='$(X)'/><q/></xmldef><xmlput name='f' macros='X=1'/>"
         "<xmlput name='f' macros='\nX=2'/></r>", "", false, "r(p[v=1],q,p[v=2],q)"},
        {R"(<r><xmldef name='f'><ifdef name='X'><p/></ifdef></xmldef><xmlput name='f'/><xmlput name='f' macros='X=1'/>)"
         R"(</r>)", "", false, "r(p)"},
        // <for>: the index in decimal, letters and hex; bounds are unexpanded expressions; an empty range gives
        // nothing, a zero step one pass; the progression i * mul + add - sub; copies are processed in the enclosing
        // table.
        {R"(<r><for index='i' start='0' end='3' incr='1'><e n='$(i)' a='$(i_alpha)' h='$(i_hex)'/></for><z/></r>)", "",
         false, "r(e[n=0,a=A,h=0x0],e[n=1,a=B,h=0x1],e[n=2,a=C,h=0x2],z)"},
        {R"(<r><for index='k' start='1+1' end='2*5' incr='3'><e n='$(k)'/></for></r>)", "", false,
         "r(e[n=2],e[n=5],e[n=8])"},
        {R"(<r><for index='i' start='10' end='12' incr='1' mul='$(M)' add='0x10'><e d='$(i_ap)' h='$(i_ap_hex)'/>)"
         R"(</for></r>)", "M=4", false, "r(e[d=56,h=0x38],e[d=60,h=0x3C])"},
        {R"(<r><for index='i' start='0' end='2' incr='1' sub='1'><e d='$(i_ap)' h='$(i_ap_hex)'/></for></r>)", "",
         false, "r(e[d=-1,h=0xFFFFFFFFFFFFFFFF],e[d=0,h=0x0])"},
        {R"(<r><for index='i' start='3' end='3' incr='1'><e/></for><for index='i' start='0' end='3' incr='0'><f/>)"
         R"(</for><z/></r>)", "", false, "r(f,z)"},
        {R"(<r><for index='i' start='0' end='4' incr='1'><ifex expression='$(i) % 2 == 0'><even n='$(i)'/></ifex>)"
         R"(</for></r>)", "", false, "r(even[n=0],even[n=2])"},
        {R"(<r><for index='i' start='0' end='2' incr='1'><define name='last' expression='$(i)'/></for><a v='$(last)'/>)"
         R"(</r>)", "", true, "r(a[v=1])"},
        {R"(<r><for index='i' start='0' end='$(N)' incr='1'><e/></for></r>)", "N=2", false, "r"},
        // <foreach>: every combination of its lists (empty items and newlines skipped; an empty list gives none);
        // copies are processed, and only they see the names.
        {R"(<r><foreach a='x,y' b='1,,2'><e v='$(a)$(b)'/><f/></foreach></r>)", "", false,
         "r(e[v=x1],f,e[v=x2],f,e[v=y1],f,e[v=y2],f)"},
        {"<r><foreach a='x,\ny,\n'><e v='$(a)'/></foreach><foreach a='x' b=''><f/></foreach><z/></r>", "", false,
         "r(e[v=x],e[v=y],z)"},
        {R"x(<r><foreach os='win,linux'><ifex expression='"$(os)" == "linux"'><l v='$(os)'/></ifex></foreach></r>)x",
         "", false, "r(l[v=linux])"},
        {R"(<r><foreach os='win'><ifdef name='os'><x/></ifdef><e/></foreach></r>)", "", false, "r(e)"},
        // A directive as the root; ordinary elements keep their attributes and order.
        {R"(<ifdef name='X'><r><a/></r></ifdef>)", "X=1", false, "r(a)"},
        {R"(<r x='1'><a><ifdef name='X'><b/></ifdef><c/></a></r>)", "X=1", false, "r[x=1](a(b,c))"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.text, c.definitions, c.expand), c.tree) << c.text;
        EXPECT_TRUE(errors().isEmpty()) << c.text << ": " << errors().join('\n').toStdString();
    }
}

TEST_F(PreprocessorTest, TextSurvivesSplicing)
{
    RecordingPP pp(true);
    writeFile("t.xml", R"(<r><ifdef name='X'>one<!--c--><b>two</b></ifdef></r>)");
    ASSERT_TRUE(pp.loadPreprocessed(path("t.xml"), QStringLiteral("X=1"), false));
    EXPECT_EQ(dumpTree(pp.root()), "r('','one',#'c','',b('two'),'','')");
}

TEST_F(PreprocessorTest, MessagesAndWhatRemains)
{
    const struct {
        const char *name;
        const char *text;
        const char *tree;
        const char *message; // after the common prefix
    } cases[] = {
        {"IfWithTwoConditions", R"(<r><if a='1' b='2'><ifdef name='none'><x/></ifdef><y/></if><z/></r>)",
         "r(if[a=1,b=2](y),z)", "one condition required for <if[not]>"},
        {"IfNotWithoutCondition", R"(<r><ifnot><y/></ifnot></r>)", "r(ifnot(y))",
         "one condition required for <if[not]>"},
        {"IncludeWithoutFilename", R"(<r><include/><z/></r>)", "r(z)", "missing filename in <include>"},
        {"DefineWithoutName", R"(<r><define value='1'/><z/></r>)", "r(z)", "missing name in <define>"},
        {"DefineWithoutValue", R"(<r><define name='N'/><ifdef name='N'><y/></ifdef><z/></r>)", "r(z)",
         "missing value or expression in <define>"},
        {"XmlPutWithoutFragment", R"(<r><xmlput name='nothing'/><z/></r>)", "r(z)",
         "xmlput cannot fine xmldef named nothing"},
        {"ForWithoutIncr", R"(<r><for index='i' start='0' end='2'><e/></for><z/></r>)", "r(z)",
         R"(<for index="i" start="0" end="32" incr="1">)"},
        {"ForWithoutBody", R"(<r><for index='i' start='0' end='2' incr='1'>text</for><z/></r>)", "r(z)",
         R"(<for index="i" start="0" end="32" incr="1">)"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.text), c.tree) << c.name;
        EXPECT_EQ(errors(), QStringList{QString::fromLatin1(kPrefix) + QString::fromUtf8(c.message)}) << c.name;
    }
}

TEST_F(PreprocessorTest, IncludeVariants)
{
    writeFile("inc.xml", R"(<lib v='$(Q)'><item n='$(Q)'/><item2/></lib>)");
    const struct {
        const char *include;
        bool expand;
        const char *tree;
    } cases[] = {
        {R"(<include filename='inc.xml'/>)", false, "r(lib[v=$(Q)](item[n=$(Q)],item2),z)"},
        {R"(<include filename='inc.xml' inherit_attributes='k; m;absent' k='1' m='2'/>)", false,
         "r(lib[v=$(Q),k=1,m=2](item[n=$(Q)],item2),z)"},
        {R"(<include filename='inc.xml' envelope='lib'/>)", false, "r(item[n=$(Q)],item2,z)"},
        {R"(<include filename='inc.xml' envelope='other'/>)", false, "r(lib[v=$(Q)](item[n=$(Q)],item2),z)"},
        {R"(<include filename='inc.xml' no_root='1'/>)", false, "r(item[n=$(Q)],item2,z)"},
        {R"(<include filename='inc.xml' no_root='false'/>)", false, "r(lib[v=$(Q)](item[n=$(Q)],item2),z)"},
        {R"(<include filename='inc.xml' macros='Q=7' expand_macros='1'/>)", false, "r(lib[v=7](item[n=7],item2),z)"},
        {R"(<include filename='inc.xml' macros='Q=7'/>)", false, "r(lib[v=$(Q)](item[n=$(Q)],item2),z)"},
        {R"(<include filename='inc.xml' macros='Q=7'/>)", true, "r(lib[v=7](item[n=7],item2),z)"},
        {R"(<include filename='$(Dir)/inc.xml'/>)", true, "r(lib[v=$(Q)](item[n=$(Q)],item2),z)"},
    };
    for (const auto &c : cases) {
        const QByteArray text = "<r>" + QByteArray(c.include) + R"(<z/></r>)";
        // Dir is a preprocessor definition here: with expansion on, the include
        // directive's own attributes are expanded with the table first.
        const QByteArray definitions = "Dir=" + QFile::encodeName(m_dir.path());
        EXPECT_EQ(run(text, definitions.constData(), c.expand), c.tree) << c.include;
        EXPECT_TRUE(errors().isEmpty()) << c.include << ": " << errors().join('\n').toStdString();
    }
}

TEST_F(PreprocessorTest, IncludeUsesSystemMacrosAndTheIncludingFilesDirectory)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("sub/deeper"));
    globalPropertyClassList().setMacro(QStringLiteral("XmlPPTestDir"), m_dir.path());
    writeFile("sub/a.xml", R"(<a><include filename='deeper/b.xml' no_root='yes'/></a>)");
    writeFile("sub/deeper/b.xml", R"(<b><ifdef name='M'><bm/></ifdef><define name='L' value='1'/><bl v='$(L)'/></b>)");
    EXPECT_EQ(run(R"(<r><include filename='$(XmlPPTestDir)/sub/a.xml' macros='M=1'/>)"
                  R"(<ifdef name='L'><leak/></ifdef></r>)",
                  "", true),
              "r(a(bm,bl[v=1]))");
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
    // What a build must watch: the document and each include file it read, nested ones too, in the order read.
    EXPECT_EQ(m_pp.readFiles(), (QStringList{path("main.xml"), path("sub/a.xml"), path("sub/deeper/b.xml")}));
}

TEST_F(PreprocessorTest, IncludeFailuresAreReported)
{
    writeFile("bad.xml", "<a>\n<b></a>");
    writeFile("empty.xml", "  ");
    const QString dir = m_dir.path();
    EXPECT_EQ(run(R"(<r><include filename='missing.xml'/><include filename='bad.xml'/>)"
                  R"(<include filename='empty.xml'/><z/></r>)"),
              "r(z)");
    const QString prefix = QString::fromLatin1(kPrefix);
    EXPECT_EQ(errors(), (QStringList{
        prefix + "error \"couldn't read " + dir + "/missing.xml\" in include file " + dir + "/missing.xml line:0",
        prefix + "error \"tagName mismatch\" in include file " + dir + "/bad.xml line:1",
        prefix + "error: include file '" + dir + "/empty.xml' is empty"}));
    // A malformed include was read and must be watched; a missing one was not.
    EXPECT_EQ(m_pp.readFiles(), (QStringList{path("main.xml"), path("bad.xml"), path("empty.xml")}));
}

// A run that needs more than a limit allows stops and fails like a read
// error, the limit and the file in the message; just within it, it goes on.
TEST_F(PreprocessorTest, LimitsStopTheRunLikeAReadError)
{
    const QString dir = m_dir.path();
    // c1 includes c2, ..., c32 includes c33: from c2 the chain is 32 includes deep.
    for (int i = 1; i <= 33; ++i)
        writeFile(QStringLiteral("c%1.xml").arg(i),
                  i < 33 ? QStringLiteral("<c><include filename='c%1.xml'/></c>").arg(i + 1).toUtf8() : "<leaf/>");
    // t1 includes t2 twice, ..., t11 includes t12 twice: 4094 includes below t1.
    const QString twice = QStringLiteral("<t><include filename='t%1.xml'/><include filename='t%1.xml'/></t>");
    for (int i = 1; i <= 12; ++i)
        writeFile(QStringLiteral("t%1.xml").arg(i), i < 12 ? twice.arg(i + 1).toUtf8() : "<leaf/>");
    const QByteArray within[] = {
        R"(<r><include filename='c2.xml'/><e/></r>)",
        R"(<r><include filename='t1.xml'/><e/></r>)",
        R"(<r><ifex expression=')" + QByteArray(MaxExpressionNesting - 1, '(') + "1==1"
            + QByteArray(MaxExpressionNesting - 1, ')') + R"('><e/></ifex></r>)",
    };
    for (const QByteArray &text : within)
        EXPECT_TRUE(run(text).endsWith("e)")) << text.left(40).constData();

    const struct {
        const char *name;
        QByteArray text;
        const char *definitions;
        QString message;
    } cases[] = {
        {"IncludeNesting", R"(<r><include filename='c1.xml'/></r>)", "",
         "include nesting limit of 32 files exceeded in " + dir + "/c32.xml"},
        {"IncludedFiles", R"(<r><include filename='t1.xml'/><include filename='t1.xml'/></r>)", "",
         "include limit of 4096 files exceeded in " + dir + "/t1.xml"},
        {"ExpressionNesting",
         R"(<r><ifex expression=')" + QByteArray(MaxExpressionNesting, '(') + "1"
             + QByteArray(MaxExpressionNesting, ')') + R"('/></r>)",
         "", "expression nesting limit of 256 levels exceeded in " + dir + "/main.xml"},
        {"DefinitionsThatDoubleThemselves",
         "<r>" + QByteArray(R"(<define name='A' value='$(A)$(A)'/>)").repeated(30) + "</r>", "A=x",
         "expansion limit of 4194304 characters exceeded in " + dir + "/main.xml"},
    };
    for (const auto &c : cases) {
        writeFile("main.xml", c.text);
        EXPECT_FALSE(m_pp.loadPreprocessed(path("main.xml"), QString::fromUtf8(c.definitions), true)) << c.name;
        EXPECT_EQ(QString::fromUtf8(m_pp.errorMessage()), c.message) << c.name;
        EXPECT_TRUE(m_pp.exceededLimit()) << c.name;
    }
}

// Every loop pass counts, one node at least, so that a pass without elements
// cannot go on for ever either; the line is the loop's.
TEST_F(PreprocessorTest, ExpansionLimitCountsNodesAndLoopPasses)
{
    m_pp.setExpansionLimit(100);
    const QByteArray items = "1,2,3,4,5,6,7,8,9,10";
    EXPECT_EQ(run(R"(<r><for index='i' start='0' end='100' incr='1'><e/></for><z/></r>)").count("e"), 100);
    EXPECT_EQ(run(R"(<r><foreach a=')" + items + R"(' b=')" + items + R"('>text</foreach><z/></r>)"), "r(z)");
    const QByteArray runaways[] = {
        "<r>\n<for index='i' start='0' end='0xFFFFFFFFFFFFFFFF' incr='1'><e/></for></r>",
        "<r>\n<foreach a='" + items + ",11' b='" + items + "'>text</foreach></r>",
    };
    for (const QByteArray &text : runaways) {
        writeFile("main.xml", text);
        EXPECT_FALSE(m_pp.loadPreprocessed(path("main.xml"), QString(), false)) << text.constData();
        EXPECT_EQ(QString::fromUtf8(m_pp.errorMessage()),
                  "expansion limit of 100 nodes exceeded in " + path("main.xml"));
        EXPECT_EQ(m_pp.errorLine(), 1u);
    }
}

TEST_F(PreprocessorTest, DeepDocumentsAreProcessedWithoutRecursion)
{
    const int depth = 100000;
    writeFile("deep.xml", QByteArray(R"(<d><ifdef name='X'>)").repeated(depth) + R"(<leaf/>)"
                              + QByteArray(R"(</ifdef></d>)").repeated(depth));
    ASSERT_TRUE(m_pp.loadPreprocessed(path("deep.xml"), QStringLiteral("X=1"), true));
    int levels = 0;
    const XMLNode *node = m_pp.root();
    while (node && node->isElement() && node->toElement()->name() == "d") {
        ++levels;
        node = node->firstChild();
    }
    EXPECT_EQ(levels, depth);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->toElement()->name(), "leaf");
}

// Every element of the result, included and copied ones too, comes from the
// factory the project model's document is given.
class TaggedElement : public XMLElement {
    using XMLElement::XMLElement;
};

TEST_F(PreprocessorTest, ElementsComeFromTheFactory)
{
    writeFile("inc.xml", R"(<lib><item/></lib>)");
    writeFile("main.xml", R"(<r><include filename='inc.xml'/>)"
                          R"(<for index='i' start='0' end='2' incr='1'><e><f/></e></for>)"
                          R"(<xmldef name='x'><g/></xmldef><xmlput name='x'/></r>)");
    ProjectSystemXMLPP2 pp([](const QByteArray &name) { return std::make_unique<TaggedElement>(name); });
    ASSERT_TRUE(pp.loadPreprocessed(path("main.xml"), QString(), false));
    EXPECT_EQ(dumpTree(pp.root()), "r(lib(item),e(f),e(f),g)");
    for (XMLNode *node = pp.root(); node; node = node->nextInSubtree(pp.root()))
        EXPECT_NE(dynamic_cast<TaggedElement *>(node), nullptr) << dumpTree(node).constData();
}

TEST_F(PreprocessorTest, LoadFailureIsTheLoadersBusiness)
{
    EXPECT_FALSE(m_pp.loadPreprocessed(path("missing.xml"), QString(), false));
    writeFile("bad.xml", R"(<a 1='x'/>)");
    EXPECT_FALSE(m_pp.loadPreprocessed(path("bad.xml"), QString(), false));
    EXPECT_EQ(m_pp.errorMessage(), "bad tagName");
    EXPECT_FALSE(m_pp.exceededLimit());
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(PreprocessorTest, ProcessConditionalsOnAChain)
{
    XMLPP2 pp;
    ASSERT_TRUE(pp.read(R"(<r><a/><ifdef name='X'><b/></ifdef><c v='$(X)'/></r>)"));
    // Starting at the second child leaves the first alone.
    pp.processConditionals(pp.root()->firstChild()->nextSibling(), QString(), parseMacroList("X=1"), true);
    EXPECT_EQ(dumpTree(pp.root()), "r(a,b,c[v=1])");
}

} // namespace
