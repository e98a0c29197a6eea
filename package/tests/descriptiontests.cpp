// The package description read out of an archive.
#include "package/packagedescriptionfile.h"
#include "testsupport.h"

namespace {

TEST(DescriptionTest, AnswersTheAttributesOfTheFirstPackageElement)
{
    PackageArchive archive;
    archive.addData("<package name=\"decoy\"/>", at(1), 0644, "package.xml"); // no "_" before it
    archive.addData("<?xml version=\"1.0\"?>\n<packages><group>\n"
                    "<package name=\"rv32-cpu\" author=\"A. Builder\" type=\"cpu\" title=\"RV32 CPU support\"\n"
                    " description=\"Startup code\" version=\"1.4\" kip_versions=\"4.0;4.1\" filetype=\"cpu\"\n"
                    " installation_directory=\"cpus/rv32\" installation_directory_prompt=\"Where?\"\n"
                    " installation_directory_global_macro_name=\"RV32_DIR\" build_version=\"77\"\n"
                    " dependencies=\";base;;libc;\"/>\n<package name=\"second\"/>\n</group></packages>\n",
                    at(1), 0644, "rv32_package.xml");
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

    // An explicit member wins over the search; absent attributes read as empty.
    description.load(archive, archive.find("other_package.xml"));
    EXPECT_EQ(description.name() + description.author(), QStringLiteral("later"));
    EXPECT_TRUE(description.dependencies().isEmpty());
}

TEST(DescriptionTest, DecodesTheTextOrNamesMemberMessageColumnAndLine)
{
    const QString text = QStringLiteral("<package name=\"caf\u00e9\"/>");
    const std::string bad = "cannot load package description file: p_package.xml - ";
    const std::pair<QByteArray, std::string> cases[] = {
        // UTF-16 and UTF-8, each with a byte-order mark.
        {QByteArray("\xff\xfe", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2),
         "caf\xc3\xa9"},
        {"\xef\xbb\xbf<package name=\"caf\xc3\xa9\"/>", "caf\xc3\xa9"},
        {"<package name=\"x\">\n  <inner>\n</package>\n", bad + "tag mismatch 10:3"},
        {"<package name=\"x\"\n", bad + "unexpected end of file 1:2"}, {"", bad + "unexpected end of file 1:1"}};
    for (const auto &[bytes, expected] : cases) {
        PackageArchive archive;
        archive.addData(bytes, at(1), 0644, "p_package.xml");
        PackageDescriptionFile description;
        const std::string message = thrownMessage([&] { description.load(archive); });
        EXPECT_EQ(message == "<no exception>" ? description.name().toStdString() : message, expected) << expected;
    }
}

} // namespace
