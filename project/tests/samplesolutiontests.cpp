// A realistic solution (overridden template, imported library with macros, dynamic
// folder, preprocessor sections, inherited configurations) loaded into the predicted tree.
#include "testsupport.h"

#include "macros/propertyclass.h"

#include <functional>

namespace {

class SampleSolution : public ProjectTest {
protected:
    void SetUp() override
    {
        write("targets/project_templates.xml",
              "<!DOCTYPE Project_Templates_File>\n<projects>\n"
              "  <project template_name=\"RV32_App\" type=\"Library\">\n    <folder name=\"Wrong\"/>\n"
              "  </project>\n  <configurations>\n    <configuration name=\"Debug\">\n"
              "      <property name=\"build_debug_information\" value=\"Yes\"/>\n"
              "      <property name=\"gcc_optimization_level\" value=\"None\"/>\n    </configuration>\n"
              "    <configuration name=\"Release\">\n"
              "      <property name=\"build_debug_information\" value=\"No\"/>\n"
              "      <property name=\"gcc_optimization_level\" value=\"Level 2\"/>\n    </configuration>\n"
              "  </configurations>\n</projects>\n");
        // The package's template comes later in the path and wins.
        write("packages/RV32/XML/project_templates.xml",
              "<!DOCTYPE Project_Templates_File>\n<projects>\n"
              "  <project template_name=\"RV32_App\" type=\"Executable\">\n"
              "    <property name=\"linker_memory_map_file\" value=\"$(SamplePackages)/RV32/XML/map.xml\"/>\n"
              "    <folder name=\"Source Files\" filter=\"c;s\"/>\n    <folder name=\"System Files\">\n"
              "      <file name=\"$(StudioDir)/source/crt0.s\" expand=\"no\"/>\n"
              "      <file name=\"$(ProjectName)_vectors.s\"/>\n    </folder>\n"
              "    <configuration name=\"$(Configuration)\"/>\n  </project>\n</projects>\n");
        writeSolution("app/app.lxProject",
                      "<solution Name=\"Demo\" version=\"1\""
                      " templates_file=\"$(SampleTargets)/project_templates.xml;$(SamplePackages)/*/XML/project_templates.xml\">\n"
                      "  <define name=\"BOARD\" value=\"RVB2\"/>\n"
                      "  <configuration Name=\"Common\" c_preprocessor_definitions=\"SOLUTION\""
                      " build_output_directory=\"out/$(Configuration)\"/>\n"
                      "  <configuration Name=\"Debug\" inherited_configurations=\"Base\" c_preprocessor_definitions=\"DEBUG\"/>\n"
                      "  <configuration Name=\"Release\" inherited_configurations=\"Base\" c_preprocessor_definitions=\"NDEBUG\"/>\n"
                      "  <configuration Name=\"Base\" c_preprocessor_definitions=\"BASE\" gcc_optimization_level=\"Level 1\""
                      " build_debug_information=\"No\"/>\n"
                      "  <project Name=\"app\" template_name=\"RV32_App\" template_configurations=\"Debug;Release\">\n"
                      "    <configuration Name=\"Common\" c_user_include_directories=\"include\"/>\n"
                      "    <folder Name=\"Source Files\">\n      <file file_name=\"src/main.c\"/>\n"
                      "      <if BOARD=\"RVB1,RVB2\"><file file_name=\"src/board.c\"/></if>\n"
                      "      <ifdef name=\"SIMULATOR\"><file file_name=\"src/sim.c\"/></ifdef>\n    </folder>\n"
                      "    <folder Name=\"Include\" path=\"include\" filter=\"*.h\" recurse=\"Yes\"/>\n"
                      "    <configuration Name=\"Debug\" c_preprocessor_definitions=\"APP_DEBUG\"/>\n"
                      "  </project>\n"
                      "  <import file_name=\"../lib/lib.lxProject\" macros=\"LIBNAME=ringbuf;WITH_TESTS=1\"/>\n"
                      "</solution>\n");
        writeSolution("lib/lib.lxProject",
                      "<solution Name=\"$(LIBNAME) library\" version=\"2\">\n  <project Name=\"$(LIBNAME)\">\n"
                      "    <configuration Name=\"Common\" project_type=\"Library\"/>\n"
                      "    <file file_name=\"$(LIBNAME).c\"/>\n    <file file_name=\"$(LIBNAME).h\"/>\n"
                      "    <ifdef name=\"WITH_TESTS\"><folder Name=\"Tests\"><file file_name=\"tests/test_$(LIBNAME).c\"/></folder></ifdef>\n"
                      "  </project>\n</solution>\n");
        for (const char *file : {"app/src/main.c", "app/src/board.c", "app/include/app.h",
                                 "app/include/config/clock.h", "app/include/notes.txt",
                                 "lib/ringbuf.c", "lib/ringbuf.h", "lib/tests/test_ringbuf.c"})
            touch(QLatin1String(file));
        globalPropertyClassList().setMacro("SampleTargets", path("targets"));
        globalPropertyClassList().setMacro("SamplePackages", path("packages"));
        globalPropertyClassList().setMacro("StudioDir", "/opt/studio");
    }

