// -info through the real binary: the format line with and without a package
// description, and a malformed description.
#include "tool/tests/testsupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QByteArray kDescription = R"(<?xml version="1.0" encoding="UTF-8"?>
<packages>
  <!-- the package element need not be the root -->
  <package name="RV32_CoreSupport" version="1.4.2" kip_versions="4.20;4.22"
           build_version="17" author="Varnix" title="RV32 core support"/>
  <package name="Second" version="9"/>
</packages>
)";

// Which member and element make the description, and how its text is
// decoded, is the description's own test; here the line and its bytes.
TEST(InfoCommand, PrintsFormatAndIdentity)
{
    const struct {
        int version, compression;
        QList<Member> members;
        QByteArray expected;
    } cases[] = {
        {1, 0, {{"a.c", "x"}}, "1:0,,,,\n"},
        {2, 1, {{"doc/readme", "r"}, {"RV32_CoreSupport_package.xml", kDescription}},
         "2:1,RV32_CoreSupport,1.4.2,4.20;4.22,17\n"},
        // A bare Latin-1 byte and UTF-8 without a byte-order mark come back unchanged.
        {2, 0, {{"p_package.xml", "<package name='caf\xe9' version='\xc3\xa9t\xc3\xa9'/>"}},
         "2:0,caf\xe9,\xc3\xa9t\xc3\xa9,,\n"},
        // Unquoted.
        {2, 0, {{"p_package.xml", R"(<package name="a,b" version="&quot;q&quot;"/>)"}}, "2:0,a,b,\"q\",,\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected.constData());
        ToolSandbox sandbox;
        writePackage(sandbox.filePath("p.lxPackage"), c.members, c.version, c.compression);
        const ToolRun run = sandbox.run({"-info", "p.lxPackage"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, QByteArray());
        EXPECT_EQ(run.out, c.expected);
    }
}

TEST(InfoCommand, MalformedDescriptionNamesTheMemberColumnAndLine)
{
    ToolSandbox sandbox;
    writePackage(sandbox.filePath("p.lxPackage"), {{"bad_package.xml", "<package name='x'>\n  <open>\n</package>\n"}});
    const ToolRun run = sandbox.run({"-info", "p.lxPackage"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_TRUE(QRegularExpression("^error: cannot load package description file: bad_package.xml - .+ \\d+:3\\n$")
                    .match(QString::fromLatin1(run.err)).hasMatch()) << run.err.constData();
}

} // namespace
