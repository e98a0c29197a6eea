// The loader fuzz body over hand-picked hostile inputs, so the harness stays correct between fuzzing runs.
#include "project/tests/fuzzloader.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

TEST(FuzzLoaderBody, HostileInputsEndWithATreeOrAnError)
{
    QTemporaryDir directory;
    const char *const inputs[] = {
        "",
        "<solution",
        "<!DOCTYPE Other>\n<solution/>",
        R"(<solution Name='a'><project template_name='x'/></solution>)",
        R"(<solution><import file_name='fuzz.lxProject'/></solution>)",
        R"(<solution><import file_name='main.xml'/><import/></solution>)",
        R"(<solution><folder path='.' filter='*'/><folder path='..;;.' filter='*;?' exclude='*.xml'/></solution>)",
        R"(<solution><configuration Name='Common' inherited_configurations='Common;Common'/>)"
        R"(<project><configuration Name='Common' project_directory='$(ProjectDir)'/>)"
        R"(<file file_name='$(InputPath)$(FolderPath)$(RootRelativeOutDir)'/></project></solution>)",
        R"(<solution load_command='false'/>)",
    };
    // Reaching the end without a crash or an escaping exception is the check.
    for (const char *input : inputs)
        fuzzSolutionLoader(directory.path(), reinterpret_cast<const uint8_t *>(input), strlen(input));
    // The harness wrote the last loadable input as a solution file.
    EXPECT_TRUE(QFile::exists(directory.path() + QStringLiteral("/fuzz.lxProject")));
}

} // namespace
