// The global macro set-up against a temporary installation and HOME.
#include "macros/globalmacros.h"
#include "macros/propertyclass.h"
#include <gtest/gtest.h>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {

/// Sets (or unsets) one environment variable and puts the old state back on destruction.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char *name, const std::optional<QByteArray> &value)
        : m_name(name), m_saved(qEnvironmentVariableIsSet(name) ? std::make_optional(qgetenv(name)) : std::nullopt)
    {
        set(name, value);
    }
    ~ScopedEnvironmentVariable() { set(m_name.constData(), m_saved); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable &) = delete;
    ScopedEnvironmentVariable &operator=(const ScopedEnvironmentVariable &) = delete;

private:
    static void set(const char *name, const std::optional<QByteArray> &value)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    QByteArray m_name;
    std::optional<QByteArray> m_saved;
};

/// Runs `call` with file descriptor 1 sent to a temporary file and returns what it wrote.
QByteArray captureStandardOutput(const std::function<void()> &call)
{
    QTemporaryFile sink;
    if (!sink.open())
        return QByteArray("<cannot open capture file>");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(sink.handle(), STDOUT_FILENO);
    call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    QFile reader(sink.fileName());
    return reader.open(QIODevice::ReadOnly) ? reader.readAll() : QByteArray("<cannot read capture file>");
}

const QString kStudio = QStringLiteral("Varnix Lodestar for RISC-V");

QString macro(const char *name) { return globalPropertyClassList().macroValue(QString::fromLatin1(name)); }

class GlobalMacros : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(install + "/bin"));
        ASSERT_TRUE(QDir().mkpath(home));
        reset();
    }
    void TearDown() override { reset(); }
    // A fresh global table and user directory, as at start-up.
    static void reset()
    {
        createGlobalPropertyClassList();
        resetGlobalMacroState();
    }
    void writeConfiguration(const QByteArray &text) const
    {
        QFile file(install + "/bin/config.xml");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray defineMacros() const
    {
        return captureStandardOutput([this] { defineStandardMacros(install); });
    }
    QTemporaryDir root;
    const QString install = root.path() + "/opt/t";
    const QString home = root.path() + "/home/u";
    const QString user = home + "/.varnix/" + kStudio + "/v3";
    ScopedEnvironmentVariable homeVariable{"HOME", QFile::encodeName(home)};
    ScopedEnvironmentVariable rootVariable{"MARROWGATE_ROOT_USER_DIR", std::nullopt};
};

TEST_F(GlobalMacros, StandardTableInOrder)
{
    const size_t startUp = globalPropertyClassList().entries().size();
    EXPECT_EQ(defineMacros(), QByteArray());
    // After the start-up table, a descriptor for each macro in this order; ProductName has none.
    QStringList found;
    for (size_t i = startUp; i < globalPropertyClassList().entries().size(); ++i) {
        const auto *entry = dynamic_cast<const MacroPropertyClass *>(globalPropertyClassList().entries()[i].get());
        ASSERT_NE(entry, nullptr);
        EXPECT_FALSE(entry->helpText().isEmpty()) << entry->macroName().toStdString();
        found << entry->macroName() + '=' + globalPropertyClassList().macroValue(entry->macroName());
    }
    EXPECT_EQ(found, QStringList({
                         "StudioMajorVersion=4",
                         "StudioMinorVersion=22",
                         "LodestarVersionNumber=42200",
                         "ProbeDir=/opt/varnix/probe",
                         "StudioName=" + kStudio,
                         "StudioNameShort=Varnix Lodestar",
                         "Platform=riscv",
                         "ProductNameShort=" + kStudio,
                         "StudioDir=" + install,
                         "StudioUserDir=" + user,
                         "HomeDir=" + home,
                         "DesktopDir=" + home + "/Desktop",
                         "DocumentsDir=" + home + "/Documents",
                         "StudioExeName=lxStudio",
                         "StudioBuildToolExeName=lxBuild",
                         "StudioBuildToolName=lxBuild",
                         "StudioScriptToolExeName=lxScript",
                         "StudioScriptToolName=lxScript",
                         "StudioSimulatorExeName=lxSim",
                         "StudioSimulatorName=lxSim",
                         "StudioArchiveFileExt=lxArchive",
                         "StudioPackageFileExt=lxPackage",
                         "StudioProjectFileExt=lxProject",
                         "StudioSessionFileExt=lxSession",
                     }));
    EXPECT_EQ(macro("ProductName"), kStudio);
}

