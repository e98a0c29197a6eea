// Loading solution files: kinds, properties, imports, versions, load commands,
// progress and every error with its subject.
#include "testsupport.h"

#include "macros/propertyclass.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

namespace {

using Loader = ProjectTest;

TEST_F(Loader, KindsPropertiesAndConfigurationIndex)
{
    writeSolution("s.lxProject", QString::fromUtf8(
        "<solution Name=\"S\" version=\"2\">\n  <!-- comments are skipped -->\n"
        "  <project Name=\"P\" note=\"caf\xc3\xa9\">\n"
        "    <folder Name=\"F\"><file file_name=\"a.c\"/></folder>\n    <widget Name=\"W\"/>\n"
        "    <configuration Name=\"Debug\" x=\"first\"/>\n    <configuration Name=\"Debug\" x=\"second\"/>\n"
        "  </project>\n</solution>\n"));
    ProjectElement *root = load("s.lxProject");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->kind(), ProjectElementKind::Solution);
    EXPECT_TRUE(root->hasOwnFile() && !root->isImported());
    EXPECT_EQ(root->filePath(), path("s.lxProject"));
    ProjectElement *project = byName("P");
    ASSERT_TRUE(project);
    EXPECT_EQ(project->kind(), ProjectElementKind::Project);
    EXPECT_EQ(project->property("note"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(byName("F")->kind(), ProjectElementKind::Folder);
    EXPECT_EQ(byFileName("a.c")->kind(), ProjectElementKind::File);
    EXPECT_EQ(byName("W")->kind(), ProjectElementKind::Other);
    // Both configurations stay in the tree; the later one is indexed.
    EXPECT_EQ(childNames(project), "F|W|Debug|Debug");
    ASSERT_EQ(project->configurations().size(), 1);
    EXPECT_EQ(findConfiguration(project, "Debug")->property("x"), "second");
    EXPECT_EQ(findConfiguration(project, "debug"), nullptr);
    EXPECT_EQ(system->projectIndex().value("P"), project);
}

TEST_F(Loader, VersionIsUpgradedWithoutCountingAsAChangeAndEachLoadStartsAfresh)
{
    int round = 0;
    for (const char *attribute : {"", " version=\"1\"", " version=\"2\""}) {
        const QString project = QStringLiteral("P%1").arg(++round);
        writeSolution("v.lxProject", QStringLiteral("<solution Name=\"S\"%1><project Name=\"%2\"/></solution>")
                                         .arg(QLatin1String(attribute), project));
        ProjectElement *root = load("v.lxProject");
        EXPECT_EQ(root->property("version"), "2") << attribute;
        EXPECT_FALSE(root->isModified() || byName(project)->isModified()) << attribute;
        EXPECT_EQ(system->projectIndex().keys(), QStringList{project});
    }
}

TEST_F(Loader, ImportsReplaceTheirElementInPlaceAndKeepTheirModifiedFlags)
{
    globalPropertyClassList().setMacro("LoaderSubDir", "lib");
    writeSolution("lib/lib.lxProject",
                  "<solution Name=\"Lib\">\n  <ifdef name=\"FAST\"><project Name=\"FastLib\"/></ifdef>\n"
                  "  <ifndef name=\"FAST\"><project Name=\"SlowLib\"/></ifndef>\n"
                  "  <project Name=\"$(LIBNAME)\"/>\n</solution>\n");
    writeSolution("top.lxProject",
                  "<solution Name=\"Top\">\n  <project Name=\"Before\"/>\n"
                  "  <import file_name=\"$(LoaderSubDir)/lib.lxProject\" macros=\"FAST=1;LIBNAME=ring\"/>\n"
                  "  <project Name=\"After\"/>\n"
                  "  <import file_name=\"lib/lib.lxProject\" can_modify_solution=\"No\"/>\n"
                  "  <import file_name=\"lib/lib.lxProject\" can_modify_solution=\"no\"/>\n</solution>\n");
    ProjectElement *root = load("top.lxProject");
    EXPECT_EQ(childNames(root), "Before|Lib|After|Lib|Lib");
    ProjectElement *first = root->firstChildProjectElement()->nextSiblingProjectElement();
    ProjectElement *second = first->nextSiblingProjectElement()->nextSiblingProjectElement();
    ProjectElement *third = second->nextSiblingProjectElement();
    for (ProjectElement *imported : {first, second, third}) {
        EXPECT_EQ(imported->kind(), ProjectElementKind::Solution);
        EXPECT_TRUE(imported->isImported() && imported->hasOwnFile());
        EXPECT_EQ(imported->filePath(), path("lib/lib.lxProject"));
        EXPECT_EQ(imported->property("version"), "2");
    }
    // The unexpanded name is kept; the macros reached only the first copy's preprocessor.
    EXPECT_EQ(first->property("file_name"), "$(LoaderSubDir)/lib.lxProject");
    EXPECT_EQ(childNames(first), "FastLib|ring");
    EXPECT_EQ(childNames(second), "SlowLib|$(LIBNAME)");
    // Only the exact "No" forbids changes.
    EXPECT_TRUE(first->canModify() && third->canModify());
    EXPECT_FALSE(second->canModify());
    EXPECT_TRUE(system->replacedImports().empty());
    EXPECT_EQ(system->projectIndex().value("ring"), byName("ring")); // imported projects are indexed too

    // Without recursion, imported solutions keep their modified flags.
    ProjectElement *project = byName("Before"), *ring = byName("ring");
    for (ProjectElement *e : {root, project, first, ring})
        e->setProperty("touched", "yes");
    markUnmodified(root, false);
    EXPECT_FALSE(root->isModified() || project->isModified());
    EXPECT_TRUE(first->isModified() && ring->isModified());
    markUnmodified(root, true);
    EXPECT_FALSE(first->isModified() || ring->isModified());
    project->removeProperty("touched");
    EXPECT_TRUE(project->isModified());
    EXPECT_FALSE(project->hasProperty("touched"));
}

TEST_F(Loader, NestedImportsResolveAgainstTheImportingFile)
{
    writeSolution("a/b/leaf.lxProject", "<solution Name=\"Leaf\"><project Name=\"L\"/></solution>");
    writeSolution("a/mid.lxProject", "<solution Name=\"Mid\"><import file_name=\"b/leaf.lxProject\"/></solution>");
    writeSolution("top.lxProject", "<solution Name=\"Top\"><import file_name=\"a/mid.lxProject\"/></solution>");
    RecordingProgress progress;
    loadSolution(*system, path("top.lxProject"), &progress);
    ProjectElement *leaf = byName("Leaf");
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->filePath(), path("a/b/leaf.lxProject"));
    EXPECT_EQ(leaf->parentElement(), byName("Mid"));
    EXPECT_EQ(progress.depth(), 0);
    EXPECT_EQ(progress.maxDepth, 3); // one "Loading solution" step per nesting level
    EXPECT_TRUE(progress.steps.contains("begin 2 Loading solution leaf"));
    // Only the top-level file's children report progress.
    EXPECT_EQ(progress.steps.filter("progress").first(), "progress 1/1");
}

TEST_F(Loader, FileErrors)
{
    mkdir("adir.lxProject");
    write("plain.xml", "<solution Name=\"S\"/>");
    write("other.lxProject", "<!DOCTYPE Other_File>\n<solution Name=\"S\"/>");
    write("empty.lxProject", "<!DOCTYPE Kestrel_Project_File>\n<!-- nothing -->\n");
    write("broken.lxProject", "<!DOCTYPE Kestrel_Project_File>\n<solution>\n<project>\n</folder>\n");
    writeSolution("badimport.lxProject", "<solution><import file_name=\"missing.lxProject\"/></solution>");
    // Import cycles name the file that closes them.
    writeSolution("self.lxProject", "<solution Name=\"S\"><import file_name=\"self.lxProject\"/></solution>");
    writeSolution("one.lxProject", "<solution><import file_name=\"sub/two.lxProject\"/></solution>");
    writeSolution("sub/two.lxProject", "<solution><import file_name=\"../one.lxProject\"/></solution>");
    const struct { const char *file, *subject, *text; } cases[] = {
        {"nothere.lxProject", "nothere.lxProject", " does not exist"},
        {"adir.lxProject", "adir.lxProject", " cannot access"},
        {"plain.xml", "plain.xml", " not a solution file"},
        {"other.lxProject", "other.lxProject", " not a solution file"},
        {"empty.lxProject", "empty.lxProject", " is a malformed solution file (bad XML)"},
        {"badimport.lxProject", "missing.lxProject", " does not exist"},
        {"self.lxProject", "self.lxProject", " solution already loaded"},
        {"one.lxProject", "one.lxProject", " solution already loaded"},
    };
    for (const auto &c : cases) {
        SolutionLoadError error = loadError(c.file);
        EXPECT_EQ(error.subject, path(c.subject)) << c.file;
        EXPECT_EQ(error.text, c.text) << c.file;
        EXPECT_FALSE(error.hasLine) << c.file;
        EXPECT_EQ(QString::fromUtf8(error.what()), path(c.subject) + c.text);
    }
    SolutionLoadError syntax = loadError("broken.lxProject");
    EXPECT_EQ(syntax.subject, path("broken.lxProject"));
    EXPECT_TRUE(syntax.hasLine);
    EXPECT_FALSE(syntax.text.isEmpty());
    EXPECT_GT(syntax.line, 0);
    EXPECT_EQ(syntax.column, 0);

    // A relative top-level name has no base directory to retry with.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    try {
        loadSolution(*system, "duriv-surely-missing.lxProject");
        ADD_FAILURE() << "relative load succeeded";
    } catch (const SolutionLoadError &error) {
        EXPECT_EQ(error.subject, "duriv-surely-missing.lxProject");
        EXPECT_EQ(error.text, " does not exist");
    }
    QDir::setCurrent(previous);
}

