// -info through the real binary: the format line with and without a package
// description, and a malformed description.
#include "tool/tests/testpackages.h"
#include "tool/tests/testsupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString latin1(const char *bytes)
{
    return QString::fromLatin1(bytes);
}

const QByteArray kDescription =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<packages>\n"
    "  <!-- the package element need not be the root -->\n"
    "  <package name=\"RV32_CoreSupport\" version=\"1.4.2\" kip_versions=\"4.20;4.22\"\n"
    "           build_version=\"17\" author=\"Varnix\" title=\"RV32 core support\"/>\n"
    "  <package name=\"Second\" version=\"9\"/>\n"
    "</packages>\n";

struct InfoCase {
    const char *label;
    TestFormat format;
    QList<TestMember> members;
    QByteArray expected;
};

class InfoCommand : public ::testing::TestWithParam<InfoCase> {};

TEST_P(InfoCommand, PrintsFormatAndIdentity)
{
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("p.lxPackage"), GetParam().members, GetParam().format);
    const ToolRun run = sandbox.run({"-info", "p.lxPackage"});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_EQ(run.err, QByteArray());
    EXPECT_EQ(run.out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InfoCommand,
    ::testing::Values(
        InfoCase{"NoDescriptionVersion1", TestFormat::Version1, {{latin1("a.c"), "x", 0644, 0}}, "1:0,,,,\n"},
        InfoCase{"NoDescriptionZlib", TestFormat::Version2Zlib, {}, "2:0,,,,\n"},
        InfoCase{"NoDescriptionBzip2", TestFormat::Version2Bzip2, {}, "2:1,,,,\n"},
        InfoCase{"NestedFirstPackageElement", TestFormat::Version2Bzip2,
                 {{latin1("doc/readme"), "r", 0644, 0},
                  {latin1("RV32_CoreSupport_package.xml"), kDescription, 0644, 0}},
                 "2:1,RV32_CoreSupport,1.4.2,4.20;4.22,17\n"},
        InfoCase{"FirstDescriptionInArchiveOrder", TestFormat::Version1,
                 {{latin1("sub/first_package.xml"), "<package name=\"first\" version=\"1\"/>", 0644, 0},
                  {latin1("A_package.xml"), kDescription, 0644, 0}},
                 "1:0,first,1,,\n"},
        // The member name must end in "_package.xml", case-sensitively.
        InfoCase{"SuffixMustMatchExactly", TestFormat::Version2Zlib,
                 {{latin1("x_Package.xml"), kDescription, 0644, 0},
                  {latin1("package.xml"), kDescription, 0644, 0}},
                 "2:0,,,,\n"},
        InfoCase{"MissingAttributesAreEmpty", TestFormat::Version2Zlib,
                 {{latin1("p_package.xml"), "<root><package build_version=\"3\"/></root>", 0644, 0}},
                 "2:0,,,,3\n"},
        InfoCase{"NoPackageElement", TestFormat::Version2Zlib,
                 {{latin1("p_package.xml"), "<root name=\"not this\"/>", 0644, 0}}, "2:0,,,,\n"},
        // Attribute bytes come back unchanged, whatever their encoding.
        InfoCase{"EightBitAttributes", TestFormat::Version2Zlib,
                 {{latin1("p_package.xml"), "<package name=\"caf\xe9\" version=\"\xc3\xa9t\xc3\xa9\"/>", 0644, 0}},
                 "2:0,caf\xe9,\xc3\xa9t\xc3\xa9,,\n"},
        InfoCase{"ValuesAreNotQuoted", TestFormat::Version2Zlib,
                 {{latin1("p_package.xml"), "<package name=\"a,b\" version=\"&quot;q&quot;\"/>", 0644, 0}},
                 "2:0,a,b,\"q\",,\n"}),
    [](const ::testing::TestParamInfo<InfoCase> &info) { return std::string(info.param.label); });

TEST(InfoCommandErrors, MalformedDescriptionNamesTheMemberColumnAndLine)
{
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("p.lxPackage"),
                     {{latin1("bad_package.xml"), "<package name=\"x\">\n  <open>\n</package>\n", 0644, 0}});
    const ToolRun run = sandbox.run({"-info", "p.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    const QString err = QString::fromLatin1(run.err);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(
                    "^error: cannot load package description file: bad_package.xml - .+ \\d+:3\\n$"))
                    .match(err)
                    .hasMatch())
        << run.err.constData();
}

TEST(InfoCommandErrors, FailingStandardOutputIsAnError)
{
    ToolSandbox sandbox;
    writeTestPackage(sandbox.filePath("p.lxPackage"), {});
    ToolRunOptions options;
    options.standardOutputPath = "/dev/full";
    const ToolRun run = sandbox.run({"-info", "p.lxPackage"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "error: cannot write to standard output\n");
}

} // namespace
