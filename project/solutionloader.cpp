// Reading solution files and their imports, load commands and the load sequence.
#include "project/solutionloader.h"

#include "macros/macromap.h"
#include "macros/regularfile.h"
#include "project/loadcommand.h"
#include "project/projecttemplates.h"
#include "project/projecttree.h"
#include "xml/xmlpp2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kCommon = QStringLiteral("Common");

/// Every element of a solution document is a ProjectElement.
void installElementFactory()
{
    static const bool installed = [] {
        ProjectSystemXMLPP2::setElementFactory(
            [](const QByteArray &name) { return std::make_unique<ProjectElement>(name); });
        return true;
    }();
    (void)installed;
}

QString utf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

/// NAME=VALUE settings into the process environment; an entry splits at its first "=".
void putEnvironment(const QStringList &entries)
{
    for (const QString &entry : entries) {
        const int equals = entry.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        qputenv(entry.left(equals).toLocal8Bit().constData(), entry.mid(equals + 1).toLocal8Bit());
    }
}

// Turns a load command that did not succeed into the load's error.
void requireSuccess(const LoadCommandResult &result, const QString &solutionName)
{
    switch (result.outcome) {
    case LoadCommandResult::Outcome::Exited:
        if (result.status == 0)
            return;
        throw SolutionLoadError(solutionName, QStringLiteral("solution load command failed (")
                                                  + QString::number(result.status)
                                                  + QStringLiteral(") "));
    case LoadCommandResult::Outcome::NotStarted:
        throw SolutionLoadError(solutionName, QStringLiteral("solution load command \"")
                                                  + result.program
                                                  + QStringLiteral("\" not found"));
    case LoadCommandResult::Outcome::OutputNotOpened:
        throw SolutionLoadError(solutionName, QStringLiteral("cannot open load command output file ")
                                                  + result.outputFile);
    }
}

void runLoadCommands(const QString &commandText, const QString &environmentText,
                     const QString &workingDirectory, const QString &solutionName,
                     ProjectLoadProgressInterface *progress)
{
    ProgressStep step(progress, QStringLiteral("Executing load commands"), 2);
    const QStringList environment = environmentText.isEmpty()
        ? QStringList()
        : environmentText.split(QLatin1Char(';'));
    const QStringList commands = commandText.split(QStringLiteral("&&"));
    for (const QString &command : commands) {
        const QStringList words = splitCommandLine(command);
        if (words.isEmpty())
            continue;
        putEnvironment(environment);
        requireSuccess(runLoadCommand(words, workingDirectory), solutionName);
    }
}

void collectProjects(ProjectElement *element, std::vector<ProjectElement *> &projects)
{
    for (ProjectElement *child = element->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement()) {
        if (child->kind() == ProjectElementKind::Project)
            projects.push_back(child);
        else if (child->kind() == ProjectElementKind::Solution)
            collectProjects(child, projects);
    }
}

} // namespace