class CountingHandler : public ProjectFileNotFoundErrorHandler {
public:
    explicit CountingHandler(std::function<bool(const QString &)> act) : act(std::move(act)) {}
    bool fileNotFound(const QString &fileName) override { return asked.append(fileName), act(fileName); }
    std::function<bool(const QString &)> act;
    QStringList asked;
};

TEST_F(Loader, FileNotFoundHandlerMayProvideTheFile)
{
    writeSolution("top.lxProject", "<solution><import file_name=\"late.lxProject\"/></solution>");
    CountingHandler declines([](const QString &) { return false; });
    EXPECT_THROW(loadSolution(*system, path("top.lxProject"), nullptr, &declines), SolutionLoadError);
    EXPECT_EQ(declines.asked, QStringList{path("late.lxProject")});
    CountingHandler provides([this](const QString &name) {
        writeSolution(QFileInfo(name).fileName(), "<solution Name=\"Late\"/>");
        return true;
    });
    loadSolution(*system, path("top.lxProject"), nullptr, &provides);
    EXPECT_TRUE(byName("Late"));
}

TEST_F(Loader, TemplatedProjectWinsOverDynamicFolderAttribute)
{
    write("templates.xml", "<t><project template_name=\"T\" type=\"Library\"/></t>");
    touch("src/a.c");
    writeSolution("s.lxProject",
                  "<solution><project Name=\"P\" template_name=\"T\" path=\"src\" filter=\"*\"/></solution>");
    load("s.lxProject");
    EXPECT_EQ(childNames(byName("P")), "Common");
    EXPECT_FALSE(byName("P")->hasProperty("template_name"));
}

