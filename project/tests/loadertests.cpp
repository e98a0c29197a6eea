// Loading solution files: kinds, properties, imports, versions, the template
// path, load commands, progress and every error with its subject.
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
    writeSolution("s.lxProject", QString::fromUtf8(R"(<solution Name="S" version="2">
  <project Name="P" note="café">
    <folder Name="F"><file file_name="a.c"/></folder>
    <widget Name="W"/>
    <configuration Name="Debug" x="first"/>
    <configuration Name="Debug" x="second"/>
  </project>
</solution>
)"));
    ProjectElement *root = load("s.lxProject");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->kind(), ProjectElementKind::Solution);
    EXPECT_TRUE(root->hasOwnFile());
    EXPECT_FALSE(root->isImported());
    EXPECT_EQ(root->filePath(), path("s.lxProject"));
    ProjectElement *project = byName("P");
    ASSERT_TRUE(project);
    EXPECT_EQ(project->kind(), ProjectElementKind::Project);
    EXPECT_EQ(project->property("note"), QString::fromUtf8("café"));
    EXPECT_EQ(byName("F")->kind(), ProjectElementKind::Folder);
    EXPECT_EQ(byFileName("a.c")->kind(), ProjectElementKind::File);
    EXPECT_EQ(byName("W")->kind(), ProjectElementKind::Other);
    // Both configurations stay in the tree; the later one is indexed.
    EXPECT_EQ(childNames(project), "F|W|Debug|Debug");
    ASSERT_EQ(project->configurations().size(), 1);
    EXPECT_EQ(findConfiguration(project, "Debug")->property("x"), "second");
}

TEST_F(Loader, VersionIsUpgradedWithoutCountingAsAChangeAndEachLoadStartsAfresh)
{
    int round = 0;
    for (const char *attribute : {"", R"( version="2")"}) {
        const QString project = QStringLiteral("P%1").arg(++round);
        writeSolution("v.lxProject", QStringLiteral(R"(<solution Name="S"%1><project Name="%2"/></solution>)")
                                         .arg(QLatin1String(attribute), project));
        ProjectElement *root = load("v.lxProject");
        EXPECT_EQ(root->property("version"), "2") << attribute;
        EXPECT_FALSE(root->isModified()) << attribute;
        EXPECT_FALSE(byName(project)->isModified()) << attribute;
        EXPECT_EQ(system->projectIndex().keys(), QStringList{project});
    }
}

TEST_F(Loader, ImportsReplaceTheirElementInPlace)
{
    globalPropertyClassList().setMacro("LoaderSubDir", "lib");
    writeSolution("lib/lib.lxProject", R"xml(<solution Name="Lib"><project Name="$(LIBNAME)"/></solution>)xml");
    writeSolution("top.lxProject", R"(<solution Name="Top">
  <project Name="Before"/>
  <import file_name="$(LoaderSubDir)/lib.lxProject" macros="LIBNAME=ring"/>
  <project Name="After"/>
  <import file_name="lib/lib.lxProject" can_modify_solution="No"/>
  <import file_name="lib/lib.lxProject" can_modify_solution="no"/>
</solution>
)");
    ProjectElement *root = load("top.lxProject");
    EXPECT_EQ(childNames(root), "Before|Lib|After|Lib|Lib");
    ProjectElement *first = root->firstChildProjectElement()->nextSiblingProjectElement();
    ProjectElement *second = first->nextSiblingProjectElement()->nextSiblingProjectElement();
    ProjectElement *third = second->nextSiblingProjectElement();
    for (ProjectElement *imported : {first, second, third}) {
        EXPECT_EQ(imported->kind(), ProjectElementKind::Solution);
        EXPECT_TRUE(imported->isImported());
        EXPECT_EQ(imported->filePath(), path("lib/lib.lxProject"));
    }
    // The unexpanded name is kept; the macros reached only the first copy's preprocessor.
    EXPECT_EQ(first->property("file_name"), "$(LoaderSubDir)/lib.lxProject");
    EXPECT_EQ(childNames(first), "ring");
    EXPECT_EQ(childNames(second), "$(LIBNAME)");
    // Only the exact "No" forbids changes.
    EXPECT_TRUE(first->canModify());
    EXPECT_FALSE(second->canModify());
    EXPECT_TRUE(third->canModify());
    EXPECT_TRUE(system->replacedImports().empty());
    EXPECT_EQ(system->projectIndex().value("ring"), byName("ring")); // imported projects are indexed too
}

