// duriv -hzr: packs a solution, the files it lists on its own directory branch
// and its package description into one archive.
#include "tool/commands.h"
#include "tool/projectarchive.h"

#include "macros/globalmacros.h"
#include "macros/installdirs.h"
#include "macros/propertyclass.h"
#include "package/hexception.h"
#include "package/packagearchive.h"
#include "project/projectelement.h"
#include "project/projectsystem.h"
#include "project/projecttree.h"
#include "project/solutionloader.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <vector>

namespace {

const char kTemplatesPath[] =
    "$(StudioDir)/targets/$(PROJECT_TEMPLATE_FILE:project_templates).xml;"
    "$(PackagesDir)/*/XML/project_templates.xml";

// Solution files are UTF-8 and so are the paths that come from them; member
// names are stored as those bytes, so listing and extraction reproduce them.
QString memberName(const QString &path)
{
    return QString::fromLatin1(path.toUtf8());
}

// Arguments arrive one character per byte; this command reads them as UTF-8
// like the paths inside the project.
QString argumentPath(const QString &argument)
{
    return QString::fromUtf8(argument.toLatin1());
}

QStringList pathPieces(const QString &path)
{
    return QFileInfo(path).absoluteFilePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// The phrase addFile() reports a file it cannot open with.
const char kCannotRead[] = "cannot read ";

// Only regular files are read: a FIFO would block the reader and a device
// such as /dev/zero never ends. Anything else in a listed file's place is
// reported as a file that cannot be read; a missing one addFile() reports.
void addListedFile(PackageArchive &archive, const QString &path, const QString &name)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        throw HException(QByteArray(kCannotRead) + QFile::encodeName(path));
    archive.addFile(path, name);
}

struct ArchiveWalk {
    const ProjectSystem &system;
    PackageArchive &archive;
    QString solutionDirectory;

    void addCandidate(const ProjectElement *element)
    {
        if (element->property(QStringLiteral("file_name")).contains(QLatin1Char('$')))
            return;
        const QString path = elementFilePath(system, element, QStringLiteral("Common"));
        if (path.isEmpty())
            return;
        const QString relative = relativeFileName(path, solutionDirectory);
        if (relative.isNull())
            return;
        const QString name = memberName(relative);
        if (archive.find(name))
            return;
        addListedFile(archive, path, name);
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

QString relativeFileName(const QString &filePath, const QString &baseDirectory)
{
    const QFileInfo file(filePath);
    const QString fileName = file.fileName();
    const QString directory = file.path();
    QString relativeDirectory;
    if (directory != QLatin1String(".")) {
        const QStringList base = pathPieces(baseDirectory);
        const QStringList target = pathPieces(directory);
        int common = 0;
        while (common < base.size() && common < target.size() && base[common] == target[common])
            ++common;
        if (common == 0)
            return QString();
        for (int i = common; i < base.size(); ++i)
            relativeDirectory += QLatin1String("../");
        for (int i = common; i < target.size(); ++i)
            relativeDirectory += target[i] + QLatin1Char('/');
        relativeDirectory.chop(1);
    }
    return relativeDirectory.isEmpty() ? fileName : relativeDirectory + QLatin1Char('/') + fileName;
}

QString defaultArchiveName(const QString &projectPath)
{
    return QFileInfo(projectPath).baseName() + QLatin1String(".lxArchive");
}

void runProjectArchiveCommand(const ToolOptions &options)
{
    const QString projectPath = argumentPath(options.fileArguments.value(0));

    createGlobalPropertyClassList();
    recordInstallationDirectories(QFile::encodeName(executablePath()).constData());
    defineStandardMacros(installationDirectory());
    setPackagesDirectory(QStringLiteral("$(StudioUserDir)/packages"));
    setEnvironmentSettings(std::make_unique<ElfDwarfKestrelEnvironmentSettings>())->initialise();
    ProjectSystem *system = setProjectSystem(std::make_unique<RISCVProjectSystem>(
        QString::fromLatin1(kTemplatesPath), QStringList(), false, false));

    loadSolution(*system, QFileInfo(projectPath).absoluteFilePath());

    const QString outputPath = options.fileArguments.size() > 1
                                   ? argumentPath(options.fileArguments[1])
                                   : defaultArchiveName(projectPath);
    const QFileInfo project(projectPath);
    const QString descriptionPath =
        project.path() + QLatin1Char('/') + project.baseName() + QLatin1String("_package.xml");

    const ProjectElement *root = system->rootElement();
    const QString solutionPath = root->filePath();
    PackageArchive archive;
    addListedFile(archive, solutionPath, memberName(QFileInfo(solutionPath).fileName()));

    ArchiveWalk walk{*system, archive, QFileInfo(solutionPath).absolutePath()};
    walk.walk(root->firstChildProjectElement());

    if (QFileInfo::exists(descriptionPath)) {
        const QString relative = relativeFileName(descriptionPath, walk.solutionDirectory);
        if (!relative.isNull())
            addListedFile(archive, descriptionPath, memberName(relative));
    }

    writeProjectArchive(archive, outputPath);
}
