// The global macro set-up against a temporary installation and HOME.
#include "macros/globalmacros.h"
#include "macros/macromap.h"
#include "macros/propertyclass.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace {

const char kStudio[] = "Varnix Lodestar for RISC-V";

QString macro(const char *name)
{
    return globalPropertyClassList().macroValue(QString::fromLatin1(name));
}

class GlobalMacros : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        install = root.path() + QStringLiteral("/opt/t");
        home = root.path() + QStringLiteral("/home/u");
        ASSERT_TRUE(QDir().mkpath(install + QStringLiteral("/bin")));
        ASSERT_TRUE(QDir().mkpath(home));
        homeVariable = std::make_unique<ScopedEnvironmentVariable>("HOME", QFile::encodeName(home));
        rootVariable = std::make_unique<ScopedEnvironmentVariable>("MARROWGATE_ROOT_USER_DIR", std::nullopt);
        createGlobalPropertyClassList();
        resetGlobalMacroState();
    }

    void TearDown() override
    {
        createGlobalPropertyClassList();
        resetGlobalMacroState();
    }

    void writeConfiguration(const QByteArray &text) const
    {
        QFile file(install + QStringLiteral("/bin/config.xml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QByteArray defineMacros() const
    {
        return captureStandardOutput([this] { defineStandardMacros(install); });
    }

    QTemporaryDir root;
    QString install;
    QString home;
    std::unique_ptr<ScopedEnvironmentVariable> homeVariable;
    std::unique_ptr<ScopedEnvironmentVariable> rootVariable;
};

TEST_F(GlobalMacros, StandardTableInOrder)
{
    struct Row { const char *name; QString value; const char *description; /* null: no descriptor */ };
    const QString user = home + QStringLiteral("/.varnix/") + QLatin1String(kStudio) + QStringLiteral("/v3");
    const Row rows[] = {
        {"StudioMajorVersion", "4", "The major release version of software."},
        {"StudioMinorVersion", "22", "The minor release version of software."},
        {"LodestarVersionNumber", "42200", "The release version number."},
        {"ProbeDir", "/opt/varnix/probe", "Path to Varnix Probe software"},
        {"StudioName", kStudio, "The full name of studio."},
        {"StudioNameShort", "Varnix Lodestar", "The short name of studio."},
        {"Platform", "riscv", "The target platform."},
        {"ProductName", kStudio, nullptr},
        {"ProductNameShort", kStudio, "The product name."},
        {"StudioDir", install, "The install directory of the product."},
        {"StudioUserDir", user, "The directory containing the user data."},
        {"HomeDir", home, "Path to users home directory."},
        {"DesktopDir", home + QStringLiteral("/Desktop"), "Path to users desktop directory."},
        {"DocumentsDir", home + QStringLiteral("/Documents"), "Path to users documents directory."},
        {"StudioExeName", "lxStudio", "The filename of the studio executable."},
        {"StudioBuildToolExeName", "lxBuild", "The filename of the build tool executable."},
        {"StudioBuildToolName", "lxBuild", "The name of the build tool executable."},
        {"StudioScriptToolExeName", "lxScript", "The filename of the script tool executable."},
        {"StudioScriptToolName", "lxScript", "The name of the script tool executable."},
        {"StudioSimulatorExeName", "lxSim", "The filename of the simulator executable."},
        {"StudioSimulatorName", "lxSim", "The name of the simulator executable."},
        {"StudioArchiveFileExt", "lxArchive", "The filename extension of a studio archive file."},
        {"StudioPackageFileExt", "lxPackage", "The filename extension of a studio package file."},
        {"StudioProjectFileExt", "lxProject", "The filename extension of a studio project file."},
        {"StudioSessionFileExt", "lxSession", "The filename extension of a studio session file."},
    };

    const size_t startUp = globalPropertyClassList().entries().size();
    EXPECT_EQ(defineMacros(), QByteArray());

    const auto &entries = globalPropertyClassList().entries();
    size_t next = startUp;
    for (const Row &row : rows) {
        EXPECT_EQ(macro(row.name), row.value) << row.name;
        if (!row.description)
            continue;
        ASSERT_LT(next, entries.size()) << row.name;
        const auto *entry = dynamic_cast<const MacroPropertyClass *>(entries[next++].get());
        ASSERT_NE(entry, nullptr) << row.name;
        EXPECT_EQ(entry->macroName(), QLatin1String(row.name));
        EXPECT_EQ(entry->helpText(), QLatin1String(row.description)) << row.name;
    }
    EXPECT_EQ(next, entries.size());
    EXPECT_EQ(globalPropertyClassList().find(QStringLiteral("$(ProductName)")), nullptr);
}

TEST_F(GlobalMacros, ConfigurationEntries)
{
    ScopedEnvironmentVariable replaced("DURIV_TEST_REPLACED", QByteArray("old"));
    ScopedEnvironmentVariable added("DURIV_TEST_ADDED", std::nullopt);
    writeConfiguration(R"xml(<?xml version="1.0"?>
<!DOCTYPE Studio_Configuration_File>
<configuration>
  <setting name="color" value="$(StudioDir)/x"/>
  <setting name="" value="ignored"/>
  <group><deeper><setting name="deep" value="found"/></deeper></group>
  <system-macro name="HostOS" value="win"/>
  <system-macro name="StudioDir" value="/elsewhere"/>
  <system-macro name="RISCVGCCDIR" value="$(UserDataDir)/gcc"/>
  <system-macro name="Literal" value="$(StudioDir)/x" expand="No"/>
  <system-macro name="Other" value="$(Other)/x"/>
  <system-macro name="Several" value="$(UserHomeDir):$(Nope)$(StudioDir)"/>
  <system-macro name="Open" value="a)$(StudioDir)$(UserHomeDir"/>
  <system-macro name="Nested" value="$($(StudioDir))"/>
  <system-macro name="NoValue"/>
  <environment-variable name="DURIV_TEST_REPLACED" value="$(UserHomeDir)/new"/>
  <environment-variable name="DURIV_TEST_ADDED" value="$(StudioDir)" expand="NO"/>
</configuration>
)xml");
    EXPECT_EQ(defineMacros(), QByteArray());

    const QStringList settings = {settingValue("color"), settingValue("deep"), settingValue(""), settingValue("unset")};
    EXPECT_EQ(settings, QStringList({install + "/x", "found", "", ""}));
    const QStringList macros = {macro("HostOS"), macro("StudioDir"), macro("RISCVGCCDIR"), macro("Literal"),
                                macro("Other"), macro("Several"), macro("Open"), macro("Nested")};
    // In "Nested" the first "$(" runs to the first ")": the name "$(StudioDir" is unknown.
    EXPECT_EQ(macros, QStringList({"win", install, home + "/.local/share/gcc", "$(StudioDir)/x", "/x",
                                   home + ":" + install, "a)" + install + "$(UserHomeDir", ")"}));
    EXPECT_TRUE(globalPropertyClassList().macros().contains(QStringLiteral("NoValue")));
    EXPECT_EQ(macro("NoValue"), QString());

    EXPECT_EQ(qgetenv("DURIV_TEST_REPLACED"), QFile::encodeName(home) + "/new");
    EXPECT_EQ(qgetenv("DURIV_TEST_ADDED"), QByteArray("$(StudioDir)"));
}

TEST_F(GlobalMacros, SystemMacroRewritingAndPrecedence)
{
    const QByteArray homeBytes = QFile::encodeName(home);
    struct Case { QByteArray home, entries; const char *name; QString expected; } cases[] = {
        // Every rewrite of this value puts the same reference back: it stops.
        {"$(UserHomeDir)", "<system-macro name='V' value='$(UserHomeDir)'/>", "V", "$(UserHomeDir)"},
        // HOME holds a reference itself, which the search from the start then finds.
        {homeBytes + "/$(StudioDir)", "<system-macro name='V' value='$(UserHomeDir)'/>", "V", home + "/" + install},
        // The configuration overrides the start-up table, not the standard table.
        {homeBytes, "<system-macro name='HostArch' value='riscv64'/>", "HostArch", "riscv64"},
        {homeBytes, "<system-macro name='Platform' value='arm'/>", "Platform", "riscv"},
    };
    for (const Case &c : cases) {
        createGlobalPropertyClassList();
        resetGlobalMacroState();
        ScopedEnvironmentVariable homeValue("HOME", c.home);
        writeConfiguration("<!DOCTYPE Studio_Configuration_File><c>" + c.entries + "</c>");
        EXPECT_EQ(defineMacros(), QByteArray()) << c.entries.constData();
        EXPECT_EQ(macro(c.name), c.expected) << c.entries.constData();
    }
}

TEST_F(GlobalMacros, FaultyConfigurationIsReportedAndSkipped)
{
    const QString path = install + QStringLiteral("/bin/config.xml");
    const QByteArray unparsable = "<!DOCTYPE Studio_Configuration_File>\n<c>\n  <system-macro name='A' value='1'>\n</c>\n";
    QString parserMessage;
    int line = 0, column = 0;
    ASSERT_FALSE(QDomDocument().setContent(unparsable, &parserMessage, &line, &column));
    ASSERT_FALSE(parserMessage.isEmpty());

    struct Case { const char *what; QByteArray text; QString message; };
    const QString wrongType = QStringLiteral("Cannot load ") + path
                              + QStringLiteral(".<p>The document is not of type Studio_Configuration_File.");
    const Case cases[] = {
        {"unparsable", unparsable, parserMessage + QStringLiteral(" at line %1, column %2").arg(line).arg(column)},
        {"other type", "<!DOCTYPE Other><c><system-macro name='A' value='1'/></c>", wrongType},
        {"no type", "<c><system-macro name='A' value='1'/></c>", wrongType},
        {"unopenable", QByteArray(), QStringLiteral("Cannot open ") + path + QStringLiteral(" for reading")},
    };
    for (const Case &c : cases) {
        createGlobalPropertyClassList();
        resetGlobalMacroState();
        if (c.text.isNull())
            ASSERT_TRUE(QFile::remove(path) && QDir().mkpath(path)); // a directory cannot be read as a file
        else
            writeConfiguration(c.text);
        EXPECT_EQ(defineMacros(), "error: cannot load configuration file - " + c.message.toLocal8Bit() + "\n")
            << c.what;
        EXPECT_TRUE(macro("A").isNull()) << c.what;
        EXPECT_EQ(macro("StudioDir"), install) << c.what;
        EXPECT_EQ(macro("StudioSessionFileExt"), QStringLiteral("lxSession")) << c.what;
    }
    EXPECT_EQ(line, 4);
}

TEST_F(GlobalMacros, UserRootDirectoryChoices)
{
    const QString studio = QStringLiteral("/") + QLatin1String(kStudio) + QStringLiteral("/v3");

    EXPECT_EQ(userRootDirectory(), home + QStringLiteral("/.varnix"));
    EXPECT_EQ(studioUserDirectory(), home + QStringLiteral("/.varnix") + studio);

    // Computed once: a later environment change does not show.
    {
        ScopedEnvironmentVariable later("MARROWGATE_ROOT_USER_DIR", QByteArray("/later"));
        EXPECT_EQ(userRootDirectory(), home + QStringLiteral("/.varnix"));
    }

    resetGlobalMacroState();
    {
        ScopedEnvironmentVariable environment("MARROWGATE_ROOT_USER_DIR", QByteArray("/env/root"));
        EXPECT_EQ(studioUserDirectory(), QStringLiteral("/env/root") + studio);
    }

    resetGlobalMacroState();
    {
        ScopedEnvironmentVariable environment("MARROWGATE_ROOT_USER_DIR", QByteArray("/env/root"));
        writeConfiguration("<!DOCTYPE Studio_Configuration_File><c>"
                           "<setting name='root-user-dir' value='$(StudioDir)/users'/></c>");
        EXPECT_EQ(defineMacros(), QByteArray());
        EXPECT_EQ(macro("StudioUserDir"), install + QStringLiteral("/users") + studio);
    }
}

TEST_F(GlobalMacros, UnsetHome)
{
    ScopedEnvironmentVariable noHome("HOME", std::nullopt);
    EXPECT_EQ(defineMacros(), QByteArray());
    EXPECT_EQ(QStringList({macro("HomeDir"), macro("DesktopDir"), macro("DocumentsDir"), macro("StudioUserDir")}),
              QStringList({"", "/Desktop", "/Documents", QStringLiteral("/.varnix/") + kStudio + "/v3"}));
}

TEST_F(GlobalMacros, PackagesDirectory)
{
    EXPECT_EQ(defineMacros(), QByteArray());
    // Overrides are not consulted for the packages directory.
    globalPropertyClassList().setMacroOverride(QStringLiteral("StudioUserDir"), QStringLiteral("/nowhere"));

    const QString expected =
        home + QStringLiteral("/.varnix/") + QLatin1String(kStudio) + QStringLiteral("/v3/packages");
    setPackagesDirectory(QStringLiteral("$(StudioUserDir)/packages/"));
    EXPECT_EQ(macro("PackagesDir"), expected);
    EXPECT_TRUE(QFileInfo(expected + QStringLiteral("/targets")).isDir());
    const PropertyClass *entry = globalPropertyClassList().find(QStringLiteral("$(PackagesDir)"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->helpText(), QStringLiteral("Path to the users packages directory."));

    // An existing directory is kept as it is.
    QFile marker(expected + QStringLiteral("/targets/marker"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    setPackagesDirectory(QStringLiteral("$(StudioUserDir)/packages"));
    EXPECT_TRUE(marker.exists());
    EXPECT_EQ(macro("PackagesDir"), expected);
}

TEST(VersionNumber, FiveDigits)
{
    struct Case { int major; const char *minor, *expected; };
    const Case cases[] = {{4, "22", "42200"},  {4, "22a", "42201"}, {4, "22b", "42202"},
                          {4, "22j", "42210"}, {4, "22B", "42202"}, {5, "07z", "50726"}};
    for (const Case &c : cases)
        EXPECT_EQ(lodestarVersionNumber(c.major, QLatin1String(c.minor)), QLatin1String(c.expected)) << c.minor;
}

} // namespace