TEST_F(Loader, NestedImportsResolveAgainstTheImportingFile)
{
    writeSolution("a/b/leaf.lxProject", R"(<solution Name="Leaf"><project Name="L"/></solution>)");
    writeSolution("a/mid.lxProject", R"(<solution Name="Mid"><import file_name="b/leaf.lxProject"/></solution>)");
    writeSolution("top.lxProject", R"(<solution Name="Top"><import file_name="a/mid.lxProject"/></solution>)");
    RecordingProgress progress;
    loadSolution(*system, path("top.lxProject"), &progress);
    ProjectElement *leaf = byName("Leaf");
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->filePath(), path("a/b/leaf.lxProject"));
    EXPECT_EQ(leaf->parentElement(), byName("Mid"));
    EXPECT_EQ(progress.maxDepth, 3); // one "Loading solution" step per nesting level
    EXPECT_TRUE(progress.steps.contains("begin 2 Loading solution leaf"));
    // Only the top-level file's children report progress.
    EXPECT_EQ(progress.steps.filter("progress").first(), "progress 1/1");
}

TEST_F(Loader, FileErrors)
{
    mkdir("adir.lxProject");
    write("other.lxProject", R"(<!DOCTYPE Other_File>
<solution Name="S"/>)");
    write("empty.lxProject", R"(<!DOCTYPE Kestrel_Project_File>
<!-- nothing -->)");
    write("broken.lxProject", R"(<!DOCTYPE Kestrel_Project_File>
<solution>
<project>
</folder>)");
    writeSolution("badimport.lxProject", R"(<solution><import file_name="missing.lxProject"/></solution>)");
    // Import cycles name the file that closes them.
    writeSolution("self.lxProject", R"(<solution Name="S"><import file_name="self.lxProject"/></solution>)");
    writeSolution("one.lxProject", R"(<solution><import file_name="sub/two.lxProject"/></solution>)");
    writeSolution("sub/two.lxProject", R"(<solution><import file_name="../one.lxProject"/></solution>)");
    const struct {
        const char *file;
        const char *subject;
        const char *text;
    } cases[] = {
        {"nothere.lxProject", "nothere.lxProject", " does not exist"},
        {"adir.lxProject", "adir.lxProject", " cannot access"},
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
    }
    // Subject and text read as one sentence.
    EXPECT_EQ(QString::fromUtf8(loadError("nothere.lxProject").what()), path("nothere.lxProject") + " does not exist");
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
    bool fileNotFound(const QString &fileName) override
    {
        asked.append(fileName);
        return act(fileName);
    }
    std::function<bool(const QString &)> act;
    QStringList asked;
};

TEST_F(Loader, FileNotFoundHandlerMayProvideTheFile)
{
    writeSolution("top.lxProject", R"(<solution><import file_name="late.lxProject"/></solution>)");
    CountingHandler declines([](const QString &) { return false; });
    EXPECT_THROW(loadSolution(*system, path("top.lxProject"), nullptr, &declines), SolutionLoadError);
    EXPECT_EQ(declines.asked, QStringList{path("late.lxProject")});
    CountingHandler provides([this](const QString &name) {
        writeSolution(QFileInfo(name).fileName(), R"(<solution Name="Late"/>)");
        return true;
    });
    loadSolution(*system, path("top.lxProject"), nullptr, &provides);
    EXPECT_TRUE(byName("Late"));
}

