// The product, host, directory and extension macros and the installation's
// configuration file.
#include "macros/globalmacros.h"

#include "macros/product.h"
#include "macros/propertyclass.h"
#include "macros/regularfile.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

const char kConfigurationDocumentType[] = "Studio_Configuration_File";

// A value that keeps re-creating references (a HOME holding "$(UserHomeDir)")
// would be rewritten for ever; stop well past any real configuration value.
constexpr int kMaxConfigurationRewrites = 1024;

// The XML library builds and frees its tree recursively, one call per
// level, so a deeply nested file would exhaust the stack; such a file is
// refused before the library sees it.
constexpr int kMaxConfigurationNesting = 256;

struct GlobalMacroState {
    QMap<QString, QString> settings;
    std::optional<QString> userRootDirectory;
};

GlobalMacroState &state()
{
    static GlobalMacroState s;
    return s;
}

QString homeDirectory()
{
    return QFile::decodeName(qgetenv("HOME"));
}

// Replaces "$(NAME)" references of a configuration value, one at a time from
// the start, with the few names the configuration file knows.
QString rewriteConfigurationValue(QString value, const QString &installDir)
{
    for (int count = 0; count < kMaxConfigurationRewrites; ++count) {
        const int start = value.indexOf(QLatin1String("$("));
        if (start < 0)
            break;
        const int end = value.indexOf(QLatin1Char(')'), start + 2);
        if (end < 0)
            break;
        const QString name = value.mid(start + 2, end - start - 2);
        QString replacement;
        if (name == QLatin1String("StudioDir"))
            replacement = installDir;
        else if (name == QLatin1String("UserHomeDir"))
            replacement = homeDirectory();
        else if (name == QLatin1String("UserDataDir"))
            replacement = homeDirectory() + QStringLiteral("/.local/share");
        value.replace(start, end - start + 1, replacement);
    }
    return value;
}

// The position after the next `terminator` from `from`, or the end.
int after(const QByteArray &text, const char *terminator, int from)
{
    const int at = text.indexOf(terminator, from);
    return at < 0 ? text.size() : at + int(qstrlen(terminator));
}

// The position after the ">" that ends the tag starting at `from`; quoted
// attribute values may hold ">".
int afterTag(const QByteArray &text, int from)
{
    for (int i = from; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '>')
            return i + 1;
        if (c == '"' || c == '\'') {
            const int close = text.indexOf(c, i + 1);
            if (close < 0)
                return text.size();
            i = close;
        }
    }
    return text.size();
}

// Whether elements nest deeper than `limit` anywhere in `text`. Comments,
// CDATA sections and processing instructions are passed over; any other
// "<!" markup is read through, so that what it holds can only count more.
bool nestsDeeperThan(const QByteArray &text, int limit)
{
    int depth = 0;
    for (int i = text.indexOf('<'); i >= 0 && i < text.size(); i = text.indexOf('<', i)) {
        const QByteArray head = text.mid(i, 9);
        if (head.startsWith("<!--")) {
            i = after(text, "-->", i + 4);
        } else if (head.startsWith("<![CDATA[")) {
            i = after(text, "]]>", i + 9);
        } else if (head.startsWith("<?")) {
            i = after(text, "?>", i + 2);
        } else if (head.startsWith("<!")) {
            i += 2;
        } else if (head.startsWith("</")) {
            depth = std::max(depth - 1, 0);
            i = afterTag(text, i + 2);
        } else {
            const int end = afterTag(text, i + 1);
            const bool empty = end >= 2 && end <= text.size() && text.at(end - 1) == '>' && text.at(end - 2) == '/';
            if (!empty && ++depth > limit)
                return true;
            i = end;
        }
    }
    return false;
}

QString elementValue(const QDomElement &element, const QString &installDir)
{
    const QString value = element.attribute(QStringLiteral("value"));
    if (element.attribute(QStringLiteral("expand")).toLower() == QLatin1String("no"))
        return value;
    return rewriteConfigurationValue(value, installDir);
}

