// Huge and hostile solutions: deep structures load without recursion, work
// that repeats itself is done once, and a load past one of its limits fails
// with the limit's message.
#include "testsupport.h"

#include <QFile>

namespace {

using Limits = ProjectTest;

/// `open` repeated `depth` times around `inner`, then `close` as often.
QString nested(const QString &open, const QString &close, int depth, const QString &inner)
{
    return open.repeated(depth) + inner + close.repeated(depth);
}

constexpr int kDeep = 20000;

TEST_F(Limits, DeepSolutionsAndTemplatesLoad)
{
    writeSolution("s.lxProject", QStringLiteral(R"(<solution Name="S">%1%2</solution>)")
                                     .arg(nested(R"(<folder Name="f">)", "</folder>", kDeep, R"(<file file_name="deep.c"/>)"),
                                          R"(<project Name="P" template_name="T"/>)"));
    const QString body = nested(R"(<folder name="g">)", "</folder>", kDeep, R"(<file name="body.c"/>)");
    write("templates.xml", nested("<group>", "</group>", kDeep,
                                  QStringLiteral(R"(<project template_name="T" type="Executable">%1</project>)").arg(body)));
    load("s.lxProject");
    EXPECT_EQ(elementFilePath(*system, byFileName("deep.c"), "Common"), path("deep.c"));
    const ProjectElement *project = byName("P");
    int depth = 0;
    for (const ProjectElement *e = byFileName("body.c"); e && e != project; e = e->parentElement())
        ++depth;
    EXPECT_EQ(depth, kDeep + 1);
}

TEST_F(Limits, LongImportChainsLoad)
{
    const int count = 500;
    for (int i = 1; i < count; ++i)
        writeSolution(QStringLiteral("i%1.lxProject").arg(i),
                      QStringLiteral(R"(<solution Name="S%1"><import file_name="i%2.lxProject"/></solution>)").arg(i).arg(i + 1));
    writeSolution(QStringLiteral("i%1.lxProject").arg(count), R"(<solution Name="Last"><file file_name="a.c"/></solution>)");
    load("i1.lxProject");
    ProjectElement *last = byName("Last");
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->isImported());
    EXPECT_EQ(solutionDirectory(byFileName("a.c")), dir.path());
    EXPECT_TRUE(system->loadingFiles().isEmpty());
}

// Templates that inherit the next one twice would be applied 2^40 times; each
// is applied once per expansion, and a long chain needs no call stack.
TEST_F(Limits, ConfigurationTemplatesAreAppliedOncePerExpansion)
{
    const int doubling = 40;
    const int chain = kDeep;
    QString configurations;
    for (int i = 0; i < doubling; ++i)
        configurations += QStringLiteral(R"(<configuration name="D%1"><property name="inherited_configurations" value="D%2;D%2"/>)"
                                         R"(<property name="p" value="v%1"/></configuration>)")
                              .arg(i)
                              .arg(i + 1);
    for (int i = 0; i < chain; ++i)
        configurations += QStringLiteral(R"(<configuration name="C%1"><property name="inherited_configurations" value="C%2"/></configuration>)")
                              .arg(i)
                              .arg(i + 1);
    write("templates.xml", QStringLiteral(R"(<projects><project template_name="T" type="Executable">)"
                                          R"(<configuration name="D0"/><configuration name="C0"/></project>)"
                                          R"(<configurations>%1</configurations></projects>)")
                               .arg(configurations));
    writeSolution("s.lxProject", R"(<solution Name="S"><project Name="P" template_name="T"/></solution>)");
    ProjectElement *solution = load("s.lxProject");
    EXPECT_EQ(findConfiguration(solution, QStringLiteral("D%1").arg(doubling - 1))->property("p"),
              QStringLiteral("v%1").arg(doubling - 1));
    EXPECT_NE(findConfiguration(solution, QStringLiteral("C%1").arg(chain - 1)), nullptr);
    // One configuration element for each template applied (D40 and C20000 have none).
    EXPECT_EQ(solution->configurations().size(), doubling + chain);
}