    /// One line per element: indentation, kind code, display name.
    QString dump(const ProjectElement *element, int depth = 0) const
    {
        QString out;
        for (const ProjectElement *child = element->firstChildProjectElement(); child;
             child = child->nextSiblingProjectElement()) {
            out += QString(depth * 2, QLatin1Char(' '))
                + QString::number(static_cast<int>(child->kind())) + QLatin1Char(' ')
                + displayName(*system, child) + QLatin1Char('\n');
            out += dump(child, depth + 1);
        }
        return out;
    }
};

TEST_F(SampleSolution, LoadsIntoThePredictedTree)
{
    ProjectElement *root = load("app/app.lxProject");
    EXPECT_EQ(root->property("version"), "2");
    // The configuration templates fill the solution's configurations; the
    // project gets none of its own for them since nothing differed.
    EXPECT_EQ(dump(root).toStdString(),
              "1 Common\n1 Debug\n1 Release\n1 Base\n2 app\n  1 Common\n  3 Source Files\n    4 src/main.c\n"
              "    4 src/board.c\n    1 Common\n  3 Include\n    4 include/app.h\n    3 config\n"
              "      4 include/config/clock.h\n  1 Debug\n  3 System Files\n    4 crt0.s\n    4 app_vectors.s\n"
              "0 ringbuf library\n  2 ringbuf\n    1 Common\n    4 ringbuf.c\n    4 ringbuf.h\n    3 Tests\n"
              "      4 tests/test_ringbuf.c\n");

    EXPECT_EQ(system->projectIndex().keys(), (QStringList{"app", "ringbuf"}));
    ProjectElement *library = byName("ringbuf library");
    EXPECT_TRUE(library->isImported());
    EXPECT_EQ(library->property("file_name"), "../lib/lib.lxProject");
    EXPECT_EQ(library->filePath(), path("lib/lib.lxProject"));
    for (ProjectElement *e : {root, byName("app"), byName("ringbuf"), library, byName("Include")})
        EXPECT_FALSE(e->isModified());
}

TEST_F(SampleSolution, FilePathsForTheArchiveWalk)
{
    ProjectElement *root = load("app/app.lxProject");
    // The walk of the archive command: files and solutions, not configurations.
    QStringList walked;
    std::function<void(ProjectElement *)> walk = [&](ProjectElement *element) {
        for (ProjectElement *e = element; e; e = e->nextSiblingProjectElement()) {
            switch (e->kind()) {
            case ProjectElementKind::Project:
            case ProjectElementKind::Folder:
                walk(e->firstChildProjectElement());
                break;
            case ProjectElementKind::File:
                walked.append((fileNameHasMacros(e) ? QStringLiteral("$ ") : QString())
                              + elementFilePath(*system, e, "Common"));
                break;
            case ProjectElementKind::Solution:
                walked.append(elementFilePath(*system, e, "Common"));
                walk(e->firstChildProjectElement());
                break;
            default:
                break;
            }
        }
    };
    walk(root->firstChildProjectElement());
    EXPECT_EQ(walked, (QStringList{
                          path("app/src/main.c"),
                          path("app/src/board.c"),
                          path("app/include/app.h"),
                          path("app/include/config/clock.h"),
                          "$ /opt/studio/source/crt0.s",
                          path("app/app_vectors.s"),
                          path("lib/lib.lxProject"),
                          path("lib/ringbuf.c"),
                          path("lib/ringbuf.h"),
                          path("lib/tests/test_ringbuf.c"),
                      }));
    EXPECT_EQ(solutionDirectory(root), path("app"));
    // Template, solution, inherited and project values meet in one resolution.
    const ProjectElement *main = byFileName("src/main.c");
    EXPECT_EQ(resolve(main, "c_preprocessor_definitions", "Debug"), "SOLUTION;BASE;DEBUG;APP_DEBUG");
    EXPECT_EQ(resolve(main, "gcc_optimization_level", "Release"), "Level 2");
    EXPECT_EQ(resolve(main, "gcc_optimization_level", "Debug"), "None");
    EXPECT_EQ(resolve(main, "build_debug_information", "Debug"), "Yes"); // the template's, not Base's
    EXPECT_EQ(resolve(byFileName("ringbuf.c"), "c_preprocessor_definitions", "Release"), "SOLUTION;BASE;NDEBUG");
    EXPECT_EQ(expandProjectMacros(*system, main, "$(OutDir)/$(ProjectName)$(EXE)", "Debug"), "out/Debug/app.elf");
    EXPECT_EQ(relativeDirectoryPath(solutionDirectory(root), path("lib/tests")), "../lib/tests");
}

} // namespace
