// Project template files: indexes, path patterns, the merge into projects and its errors.
#include "testsupport.h"

#include "macros/propertyclass.h"
#include "project/projecttemplates.h"

#include <QDir>

namespace {

using Templates = ProjectTest;

QString configurationValue(const ProjectElement *element, const char *configuration, const char *property)
{
    const ProjectElement *c = findConfiguration(element, QLatin1String(configuration));
    return c ? c->property(QLatin1String(property)) : QStringLiteral("<no configuration>");
}

TEST_F(Templates, ExpandPathPattern)
{
    const char *const files[] = {
        "pk/A/XML/project_templates.xml",
        "pk/B/XML/project_templates.xml",
        "pk/C/XML/other.xml",
        "pk/plain.txt",
        "pk/.hidden/XML/project_templates.xml",
    };
    for (const char *file : files)
        touch(QLatin1String(file));
    const auto sorted = [](QStringList list) {
        list.sort();
        return list;
    };
    // Components without "*" are used as written, so C's missing file is named too.
    EXPECT_EQ(sorted(expandPathPattern(path("pk/*/XML/project_templates.xml"))),
              (QStringList{path("pk/A/XML/project_templates.xml"), path("pk/B/XML/project_templates.xml"),
                           path("pk/C/XML/project_templates.xml")}));
    // The last component matches files and directories; a middle one only directories.
    EXPECT_EQ(sorted(expandPathPattern(path("pk/*"))),
              (QStringList{path("pk/A"), path("pk/B"), path("pk/C"), path("pk/plain.txt")}));
    EXPECT_EQ(expandPathPattern(path("pk/*.txt/x")), QStringList());
    EXPECT_EQ(expandPathPattern(path("pk/?/x")), QStringList{path("pk/?/x")});
    // Without "*" the pattern stands, existing or not.
    EXPECT_EQ(expandPathPattern(path("nope/none.xml")), QStringList{path("nope/none.xml")});
    EXPECT_EQ(expandPathPattern(path("nothing/*/x.xml")), QStringList());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(path("pk")));
    EXPECT_EQ(sorted(expandPathPattern("*/XML/*.xml")),
              (QStringList{"A/XML/project_templates.xml", "B/XML/project_templates.xml", "C/XML/other.xml"}));
    QDir::setCurrent(previous);
}

// For reproducible archives each wildcard's matches are sorted by their
// bytes; every directory listed is reported, the way the expansion reached it.
TEST_F(Templates, ExpandPathPatternInByteOrderReportingTheDirectoriesListed)
{
    const char *const files[] = {
        "pk/b/x.xml",
        "pk/B/x.xml",
        "pk/a/y.xml",
        "pk/_/x.xml",
        "pk/a/x.xml",
    };
    for (const char *file : files)
        touch(QLatin1String(file));
    QStringList listed;
    EXPECT_EQ(expandPathPattern(path("pk/*/*.xml"), TemplateFileOrder::Bytes, &listed), (QStringList{
        path("pk/B/x.xml"),
        path("pk/_/x.xml"),
        path("pk/a/x.xml"),
        path("pk/a/y.xml"),
        path("pk/b/x.xml"),
    }));
    EXPECT_EQ(listed, (QStringList{
        path("pk"),
        path("pk/B"),
        path("pk/_"),
        path("pk/a"),
        path("pk/b"),
    }));
}

TEST_F(Templates, LaterFilesAndLaterElementsOverride)
{
    write("one.xml", R"(<t>
  <project template_name="X" type="one-first"/>
  <project template_name="X" type="one-second"/>
  <project template_name="Y" type="one"/>
  <configurations><configuration name="C"><property name="v" value="1"/></configuration></configurations>
</t>
)");
    write("two.xml", R"(<t>
  <group><project template_name="X" type="two"/></group>
  <deep><configurations><configuration name="C"><property name="v" value="2"/></configuration></configurations></deep>
</t>
)");
    write("broken.xml", R"(<t><project template_name="Y" type="broken">)");
    ProjectTemplates both(path("one.xml") + ";;" + path("two.xml") + ";" + path("missing.xml"));
    EXPECT_EQ(both.findProjectTemplate("X")->attribute("type"), "two");
    EXPECT_EQ(both.findProjectTemplate("Y")->attribute("type"), "one");
    EXPECT_EQ(both.findConfigurationTemplate("C")->firstChildElement()->attribute("value"), "2");
    EXPECT_EQ(both.findProjectTemplate("x"), nullptr);
    ProjectTemplates reversed(path("two.xml") + ";" + path("one.xml") + ";" + path("broken.xml"));
    EXPECT_EQ(reversed.findProjectTemplate("X")->attribute("type"), "one-second");
    EXPECT_EQ(reversed.findConfigurationTemplate("C")->firstChildElement()->attribute("value"), "1");
    EXPECT_EQ(reversed.findProjectTemplate("Y")->attribute("type"), "one");
}