// Visits every element called `tag`, at any depth, in document order, that
// carries a non-empty name.
template <typename Visit>
void forEachNamedElement(const QDomDocument &document, const QString &tag, Visit visit)
{
    const QDomNodeList nodes = document.elementsByTagName(tag);
    for (int i = 0; i < nodes.size(); ++i) {
        const QDomElement element = nodes.at(i).toElement();
        const QString name = element.attribute(QStringLiteral("name"));
        if (!name.isEmpty())
            visit(name, element);
    }
}

// Returns an empty text when the document was applied, else the reason it was not.
QString applyConfigurationFile(const QString &path, const QString &installDir)
{
    const std::optional<QByteArray> text = readRegularFile(QFile::encodeName(path));
    if (!text)
        return QStringLiteral("Cannot open ") + path + QStringLiteral(" for reading");

    if (nestsDeeperThan(*text, kMaxConfigurationNesting))
        return QStringLiteral("nesting limit of %1 levels exceeded in ").arg(kMaxConfigurationNesting) + path;

    QDomDocument document;
    QString parserMessage;
    int line = 0;
    int column = 0;
    if (!document.setContent(*text, &parserMessage, &line, &column))
        return parserMessage + QStringLiteral(" at line ") + QString::number(line)
               + QStringLiteral(", column ") + QString::number(column);

    const QString expectedType = QLatin1String(kConfigurationDocumentType);
    if (document.doctype().name() != expectedType)
        return QStringLiteral("Cannot load ") + path
               + QStringLiteral(".<p>The document is not of type ") + expectedType
               + QLatin1Char('.');

    forEachNamedElement(document, QStringLiteral("setting"),
                        [&](const QString &name, const QDomElement &element) {
                            state().settings.insert(name, elementValue(element, installDir));
                        });
    forEachNamedElement(document, QStringLiteral("system-macro"),
                        [&](const QString &name, const QDomElement &element) {
                            globalPropertyClassList().setMacro(name, elementValue(element, installDir));
                        });
    forEachNamedElement(document, QStringLiteral("environment-variable"),
                        [&](const QString &name, const QDomElement &element) {
                            qputenv(name.toLocal8Bit().constData(),
                                    elementValue(element, installDir).toLocal8Bit());
                        });
    return QString();
}

void readConfigurationFile(const QString &installDir)
{
    const QString path = configurationFilePath(installDir);
    if (!QFileInfo::exists(path))
        return;
    const QString failure = applyConfigurationFile(path, installDir);
    if (failure.isEmpty())
        return;
    // The one diagnostic the libraries print: start-up goes on without the file.
    const QByteArray line = "error: cannot load configuration file - " + failure.toLocal8Bit() + '\n';
    std::fputs(line.constData(), stdout);
    std::fflush(stdout);
}

} // namespace

QString configurationFilePath(const QString &installDir)
{
    return installDir + QStringLiteral("/bin/config.xml");
}

QString lodestarVersionNumber(int major, const QString &minor)
{
    QString number = QString::number(major) + minor.left(2);
    if (minor.size() < 3) {
        number += QStringLiteral("00");
    } else {
        const int patch = minor.at(2).toLower().unicode() - 'a' + 1;
        number += QStringLiteral("%1").arg(patch, 2, 10, QLatin1Char('0'));
    }
    return number;
}