std::unique_ptr<ProjectElement> loadSolutionFile(ProjectSystem &system,
                                                 const QString &baseDirectory,
                                                 const QString &fileName,
                                                 ProjectFileNotFoundErrorHandler *fileNotFound,
                                                 ProjectLoadProgressInterface *progress,
                                                 const QString &macros)
{
    const bool relative = !fileName.startsWith(QLatin1Char('/'));
    QString name = fileName;
    if (!QFileInfo::exists(name) && !baseDirectory.isEmpty() && relative)
        name = baseDirectory + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(name)) {
        if (!fileNotFound || !fileNotFound->fileNotFound(name))
            throw SolutionLoadError(name, QStringLiteral(" does not exist"));
    }
    if (!isReadableRegularFile(QFile::encodeName(name)))
        throw SolutionLoadError(name, QStringLiteral(" cannot access"));

    ProgressStep step(progress,
                      QStringLiteral("Loading solution ") + QFileInfo(name).completeBaseName(), 2);

    QString absolute = name;
    if (!absolute.startsWith(QLatin1Char('/'))) {
        absolute = baseDirectory.isEmpty() ? QFileInfo(name).absoluteFilePath()
                                           : QDir::cleanPath(baseDirectory + QLatin1Char('/') + name);
    }
    absolute = QDir::cleanPath(absolute);
    if (system.loadingFiles().contains(absolute, Qt::CaseSensitive))
        throw SolutionLoadError(absolute, QStringLiteral(" solution already loaded"));

    installElementFactory();
    ProjectSystemXMLPP2 document;
    if (!document.loadPreprocessed(absolute, macros, !macros.isEmpty()))
        throw SolutionLoadError(name, utf8(document.errorMessage()),
                                static_cast<int>(document.errorLine()));
    if (document.doctype() != "Kestrel_Project_File")
        throw SolutionLoadError(name, QStringLiteral(" not a solution file"));
    if (!document.root())
        throw SolutionLoadError(name, QStringLiteral(" is a malformed solution file (bad XML)"));

    system.loadingFiles().append(absolute);
    const QString directory = QFileInfo(absolute).absolutePath();

    XMLElement *rootXml = document.root();
    const QString loadCommand =
        expandGlobalMacros(utf8(rootXml->attribute("load_command")));
    if (!loadCommand.isEmpty()) {
        runLoadCommands(loadCommand,
                        expandGlobalMacros(utf8(rootXml->attribute("load_command_environment"))),
                        directory, fileName, progress);
    }

    const QString templatesFile = expandGlobalMacros(utf8(rootXml->attribute("templates_file")));
    if (!templatesFile.isEmpty())
        system.setTemplatesPath(templatesFile);

    // The root goes under a holder while it is converted, so that a root that
    // is replaced (an import) is replaced like any other element.
    auto root = document.takeRoot();
    auto *rootElement = dynamic_cast<ProjectElement *>(root.get());
    if (!rootElement)
        throw SolutionLoadError(name, QStringLiteral(" is a malformed solution file (bad XML)"));
    ProjectElement holder("");
    holder.appendChild(std::move(root));
    ProjectElement *converted = loadElement(system, directory, rootElement, fileNotFound, progress);
    std::unique_ptr<XMLNode> detached = holder.removeChild(converted);
    std::unique_ptr<ProjectElement> solution(static_cast<ProjectElement *>(detached.release()));

    solution->setFilePath(absolute);
    solution->setFileTime(QFileInfo(absolute).lastModified());
    system.loadingFiles().removeLast();

    if (solution->property(QStringLiteral("version")) != QLatin1String("2")) {
        solution->setProperty(QStringLiteral("version"), QStringLiteral("2"));
        // The upgrade is not a change the user made.
        markUnmodified(solution.get(), true);
        system.dropFileTimeCache();
    }

    system.replacedImports().clear();

    const QString environmentProperty = system.environmentPropertyName();
    if (!environmentProperty.isEmpty()) {
        const QString value = resolveProperty(system, solution.get(), environmentProperty, kCommon);
        putEnvironment(value.split(QLatin1Char(';'), Qt::SkipEmptyParts));
    }
    return solution;
}

ProjectElement *loadElement(ProjectSystem &system, const QString &baseDirectory,
                            ProjectElement *element,
                            ProjectFileNotFoundErrorHandler *fileNotFound,
                            ProjectLoadProgressInterface *progress)
{
    if (element->name() == "import") {
        const QString rawFileName = utf8(element->attribute("file_name"));
        const QString macros = expandGlobalMacros(utf8(element->attribute("macros")));
        const QString fileName = expandGlobalMacros(rawFileName);
        std::unique_ptr<ProjectElement> loaded =
            loadSolutionFile(system, baseDirectory, fileName, fileNotFound, progress, macros);
        loaded->setProperty(QStringLiteral("file_name"), rawFileName);
        loaded->setImported(true);
        loaded->setCanModify(element->attribute("can_modify_solution") != "No");
        ProjectElement *raw = loaded.get();
        XMLNode *parent = element->parent();
        if (parent) {
            std::unique_ptr<XMLNode> import = parent->replaceChild(element, std::move(loaded));
            system.replacedImports().push_back(std::move(import));
        }
        raw->setModified(false);
        return raw;
    }

    for (const XMLAttribute &attribute : element->attributes())
        element->setProperty(QString::fromLatin1(attribute.name), utf8(attribute.value));

    if (element->hasAttribute("template_name"))
        system.templatedProjects().push_back(element);
    else if (element->hasAttribute(system.dynamicFolderAttributeName().toLatin1()))
        system.dynamicFolders().push_back(element);

    int count = 0;
    for (XMLNode *child = element->firstChild(); child; child = child->nextSibling()) {
        if (dynamic_cast<ProjectElement *>(child))
            ++count;
    }
    int index = 0;
    for (XMLNode *child = element->firstChild(); child;) {
        XMLNode *next = child->nextSibling();
        if (auto *childElement = dynamic_cast<ProjectElement *>(child)) {
            ProjectElement *converted =
                loadElement(system, baseDirectory, childElement, fileNotFound, progress);
            if (converted->kind() == ProjectElementKind::Configuration)
                element->indexConfiguration(displayName(system, converted), converted);
            if (progress && progress->depth() == 1)
                progress->setProgress(++index, count);
        }
        child = next;
    }
    element->setModified(false);
    return element;
}

