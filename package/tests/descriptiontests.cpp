// The package description read out of an archive.
#include "package/packagedescriptionfile.h"
#include "testsupport.h"

namespace {

TEST(DescriptionTest, AnswersTheAttributesOfTheFirstPackageElement)
{
    PackageArchive archive;
    archive.addData(R"(<package name="decoy"/>)", at(1), 0644, "package.xml"); // no "_" before it
    archive.addData(R"(<?xml version="1.0"?>
<packages><group>
<package name="rv32-cpu" author="A. Builder" type="cpu" title="RV32 CPU support"
 description="Startup code" version="1.4" kip_versions="4.0;4.1" filetype="cpu"
 installation_directory="cpus/rv32" installation_directory_prompt="Where?"
 installation_directory_global_macro_name="RV32_DIR" build_version="77"
 dependencies=";base;;libc;"/>
<package name="second"/>
</group></packages>
)",
                    at(1), 0644, "rv32_package.xml");
    archive.addData(R"(<package name="later"/>)", at(1), 0644, "other_package.xml");
    PackageDescriptionFile description;
    description.load(archive);
    EXPECT_EQ(description.name(), "rv32-cpu");
    EXPECT_EQ(description.author(), "A. Builder");
    EXPECT_EQ(description.type(), "cpu");
    EXPECT_EQ(description.title(), "RV32 CPU support");
    EXPECT_EQ(description.description(), "Startup code");
    EXPECT_EQ(description.version(), "1.4");
    EXPECT_EQ(description.productVersions(), "4.0;4.1");
    EXPECT_EQ(description.filetype(), "cpu");
    EXPECT_EQ(description.installationDirectory(), "cpus/rv32");
    EXPECT_EQ(description.installationDirectoryPrompt(), "Where?");
    EXPECT_EQ(description.installationDirectoryGlobalMacroName(), "RV32_DIR");
    EXPECT_EQ(description.buildVersion(), "77");
    EXPECT_EQ(description.dependencies(), QStringList({"base", "libc"})); // empty entries dropped

    // An explicit member wins over the search; absent attributes read as empty.
    description.load(archive, archive.find("other_package.xml"));
    EXPECT_EQ(description.name(), "later");
    EXPECT_EQ(description.author(), "");
    EXPECT_TRUE(description.dependencies().isEmpty());
}

// A byte-order mark chooses the encoding; without one every byte is one
// character, whatever the locale, so attribute bytes come back as stored.
TEST(DescriptionTest, DecodesByTheByteOrderMarkOrOneCharacterPerByte)
{
    const ScopedLocaleCodec utf8("UTF-8");
    const QString text = QStringLiteral("<package name='caf\u00e9'/>");
    const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    const std::pair<QByteArray, QString> cases[] = {
        {QByteArray("\xff\xfe", 2) + utf16, QStringLiteral("caf\u00e9")},
        {"\xef\xbb\xbf<package name='caf\xc3\xa9'/>", QStringLiteral("caf\u00e9")},
        {"<package name='caf\xe9'/>", QStringLiteral("caf\u00e9")},
        {"<package name='caf\xc3\xa9'/>", QString::fromLatin1("caf\xc3\xa9")},
    };
    for (const auto &[bytes, name] : cases) {
        PackageArchive archive;
        archive.addData(bytes, at(1), 0644, "p_package.xml");
        PackageDescriptionFile description;
        description.load(archive);
        EXPECT_EQ(description.name(), name) << bytes.toHex().constData();
    }
}

TEST(DescriptionTest, MalformedTextNamesMemberMessageColumnAndLine)
{
    const std::string bad = "cannot load package description file: p_package.xml - ";
    const std::pair<QByteArray, std::string> cases[] = {
        {"<package name='x'>\n  <inner>\n</package>\n", bad + "tag mismatch 10:3"},
        {"<package name='x'\n", bad + "unexpected end of file 1:2"},
    };
    for (const auto &[bytes, message] : cases) {
        PackageArchive archive;
        archive.addData(bytes, at(1), 0644, "p_package.xml");
        PackageDescriptionFile description;
        EXPECT_EQ(thrownMessage([&] { description.load(archive); }), message);
    }
}

} // namespace
