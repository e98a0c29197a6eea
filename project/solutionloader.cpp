// Reading solution files and their imports, load commands and the load sequence.
#include "project/solutionloader.h"

#include "macros/propertyclass.h"
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

QString utf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

std::unique_ptr<XMLElement> makeProjectElement(const QByteArray &tagName)
{
    return std::make_unique<ProjectElement>(tagName);
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

// The root's "load_command": commands joined by "&&", each run from the
// solution's directory with the "load_command_environment" settings, the
// next one only after the previous one succeeded.
void runLoadCommands(const XMLElement &root, const QString &workingDirectory,
                     const QString &solutionName, ProjectLoadProgressInterface *progress)
{
    const QString commandText = expandGlobalMacros(utf8(root.attribute("load_command")));
    if (commandText.isEmpty())
        return;
    const QString environmentText = expandGlobalMacros(utf8(root.attribute("load_command_environment")));
    ProgressStep step(progress, QStringLiteral("Executing load commands"), 2);
    const QStringList environment =
        environmentText.isEmpty() ? QStringList() : environmentText.split(QLatin1Char(';'));
    for (const QString &command : commandText.split(QStringLiteral("&&"))) {
        const QStringList words = splitCommandLine(command);
        if (words.isEmpty())
            continue;
        putEnvironment(environment);
        requireSuccess(runLoadCommand(words, workingDirectory), solutionName);
    }
}

// The name under which the file exists: as passed in, or relative to the base
// directory; a missing file is the handler's to provide.
QString locateSolutionFile(const QString &baseDirectory, const QString &fileName,
                           ProjectFileNotFoundErrorHandler *fileNotFound)
{
    QString name = fileName;
    if (!QFileInfo::exists(name) && !baseDirectory.isEmpty() && !fileName.startsWith(QLatin1Char('/')))
        name = baseDirectory + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(name) && (!fileNotFound || !fileNotFound->fileNotFound(name)))
        throw SolutionLoadError(name, QStringLiteral(" does not exist"));
    if (!isReadableRegularFile(QFile::encodeName(name)))
        throw SolutionLoadError(name, QStringLiteral(" cannot access"));
    return name;
}

