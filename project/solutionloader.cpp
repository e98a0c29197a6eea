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
// its root element, of the solution file's document type. A limit that the
// preprocessing passed fails the load as a syntax error does, with its line.
std::unique_ptr<ProjectElement> readSolutionDocument(ProjectSystem &system, const QString &name,
                                                     const QString &absolute, const QString &macros)
{
    ProjectSystemXMLPP2 document(makeProjectElement);
    document.setExpansionLimit(system.loadLimits().expansionNodes);
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

// Templated projects and dynamic folders are completed after the whole tree is read.
void noteForLaterSteps(ProjectSystem &system, ProjectElement *element)
{
    if (element->hasAttribute("template_name"))
        system.templatedProjects().push_back(element);
    else if (element->hasAttribute(system.dynamicFolderAttributeName().toLatin1()))
        system.dynamicFolders().push_back(element);
}

// Reads solution files and converts their elements with explicit stacks, so
// that neither deep nesting nor long chains of imports cost call stack. An
// import opens the file it names in the middle of converting the importing
// file; that file is finished, and takes the import's place, before the
// importing file's conversion goes on.
class SolutionReader {
public:
    SolutionReader(ProjectSystem &system, ProjectFileNotFoundErrorHandler *fileNotFound,
                   ProjectLoadProgressInterface *progress)
        : m_system(system), m_fileNotFound(fileNotFound), m_progress(progress)
    {
    }
    ~SolutionReader()
    {
        // Steps close innermost first.
        while (!m_files.empty())
            m_files.pop_back();
    }
    SolutionReader(const SolutionReader &) = delete;
    SolutionReader &operator=(const SolutionReader &) = delete;

    std::unique_ptr<ProjectElement> readFile(const QString &baseDirectory, const QString &fileName,
                                             const QString &macros)
    {
        openFile(baseDirectory, fileName, macros, nullptr);
        run();
        return std::move(m_topSolution);
    }

    ProjectElement *convert(const QString &baseDirectory, ProjectElement *element)
    {
        m_baseDirectory = baseDirectory;
        ProjectElement *converted = begin(element);
        run();
        return m_lastImported ? m_lastImported : converted;
    }

private:
    // A solution file whose elements are being converted.
    struct OpenFile {
        QString absolute;
        QString directory;
        std::unique_ptr<ProgressStep> step;
        // Holds the root meanwhile, so that a root that is an import is
        // replaced like any other element.
        std::unique_ptr<ProjectElement> holder;
        ProjectElement *import;
        size_t elementBase;
    };
    // An element whose children are being converted.
    struct ElementFrame {
        ProjectElement *element;
        ProjectElement *next;
        int index;
        int count;
    };

    QString currentDirectory() const { return m_files.empty() ? m_baseDirectory : m_files.back().directory; }
    size_t elementBase() const { return m_files.empty() ? 0 : m_files.back().elementBase; }

    void run()
    {
        while (!m_files.empty() || !m_elements.empty()) {
            if (!m_files.empty() && m_elements.size() == m_files.back().elementBase) {
                ProjectElement *solution = finishFile();
                if (solution && m_elements.size() > elementBase())
                    childConverted(solution);
                continue;
            }
            ElementFrame &top = m_elements.back();
            if (!top.next) {
                ProjectElement *done = top.element;
                done->setModified(false);
                m_elements.pop_back();
                if (m_elements.size() > elementBase())
                    childConverted(done);
                continue;
            }
            ProjectElement *child = top.next;
            top.next = child->nextSiblingProjectElement();
            begin(child);
        }
    }

    // Converts an element's own attributes and opens it for its children; an
    // import opens the file it names instead.
    ProjectElement *begin(ProjectElement *element)
    {
        if (element->name() == "import") {
            openImport(element);
            return nullptr;
        }
        m_system.loadBudget().chargeElements();
        for (const XMLAttribute &attribute : element->attributes())
            element->setProperty(QString::fromLatin1(attribute.name), utf8(attribute.value));
        noteForLaterSteps(m_system, element);
        int count = 0;
        for (ProjectElement *child = element->firstChildProjectElement(); child;
             child = child->nextSiblingProjectElement())
            ++count;
        m_elements.push_back({element, element->firstChildProjectElement(), 0, count});
        return element;
    }

    // Configurations are indexed by display name; only the top-level file's
    // children report progress.
    void childConverted(ProjectElement *converted)
    {
        ElementFrame &parent = m_elements.back();
        if (converted->kind() == ProjectElementKind::Configuration)
            parent.element->indexConfiguration(displayName(m_system, converted), converted);
        ++parent.index;
        if (m_progress && m_progress->depth() == 1)
            m_progress->setProgress(parent.index, parent.count);
    }

    void openImport(ProjectElement *import)
    {
        const QString importing = m_files.empty() ? m_baseDirectory : m_files.back().absolute;
        m_system.loadBudget().chargeImport(importing);
        const QString macros = expandGlobalMacros(utf8(import->attribute("macros")));
        const QString fileName = expandGlobalMacros(utf8(import->attribute("file_name")));
        openFile(currentDirectory(), fileName, macros, import);
    }

    void openFile(const QString &baseDirectory, const QString &fileName, const QString &macros,
                  ProjectElement *import)
    {
        const QString name = locateSolutionFile(baseDirectory, fileName, m_fileNotFound);
        auto step = std::make_unique<ProgressStep>(
            m_progress, QStringLiteral("Loading solution ") + QFileInfo(name).completeBaseName(), 2);
        const QString absolute = absoluteSolutionName(baseDirectory, name);
        if (m_system.loadingFiles().contains(absolute, Qt::CaseSensitive))
            throw SolutionLoadError(absolute, QStringLiteral(" solution already loaded"));
        std::unique_ptr<ProjectElement> root = readSolutionDocument(m_system, name, absolute, macros);

        m_system.loadingFiles().append(absolute);
        const QString directory = QFileInfo(absolute).absolutePath();
        runLoadCommands(*root, directory, fileName, m_progress);
        const QString templatesFile = expandGlobalMacros(utf8(root->attribute("templates_file")));
        if (!templatesFile.isEmpty())
            m_system.setTemplatesPath(templatesFile);

        auto holder = std::make_unique<ProjectElement>("");
        ProjectElement *rootElement = root.get();
        holder->appendChild(std::move(root));
        m_files.push_back({absolute, directory, std::move(step), std::move(holder), import, m_elements.size()});
        begin(rootElement);
    }

    // The file's solution element gets its file and goes where its import
    // stood (the top-level one is kept as the result); null for the top file.
    ProjectElement *finishFile()
    {
        OpenFile &file = m_files.back();
        std::unique_ptr<XMLNode> detached = file.holder->removeChild(file.holder->firstChild());
        std::unique_ptr<ProjectElement> solution(static_cast<ProjectElement *>(detached.release()));
        solution->setFilePath(file.absolute);
        solution->setFileTime(QFileInfo(file.absolute).lastModified());
        m_system.loadingFiles().removeLast();
        upgradeVersion(m_system, solution.get());
        m_system.replacedImports().clear();
        applySolutionEnvironment(m_system, solution.get());
        ProjectElement *import = file.import;
        m_files.pop_back();
        if (!import) {
            m_topSolution = std::move(solution);
            return nullptr;
        }
        return replaceImport(import, std::move(solution));
    }

    // The loaded solution takes the import's place; the import element is
    // kept until the importing file is finished.
    ProjectElement *replaceImport(ProjectElement *import, std::unique_ptr<ProjectElement> loaded)
    {
        loaded->setProperty(QStringLiteral("file_name"), utf8(import->attribute("file_name")));
        loaded->setImported(true);
        loaded->setCanModify(import->attribute("can_modify_solution") != "No");
        ProjectElement *raw = loaded.get();
        if (XMLNode *parent = import->parent())
            m_system.replacedImports().push_back(parent->replaceChild(import, std::move(loaded)));
        raw->setModified(false);
        m_lastImported = raw;
        return raw;
    }

    ProjectSystem &m_system;
    ProjectFileNotFoundErrorHandler *m_fileNotFound;
    ProjectLoadProgressInterface *m_progress;
    QString m_baseDirectory;
    std::vector<OpenFile> m_files;
    std::vector<ElementFrame> m_elements;
    std::unique_ptr<ProjectElement> m_topSolution;
    ProjectElement *m_lastImported = nullptr;
};

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
    return SolutionReader(system, fileNotFound, progress).readFile(baseDirectory, fileName, macros);
}

ProjectElement *loadElement(ProjectSystem &system, const QString &baseDirectory,
                            ProjectElement *element,
                            ProjectFileNotFoundErrorHandler *fileNotFound,
                            ProjectLoadProgressInterface *progress)
{
    return SolutionReader(system, fileNotFound, progress).convert(baseDirectory, element);
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