const char *const kFullTemplate = R"xml(<!DOCTYPE Project_Templates_File>
<projects>
 <project template_name="Full" type="Library">
  <folder name="Source Files" filter="c;h"><file name="$(ProjectName)_main.c"/></folder>
  <folder name="Existing" filter="s"/>
  <folder name="Filtered" filter="x"/>
  <folder name="Dyn" path="dyn" filter="*.c" recurse="No"/>
  <folder name="Chosen" path="dyn" choose="Yes"/>
  <folder name="System Files">
   <file name="$(StudioDir)/crt0.s" expand="NO"/>
   <file name="gen.c" source="x.c"/>
  </folder>
  <property name="c_preprocessor_definitions" value="TPL_$(Configuration)" configuration="$(Configuration)"/>
  <property name="kept" value="template"/>
  <property name="expanded" value="$(ProjectName)-dir" expand="Yes"/>
  <property name="literal" value="$(ProjectName)-dir"/>
  <property name="novalue"/>
  <solutionproperty name="sol_prop" value="from-template"/>
  <propertygroup name="rv_library_optimization" value="Fast" configuration="Release"/>
  <configuration name="$(Configuration)"/>
  <configuration name="Shared" inherited_configurations="Base_$(Configuration)"/>
  <import name="other.lxProject"/>
  <bogus name="x" value="y"/>
 </project>
 <configurations>
  <configuration name="Debug">
   <property name="build_debug_information" value="Yes"/>
   <property name="gcc_optimization_level" value="None"/>
   <property name="inherited_configurations" value="DebugBase"/>
   <property name="empty_value" value=""/>
  </configuration>
  <configuration name="Release"><property name="build_debug_information" value="No"/></configuration>
  <configuration name="DebugBase"><property name="base_value" value="b"/><property name="inherited_configurations" value="Debug"/></configuration>
 </configurations>
</projects>
)xml";

TEST_F(Templates, MergeOfEveryTemplateElement)
{
    write("templates.xml", QString::fromLatin1(kFullTemplate));
    touch("dyn/one.c");
    touch("dyn/two.h");
    writeSolution("s.lxProject", R"(<solution Name="S">
  <configuration Name="Debug" gcc_optimization_level="Level 1"/>
  <configuration Name="Release" build_debug_information="No"/>
  <project Name="P" template_name="Full" template_configurations="Debug;;Release">
    <configuration Name="Common" kept="project"/>
    <folder Name="Existing"/>
    <folder Name="Filtered"><configuration Name="Common" filter="mine"/></folder>
  </project>
</solution>
)");
    ProjectElement *solution = load("s.lxProject");
    ProjectElement *project = byName("P");
    ASSERT_TRUE(project);
    EXPECT_FALSE(project->hasProperty("template_name"));
    EXPECT_FALSE(project->hasProperty("template_configurations"));
    EXPECT_EQ(configurationValue(project, "Common", "project_type"), "Library");
    EXPECT_EQ(childNames(project),
              "Common|Existing|Filtered|Source Files|Dyn|System Files|Debug|Release");
    EXPECT_EQ(childNames(byName("Source Files")), "Common|P_main.c");
    EXPECT_EQ(configurationValue(byName("Source Files"), "Common", "filter"), "c;h");
    EXPECT_EQ(configurationValue(byName("Existing"), "Common", "filter"), "s");
    EXPECT_EQ(configurationValue(byName("Filtered"), "Common", "filter"), "mine");
    ProjectElement *dyn = byName("Dyn");
    EXPECT_EQ(dyn->property("path"), "dyn");
    EXPECT_EQ(dyn->property("recurse"), "No");
    EXPECT_EQ(childNames(dyn), "dyn/one.c");
    EXPECT_EQ(byName("Chosen"), nullptr);
    EXPECT_EQ(childNames(byName("System Files")), "crt0.s");
    EXPECT_TRUE(byFileName("$(StudioDir)/crt0.s"));
    EXPECT_EQ(byFileName("gen.c"), nullptr);
    // "$(Configuration)" is replaced in the configuration, not in an unexpanded value.
    EXPECT_EQ(configurationValue(project, "Debug", "c_preprocessor_definitions"), "TPL_$(Configuration)");
    EXPECT_EQ(configurationValue(project, "Release", "c_preprocessor_definitions"), "TPL_$(Configuration)");
    EXPECT_EQ(configurationValue(project, "Common", "kept"), "project");
    EXPECT_EQ(configurationValue(project, "Common", "expanded"), "P-dir");
    EXPECT_EQ(configurationValue(project, "Common", "literal"), "$(ProjectName)-dir");
    EXPECT_FALSE(findConfiguration(project, "Common")->hasProperty("novalue"));
    EXPECT_FALSE(findConfiguration(project, "Common")->hasProperty("x"));
    EXPECT_EQ(configurationValue(solution, "Common", "sol_prop"), "from-template");
    EXPECT_EQ(configurationValue(project, "Release", "rv_library_optimization"), "Fast");
    // Configuration templates fill the solution; a differing value goes to the project.
    EXPECT_EQ(configurationValue(solution, "Debug", "build_debug_information"), "Yes");
    EXPECT_EQ(configurationValue(solution, "Debug", "gcc_optimization_level"), "Level 1");
    EXPECT_EQ(configurationValue(project, "Debug", "gcc_optimization_level"), "None");
    EXPECT_EQ(configurationValue(solution, "Debug", "inherited_configurations"), "DebugBase");
    EXPECT_FALSE(findConfiguration(solution, "Debug")->hasProperty("empty_value"));
    EXPECT_EQ(configurationValue(solution, "DebugBase", "base_value"), "b");
    EXPECT_FALSE(findConfiguration(project, "Release")->hasProperty("build_debug_information"));
    EXPECT_EQ(resolve(byFileName("P_main.c"), "base_value", "Debug"), "b");
    EXPECT_EQ(resolve(byFileName("P_main.c"), "gcc_optimization_level", "Debug"), "None");
    // "Shared" has no template: found or created once, its inheritance set per pass.
    EXPECT_EQ(configurationValue(solution, "Shared", "inherited_configurations"), "Base_Release");
    EXPECT_EQ(childNames(solution), "Debug|Release|P|Common|DebugBase|Shared");
    for (ProjectElement *e : {solution, project, dyn, byName("Source Files")})
        EXPECT_FALSE(e->isModified()) << e->property("Name").toStdString();
}