TEST_F(Loader, TemplatedProjectWinsOverDynamicFolderAttribute)
{
    write("templates.xml", R"(<t><project template_name="T" type="Library"/></t>)");
    touch("src/a.c");
    writeSolution("s.lxProject", R"(<solution><project Name="P" template_name="T" path="src" filter="*"/></solution>)");
    load("s.lxProject");
    EXPECT_EQ(childNames(byName("P")), "Common");
    EXPECT_FALSE(byName("P")->hasProperty("template_name"));
}

// "templates_file", expanded with the global macros, replaces the project
// system's template path for the load.
TEST_F(Loader, TemplatesFileReplacesTheTemplatePath)
{
    globalPropertyClassList().setMacro("LoaderTemplates", path("mine"));
    write("mine/t.xml", R"(<t><project template_name="T" type="Library"/></t>)");
    writeSolution("s.lxProject", R"(<solution templates_file="$(LoaderTemplates)/*.xml">
  <project Name="P" template_name="T"/>
</solution>
)");
    load("s.lxProject");
    EXPECT_EQ(system->templatesPath(), path("mine") + "/*.xml");
    EXPECT_EQ(resolve(byName("P"), "project_type", "Common"), "Library");
}

// What a build that runs the load must watch: the solution and its include,
// the import, the template files (the wildcard's matches in byte order when
// asked) and the directories listed for them and for the dynamic folders.
TEST_F(Loader, InputsAreTheFilesReadAndTheDirectoriesListed)
{
    write("pk/b/t.xml", R"(<t><project template_name="T" type="Library"/></t>)");
    write("pk/a/t.xml", R"(<t><project template_name="T" type="Executable"/></t>)");
    write("inc.xml", R"(<folder Name="Included"/>)");
    writeSolution("lib/lib.lxProject", R"(<solution><project Name="Lib"/></solution>)");
    touch("dyn/sub/a.c");
    writeSolution("s.lxProject", R"(<solution>
  <project Name="P" template_name="T">
    <include filename="inc.xml"/>
    <folder Name="Dyn" path="dyn" filter="*.c" recurse="Yes"/>
  </project>
  <import file_name="lib/lib.lxProject"/>
</solution>
)");
    system->setTemplatesPath(path("pk/*/t.xml"));
    system->setTemplateFileOrder(TemplateFileOrder::Bytes);
    load("s.lxProject");
    EXPECT_EQ(resolve(byName("P"), "project_type", "Common"), "Library");
    EXPECT_EQ(system->loadInputs().files, (QStringList{
        path("s.lxProject"),
        path("inc.xml"),
        path("lib/lib.lxProject"),
        path("pk/a/t.xml"),
        path("pk/b/t.xml"),
    }));
    EXPECT_EQ(system->loadInputs().directories, (QStringList{
        path("pk"),
        path("dyn"),
        path("dyn/sub"),
    }));
    system->close();
    EXPECT_EQ(system->loadInputs().files, QStringList());
    EXPECT_EQ(system->loadInputs().directories, QStringList());
    EXPECT_EQ(system->templateFileOrder(), TemplateFileOrder::Bytes);
}

TEST_F(Loader, LoadCommandsRunFromTheSolutionDirectoryAndEnvironmentVariablesAreSet)
{
    globalPropertyClassList().setMacro("LoaderGreeting", "hello");
    writeSolution("sub/inner.lxProject",
                  R"(<solution><configuration Name="Common" environment_variables="LOADER_INNER=in"/></solution>)");
    writeSolution("sub/s.lxProject", R"xml(<solution Name="S"
    load_command="sh -c 'echo $(LoaderGreeting) $LOADER_A$LOADER_B' &gt; made.txt &amp;&amp; sh -c 'cat made.txt made.txt' &gt; twice.txt"
    load_command_environment="LOADER_A=x=1;;LOADER_B=$(LoaderGreeting)">
  <configuration Name="Common" environment_variables="LOADER_ENV1=one;LOADER_ENV2=a=b"/>
  <configuration Name="Debug" environment_variables="LOADER_ENV3=debug"/>
  <import file_name="inner.lxProject"/>
</solution>
)xml");
    qunsetenv("LOADER_ENV3");
    RecordingProgress progress;
    loadSolution(*system, path("sub/s.lxProject"), &progress);
    QFile twice(path("sub/twice.txt"));
    ASSERT_TRUE(twice.open(QIODevice::ReadOnly));
    EXPECT_EQ(twice.readAll(), "hello x=1hello\nhello x=1hello\n"); // made.txt, twice
    EXPECT_EQ(qgetenv("LOADER_A"), "x=1");
    EXPECT_TRUE(progress.steps.contains("begin 2 Executing load commands"));
    // Only "Common" environment variables are set, the imported solutions' too.
    EXPECT_EQ(qgetenv("LOADER_ENV1"), "one");
    EXPECT_EQ(qgetenv("LOADER_ENV2"), "a=b");
    EXPECT_EQ(qgetenv("LOADER_INNER"), "in");
    EXPECT_FALSE(qEnvironmentVariableIsSet("LOADER_ENV3"));
}

TEST_F(Loader, LoadCommandFailures)
{
    writeSolution("fails.lxProject", R"(<solution load_command="sh -c 'exit 3' &amp;&amp; touch never.txt"/>)");
    SolutionLoadError failed = loadError("fails.lxProject");
    EXPECT_EQ(failed.subject, path("fails.lxProject"));
    EXPECT_EQ(failed.text, "solution load command failed (3) ");
    EXPECT_FALSE(QFile::exists(path("never.txt")));
    writeSolution("missing.lxProject", R"(<solution load_command="duriv-no-such-tool --x"/>)");
    SolutionLoadError missing = loadError("missing.lxProject");
    EXPECT_EQ(missing.subject, path("missing.lxProject"));
    EXPECT_EQ(missing.text, "solution load command \"duriv-no-such-tool\" not found");
    // An empty command runs nothing and opens no step.
    writeSolution("empty.lxProject", R"xml(<solution load_command="$(DurivUnsetMacro:)"/>)xml");
    RecordingProgress progress;
    loadSolution(*system, path("empty.lxProject"), &progress);
    EXPECT_FALSE(progress.steps.join("\n").contains("Executing load commands"));
}

TEST_F(Loader, ProgressStepsOfAWholeLoad)
{
    write("templates.xml", R"(<t><project template_name="T"/></t>)");
    mkdir("d");
    writeSolution("s.lxProject", R"(<solution Name="S">
  <project Name="P" template_name="T"/>
  <project Name="Q"><folder Name="Dyn" path="d"/></project>
  <folder Name="Loose" path="d"/>
</solution>
)");
    RecordingProgress progress;
    loadSolution(*system, path("s.lxProject"), &progress);
    // The "progress 1/1" inside the first step is Q's folder, counted among Q's children.
    EXPECT_EQ(progress.steps, QStringList({
                                  "begin 2 Loading solution s",
                                  "progress 1/3",
                                  "progress 1/1",
                                  "progress 2/3",
                                  "progress 3/3",
                                  "end",
                                  "begin 0 Expanding templated projects",
                                  "progress 1/1",
                                  "begin 0 Expanding project P",
                                  "end",
                                  "end",
                                  "begin 0 Mapping project information",
                                  "begin 0 Mapping project P",
                                  "progress 1/2",
                                  "end",
                                  "begin 0 Mapping project Q",
                                  "progress 2/2",
                                  "end",
                                  "end",
                                  "begin 3 Populating dynamic folders",
                                  "progress 0/2",
                                  "begin 0 Populating folder Dyn in project Q",
                                  "end",
                                  "progress 1/2",
                                  "begin 0 Populating folder Loose",
                                  "end",
                                  "end",
                              }));
    // Every step opened before a failure is closed again.
    writeSolution("bad.lxProject", R"(<solution><import file_name="s2.lxProject"/></solution>)");
    writeSolution("s2.lxProject", R"(<solution load_command="false"/>)");
    RecordingProgress failing;
    EXPECT_THROW(loadSolution(*system, path("bad.lxProject"), &failing), SolutionLoadError);
    EXPECT_EQ(failing.depth(), 0);
    EXPECT_EQ(failing.maxDepth, 3);
}

} // namespace
