// duriv -hzr: packs a solution, the files it lists on its own directory branch
// and its package description into one archive.
#include "tool/commands.h"
#include "tool/projectarchive.h"

#include "macros/globalmacros.h"
#include "macros/installdirs.h"
#include "macros/propertyclass.h"
#include "package/hexception.h"
#include "package/packagearchive.h"
#include "package/packagemessages.h"
#include "package/pathbytes.h"
#include "project/projectelement.h"
#include "project/projectsystem.h"
#include "project/projecttree.h"
#include "project/solutionloader.h"
#include "tool/dependencyfile.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <vector>

namespace {

const char kTemplatesPath[] =
    "$(StudioDir)/targets/$(PROJECT_TEMPLATE_FILE:project_templates).xml;"
    "$(PackagesDir)/*/XML/project_templates.xml";

// Solution files are UTF-8 and so are the paths that come from them. Where
// this command hands a path to the package library or the file helpers
// (which take one character per byte), it hands over those UTF-8 bytes:
// member names are stored as them, so listing and extraction reproduce them,
// and the system is given them as the project's own files are named.
QString utf8Bytes(const QString &path)
{
    return pathFromBytes(path.toUtf8());
}

// Arguments arrive one character per byte; this command reads them as UTF-8
// like the paths inside the project.
QString argumentPath(const QString &argument)
{
    return QString::fromUtf8(argument.toLatin1());
}

// Only regular files are read: a FIFO would block the reader and a device
// such as /dev/zero never ends. Anything else in a listed file's place is
// reported as addFile() reports a file it cannot open, which it does for a
// missing one. Both names are UTF-8 bytes.
void addListedFile(PackageArchive &archive, const QString &path, const QString &name)
{
    struct stat info;
    if (stat(pathBytes(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HException(packagemessage::kCannotRead, path);
    archive.addFile(path, name);
}

bool exists(const QString &path)
{
    struct stat info;
    return stat(pathBytes(path).constData(), &info) == 0;
}

/// A path as the libraries hand it to the system when they read it.
QString systemPath(const QString &path)
{
    return pathFromBytes(QFile::encodeName(path));
}

/// `path` when it exists; else the nearest directory above it that does,
/// whose time changes when the path comes into being (system bytes).
QString nearestExistingPath(QString path)
{
    while (!exists(path) && path != QLatin1String("/") && path != QLatin1String("."))
        path = QFileInfo(path).path();
    return path;
}

/// What the archive depends on besides its members: the installation's
/// configuration file, present or not, and every file the load read and
/// directory it listed.
void addLoadInputs(const ProjectSystem &system, DependencyFile &dependencies)
{
    dependencies.add(nearestExistingPath(systemPath(configurationFilePath(installationDirectory()))));
    for (const QString &file : system.loadInputs().files)
        dependencies.add(systemPath(file));
    for (const QString &directory : system.loadInputs().directories)
        dependencies.add(systemPath(directory));
}

/// Every file the archive holds is an input of it (UTF-8 bytes, as the
/// archive's disk paths are).
void addArchivedFiles(const PackageArchive &archive, DependencyFile &dependencies)
{
    for (const auto &member : archive.files())
        dependencies.add(member->diskPath());
}

struct ArchiveWalk {
    const ProjectSystem &system;
    PackageArchive &archive;
    QString solutionDirectory;

    void addCandidate(const ProjectElement *element)
    {
        if (fileNameHasMacros(system, element))
            return;
        const QString path = elementFilePath(system, element, QStringLiteral("Common"));
        if (path.isEmpty())
            return;
        const QString relative = relativeFileName(path, solutionDirectory);
        if (relative.isNull())
            return;
        const QString name = utf8Bytes(relative);
        if (archive.find(name))
            return;
        addListedFile(archive, utf8Bytes(path), name);
    }

    // Siblings in order, each with its subtree before the next sibling; an
    // explicit stack keeps deep trees off the call stack.
    void walk(const ProjectElement *first)
    {
        std::vector<const ProjectElement *> pending;
        if (first)
            pending.push_back(first);
        while (!pending.empty()) {
            const ProjectElement *element = pending.back();
            pending.pop_back();
            if (const ProjectElement *next = element->nextSiblingProjectElement())
                pending.push_back(next);
            const ProjectElement *descend = nullptr;
            switch (element->kind()) {
            case ProjectElementKind::Project:
            case ProjectElementKind::Folder:
                descend = element->firstChildProjectElement();
                break;
            case ProjectElementKind::File:
                addCandidate(element);
                break;
            case ProjectElementKind::Solution:
                addCandidate(element);
                descend = element->firstChildProjectElement();
                break;
            default:
                break;
            }
            if (descend)
                pending.push_back(descend);
        }
    }
};

} // namespace

QString defaultArchiveName(const QString &projectPath)
{
    return QFileInfo(projectPath).baseName() + QLatin1String(".lxArchive");
}

void runProjectArchiveCommand(const ToolOptions &options, CommandContext &context)
{
    const QString projectPath = argumentPath(context.arguments.value(0));

    createGlobalPropertyClassList();
    recordInstallationDirectories(QFile::encodeName(executablePath()).constData());
    defineStandardMacros(installationDirectory());
    setPackagesDirectory(QStringLiteral("$(StudioUserDir)/packages"));
    setEnvironmentSettings(std::make_unique<ElfDwarfKestrelEnvironmentSettings>())->initialise();
    ProjectSystem *system = setProjectSystem(std::make_unique<RISCVProjectSystem>(
        QString::fromLatin1(kTemplatesPath), QStringList(), false, false));
    system->setTemplateFileOrder(options.sourceDateEpoch ? TemplateFileOrder::Bytes
                                                         : TemplateFileOrder::FileSystem);

    loadSolution(*system, QFileInfo(projectPath).absoluteFilePath());

    const QString outputPath = utf8Bytes(context.arguments.size() > 1 ? argumentPath(context.arguments[1])
                                                                      : defaultArchiveName(projectPath));
    const QFileInfo project(projectPath);
    const QString descriptionPath =
        project.path() + QLatin1Char('/') + project.baseName() + QLatin1String("_package.xml");
    DependencyFile dependencies(options.dependencyFile, outputPath);
    addLoadInputs(*system, dependencies);

    const ProjectElement *root = system->rootElement();
    const QString solutionPath = root->filePath();
    PackageArchive archive;
    archive.setLatestMemberTime(options.sourceDateEpoch);
    archive.setCompressionThreads(options.compressionThreads);
    addListedFile(archive, utf8Bytes(solutionPath), utf8Bytes(QFileInfo(solutionPath).fileName()));

    ArchiveWalk walk{*system, archive, QFileInfo(solutionPath).absolutePath()};
    walk.walk(root->firstChildProjectElement());

    if (exists(utf8Bytes(descriptionPath))) {
        const QString relative = relativeFileName(descriptionPath, walk.solutionDirectory);
        if (!relative.isNull())
            addListedFile(archive, utf8Bytes(descriptionPath), utf8Bytes(relative));
    }
    // Archived once it appears.
    dependencies.add(nearestExistingPath(utf8Bytes(descriptionPath)));
    addArchivedFiles(archive, dependencies);

    writeProjectArchive(archive, outputPath);
    dependencies.write();
}