// The clean absolute form of `name`; a relative one is taken against the base
// directory, or without one against the current directory.
QString absoluteSolutionName(const QString &baseDirectory, const QString &name)
{
    if (name.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(name);
    if (baseDirectory.isEmpty())
        return QDir::cleanPath(QFileInfo(name).absoluteFilePath());
    return QDir::cleanPath(baseDirectory + QLatin1Char('/') + name);
}

// The file read through the preprocessor, with `macros` as its definitions;
// its root element, of the solution file's document type.
std::unique_ptr<ProjectElement> readSolutionDocument(ProjectSystem &system, const QString &name,
                                                     const QString &absolute, const QString &macros)
{
    ProjectSystemXMLPP2 document(makeProjectElement);
    const bool loaded = document.loadPreprocessed(absolute, macros, !macros.isEmpty());
    system.loadInputs().files += document.readFiles();
    if (!loaded)
        throw SolutionLoadError(name, utf8(document.errorMessage()),
                                static_cast<int>(document.errorLine()));
    if (document.doctype() != "Kestrel_Project_File")
        throw SolutionLoadError(name, QStringLiteral(" not a solution file"));
    if (!document.root())
        throw SolutionLoadError(name, QStringLiteral(" is a malformed solution file (bad XML)"));
    // Every element of the document, the root too, comes from makeProjectElement.
    return std::unique_ptr<ProjectElement>(static_cast<ProjectElement *>(document.takeRoot().release()));
}

// Converts the root into the file's solution element. It sits under a holder
// meanwhile, so that a root that is replaced (an import) is replaced like any
// other element.
std::unique_ptr<ProjectElement> convertRoot(ProjectSystem &system, const QString &directory,
                                            std::unique_ptr<ProjectElement> root,
                                            ProjectFileNotFoundErrorHandler *fileNotFound,
                                            ProjectLoadProgressInterface *progress)
{
    ProjectElement holder("");
    ProjectElement *rootElement = root.get();
    holder.appendChild(std::move(root));
    ProjectElement *converted = loadElement(system, directory, rootElement, fileNotFound, progress);
    std::unique_ptr<XMLNode> detached = holder.removeChild(converted);
    return std::unique_ptr<ProjectElement>(static_cast<ProjectElement *>(detached.release()));
}

// Any version but the current one becomes it; the upgrade is not a change the
// user made.
void upgradeVersion(ProjectSystem &system, ProjectElement *solution)
{
    if (solution->property(QStringLiteral("version")) == QLatin1String("2"))
        return;
    solution->setProperty(QStringLiteral("version"), QStringLiteral("2"));
    markUnmodified(solution, true);
    system.dropFileTimeCache();
}

// The solution's environment settings ("Common") into the process environment.
void applySolutionEnvironment(const ProjectSystem &system, const ProjectElement *solution)
{
    const QString environmentProperty = system.environmentPropertyName();
    if (environmentProperty.isEmpty())
        return;
    const QString value = resolveProperty(system, solution, environmentProperty, kCommon);
    putEnvironment(value.split(QLatin1Char(';'), Qt::SkipEmptyParts));
}

// The import's file, loaded with its macros, takes the import's place; the
// import element is kept until the importing file is finished.
ProjectElement *replaceImport(ProjectSystem &system, const QString &baseDirectory,
                              ProjectElement *import, ProjectFileNotFoundErrorHandler *fileNotFound,
                              ProjectLoadProgressInterface *progress)
{
    const QString rawFileName = utf8(import->attribute("file_name"));
    const QString macros = expandGlobalMacros(utf8(import->attribute("macros")));
    const QString fileName = expandGlobalMacros(rawFileName);
    std::unique_ptr<ProjectElement> loaded =
        loadSolutionFile(system, baseDirectory, fileName, fileNotFound, progress, macros);
    loaded->setProperty(QStringLiteral("file_name"), rawFileName);
    loaded->setImported(true);
    loaded->setCanModify(import->attribute("can_modify_solution") != "No");
    ProjectElement *raw = loaded.get();
    if (XMLNode *parent = import->parent())
        system.replacedImports().push_back(parent->replaceChild(import, std::move(loaded)));
    raw->setModified(false);
    return raw;
}

// Templated projects and dynamic folders are completed after the whole tree is read.
void noteForLaterSteps(ProjectSystem &system, ProjectElement *element)
{
    if (element->hasAttribute("template_name"))
        system.templatedProjects().push_back(element);
    else if (element->hasAttribute(system.dynamicFolderAttributeName().toLatin1()))
        system.dynamicFolders().push_back(element);
}

// Each child element in document order; configurations are indexed by
// display name. Only the top-level file's children report progress.
void convertChildren(ProjectSystem &system, const QString &baseDirectory, ProjectElement *element,
                     ProjectFileNotFoundErrorHandler *fileNotFound,
                     ProjectLoadProgressInterface *progress)
{
    int count = 0;
    for (ProjectElement *child = element->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement())
        ++count;
    int index = 0;
    for (ProjectElement *child = element->firstChildProjectElement(); child;) {
        ProjectElement *next = child->nextSiblingProjectElement();
        ProjectElement *converted = loadElement(system, baseDirectory, child, fileNotFound, progress);
        if (converted->kind() == ProjectElementKind::Configuration)
            element->indexConfiguration(displayName(system, converted), converted);
        if (progress && progress->depth() == 1)
            progress->setProgress(++index, count);
        child = next;
    }
}

// Step "Mapping project information": the project index, rebuilt.
void mapProjects(ProjectSystem &system, const std::vector<ProjectElement *> &projects,
                 ProjectLoadProgressInterface *progress)
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

// Step "Populating dynamic folders": each listed folder filled from the disk.
void populateDynamicFolders(ProjectSystem &system, ProjectLoadProgressInterface *progress)
{
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

} // namespace

std::unique_ptr<ProjectElement> loadSolutionFile(ProjectSystem &system,
                                                 const QString &baseDirectory,
                                                 const QString &fileName,
                                                 ProjectFileNotFoundErrorHandler *fileNotFound,
                                                 ProjectLoadProgressInterface *progress,
                                                 const QString &macros)
{
    const QString name = locateSolutionFile(baseDirectory, fileName, fileNotFound);
    ProgressStep step(progress,
                      QStringLiteral("Loading solution ") + QFileInfo(name).completeBaseName(), 2);
    const QString absolute = absoluteSolutionName(baseDirectory, name);
    if (system.loadingFiles().contains(absolute, Qt::CaseSensitive))
        throw SolutionLoadError(absolute, QStringLiteral(" solution already loaded"));
    std::unique_ptr<ProjectElement> root = readSolutionDocument(system, name, absolute, macros);

    system.loadingFiles().append(absolute);
    const QString directory = QFileInfo(absolute).absolutePath();
    runLoadCommands(*root, directory, fileName, progress);
    const QString templatesFile = expandGlobalMacros(utf8(root->attribute("templates_file")));
    if (!templatesFile.isEmpty())
        system.setTemplatesPath(templatesFile);
    std::unique_ptr<ProjectElement> solution =
        convertRoot(system, directory, std::move(root), fileNotFound, progress);
    solution->setFilePath(absolute);
    solution->setFileTime(QFileInfo(absolute).lastModified());
    system.loadingFiles().removeLast();

    upgradeVersion(system, solution.get());
    system.replacedImports().clear();
    applySolutionEnvironment(system, solution.get());
    return solution;
}

ProjectElement *loadElement(ProjectSystem &system, const QString &baseDirectory,
                            ProjectElement *element,
                            ProjectFileNotFoundErrorHandler *fileNotFound,
                            ProjectLoadProgressInterface *progress)
{
    if (element->name() == "import")
        return replaceImport(system, baseDirectory, element, fileNotFound, progress);
    for (const XMLAttribute &attribute : element->attributes())
        element->setProperty(QString::fromLatin1(attribute.name), utf8(attribute.value));
    noteForLaterSteps(system, element);
    convertChildren(system, baseDirectory, element, fileNotFound, progress);
    element->setModified(false);
    return element;
}

void loadSolution(ProjectSystem &system, const QString &fileName,
                  ProjectLoadProgressInterface *progress,
                  ProjectFileNotFoundErrorHandler *fileNotFound,
                  TemplateNotFoundErrorHandler *templateNotFound)
{
    // Closing empties the load lists too.
    system.close();
    system.setRootElement(
        loadSolutionFile(system, QString(), fileName, fileNotFound, progress, QString()));
    if (!system.templatedProjects().empty())
        expandTemplatedProjects(system, progress, templateNotFound);
    const std::vector<ProjectElement *> projects = projectsOf(system.rootElement());
    system.gatherProjectData(projects);
    mapProjects(system, projects, progress);
    if (!system.dynamicFolders().empty())
        populateDynamicFolders(system, progress);
    system.setSolutionFileName(fileName);
    system.setLoadTime(QDateTime::currentDateTime());
}