TEST_F(Loader, DisplayNames)
{
    globalPropertyClassList().setMacro("LoaderMacroDir", "/opt/m");
    writeSolution("s.lxProject",
                  "<solution Name=\"Sol\">\n  <project Name=\"P\">\n"
                  "    <configuration Name=\"Common\" project_directory=\"proj\"/>\n"
                  "    <file file_name=\"src/a.c\"/>\n    <file file_name=\"../other/b.c\"/>\n"
                  "    <file file_name=\"$(LoaderMacroDir)/inc/m.h\"/>\n"
                  "    <file file_name=\"/elsewhere/z.c\"/>\n    <file file_name=\"named.c\" Name=\"Shown\"/>\n"
                  "    <folder/>\n  </project>\n</solution>\n");
    load("s.lxProject");
    EXPECT_EQ(childNames(byName("P")), "Common|src/a.c|../other/b.c|m.h|/elsewhere/z.c|Shown|<NULL>");
    EXPECT_EQ(displayName(*system, nullptr), "<NULL>");
}

TEST_F(Loader, LoadCommandsRunFromTheSolutionDirectoryAndEnvironmentVariablesAreSet)
{
    globalPropertyClassList().setMacro("LoaderGreeting", "hello");
    writeSolution("sub/inner.lxProject",
                  "<solution><configuration Name=\"Common\" environment_variables=\"LOADER_INNER=in\"/></solution>");
    writeSolution("sub/s.lxProject",
                  "<solution Name=\"S\" load_command=\"sh -c 'echo $(LoaderGreeting) $LOADER_A$LOADER_B' &gt; made.txt"
                  " &amp;&amp; sh -c 'cat made.txt made.txt' &gt; twice.txt\""
                  " load_command_environment=\"LOADER_A=x=1;;LOADER_B=$(LoaderGreeting)\">\n"
                  "  <configuration Name=\"Common\" environment_variables=\"LOADER_ENV1=one;LOADER_ENV2=a=b\"/>\n"
                  "  <configuration Name=\"Debug\" environment_variables=\"LOADER_ENV3=debug\"/>\n"
                  "  <import file_name=\"inner.lxProject\"/>\n</solution>\n");
    qunsetenv("LOADER_ENV3");
    RecordingProgress progress;
    loadSolution(*system, path("sub/s.lxProject"), &progress);
    QFile twice(path("sub/twice.txt"));
    ASSERT_TRUE(twice.open(QIODevice::ReadOnly));
    EXPECT_EQ(twice.readAll(), "hello x=1hello\nhello x=1hello\n"); // made.txt, twice
    EXPECT_EQ(qgetenv("LOADER_A"), "x=1");
    EXPECT_TRUE(progress.steps.contains("begin 2 Executing load commands"));
    EXPECT_EQ(progress.depth(), 0);
    // Only "Common" environment variables are set, the imported solutions' too.
    EXPECT_EQ(qgetenv("LOADER_ENV1"), "one");
    EXPECT_EQ(qgetenv("LOADER_ENV2"), "a=b");
    EXPECT_EQ(qgetenv("LOADER_INNER"), "in");
    EXPECT_FALSE(qEnvironmentVariableIsSet("LOADER_ENV3"));
}