// One configuration entry per row: what it defines, after the standard table.
TEST_F(GlobalMacros, ConfigurationEntries)
{
    const struct {
        const char *entry;
        const char *name; // a macro, or "setting:" + a setting
        QString expected;
    } cases[] = {
        {R"x(<setting name="color" value="$(StudioDir)/x"/>)x", "setting:color", install + "/x"},
        {R"x(<group><deeper><setting name="deep" value="found"/></deeper></group>)x", "setting:deep", "found"},
        {R"x(<setting name="" value="ignored"/>)x", "setting:", ""},
        {R"x(<system-macro name="HostOS" value="win"/>)x", "HostOS", "win"},
        {R"x(<system-macro name="StudioDir" value="/elsewhere"/>)x", "StudioDir", install},
        {R"x(<system-macro name="V" value="$(UserDataDir)/gcc"/>)x", "V", home + "/.local/share/gcc"},
        {R"x(<system-macro name="V" value="$(StudioDir)/x" expand="No"/>)x", "V", "$(StudioDir)/x"},
        {R"x(<system-macro name="V" value="$(Other)/x"/>)x", "V", "/x"},
        {R"x(<system-macro name="V" value="a)$(StudioDir)$(UserHomeDir"/>)x", "V", "a)" + install + "$(UserHomeDir"},
        // The first "$(" runs to the first ")": the name "$(StudioDir" is unknown.
        {R"x(<system-macro name="V" value="$($(StudioDir))"/>)x", "V", ")"},
        {R"x(<system-macro name="V"/>)x", "V", ""},
    };
    for (const auto &c : cases) {
        reset();
        writeConfiguration(QByteArray("<!DOCTYPE Studio_Configuration_File><c>") + c.entry + "</c>");
        EXPECT_EQ(defineMacros(), QByteArray()) << c.entry;
        const QString name = QString::fromLatin1(c.name);
        const QString value = name.startsWith("setting:") ? settingValue(name.mid(8)) : macro(c.name);
        EXPECT_EQ(value, c.expected) << c.entry;
    }
    // The last entry, without a value, still defines its name.
    EXPECT_TRUE(globalPropertyClassList().macros().contains("V"));
}

TEST_F(GlobalMacros, ConfigurationEnvironmentVariables)
{
    ScopedEnvironmentVariable replaced("DURIV_TEST_REPLACED", QByteArray("old"));
    ScopedEnvironmentVariable added("DURIV_TEST_ADDED", std::nullopt);
    writeConfiguration(R"xml(<!DOCTYPE Studio_Configuration_File>
<c>
  <environment-variable name="DURIV_TEST_REPLACED" value="$(UserHomeDir)/new"/>
  <environment-variable name="DURIV_TEST_ADDED" value="$(StudioDir)" expand="NO"/>
</c>
)xml");
    EXPECT_EQ(defineMacros(), QByteArray());
    EXPECT_EQ(qgetenv("DURIV_TEST_REPLACED"), QFile::encodeName(home) + "/new");
    EXPECT_EQ(qgetenv("DURIV_TEST_ADDED"), QByteArray("$(StudioDir)"));
}

// A rewrite starts again at the beginning: a value that keeps putting the same
// reference back stops; a HOME holding a reference is rewritten in turn.
TEST_F(GlobalMacros, RewritingStartsAgainAtTheBeginning)
{
    const QByteArray homeBytes = QFile::encodeName(home);
    const struct {
        QByteArray home;
        QString expected;
    } cases[] = {
        {"$(UserHomeDir)", "$(UserHomeDir)"},
        {homeBytes + "/$(StudioDir)", home + "/" + install},
    };
    for (const auto &c : cases) {
        reset();
        ScopedEnvironmentVariable homeValue("HOME", c.home);
        writeConfiguration("<!DOCTYPE Studio_Configuration_File>"
                           R"(<c><system-macro name='V' value='$(UserHomeDir)'/></c>)");
        EXPECT_EQ(defineMacros(), QByteArray()) << c.home.constData();
        EXPECT_EQ(macro("V"), c.expected) << c.home.constData();
    }
}

