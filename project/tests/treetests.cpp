// Property resolution per configuration, project macros, computed paths,
// folder placement and dynamic folders.
#include "testsupport.h"

#include "macros/propertyclass.h"
#include "project/propertyvalues.h"

#include <QFile>

namespace {

using Tree = ProjectTest;

const char *const kResolutionSolution =
    "<solution Name=\"S\">\n"
    "  <configuration Name=\"Common\" only_sol=\"sc\" near=\"sol-common\" c_preprocessor_definitions=\"A\""
    " build_output_directory=\"solOut\"/>\n"
    "  <configuration Name=\"Debug\" inherited_configurations=\"Base\" near=\"sol-debug\""
    " c_preprocessor_definitions=\"SD\"/>\n"
    "  <configuration Name=\"Base\" inherited_configurations=\"Root\" near=\"sol-base\""
    " c_preprocessor_definitions=\"SB\"/>\n  <configuration Name=\"Root\" deep=\"root\"/>\n"
    "  <project Name=\"P\">\n"
    "    <configuration Name=\"Base\" near=\"proj-base\" c_preprocessor_definitions=\"PB\"/>\n"
    "    <configuration Name=\"Debug\" c_preprocessor_definitions=\"B\"/>\n"
    "    <configuration Name=\"Common\" build_output_directory=\"projOut\" c_preprocessor_definitions=\"PC\"/>\n"
    "    <folder Name=\"F\"><file file_name=\"f.c\"/></folder>\n"
    "    <file file_name=\"g.c\"><configuration Name=\"Release\" near=\"file-release\"/></file>\n  </project>\n"
    "</solution>\n";

TEST_F(Tree, ResolutionOrderAndTrace)
{
    writeSolution("s.lxProject", QString::fromLatin1(kResolutionSolution));
    load("s.lxProject");
    const ProjectElement *f = byFileName("f.c");
    const ProjectElement *g = byFileName("g.c");
    const ProjectElement *solution = system->rootElement();
    ASSERT_TRUE(f && g);
    const struct { const ProjectElement *element; const char *property, *configuration, *expected; } cases[] = {
        // Set only in the solution's Common: seen everywhere, for every configuration.
        {f, "only_sol", "Debug", "sc"}, {f, "only_sol", "Common", "sc"},
        // Each element is finished (configuration, inherited, Common) before its parent.
        {f, "near", "Debug", "proj-base"}, {f, "near", "Release", "sol-common"},
        {solution, "near", "Debug", "sol-debug"}, {g, "near", "Release", "file-release"},
        // "Common" never consults inherited configurations.
        {f, "near", "Common", "sol-common"},
        // Inheritance is one level: Debug -> Base, not on to Root.
        {f, "deep", "Debug", ""}, {f, "deep", "Base", "root"},
        // List properties accumulate, most general first.
        {f, "c_preprocessor_definitions", "Debug", "A;SB;SD;PC;PB;B"},
        {f, "c_preprocessor_definitions", "Common", "A;PC"}, {solution, "c_preprocessor_definitions", "Base", "A;SB"},
        // A directory is not a list: the nearer value wins.
        {f, "build_output_directory", "Debug", "projOut"}, {solution, "build_output_directory", "Debug", "solOut"},
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
    writeSolution("inner.lxProject",
                  "<solution Name=\"Inner\">\n"
                  "  <configuration Name=\"Release\" inherited_configurations=\"Fast\"/>\n"
                  "  <project Name=\"IP\">\n    <configuration Name=\"Base\" v=\"ip-base\"/>\n"
                  "    <configuration Name=\"Fast\" v=\"ip-fast\"/>\n  </project>\n</solution>\n");
    writeSolution("s.lxProject",
                  "<solution Name=\"Outer\">\n"
                  "  <configuration Name=\"Debug\" inherited_configurations=\"Base\"/>\n"
                  "  <configuration Name=\"Release\" inherited_configurations=\"Base\"/>\n"
                  "  <import file_name=\"inner.lxProject\"/>\n</solution>\n");
    load("s.lxProject");
    const ProjectElement *project = byName("IP");
    EXPECT_EQ(inheritedConfigurations(project, "Debug"), QStringList{"Base"});
    EXPECT_EQ(resolve(project, "v", "Debug"), "ip-base");
    EXPECT_EQ(resolve(project, "v", "Release"), "ip-fast");
}

TEST_F(Tree, ProjectDirectoriesAndFilePaths)
{
    globalPropertyClassList().setMacro("TreeTestRoot", "/opt/treetest");
    writeSolution("sol/s.lxProject",
                  "<solution Name=\"S\">\n  <configuration Name=\"Common\" project_directory=\"ignored\"/>\n"
                  "  <project Name=\"P\">\n    <configuration Name=\"Common\" project_directory=\"../proj\"/>\n"
                  "    <file file_name=\"src/a.c\"/>\n    <file file_name=\"/abs/x.c\"/>\n"
                  "    <file file_name=\"$(Configuration)/gen.c\"/>\n"
                  "    <file file_name=\"$(TreeTestRoot)/lib.c\"/>\n  </project>\n"
                  "  <project Name=\"Q\"><file file_name=\"./b.c\"/></project>\n"
                  "  <project Name=\"R\"><configuration Name=\"Common\" project_directory=\"$(TreeTestRoot)/r\"/></project>\n"
                  "  <file file_name=\"loose.txt\"/>\n</solution>\n");
    load("sol/s.lxProject");
    EXPECT_EQ(solutionDirectory(byName("P")), path("sol"));
    EXPECT_EQ(projectDirectory(*system, byName("P")), path("proj"));
    EXPECT_EQ(projectDirectory(*system, byName("Q")), path("sol"));
    EXPECT_EQ(projectDirectory(*system, byName("R")), "/opt/treetest/r");
    const struct { const char *file, *configuration; QString expected; } cases[] = {
        {"src/a.c", "Common", path("proj/src/a.c")}, {"/abs/x.c", "Common", "/abs/x.c"},
        {"$(Configuration)/gen.c", "Debug", path("proj/Debug/gen.c")},
        {"$(TreeTestRoot)/lib.c", "Common", "/opt/treetest/lib.c"}, {"./b.c", "Common", path("sol/b.c")},
        {"loose.txt", "Common", path("sol/loose.txt")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(elementFilePath(*system, byFileName(c.file), c.configuration), c.expected) << c.file;
    EXPECT_EQ(elementFilePath(*system, system->rootElement(), "Common"), path("sol/s.lxProject"));
    EXPECT_TRUE(fileNameHasMacros(*system, byFileName("$(Configuration)/gen.c")));
    EXPECT_FALSE(fileNameHasMacros(*system, byFileName("src/a.c")));
    EXPECT_EQ(expandedFileName(*system, byFileName("$(Configuration)/gen.c"), "Release"), "Release/gen.c");
    // The cached path follows a change of the project directory.
    setConfigurationProperty(*system, byName("P"), "project_directory", "Common", "elsewhere");
    EXPECT_EQ(elementFilePath(*system, byFileName("src/a.c"), "Common"), path("sol/elsewhere/src/a.c"));
}

TEST_F(Tree, ProjectMacroSet)
{
    globalPropertyClassList().setMacro("TreeTestRoot", "/opt/treetest");
    writeSolution("s.lxProject",
                  "<solution Name=\"S\">\n  <project Name=\"P\">\n"
                  "    <configuration Name=\"Common\" project_directory=\"proj\""
                  " macros=\"MyDir=$(TreeTestRoot)/m;Esc=a\\;b;Configuration=shadowed\""
                  " build_root_output_directory=\"Output\"/>\n"
                  "    <configuration Name=\"Debug\" build_intermediate_directory=\"\"/>\n"
                  "    <folder Name=\"Outer\"><folder Name=\"Inner\"><file file_name=\"src/a.b.c\"/></folder></folder>\n"
                  "  </project>\n</solution>\n");
    load("s.lxProject");
    const ProjectElement *file = byFileName("src/a.b.c");
    const MacroMap debug = projectMacros(*system, file, "Debug");
    const struct { const char *name; QString value; } expected[] = {
        {"MyDir", "/opt/treetest/m"}, {"Esc", "a;b"}, {"ProjectNodeName", "src/a.b.c"}, {"FolderName", "Inner"},
        {"FolderPath", "Outer/Inner"}, {"ProjectDir", path("proj")}, {"ProjectName", "P"},
        {"SolutionDir", dir.path()}, {"SolutionName", "s"}, {"SolutionFileName", "s.lxProject"},
        {"SolutionPath", path("s.lxProject")}, {"SolutionExt", "lxProject"}, {"InputDir", path("proj/src")},
        {"InputName", "a.b"}, {"InputFileName", "a.b.c"}, {"InputExt", "c"}, {"InputPath", path("proj/src/a.b.c")},
        {"RelInputPath", "src/a.b.c"}, {"RelInputDir", "src"}, {"Configuration", "Debug"}, {"OBJ", ".o"},
        {"EXE", ".elf"}, {"LIB", ".a"}, {"PackageExt", "lxPackage"}, {"IntDir", "."},
        {"OutDir", "Output/Debug/Exe"}, {"RootOutDir", "Output"}, {"RootRelativeOutDir", "../.."},
    };
    for (const auto &e : expected)
        EXPECT_EQ(debug.value(QLatin1String(e.name)), e.value) << e.name;
    EXPECT_EQ(projectMacros(*system, file, "Release").value("IntDir"), "Output/P Release/Obj");
    EXPECT_EQ(expandProjectMacros(*system, file, "$(IntDir)/$(InputName)$(OBJ)", "Release"),
              "Output/P Release/Obj/a.b.o");
    EXPECT_EQ(expandProjectMacros(*system, file, "$(MyDir) $(TreeTestRoot)", "Common"),
              "/opt/treetest/m /opt/treetest");
    // Outside a folder there is no FolderName; the project has no Input macros.
    const MacroMap project = projectMacros(*system, byName("P"), "Debug");
    EXPECT_FALSE(project.contains("FolderName"));
    EXPECT_FALSE(project.contains("InputName"));
    EXPECT_EQ(project.value("FolderPath"), "");
}

TEST(RelativeDirectoryPath, Table)
{
    const struct { const char *from, *to, *expected; } cases[] = { // null expected: no relative path
        {"/a/b", "/a/b", ""}, {"/a/b", "/a/b/c/d", "c/d"}, {"/a/b/c", "/a/x", "../../x"},
        {"//a//b/", "/a/b/c", "c"}, {"/a/B", "/a/b", "../b"}, {"/a", "/b", nullptr},
    };
    for (const auto &c : cases) {
        const QString result = relativeDirectoryPath(QLatin1String(c.from), QLatin1String(c.to));
        EXPECT_EQ(result.isNull(), !c.expected) << c.from << " -> " << c.to;
        if (c.expected) {
            EXPECT_EQ(result, QLatin1String(c.expected)) << c.from;
        }
    }
}

TEST_F(Tree, AddFilePlacesByLowerCasedSuffix)
{
    writeSolution("s.lxProject",
                  "<solution><project Name=\"P\">\n  <folder Name=\"Caps\" filter=\"C\"/>\n"
                  "  <folder Name=\"Headers\" filter=\"h\"/>\n"
                  "  <folder Name=\"Sources\"><configuration Name=\"Common\" filter=\"c,s;S\"/></folder>\n"
                  "</project></solution>");
    load("s.lxProject");
    ProjectElement *project = byName("P");
    const struct { const char *file; const char *folder; } cases[] = {
        {"x.C", "Sources"}, {"y.H", "Headers"}, {"z.S", "Sources"}, {"dir.h/plain", "P"},
        {"w.txt", "P"},     {"noext", "P"},     {"lib/u.c", "Sources"},
    };
    for (const auto &c : cases) {
        ProjectElement *file = addFile(*system, project, QLatin1String(c.file));
        EXPECT_EQ(file->parentElement()->property("Name"), QLatin1String(c.folder)) << c.file;
        EXPECT_EQ(file->parentElement()->lastChild(), file);
    }
    EXPECT_EQ(findFile(*system, byName("Sources"), "x.C"), byFileName("x.C"));
    EXPECT_EQ(findFile(*system, project, "x.C"), nullptr);
}

TEST_F(Tree, DynamicFolderScans)
{
    for (const char *file : {"proj/dyn/b.c", "proj/dyn/A.c", "proj/dyn/c.H", "proj/dyn/a.h", "proj/dyn/.hidden.c",
                             "proj/dyn/skip_me.c", "proj/dyn/notes.txt", "proj/dyn/Sub/s.c", "proj/dyn/zexcl/q.c",
                             "proj/dyn/lower/l.c", "proj/dyn/.git/h.c", "proj/more/m.c"})
        touch(QLatin1String(file));
    mkdir("proj/dyn/empty");
    QFile::link(path("proj/dyn"), path("proj/dyn/Sub/loop"));
    writeSolution("s.lxProject",
                  "<solution><project Name=\"P\">\n"
                  "  <configuration Name=\"Common\" project_directory=\"proj\"/>\n"
                  "  <folder Name=\"Dyn\" path=\"dyn;missing;$(ProjectDir)/more\" filter=\"*.c;*.h\""
                  " exclude=\"skip_*;zexcl\" recurse=\"Yes\">\n    <folder Name=\"Headers\" filter=\"h\"/>\n"
                  "  </folder>\n  <folder Name=\"Flat\" path=\"dyn\" filter=\"*\" recurse=\"yes\"/>\n"
                  "  <folder Name=\"None\" path=\"dyn\" filter=\"\"/>\n</project></solution>");
    load("s.lxProject");
    ProjectElement *dyn = byName("Dyn");
    EXPECT_EQ(childNames(dyn), "Headers|dyn/A.c|dyn/b.c|empty|lower|Sub|more/m.c");
    EXPECT_EQ(childNames(byName("Headers")), "dyn/a.h");
    EXPECT_EQ(childNames(byName("lower")), "dyn/lower/l.c");
    ProjectElement *sub = byName("Sub");
    // Files before directories; the link back to dyn ends at once, empty.
    EXPECT_EQ(childNames(sub), "dyn/Sub/s.c|loop");
    EXPECT_EQ(childNames(byName("loop")), "");
    EXPECT_EQ(byFileName(path("proj/dyn/A.c")), dyn->firstChildProjectElement()->nextSiblingProjectElement());
    // Subfolders made by the scan get only their name.
    EXPECT_EQ(byName("lower")->properties().keys(), QStringList{"Name"});
    for (ProjectElement *e : {dyn, sub, byFileName(path("proj/dyn/b.c"))})
        EXPECT_FALSE(e->isModified());
    // Recursion only with exactly "Yes"; sorted without regard to case; hidden entries left out.
    EXPECT_EQ(childNames(byName("Flat")), "dyn/A.c|dyn/a.h|dyn/b.c|dyn/c.H|dyn/notes.txt|dyn/skip_me.c");
    // No filter wildcard: nothing matches.
    EXPECT_EQ(childNames(byName("None")), "");
}

TEST_F(Tree, ComputedPropertyValues)
{
    writeSolution("s.lxProject",
                  "<solution>\n  <configuration Name=\"Common\" private_configurations=\"Base\"/>\n"
                  "  <configuration Name=\"Debug\" inherited_configurations=\"Base;Extra\"/>\n"
                  "  <configuration Name=\"Base\"/><configuration Name=\"Release\"/>\n"
                  "  <project Name=\"P\"><configuration Name=\"Common\" project_directory=\"p\""
                  " macros=\"A=x;y\\\\z\"/>\n"
                  "    <folder Name=\"D\" path=\"dyn\" filter=\"*\"/><folder Name=\"Plain\"/>\n  </project>\n"
                  "</solution>\n");
    load("s.lxProject");
    const ProjectElement *project = byName("P"), *dyn = byName("D");
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
    EXPECT_EQ(macros.value("A"), "x");
    EXPECT_TRUE(macros.contains("y\\z"));
}

TEST_F(Tree, Utf8NamesFromProjectFilesAndDirectories)
{
    const QString umlaut = QString::fromUtf8("gr\xc3\xbc\xc3\x9f" "e");
    touch(QStringLiteral("utf/") + umlaut + QStringLiteral(".c"));
    writeSolution("s.lxProject", QString::fromUtf8(
        "<solution><project Name=\"P\">\n"
        "  <file file_name=\"src/gr\xc3\xbc\xc3\x9f" "e.c\"/>\n"
        "  <folder Name=\"U\" path=\"utf\" filter=\"*.c\"/>\n</project></solution>"));
    load("s.lxProject");
    EXPECT_EQ(elementFilePath(*system, byFileName(QStringLiteral("src/") + umlaut + ".c"), "Common"),
              path(QStringLiteral("src/") + umlaut + ".c"));
    EXPECT_EQ(childNames(byName("U")), QStringLiteral("utf/") + umlaut + ".c");
    EXPECT_TRUE(QFile::exists(elementFilePath(*system, byName("U")->firstChildProjectElement(), "Common")));
}

} // namespace