TEST_F(Loader, LoadCommandFailures)
{
    writeSolution("fails.lxProject", "<solution load_command=\"sh -c 'exit 3' &amp;&amp; touch never.txt\"/>");
    SolutionLoadError failed = loadError("fails.lxProject");
    EXPECT_EQ(failed.subject, path("fails.lxProject"));
    EXPECT_EQ(failed.text, "solution load command failed (3) ");
    EXPECT_FALSE(QFile::exists(path("never.txt")));
    writeSolution("missing.lxProject", "<solution load_command=\"duriv-no-such-tool --x\"/>");
    SolutionLoadError missing = loadError("missing.lxProject");
    EXPECT_EQ(missing.subject, path("missing.lxProject"));
    EXPECT_EQ(missing.text, "solution load command \"duriv-no-such-tool\" not found");
    // An empty command runs nothing and opens no step.
    writeSolution("empty.lxProject", "<solution load_command=\"$(DurivUnsetMacro:)\"/>");
    RecordingProgress progress;
    loadSolution(*system, path("empty.lxProject"), &progress);
    EXPECT_FALSE(progress.steps.join("\n").contains("Executing load commands"));
}

TEST(ProjectSystems, OnlyTheRiscvProjectSystemKnowsItsProperties)
{
    EXPECT_TRUE(RISCVProjectSystem("t.xml", QStringList(), false, false).findPropertyClass("rv_architecture"));
    EXPECT_FALSE(StandardProjectSystem("x").findPropertyClass("rv_architecture"));
}

TEST_F(Loader, ProgressStepsOfAWholeLoad)
{
    write("templates.xml", "<t><project template_name=\"T\"/></t>");
    mkdir("d");
    writeSolution("s.lxProject",
                  "<solution Name=\"S\">\n  <project Name=\"P\" template_name=\"T\"/>\n"
                  "  <project Name=\"Q\"><folder Name=\"Dyn\" path=\"d\"/></project>\n"
                  "  <folder Name=\"Loose\" path=\"d\"/>\n</solution>\n");
    RecordingProgress progress;
    loadSolution(*system, path("s.lxProject"), &progress);
    // The "progress 1/1" inside the first step is Q's folder, counted among Q's children.
    EXPECT_EQ(progress.steps.join("\n").toStdString(),
              "begin 2 Loading solution s\nprogress 1/3\nprogress 1/1\n"
              "progress 2/3\nprogress 3/3\nend\nbegin 0 Expanding templated projects\nprogress 1/1\n"
              "begin 0 Expanding project P\nend\nend\nbegin 0 Mapping project information\n"
              "begin 0 Mapping project P\nprogress 1/2\nend\nbegin 0 Mapping project Q\nprogress 2/2\nend\n"
              "end\nbegin 3 Populating dynamic folders\nprogress 0/2\n"
              "begin 0 Populating folder Dyn in project Q\nend\nprogress 1/2\nbegin 0 Populating folder Loose\n"
              "end\nend");
    // Every step opened before a failure is closed again.
    writeSolution("bad.lxProject", "<solution><import file_name=\"s2.lxProject\"/></solution>");
    writeSolution("s2.lxProject", "<solution load_command=\"false\"/>");
    RecordingProgress failing;
    EXPECT_THROW(loadSolution(*system, path("bad.lxProject"), &failing), SolutionLoadError);
    EXPECT_EQ(failing.depth(), 0);
    EXPECT_EQ(failing.maxDepth, 3);
}

} // namespace
