// The package description: the "_package.xml" member of a package, parsed,
// and the attributes of its `package` element.
#pragma once

#include <QDomElement>
#include <QString>
#include <QStringList>

#include <memory>

class PackageArchive;
class PackageArchiveFile;

/// Every getter answers an empty string when there is no `package` element or
/// no such attribute, so a package without a description reads as empty.
class PackageDescriptionFile {
public:
    PackageDescriptionFile();
    virtual ~PackageDescriptionFile();

    PackageDescriptionFile(const PackageDescriptionFile &) = delete;
    PackageDescriptionFile &operator=(const PackageDescriptionFile &) = delete;

    /// Parses `member`, or the archive's findPackageDescription() when it is
    /// null; with no description member nothing is loaded and no error raised.
    /// Throws "cannot load package description file: " + member name + " - " +
    /// parser message + " " + column + ":" + line, or the fetch errors of
    /// PackageArchive::fileData().
    void load(PackageArchive &archive, PackageArchiveFile *member = nullptr);

    /// The first element named `package` in document order; null when none.
    QDomElement packageElement() const;

    QString name() const;
    QString author() const;
    QString type() const;
    QString title() const;
    QString description() const;
    QString version() const;
    /// The "kip_versions" attribute.
    QString productVersions() const;
    QString filetype() const;
    QString installationDirectory() const;
    QString installationDirectoryPrompt() const;
    QString installationDirectoryGlobalMacroName() const;
    QString buildVersion() const;
    /// "dependencies" split at ";", empty pieces dropped.
    QStringList dependencies() const;

    /// Set the attribute on the package element (nothing when there is none).
    void setName(const QString &value);
    void setFiletype(const QString &value);

private:
    QString attribute(const char *name) const;

    struct Private;
    std::unique_ptr<Private> d;
};
