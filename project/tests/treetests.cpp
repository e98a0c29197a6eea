// Property resolution per configuration, project macros, computed paths and
// relative names, display names, folder placement and dynamic folders.
#include "testsupport.h"

#include "macros/propertyclass.h"
#include "project/propertyvalues.h"

#include <QFile>

namespace {

using Tree = ProjectTest;

const char *const kResolutionSolution = R"(<solution Name="S">
  <configuration Name="Common" near="sol-common" c_preprocessor_definitions="A" build_output_directory="solOut"/>
  <configuration Name="Debug" inherited_configurations="Base" near="sol-debug" c_preprocessor_definitions="SD"/>
  <configuration Name="Base" inherited_configurations="Root" near="sol-base" c_preprocessor_definitions="SB"/>
  <configuration Name="Root" deep="root"/>
  <project Name="P">
    <configuration Name="Base" near="proj-base" c_preprocessor_definitions="PB"/>
    <configuration Name="Debug" c_preprocessor_definitions="B"/>
    <configuration Name="Common" build_output_directory="projOut" c_preprocessor_definitions="PC"/>
    <folder Name="F"><file file_name="f.c"/></folder>
    <file file_name="g.c"><configuration Name="Release" near="file-release"/></file>
  </project>
</solution>
)";

TEST_F(Tree, ResolutionOrderAndTrace)
{
    writeSolution("s.lxProject", QString::fromLatin1(kResolutionSolution));
    load("s.lxProject");
    const ProjectElement *f = byFileName("f.c");
    const ProjectElement *g = byFileName("g.c");
    const ProjectElement *solution = system->rootElement();
    ASSERT_TRUE(f);
    ASSERT_TRUE(g);
    const struct {
        const ProjectElement *element;
        const char *property;
        const char *configuration;
        const char *expected;
    } cases[] = {
        // Each element is finished (configuration, inherited, Common) before its parent;
        // the solution's Common is seen everywhere, for every configuration.
        {f, "near", "Debug", "proj-base"},
        {f, "near", "Release", "sol-common"},
        {solution, "near", "Debug", "sol-debug"},
        {g, "near", "Release", "file-release"},
        // Configuration names are case-sensitive.
        {g, "near", "release", "sol-common"},
        // "Common" never consults inherited configurations.
        {f, "near", "Common", "sol-common"},
        // Inheritance is one level: Debug -> Base, not on to Root.
        {f, "deep", "Debug", ""},
        {f, "deep", "Base", "root"},
        // List properties accumulate, most general first.
        {f, "c_preprocessor_definitions", "Debug", "A;SB;SD;PC;PB;B"},
        {f, "c_preprocessor_definitions", "Common", "A;PC"},
        // A directory is not a list: the nearer value wins.
        {f, "build_output_directory", "Debug", "projOut"},
        // Set nowhere: the schema default, macros unexpanded.
        {f, "build_intermediate_directory", "Debug", "Output/$(ProjectName) $(Configuration)/Obj"},
        {f, "no_such_property", "Debug", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(resolve(c.element, c.property, c.configuration), QString::fromLatin1(c.expected))
            << c.property << " for " << c.configuration;
    // The trace lists every hit, nearest first, and the default alone when nothing is set.
    const auto hits = [&](const char *property) {
        PropertyTrace trace;
        resolveProperty(*system, f, property, "Release", &trace);
        QStringList out;
        for (const PropertyTraceEntry &hit : trace)
            out << hit.value + '@' + hit.configuration + '@' + (hit.element ? hit.element->property("Name") : "-");
        return out.join(' ');
    };
    EXPECT_EQ(hits("c_preprocessor_definitions"), "PC@Common@P A@Common@S");
    EXPECT_EQ(hits("build_output_directory"), "projOut@Common@P");
    EXPECT_EQ(hits("stage_command_wd"), "$(ProjectDir)@@-");
}

TEST_F(Tree, InheritedListComesFromTheNearestSolutionOutward)
{
    writeSolution("inner.lxProject", R"(<solution Name="Inner">
  <configuration Name="Release" inherited_configurations="Fast"/>
  <project Name="IP">
    <configuration Name="Base" v="ip-base"/>
    <configuration Name="Fast" v="ip-fast"/>
  </project>
</solution>
)");
    writeSolution("s.lxProject", R"(<solution Name="Outer">
  <configuration Name="Debug" inherited_configurations="Base"/>
  <configuration Name="Release" inherited_configurations="Base"/>
  <import file_name="inner.lxProject"/>
</solution>
)");
    load("s.lxProject");
    const ProjectElement *project = byName("IP");
    EXPECT_EQ(resolve(project, "v", "Debug"), "ip-base");
    EXPECT_EQ(resolve(project, "v", "Release"), "ip-fast");
}

TEST_F(Tree, ProjectDirectoriesAndFilePaths)
{
    globalPropertyClassList().setMacro("TreeTestRoot", "/opt/treetest");
    writeSolution("sol/s.lxProject", R"(<solution Name="S">
  <configuration Name="Common" project_directory="ignored"/>
  <project Name="P">
    <configuration Name="Common" project_directory="../proj"/>
    <file file_name="src/a.c"/>
    <file file_name="/abs/x.c"/>
    <file file_name="$(Configuration)/gen.c"/>
    <file file_name="$(TreeTestRoot)/lib.c"/>
    <file file_name="../other/b.c"/>
    <file file_name="named.c" Name="Shown"/>
    <folder/>
  </project>
  <project Name="Q"><file file_name="./b.c"/></project>
  <project Name="R"><configuration Name="Common" project_directory="$(TreeTestRoot)/r"/></project>
  <file file_name="loose.txt"/>
</solution>
)");
    load("sol/s.lxProject");
    EXPECT_EQ(solutionDirectory(byName("P")), path("sol"));
    EXPECT_EQ(projectDirectory(*system, byName("P")), path("proj"));
    EXPECT_EQ(projectDirectory(*system, byName("Q")), path("sol"));
    EXPECT_EQ(projectDirectory(*system, byName("R")), "/opt/treetest/r");
    const struct {
        const char *file;
        const char *configuration;
        QString expected;
    } cases[] = {
        {"src/a.c", "Common", path("proj/src/a.c")},
        {"/abs/x.c", "Common", "/abs/x.c"},
        {"$(Configuration)/gen.c", "Debug", path("proj/Debug/gen.c")},
        {"$(TreeTestRoot)/lib.c", "Common", "/opt/treetest/lib.c"},
        {"./b.c", "Common", path("sol/b.c")},
        {"loose.txt", "Common", path("sol/loose.txt")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(elementFilePath(*system, byFileName(c.file), c.configuration), c.expected) << c.file;
    EXPECT_EQ(elementFilePath(*system, system->rootElement(), "Common"), path("sol/s.lxProject"));
    EXPECT_TRUE(fileNameHasMacros(*system, byFileName("$(Configuration)/gen.c")));
    EXPECT_FALSE(fileNameHasMacros(*system, byFileName("src/a.c")));
    EXPECT_EQ(expandedFileName(*system, byFileName("$(Configuration)/gen.c"), "Release"), "Release/gen.c");
    // Display names: Name first, else the file name relative to the project, only its last
    // component when it holds macros, the absolute path when nothing is shared.
    EXPECT_EQ(childNames(byName("P")), "Common|src/a.c|/abs/x.c|gen.c|lib.c|../other/b.c|Shown|<NULL>");
    EXPECT_EQ(displayName(*system, nullptr), "<NULL>");
}

// Resolution passes over elements without configurations; one that gains or
// loses its configurations is taken part or passed over at once.
TEST_F(Tree, ResolutionFollowsConfigurationsAddedAndRemoved)
{
    writeSolution("s.lxProject", R"(<solution><project Name="P">
  <configuration Name="Common" x="project"/>
  <folder Name="F"><folder Name="G"><file file_name="a.c"/></folder></folder>
</project></solution>
)");
    load("s.lxProject");
    const ProjectElement *file = byFileName("a.c");
    ProjectElement *folder = byName("F");
    EXPECT_EQ(resolve(file, "x", "Common"), "project");
    setConfigurationProperty(*system, folder, "x", "Common", "folder");
    EXPECT_EQ(resolve(file, "x", "Common"), "folder");
    const std::unique_ptr<XMLNode> common = folder->removeChild(findConfiguration(folder, "Common"));
    EXPECT_EQ(resolve(file, "x", "Common"), "project");
}

// A remembered path holds only while nothing in its tree changes.
TEST_F(Tree, RememberedPathsFollowChangesOfTheirTree)
{
    writeSolution("s.lxProject", R"(<solution>
  <project Name="P"><folder Name="F"><file file_name="a.c"/></folder></project>
</solution>
)");
    load("s.lxProject");
    ProjectElement *file = byFileName("a.c");
    EXPECT_EQ(elementFilePath(*system, file, "Common"), path("a.c"));
    setConfigurationProperty(*system, byName("P"), "project_directory", "Common", "elsewhere");
    EXPECT_EQ(elementFilePath(*system, file, "Common"), path("elsewhere/a.c"));
    // Moved into another tree, the file is placed by that tree.
    std::unique_ptr<XMLNode> taken = byName("F")->removeChild(file);
    EXPECT_EQ(elementFilePath(*system, file, "Common"), "a.c");
    ProjectElement other("project");
    other.appendChild(std::move(taken));
    setConfigurationProperty(*system, &other, "project_directory", "Common", "/other");
    EXPECT_EQ(elementFilePath(*system, file, "Common"), "/other/a.c");
    // Remembered inside that tree, it follows changes there too.
    setConfigurationProperty(*system, &other, "project_directory", "Common", "/third");
    EXPECT_EQ(elementFilePath(*system, file, "Common"), "/third/a.c");
    // Renamed, the project is no longer one, and the file has no project directory.
    other.setName("folder");
    EXPECT_EQ(elementFilePath(*system, file, "Common"), "a.c");
}

TEST_F(Tree, ProjectMacroSet)
{
    globalPropertyClassList().setMacro("TreeTestRoot", "/opt/treetest");
    writeSolution("s.lxProject", R"(<solution Name="S">
  <project Name="P">
    <configuration Name="Common" project_directory="proj" macros="MyDir=$(TreeTestRoot)/m;Configuration=shadowed" build_root_output_directory="Output"/>
    <configuration Name="Debug" build_intermediate_directory=""/>
    <folder Name="Outer"><folder Name="Inner"><file file_name="src/a.b.c"/></folder></folder>
  </project>
</solution>
)");
    load("s.lxProject");
    const ProjectElement *file = byFileName("src/a.b.c");
    const MacroMap debug = projectMacros(*system, file, "Debug");
    const struct {
        const char *name;
        QString value;
    } expected[] = {
        {"MyDir", "/opt/treetest/m"},
        {"ProjectNodeName", "src/a.b.c"},
        {"FolderName", "Inner"},
        {"FolderPath", "Outer/Inner"},
        {"ProjectDir", path("proj")},
        {"ProjectName", "P"},
        {"SolutionDir", dir.path()},
        {"SolutionPath", path("s.lxProject")},
        {"InputDir", path("proj/src")},
        {"InputName", "a.b"},
        {"InputFileName", "a.b.c"},
        {"InputExt", "c"},
        {"InputPath", path("proj/src/a.b.c")},
        {"RelInputPath", "src/a.b.c"},
        {"RelInputDir", "src"},
        {"Configuration", "Debug"},
        {"OBJ", ".o"},
        {"EXE", ".elf"},
        {"LIB", ".a"},
        {"PackageExt", "lxPackage"},
        {"IntDir", "."},
        {"OutDir", "Output/Debug/Exe"},
        {"RootOutDir", "Output"},
        {"RootRelativeOutDir", "../.."},
    };
    for (const auto &e : expected)
        EXPECT_EQ(debug.value(QLatin1String(e.name)), e.value) << e.name;
    EXPECT_EQ(projectMacros(*system, file, "Release").value("IntDir"), "Output/P Release/Obj");
    EXPECT_EQ(expandProjectMacros(*system, file, "$(IntDir)/$(InputName)$(OBJ) $(TreeTestRoot)", "Release"),
              "Output/P Release/Obj/a.b.o /opt/treetest");
    // Outside a folder there is no FolderName; the project has no Input macros.
    const MacroMap project = projectMacros(*system, byName("P"), "Debug");
    EXPECT_FALSE(project.contains("FolderName"));
    EXPECT_FALSE(project.contains("InputName"));
    EXPECT_EQ(project.value("FolderPath"), "");
}

// The name of a file relative to a base directory, as -hzr stores members; the
// directories are compared by relativeDirectoryPath().
TEST(RelativeFileName, Table)
{
    const struct {
        const char *file;
        const char *base;
        const char *expected; // null: no relative name
    } cases[] = {
        {"/a/b/src/x.c", "/a/b", "src/x.c"},
        {"/a/b/x.c", "/a/b/", "x.c"},
        {"/a/b/../common/u.c", "/a/b", "../common/u.c"},
        {"/a/b/x.c", "/a/b/c/d", "../../x.c"},
        {"/a/b/c/x.c", "//a//b/", "c/x.c"},
        {"/A/b/x.c", "/a/b", nullptr},
        // A file whose directory part is "." keeps its bare name, whatever the base.
        {"./x.c", "/anything", "x.c"},
    };
    for (const auto &c : cases) {
        const QString name = relativeFileName(QString::fromLatin1(c.file), QString::fromLatin1(c.base));
        EXPECT_EQ(name.isNull(), !c.expected) << c.file << " from " << c.base;
        EXPECT_EQ(name, QString(c.expected)) << c.file << " from " << c.base;
    }
}

// Without recursion, nested (imported) solutions keep their modified flags.
TEST_F(Tree, MarkUnmodified)
{
    writeSolution("lib.lxProject", R"(<solution Name="Lib"><project Name="Ring"/></solution>)");
    writeSolution("s.lxProject", R"(<solution Name="S">
  <project Name="P"/>
  <import file_name="lib.lxProject"/>
</solution>
)");
    ProjectElement *root = load("s.lxProject");
    const std::vector<ProjectElement *> touched = {root, byName("P"), byName("Lib"), byName("Ring")};
    for (ProjectElement *e : touched)
        e->setProperty("touched", "yes");
    markUnmodified(root, false);
    EXPECT_FALSE(root->isModified());
    EXPECT_FALSE(byName("P")->isModified());
    EXPECT_TRUE(byName("Lib")->isModified());
    EXPECT_TRUE(byName("Ring")->isModified());
    markUnmodified(root, true);
    EXPECT_FALSE(byName("Lib")->isModified());
    EXPECT_FALSE(byName("Ring")->isModified());
    byName("P")->removeProperty("touched");
    EXPECT_TRUE(byName("P")->isModified());
}

TEST_F(Tree, AddFilePlacesByLowerCasedSuffix)
{
    writeSolution("s.lxProject", R"(<solution><project Name="P">
  <folder Name="Caps" filter="C"/>
  <folder Name="Headers" filter="h"/>
  <folder Name="Sources"><configuration Name="Common" filter="c,s;S"/></folder>
</project></solution>
)");
    load("s.lxProject");
    ProjectElement *project = byName("P");
    const struct {
        const char *file;
        const char *folder;
    } cases[] = {
        {"x.C", "Sources"},
        {"y.H", "Headers"},
        {"z.S", "Sources"},
        {"dir.h/plain", "P"},
        {"w.txt", "P"},
    };
    for (const auto &c : cases) {
        ProjectElement *file = addFile(*system, project, QLatin1String(c.file));
        EXPECT_EQ(file->parentElement()->property("Name"), QLatin1String(c.folder)) << c.file;
        EXPECT_EQ(file->parentElement()->lastChild(), file);
    }
    EXPECT_EQ(findFile(*system, byName("Sources"), "x.C"), byFileName("x.C"));
    EXPECT_EQ(findFile(*system, project, "x.C"), nullptr);
}

// The folders that files are placed into are the element's folder children
// as they are now: added, inserted in front, or renamed into another kind.
TEST_F(Tree, PlacementFollowsTheFolderChildren)
{
    writeSolution("s.lxProject", R"(<solution><project Name="P"><file file_name="first.c"/></project></solution>)");
    load("s.lxProject");
    ProjectElement *project = byName("P");
    EXPECT_EQ(addFile(*system, project, "a.c")->parentElement(), project);
    ProjectElement *late = appendFolder(*system, project, "Late", "c");
    EXPECT_EQ(addFile(*system, project, "b.c")->parentElement(), late);
    auto front = std::make_unique<ProjectElement>("folder");
    front->setProperty("filter", "c");
    ProjectElement *early = front.get();
    project->insertChildrenAfter(nullptr, [&] {
        std::vector<std::unique_ptr<XMLNode>> chain;
        chain.push_back(std::move(front));
        return chain;
    }());
    EXPECT_EQ(addFile(*system, project, "c.c")->parentElement(), early);
    early->setName("widget");
    EXPECT_EQ(addFile(*system, project, "d.c")->parentElement(), late);
    EXPECT_EQ(findFolder(*system, project, "Late"), late);
}

TEST_F(Tree, DynamicFolderScans)
{
    const char *const files[] = {
        "proj/dyn/b.c",
        "proj/dyn/A.c",
        "proj/dyn/c.H",
        "proj/dyn/a.h",
        "proj/dyn/.hidden.c",
        "proj/dyn/skip_me.c",
        "proj/dyn/notes.txt",
        "proj/dyn/Sub/s.c",
        "proj/dyn/zexcl/q.c",
        "proj/dyn/lower/l.c",
        "proj/dyn/.git/h.c",
        "proj/more/m.c",
    };
    for (const char *file : files)
        touch(QLatin1String(file));
    mkdir("proj/dyn/empty");
    QFile::link(path("proj/dyn"), path("proj/dyn/Sub/loop"));
    writeSolution("s.lxProject", R"(<solution><project Name="P">
  <configuration Name="Common" project_directory="proj"/>
  <folder Name="Dyn" path="dyn;missing;$(ProjectDir)/more" filter="*.c;*.h" exclude="skip_*;zexcl" recurse="Yes">
    <folder Name="Headers" filter="h"/>
  </folder>
  <folder Name="Flat" path="dyn" filter="*" recurse="yes"/>
  <folder Name="None" path="dyn" filter=""/>
</project></solution>
)");
    load("s.lxProject");
    ProjectElement *dyn = byName("Dyn");
    EXPECT_EQ(childNames(dyn), "Headers|dyn/A.c|dyn/b.c|empty|lower|Sub|more/m.c");
    EXPECT_EQ(childNames(byName("Headers")), "dyn/a.h");
    EXPECT_EQ(childNames(byName("lower")), "dyn/lower/l.c");
    ProjectElement *sub = byName("Sub");
    // Files before directories; the link back to dyn ends at once, empty.
    EXPECT_EQ(childNames(sub), "dyn/Sub/s.c|loop");
    EXPECT_EQ(childNames(byName("loop")), "");
    // Subfolders made by the scan get only their name.
    EXPECT_EQ(byName("lower")->properties().keys(), QStringList{"Name"});
    for (ProjectElement *e : {dyn, sub, byFileName(path("proj/dyn/b.c"))})
        EXPECT_FALSE(e->isModified());
    // Recursion only with exactly "Yes"; sorted without regard to case; hidden entries left out.
    EXPECT_EQ(childNames(byName("Flat")), "dyn/A.c|dyn/a.h|dyn/b.c|dyn/c.H|dyn/notes.txt|dyn/skip_me.c");
    // No filter wildcard: nothing matches.
    EXPECT_EQ(childNames(byName("None")), "");
}

TEST_F(Tree, SetDynamicFolderKeepsOnlyConfigurations)
{
    writeSolution("s.lxProject", R"(<solution><project Name="P">
  <folder Name="F"><configuration Name="Common" x="1"/><file file_name="a.c"/></folder>
</project></solution>
)");
    load("s.lxProject");
    setDynamicFolder(*system, byName("F"), "dyn", "*.c", true, "");
    EXPECT_EQ(childNames(byName("F")), "Common");
    EXPECT_EQ(byName("F")->property("recurse"), "Yes");
}

TEST_F(Tree, ComputedPropertyValues)
{
    writeSolution("s.lxProject", R"(<solution>
  <configuration Name="Common" private_configurations="Base"/>
  <configuration Name="Debug" inherited_configurations="Base;Extra"/>
  <configuration Name="Base"/>
  <configuration Name="Release"/>
  <project Name="P">
    <configuration Name="Common" project_directory="p" macros="A=x;y\\z"/>
    <folder Name="D" path="dyn" filter="*"/>
    <folder Name="Plain"/>
  </project>
</solution>
)");
    load("s.lxProject");
    const ProjectElement *project = byName("P");
    const ProjectElement *dyn = byName("D");
    EXPECT_EQ(ProjectDirectoryProjectPropertyValue().value(*system, dyn, "Debug"), path("p"));
    EXPECT_EQ(ProjectDirectoryProjectPropertyValue().value(*system, system->rootElement(), "Debug"), dir.path());
    EXPECT_EQ(PrivateConfigurationsProjectPropertyValue().value(*system, project, "Debug"), "Base");
    EXPECT_EQ(PublicConfigurationsProjectPropertyValue().value(*system, project, "Debug"), "Debug;Release");
    EXPECT_EQ(InheritedConfigurationsProjectPropertyValue().value(*system, project, "Debug"), "Base;Extra");
    EXPECT_EQ(DynamicFolderPropertyValue().value(*system, dyn, "Common"), path("p/dyn"));
    EXPECT_EQ(DynamicFolderPropertyValue().value(*system, byName("Plain"), "Common"), "");
    // The macro list reads back into the same set.
    const MacroMap macros = parseMacroList(ProjectMacrosProjectPropertyValue().value(*system, project, "Debug"));
    EXPECT_EQ(macros, projectMacros(*system, project, "Debug"));
    EXPECT_TRUE(macros.contains("y\\z"));
}

TEST_F(Tree, Utf8NamesFromProjectFilesAndDirectories)
{
    const QString umlaut = QString::fromUtf8("grüße");
    touch(QStringLiteral("utf/") + umlaut + QStringLiteral(".c"));
    writeSolution("s.lxProject", QString::fromUtf8(R"(<solution><project Name="P">
  <file file_name="src/grüße.c"/>
  <folder Name="U" path="utf" filter="*.c"/>
</project></solution>
)"));
    load("s.lxProject");
    EXPECT_EQ(elementFilePath(*system, byFileName(QStringLiteral("src/") + umlaut + ".c"), "Common"),
              path(QStringLiteral("src/") + umlaut + ".c"));
    EXPECT_EQ(childNames(byName("U")), QStringLiteral("utf/") + umlaut + ".c");
    EXPECT_TRUE(QFile::exists(elementFilePath(*system, byName("U")->firstChildProjectElement(), "Common")));
}

} // namespace
