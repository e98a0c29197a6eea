#include "package/packagedescriptionfile.h"

#include "package/hexception.h"
#include "package/packagearchive.h"
#include "package/packagemessages.h"

#include <QBuffer>
#include <QDomDocument>
#include <QDomNodeList>
#include <QTextStream>

namespace {

/// The description's text: a Unicode byte-order mark chooses its encoding,
/// otherwise each byte is one character, so attribute bytes come back as
/// they were stored. Read in text mode, which drops carriage returns.
QString decodedText(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream stream(&buffer);
    stream.setCodec("ISO-8859-1");
    stream.setAutoDetectUnicode(true);
    return stream.readAll();
}

} // namespace

struct PackageDescriptionFile::Private {
    QDomDocument document;
    QDomElement packageElement;
    bool elementCached = false;
};

PackageDescriptionFile::PackageDescriptionFile() : d(std::make_unique<Private>()) {}

PackageDescriptionFile::~PackageDescriptionFile() = default;

void PackageDescriptionFile::load(PackageArchive &archive, PackageArchiveFile *member)
{
    if (!member)
        member = archive.findPackageDescription();
    if (!member) {
        d->elementCached = false;
        return;
    }
    const QString text = decodedText(archive.fileData(member));

    QString message;
    int line = 0;
    int column = 0;
    // setContent replaces the document even when it fails, so the cached
    // element is stale either way.
    d->elementCached = false;
    if (!d->document.setContent(text, false, &message, &line, &column)) {
        throw HException(QLatin1String(packagemessage::kCannotLoadDescription) + member->name() +
                         QStringLiteral(" - ") + message + QLatin1Char(' ') +
                         QString::number(column) + QLatin1Char(':') + QString::number(line));
    }
}

QDomElement PackageDescriptionFile::packageElement() const
{
    if (!d->elementCached) {
        d->packageElement = d->document.elementsByTagName(QStringLiteral("package")).item(0).toElement();
        d->elementCached = true;
    }
    return d->packageElement;
}

QString PackageDescriptionFile::attribute(const char *name) const
{
    return packageElement().attribute(QLatin1String(name));
}

QString PackageDescriptionFile::name() const { return attribute("name"); }
QString PackageDescriptionFile::author() const { return attribute("author"); }
QString PackageDescriptionFile::type() const { return attribute("type"); }
QString PackageDescriptionFile::title() const { return attribute("title"); }
QString PackageDescriptionFile::description() const { return attribute("description"); }
QString PackageDescriptionFile::version() const { return attribute("version"); }
QString PackageDescriptionFile::productVersions() const { return attribute("kip_versions"); }
QString PackageDescriptionFile::filetype() const { return attribute("filetype"); }
QString PackageDescriptionFile::installationDirectory() const
{
    return attribute("installation_directory");
}
QString PackageDescriptionFile::installationDirectoryPrompt() const
{
    return attribute("installation_directory_prompt");
}
QString PackageDescriptionFile::installationDirectoryGlobalMacroName() const
{
    return attribute("installation_directory_global_macro_name");
}
QString PackageDescriptionFile::buildVersion() const { return attribute("build_version"); }

QStringList PackageDescriptionFile::dependencies() const
{
    return attribute("dependencies").split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

void PackageDescriptionFile::setName(const QString &value)
{
    packageElement().setAttribute(QStringLiteral("name"), value);
}

void PackageDescriptionFile::setFiletype(const QString &value)
{
    packageElement().setAttribute(QStringLiteral("filetype"), value);
}