namespace {

// The product's identity: its versions, names and target platform.
void defineProductMacros(PropertyClassList &list)
{
    const QString fullName = QString::fromLatin1(product::kFullName);
    const QString minor = QString::fromLatin1(product::kMinorVersion);
    list.setMacro(QStringLiteral("StudioMajorVersion"), QString::number(product::kMajorVersion),
                  QStringLiteral("The major release version of software."));
    list.setMacro(QStringLiteral("StudioMinorVersion"), minor,
                  QStringLiteral("The minor release version of software."));
    list.setMacro(QStringLiteral("LodestarVersionNumber"),
                  lodestarVersionNumber(product::kMajorVersion, minor),
                  QStringLiteral("The release version number."));
    list.setMacro(QStringLiteral("ProbeDir"), QString::fromLatin1(product::kProbeDirectory),
                  QStringLiteral("Path to ") + QString::fromLatin1(product::kProbeSoftwareName));
    list.setMacro(QStringLiteral("StudioName"), fullName, QStringLiteral("The full name of studio."));
    list.setMacro(QStringLiteral("StudioNameShort"), QString::fromLatin1(product::kShortName),
                  QStringLiteral("The short name of studio."));
    list.setMacro(QStringLiteral("Platform"), QString::fromLatin1(product::kTargetPlatform).toLower(),
                  QStringLiteral("The target platform."));
    list.setMacro(QStringLiteral("ProductName"),
                  QString(fullName).replace(QStringLiteral("Kestrel"), QStringLiteral("Marrowgate")));
    list.setMacro(QStringLiteral("ProductNameShort"), fullName, QStringLiteral("The product name."));
}

// The directories, the tool names and the document extensions, stored in
// their path form.
void definePathMacros(PropertyClassList &list, const QString &installDir)
{
    const QString home = homeDirectory();
    const auto setPath = [&](const char *name, const QString &path, const char *description) {
        list.setMacro(QLatin1String(name), QFileInfo(path), QLatin1String(description));
    };
    setPath("StudioDir", installDir, "The install directory of the product.");
    setPath("StudioUserDir", studioUserDirectory(), "The directory containing the user data.");
    setPath("HomeDir", home, "Path to users home directory.");
    setPath("DesktopDir", home + QStringLiteral("/Desktop"), "Path to users desktop directory.");
    setPath("DocumentsDir", home + QStringLiteral("/Documents"), "Path to users documents directory.");
    setPath("StudioExeName", QStringLiteral("lxStudio"), "The filename of the studio executable.");
    setPath("StudioBuildToolExeName", QStringLiteral("lxBuild"), "The filename of the build tool executable.");
    setPath("StudioBuildToolName", QStringLiteral("lxBuild"), "The name of the build tool executable.");
    setPath("StudioScriptToolExeName", QStringLiteral("lxScript"), "The filename of the script tool executable.");
    setPath("StudioScriptToolName", QStringLiteral("lxScript"), "The name of the script tool executable.");
    setPath("StudioSimulatorExeName", QStringLiteral("lxSim"), "The filename of the simulator executable.");
    setPath("StudioSimulatorName", QStringLiteral("lxSim"), "The name of the simulator executable.");
    setPath("StudioArchiveFileExt", QStringLiteral("lxArchive"), "The filename extension of a studio archive file.");
    setPath("StudioPackageFileExt", QStringLiteral("lxPackage"), "The filename extension of a studio package file.");
    setPath("StudioProjectFileExt", QStringLiteral("lxProject"), "The filename extension of a studio project file.");
    setPath("StudioSessionFileExt", QStringLiteral("lxSession"), "The filename extension of a studio session file.");
}

} // namespace

void defineStandardMacros(const QString &installDir)
{
    readConfigurationFile(installDir);
    PropertyClassList &list = globalPropertyClassList();
    defineProductMacros(list);
    definePathMacros(list, installDir);
}

void setPackagesDirectory(const QString &text)
{
    PropertyClassList &list = globalPropertyClassList();
    list.setMacro(QStringLiteral("PackagesDir"), QFileInfo(expandSystemMacros(text)),
                  QStringLiteral("Path to the users packages directory."));
    const QString targets = list.macroValue(QStringLiteral("PackagesDir")) + QStringLiteral("/targets");
    // A directory that cannot be created surfaces later, when something is put there.
    if (!QFileInfo::exists(targets))
        QDir().mkpath(targets);
}

QString userRootDirectory()
{
    std::optional<QString> &cached = state().userRootDirectory;
    if (!cached) {
        const QString setting = settingValue(QStringLiteral("root-user-dir"));
        if (!setting.isEmpty()) {
            cached = setting;
        } else if (qEnvironmentVariableIsSet("MARROWGATE_ROOT_USER_DIR")) {
            cached = QFile::decodeName(qgetenv("MARROWGATE_ROOT_USER_DIR"));
        } else {
            cached = homeDirectory() + QStringLiteral("/.")
                     + QString::fromLatin1(product::kMaker).toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
        }
    }
    return *cached;
}

QString studioUserDirectory()
{
    return userRootDirectory() + QLatin1Char('/') + QString::fromLatin1(product::kFullName)
           + QStringLiteral("/v3");
}

QString settingValue(const QString &name)
{
    return state().settings.value(name);
}

void resetGlobalMacroState()
{
    state().settings.clear();
    state().userRootDirectory.reset();
}