TEST_F(GlobalMacros, FaultyConfigurationIsReportedAndSkipped)
{
    const QString path = install + "/bin/config.xml";
    const QByteArray unparsable =
        "<!DOCTYPE Studio_Configuration_File>\n<c>\n  <system-macro name='A' value='1'>\n</c>\n";
    QString parserMessage;
    int line = 0;
    int column = 0;
    ASSERT_FALSE(QDomDocument().setContent(unparsable, &parserMessage, &line, &column));
    EXPECT_EQ(line, 4);
    const QString wrongType = "Cannot load " + path + ".<p>The document is not of type Studio_Configuration_File.";
    const QByteArray tooDeep = "<!DOCTYPE Studio_Configuration_File>\n<c>" + QByteArray("<a>").repeated(256)
                               + "<system-macro name='A' value='1'/>" + QByteArray("</a>").repeated(256) + "</c>";
    const struct {
        const char *what;
        QByteArray text; // null: a directory in the file's place
        QString message;
    } cases[] = {
        {"unparsable", unparsable, parserMessage + QStringLiteral(" at line %1, column %2").arg(line).arg(column)},
        {"other type", R"(<!DOCTYPE Other><c><system-macro name='A' value='1'/></c>)", wrongType},
        {"nested too deeply", tooDeep, "nesting limit of 256 levels exceeded in " + path},
        {"unopenable", QByteArray(), "Cannot open " + path + " for reading"},
    };
    for (const auto &c : cases) {
        reset();
        if (c.text.isNull()) {
            ASSERT_TRUE(QFile::remove(path));
            ASSERT_TRUE(QDir().mkpath(path));
        } else {
            writeConfiguration(c.text);
        }
        EXPECT_EQ(defineMacros(), "error: cannot load configuration file - " + c.message.toLocal8Bit() + "\n")
            << c.what;
        EXPECT_TRUE(macro("A").isNull()) << c.what;
        EXPECT_EQ(macro("StudioSessionFileExt"), "lxSession") << c.what;
    }
}

// Nesting is counted on the elements alone: markup that only looks like tags
// (in processing instructions, comments and CDATA sections, a ">" in an
// attribute value) and empty elements do not count, so a document 256
// levels deep still loads.
TEST_F(GlobalMacros, ConfigurationAtTheNestingLimitLoads)
{
    writeConfiguration("<!DOCTYPE Studio_Configuration_File>\n<?xml-stylesheet href='<a>'?><c note='a>b'>"
                       "<!-- <a><a> --><![CDATA[<a><a>]]><e/>" + QByteArray("<a>").repeated(255)
                       + "<system-macro name='A' value='&lt;1&gt;'/>" + QByteArray("</a>").repeated(255) + "</c>");
    EXPECT_EQ(defineMacros(), QByteArray());
    EXPECT_EQ(macro("A"), "<1>");
}

TEST_F(GlobalMacros, UserRootDirectoryChoices)
{
    EXPECT_EQ(userRootDirectory(), home + "/.varnix");
    EXPECT_EQ(studioUserDirectory(), user);
    {
        // Computed once: a later environment change does not show.
        ScopedEnvironmentVariable later("MARROWGATE_ROOT_USER_DIR", QByteArray("/later"));
        EXPECT_EQ(userRootDirectory(), home + "/.varnix");
    }
    ScopedEnvironmentVariable environment("MARROWGATE_ROOT_USER_DIR", QByteArray("/env/root"));
    resetGlobalMacroState();
    EXPECT_EQ(studioUserDirectory(), "/env/root/" + kStudio + "/v3");
    // The setting comes before the environment.
    resetGlobalMacroState();
    writeConfiguration("<!DOCTYPE Studio_Configuration_File><c>"
                       R"(<setting name='root-user-dir' value='$(StudioDir)/users'/></c>)");
    EXPECT_EQ(defineMacros(), QByteArray());
    EXPECT_EQ(macro("StudioUserDir"), install + "/users/" + kStudio + "/v3");
}

TEST_F(GlobalMacros, UnsetHome)
{
    ScopedEnvironmentVariable noHome("HOME", std::nullopt);
    EXPECT_EQ(defineMacros(), QByteArray());
    EXPECT_EQ(macro("HomeDir"), "");
    EXPECT_EQ(macro("DesktopDir"), "/Desktop");
    EXPECT_EQ(macro("StudioUserDir"), "/.varnix/" + kStudio + "/v3");
}

TEST_F(GlobalMacros, PackagesDirectory)
{
    EXPECT_EQ(defineMacros(), QByteArray());
    // Overrides are not consulted for the packages directory.
    globalPropertyClassList().setMacroOverride("StudioUserDir", "/nowhere");
    setPackagesDirectory("$(StudioUserDir)/packages/");
    EXPECT_EQ(macro("PackagesDir"), user + "/packages");
    EXPECT_TRUE(QFileInfo(user + "/packages/targets").isDir());
    const PropertyClass *entry = globalPropertyClassList().find("$(PackagesDir)");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->helpText(), "Path to the users packages directory.");
    // An existing directory is kept as it is.
    QFile marker(user + "/packages/targets/marker");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    setPackagesDirectory("$(StudioUserDir)/packages");
    EXPECT_TRUE(marker.exists());
}

TEST(VersionNumber, FiveDigits)
{
    const struct {
        int major;
        const char *minor;
        const char *expected;
    } cases[] = {
        {4, "22b", "42202"},
        {4, "22B", "42202"},
        {5, "07z", "50726"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lodestarVersionNumber(c.major, c.minor), c.expected) << c.minor;
}

} // namespace
