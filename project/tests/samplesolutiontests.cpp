// A realistic solution: the template found through a macro and a pattern in "templates_file",
// overridden by a package's; preprocessor sections; template, inherited and own configurations.
#include "testsupport.h"

#include "macros/propertyclass.h"

namespace {

using SampleSolution = ProjectTest;

TEST_F(SampleSolution, LoadsIntoThePredictedTree)
{
    write("targets/project_templates.xml",
          "<!DOCTYPE Project_Templates_File>\n<projects>\n"
          "  <project template_name=\"RV32_App\" type=\"Library\"><folder name=\"Wrong\"/></project>\n"
          "  <configurations><configuration name=\"Debug\">"
          "<property name=\"build_debug_information\" value=\"Yes\"/></configuration>\n"
          "  <configuration name=\"Release\"><property name=\"gcc_optimization_level\" value=\"Level 2\"/>"
          "</configuration></configurations>\n</projects>\n");
    // The package's template comes later in the path and wins.
    write("packages/RV32/XML/project_templates.xml",
          "<!DOCTYPE Project_Templates_File>\n<projects>\n"
          "  <project template_name=\"RV32_App\" type=\"Executable\">\n"
          "    <folder name=\"System Files\"><file name=\"$(ProjectName)_vectors.s\"/></folder>\n"
          "    <configuration name=\"$(Configuration)\"/>\n  </project>\n</projects>\n");
    writeSolution("app/app.lxProject",
                  "<solution Name=\"Demo\""
                  " templates_file=\"$(SampleTargets)/project_templates.xml;$(SamplePackages)/*/XML/project_templates.xml\">\n"
                  "  <define name=\"BOARD\" value=\"RVB2\"/>\n"
                  "  <configuration Name=\"Common\" c_preprocessor_definitions=\"SOLUTION\"/>\n"
                  "  <configuration Name=\"Debug\" inherited_configurations=\"Base\" c_preprocessor_definitions=\"DEBUG\"/>\n"
                  "  <configuration Name=\"Release\" inherited_configurations=\"Base\"/>\n"
                  "  <configuration Name=\"Base\" c_preprocessor_definitions=\"BASE\" build_debug_information=\"No\"/>\n"
                  "  <project Name=\"app\" template_name=\"RV32_App\" template_configurations=\"Debug;Release\">\n"
                  "    <folder Name=\"Source Files\">\n      <file file_name=\"src/main.c\"/>\n"
                  "      <if BOARD=\"RVB1,RVB2\"><file file_name=\"src/board.c\"/></if>\n"
                  "      <ifdef name=\"SIMULATOR\"><file file_name=\"src/sim.c\"/></ifdef>\n    </folder>\n"
                  "    <configuration Name=\"Debug\" c_preprocessor_definitions=\"APP_DEBUG\"/>\n  </project>\n"
                  "</solution>\n");
    globalPropertyClassList().setMacro("SampleTargets", path("targets"));
    globalPropertyClassList().setMacro("SamplePackages", path("packages"));

    ProjectElement *root = load("app/app.lxProject");
    ProjectElement *app = byName("app");
    EXPECT_EQ(childNames(root), "Common|Debug|Release|Base|app");
    EXPECT_EQ(childNames(app), "Source Files|Debug|Common|System Files");
    EXPECT_EQ(resolve(app, "project_type", "Debug"), "Executable");
    EXPECT_EQ(childNames(byName("Source Files")), "src/main.c|src/board.c");
    EXPECT_EQ(childNames(byName("System Files")), "app_vectors.s");
    const ProjectElement *main = byFileName("src/main.c");
    EXPECT_EQ(resolve(main, "c_preprocessor_definitions", "Debug"), "SOLUTION;BASE;DEBUG;APP_DEBUG");
    EXPECT_EQ(resolve(main, "build_debug_information", "Debug"), "Yes"); // the template's, not Base's
    EXPECT_EQ(resolve(main, "build_debug_information", "Release"), "No");
    EXPECT_EQ(resolve(main, "gcc_optimization_level", "Release"), "Level 2");
}

} // namespace