TEST_F(Limits, ImportsPastTheLimitStopTheLoad)
{
    LoadLimits limits;
    limits.importedFiles = 8;
    system->setLoadLimits(limits);
    // Eight imports in a chain are within the limit.
    for (int i = 1; i <= 8; ++i)
        writeSolution(QStringLiteral("c%1.lxProject").arg(i),
                      QStringLiteral(R"(<solution><import file_name="c%1.lxProject"/></solution>)").arg(i + 1));
    writeSolution("c9.lxProject", "<solution/>");
    ASSERT_TRUE(load("c1.lxProject"));
    // Each file imports the next twice: the ninth import is made by d1.
    for (int i = 1; i <= 3; ++i)
        writeSolution(QStringLiteral("d%1.lxProject").arg(i),
                      QStringLiteral(R"(<solution><import file_name="d%1.lxProject"/><import file_name="d%1.lxProject"/></solution>)")
                          .arg(i + 1));
    writeSolution("d4.lxProject", "<solution/>");
    writeSolution("s.lxProject", R"(<solution><import file_name="d1.lxProject"/><import file_name="d1.lxProject"/></solution>)");
    EXPECT_EQ(loadError("s.lxProject").text, "import limit of 8 files exceeded in " + path("d1.lxProject"));
}

// Elements read, copied from a template or listed in a dynamic folder all
// count against one limit of the load.
TEST_F(Limits, ElementsPastTheLimitStopTheLoad)
{
    LoadLimits limits;
    limits.elements = 10;
    system->setLoadLimits(limits);
    const QString nine = QStringLiteral("<folder/>").repeated(9);
    writeSolution("within.lxProject", "<solution>" + nine + "</solution>");
    ASSERT_TRUE(load("within.lxProject"));
    for (int i = 0; i < 3; ++i)
        touch(QStringLiteral("dyn/f%1.c").arg(i));
    write("templates.xml", R"(<projects><project template_name="T"><file name="a.c"/><file name="b.c"/></project></projects>)");
    const QString eight = QStringLiteral("<folder/>").repeated(8);
    const QString cases[] = {
        "<solution>" + nine + "<folder/></solution>",
        "<solution>" + eight + R"(<folder path="dyn" filter="*.c"/></solution>)",
        "<solution>" + eight + R"(<project template_name="T"/></solution>)",
    };
    for (const QString &body : cases) {
        writeSolution("s.lxProject", body);
        EXPECT_EQ(loadError("s.lxProject").text, "element limit of 10 elements exceeded") << body.toStdString();
    }
}

// The preprocessor's limits fail the solution, or a template file, like a
// syntax error with its line; a template file is then not a missing one.
TEST_F(Limits, PreprocessorLimitsFailTheLoad)
{
    LoadLimits limits;
    limits.expansionNodes = 10;
    system->setLoadLimits(limits);
    const char *const loop = R"(<for index="i" start="0" end="11" incr="1"><e/></for>)";
    writeSolution("s.lxProject", QStringLiteral("<solution>\n%1</solution>").arg(QLatin1String(loop)));
    const SolutionLoadError error = loadError("s.lxProject");
    EXPECT_EQ(error.text, "expansion limit of 10 nodes exceeded in " + path("s.lxProject"));
    EXPECT_TRUE(error.hasLine);
    EXPECT_EQ(error.line, 2);
    write("templates.xml", QStringLiteral("<projects>%1</projects>").arg(QLatin1String(loop)));
    writeSolution("s.lxProject", R"(<solution><project Name="P" template_name="T"/></solution>)");
    EXPECT_EQ(loadError("s.lxProject").text, "expansion limit of 10 nodes exceeded in " + path("templates.xml"));
}

// Directories that links lead to twice at every level: the scan stops once
// it has listed too many entries of directories it had listed before.
TEST_F(Limits, DynamicFoldersThroughDoublingLinksStop)
{
    const int levels = 4;
    mkdir("tree/d0");
    for (int i = 0; i < levels; ++i) {
        mkdir(QStringLiteral("tree/d%1").arg(i + 1));
        for (const char *link : {"a", "b"})
            ASSERT_TRUE(QFile::link(path(QStringLiteral("tree/d%1").arg(i + 1)),
                                    path(QStringLiteral("tree/d%1/%2").arg(i).arg(QLatin1String(link)))));
    }
    writeSolution("s.lxProject", R"(<solution><folder path="tree/d0" filter="*" recurse="Yes"/></solution>)");
    // Listed again: d1 once (2 entries), d2 three times, d3 seven times, d4 fifteen times (none).
    LoadLimits limits;
    limits.repeatedEntries = 2 + 3 * 2 + 7 * 2;
    system->setLoadLimits(limits);
    ASSERT_TRUE(load("s.lxProject"));
    limits.repeatedEntries -= 1;
    system->setLoadLimits(limits);
    const SolutionLoadError error = loadError("s.lxProject");
    EXPECT_TRUE(error.text.startsWith("directory scan limit of 21 repeated entries exceeded in " + path("tree/d0/")))
        << error.text.toStdString();
}

} // namespace
