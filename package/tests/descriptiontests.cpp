// The package description read out of an archive.
#include "package/hexception.h"
#include "package/packagearchive.h"
#include "package/packagedescriptionfile.h"
#include "testsupport.h"

namespace {

const char FullDescription[] =
    "<?xml version=\"1.0\"?>\n"
    "<packages>\n"
    "  <group>\n"
    "    <package name=\"rv32-cpu\" author=\"A. Builder\" type=\"cpu\" title=\"RV32 CPU support\"\n"
    "             description=\"Startup code\" version=\"1.4\" kip_versions=\"4.0;4.1\" filetype=\"cpu\"\n"
    "             installation_directory=\"cpus/rv32\" installation_directory_prompt=\"Where?\"\n"
    "             installation_directory_global_macro_name=\"RV32_DIR\" build_version=\"77\"\n"
    "             dependencies=\";base;;libc;\"/>\n"
    "    <package name=\"second\"/>\n"
    "  </group>\n"
    "</packages>\n";

TEST(DescriptionTest, AnswersTheAttributesOfTheFirstPackageElement)
{
    PackageArchive archive;
    archive.addData("<package name=\"decoy\"/>", at(1), 0644, "docs/readme.xml");
    archive.addData(FullDescription, at(1), 0644, "rv32_package.xml");
    archive.addData("<package name=\"later\"/>", at(1), 0644, "other_package.xml");
    PackageDescriptionFile description;
    description.load(archive);
    const QStringList got = {description.name(), description.author(), description.type(), description.title(),
                             description.description(), description.version(), description.productVersions(),
                             description.filetype(), description.installationDirectory(),
                             description.installationDirectoryPrompt(),
                             description.installationDirectoryGlobalMacroName(), description.buildVersion()};
    EXPECT_EQ(got, QStringList({"rv32-cpu", "A. Builder", "cpu", "RV32 CPU support", "Startup code", "1.4", "4.0;4.1",
                                "cpu", "cpus/rv32", "Where?", "RV32_DIR", "77"}));
    EXPECT_EQ(description.dependencies(), QStringList({"base", "libc"})); // empty entries dropped

    description.setName("renamed");
    description.setFiletype("board");
    EXPECT_EQ(description.name(), QStringLiteral("renamed"));
    EXPECT_EQ(description.filetype(), QStringLiteral("board"));

    // An explicit member wins over the search.
    description.load(archive, archive.find("other_package.xml"));
    EXPECT_EQ(description.name(), QStringLiteral("later"));
    EXPECT_EQ(description.author(), QString());
}

TEST(DescriptionTest, NoDescriptionMemberReadsAsEmpty)
{
    PackageArchive archive;
    archive.addData("<package name=\"x\"/>", at(1), 0644, "package.xml"); // no "_" before it
    PackageDescriptionFile description;
    description.load(archive);
    EXPECT_EQ(description.name(), QString());
    EXPECT_EQ(description.buildVersion(), QString());
    EXPECT_TRUE(description.dependencies().isEmpty());
    EXPECT_TRUE(description.packageElement().isNull());
    description.setName("ignored"); // nothing to set it on
    EXPECT_EQ(description.name(), QString());

    archive.addData("<root><package/></root>", at(1), 0644, "a_package.xml");
    description.load(archive);
    EXPECT_FALSE(description.packageElement().isNull());
    EXPECT_TRUE(description.dependencies().isEmpty());
}

TEST(DescriptionTest, EncodingsAreDecodedBeforeParsing)
{
    PackageArchive archive;
    // UTF-16 with a byte-order mark, and UTF-8 with one.
    QByteArray utf16("\xff\xfe", 2);
    const QString text = QStringLiteral("<package name=\"caf\u00e9\"/>");
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    archive.addData(utf16, at(1), 0644, "u16_package.xml");
    PackageDescriptionFile description;
    description.load(archive);
    EXPECT_EQ(description.name(), QStringLiteral("caf\u00e9"));

    PackageArchive utf8;
    utf8.addData("\xef\xbb\xbf<package name=\"caf\xc3\xa9\"/>", at(1), 0644, "u8_package.xml");
    description.load(utf8);
    EXPECT_EQ(description.name(), QStringLiteral("caf\u00e9"));
}

TEST(DescriptionTest, AMalformedDocumentNamesMemberMessageColumnAndLine)
{
    struct Case { QByteArray text; std::string expected; } cases[] = {
        {"<package name=\"x\">\n  <inner>\n</package>\n",
         "cannot load package description file: bad_package.xml - tag mismatch 10:3"},
        {"<package name=\"x\"\n", "cannot load package description file: bad_package.xml - unexpected end of file 1:2"},
        {"", "cannot load package description file: bad_package.xml - unexpected end of file 1:1"},
    };
    for (const Case &c : cases) {
        PackageArchive archive;
        archive.addData(c.text, at(1), 0644, "bad_package.xml");
        PackageDescriptionFile description;
        EXPECT_EQ(thrownMessage([&] { description.load(archive); }), c.expected) << c.text.constData();
    }
}

} // namespace