void markUnmodified(ProjectElement *element, bool recursive)
{
    if (!element)
        return;
    element->setModified(false);
    for (ProjectElement *child = element->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement()) {
        if (!recursive && child->kind() == ProjectElementKind::Solution)
            continue;
        markUnmodified(child, recursive);
    }
}

QString displayName(const ProjectSystem &system, const ProjectElement *element)
{
    if (!element)
        return QStringLiteral("<NULL>");
    const QString name = element->property(QStringLiteral("Name"));
    if (!name.isEmpty())
        return name;
    const QString fileProperty = system.filePathPropertyName();
    if (element->hasProperty(fileProperty)) {
        const QString raw = element->property(fileProperty);
        if (raw.contains(QLatin1Char('$')))
            return raw.section(QLatin1Char('/'), -1);
        const QString path = elementFilePath(system, element, kCommon);
        const ProjectElement *project = projectOf(element);
        const QString base =
            project ? projectDirectory(system, project) : solutionDirectory(element->parentElement());
        const QFileInfo info(path);
        const QString relative = relativeDirectoryPath(base, info.absolutePath());
        if (relative.isNull())
            return path;
        return relative.isEmpty() ? info.fileName() : relative + QLatin1Char('/') + info.fileName();
    }
    return QStringLiteral("<NULL>");
}

void loadSolution(ProjectSystem &system, const QString &fileName,
                  ProjectLoadProgressInterface *progress,
                  ProjectFileNotFoundErrorHandler *fileNotFound,
                  TemplateNotFoundErrorHandler *templateNotFound)
{
    system.close();
    system.templatedProjects().clear();
    system.dynamicFolders().clear();

    system.setRootElement(
        loadSolutionFile(system, QString(), fileName, fileNotFound, progress, QString()));

    if (!system.templatedProjects().empty())
        expandTemplatedProjects(system, progress, templateNotFound);

    std::vector<ProjectElement *> projects;
    collectProjects(system.rootElement(), projects);
    system.gatherProjectData(projects);

    {
        ProgressStep step(progress, QStringLiteral("Mapping project information"), 0);
        system.projectIndex().clear();
        int index = 0;
        for (ProjectElement *project : projects) {
            const QString name = displayName(system, project);
            ProgressStep projectStep(progress, QStringLiteral("Mapping project ") + name, 0);
            if (progress)
                progress->setProgress(++index, static_cast<int>(projects.size()));
            system.projectIndex().insert(name, project);
        }
    }

    if (!system.dynamicFolders().empty()) {
        ProgressStep step(progress, QStringLiteral("Populating dynamic folders"), 3);
        // Population may add dynamic folders of its own; only the listed ones run.
        const std::vector<ProjectElement *> folders = system.dynamicFolders();
        const int count = static_cast<int>(folders.size());
        for (int i = 0; i < count; ++i) {
            ProjectElement *folder = folders[static_cast<std::size_t>(i)];
            if (progress)
                progress->setProgress(i, count);
            QString message = QStringLiteral("Populating folder ") + displayName(system, folder);
            if (const ProjectElement *project = projectOf(folder))
                message += QStringLiteral(" in project ") + displayName(system, project);
            ProgressStep folderStep(progress, message, 0);
            populateDynamicFolder(system, folder);
        }
        markUnmodified(system.rootElement(), true);
        system.dropFileTimeCache();
    }

    system.setSolutionFileName(fileName);
    system.setLoadTime(QDateTime::currentDateTime());
}