TEST_F(Templates, WithoutTemplateConfigurationsAndInImportedSolutions)
{
    write("templates.xml", R"xml(<t>
<project template_name="T" type="Executable">
  <property name="v" value="1" configuration="$(Configuration)"/>
  <property name="w" value="2"/>
  <configuration name="Fresh"/>
</project>
<project template_name="U">
  <configuration name="Fresh"/>
</project>
<project template_name="I">
  <solutionproperty name="marker" value="m"/>
  <configuration name="Cfg" inherited_configurations=""/>
</project>
</t>
)xml");
    writeSolution("lib/lib.lxProject", R"(<solution Name="Lib"><project Name="LP" template_name="I"/></solution>)");
    writeSolution("s.lxProject", R"(<solution Name="S">
  <project Name="A" template_name="T"/>
  <project Name="B" template_name="U" template_configurations="X"/>
  <project Name="C" template_name="U" template_configurations="X"/>
  <import file_name="lib/lib.lxProject"/>
</solution>
)");
    ProjectElement *solution = load("s.lxProject");
    EXPECT_EQ(configurationValue(byName("A"), "$(Configuration)", "v"), "1");
    EXPECT_EQ(configurationValue(byName("A"), "Common", "w"), "2");
    EXPECT_EQ(configurationValue(byName("A"), "Common", "project_type"), "Executable");
    EXPECT_EQ(configurationValue(byName("B"), "Common", "project_type"), "");
    // With configuration names a configuration without template is added
    // every time, without looking for one; without names nothing is added.
    EXPECT_EQ(childNames(solution), "A|B|C|Lib|Fresh|Fresh");
    // A project of an imported file merges into its own solution.
    ProjectElement *lib = byName("Lib");
    EXPECT_EQ(configurationValue(lib, "Common", "marker"), "m");
    EXPECT_EQ(findConfiguration(solution, "Common"), nullptr);
    EXPECT_TRUE(findConfiguration(lib, "Cfg"));
}

class ChoosingHandler : public TemplateNotFoundErrorHandler {
public:
    bool chooseTemplate(ProjectSystem &, const QString &projectName, QString &templateName) override
    {
        asked.append(projectName);
        templateName = answer;
        return !answer.isEmpty();
    }
    QString answer;
    QStringList asked;
};

TEST_F(Templates, ExpansionErrors)
{
    write("templates.xml", R"(<t><project template_name="Known" type="Library"/></t>)");
    writeSolution("unnamed.lxProject", R"(<solution><project Name="Stub" template_name=""/></solution>)");
    writeSolution("unknown.lxProject", R"(<solution><project Name="Stub" template_name="Nowhere"/></solution>)");
    SolutionLoadError unnamed = loadError("unnamed.lxProject");
    EXPECT_EQ(unnamed.subject, "no template for project ");
    EXPECT_EQ(unnamed.text, "Stub");
    SolutionLoadError unknown = loadError("unknown.lxProject");
    EXPECT_EQ(unknown.subject, "Nowhere");
    EXPECT_EQ(unknown.text, "project template not found");
    EXPECT_EQ(system->rootElement(), nullptr);
    ChoosingHandler declines;
    EXPECT_THROW(loadSolution(*system, path("unnamed.lxProject"), nullptr, nullptr, &declines), SolutionLoadError);
    EXPECT_EQ(declines.asked, QStringList{"Stub"});
    ChoosingHandler chooses;
    chooses.answer = "Known";
    loadSolution(*system, path("unnamed.lxProject"), nullptr, nullptr, &chooses);
    EXPECT_EQ(configurationValue(byName("Stub"), "Common", "project_type"), "Library");
    // The handler is asked only when the name is empty.
    chooses.asked.clear();
    EXPECT_THROW(loadSolution(*system, path("unknown.lxProject"), nullptr, nullptr, &chooses), SolutionLoadError);
    EXPECT_TRUE(chooses.asked.isEmpty());
}

} // namespace
