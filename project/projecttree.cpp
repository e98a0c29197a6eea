// Property resolution per configuration, project macros, paths and relative
// names, display names, folders, files and dynamic folders.
#include "project/projecttree.h"

#include "macros/propertyclass.h"
#include "project/solutionloaderror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPair>
#include <QRegExp>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace {

const QString kCommon = QStringLiteral("Common");
const QString kNoName = QStringLiteral("<NULL>");

QStringList splitList(const QString &text)
{
    return text.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

bool isAbsolute(const QString &path)
{
    return path.startsWith(QLatin1Char('/'));
}

QString joinPath(const QString &directory, const QString &path)
{
    if (isAbsolute(path) || directory.isEmpty())
        return QDir::cleanPath(path);
    return QDir::cleanPath(directory + QLatin1Char('/') + path);
}

// The nearest ancestor-or-self that is the solution element of a file.
const ProjectElement *ownFileOf(const ProjectElement *element)
{
    return element ? element->enclosingFileOwner() : nullptr;
}

// The directory that relative names in `element` are taken against: its
// project's, or outside any project its solution's.
QString baseDirectoryOf(const ProjectSystem &system, const ProjectElement *element)
{
    if (const ProjectElement *project = projectOf(element))
        return projectDirectory(system, project);
    return solutionDirectory(element);
}

// The first child of `parent` of that kind that `matches` accepts.
template <typename Matches>
ProjectElement *findChild(const ProjectElement *parent, ProjectElementKind kind, Matches matches)
{
    if (!parent)
        return nullptr;
    for (ProjectElement *child = parent->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement()) {
        if (child->kind() == kind && matches(*child))
            return child;
    }
    return nullptr;
}

} // namespace

// --- Property values --------------------------------------------------------

ProjectElement *findConfiguration(const ProjectElement *element, const QString &name)
{
    if (!element)
        return nullptr;
    return element->configurations().value(name, nullptr);
}

ProjectElement *createConfiguration(ProjectSystem &, ProjectElement *parent, const QString &name)
{
    auto configuration = std::make_unique<ProjectElement>("configuration");
    configuration->setProperty(QStringLiteral("Name"), name);
    ProjectElement *raw = configuration.get();
    parent->appendChild(std::move(configuration));
    parent->indexConfiguration(name, raw);
    parent->setModified(true);
    return raw;
}

void setConfigurationProperty(ProjectSystem &system, ProjectElement *element,
                              const QString &property, const QString &configuration,
                              const QString &value)
{
    ProjectElement *child = findConfiguration(element, configuration);
    if (!child)
        child = createConfiguration(system, element, configuration);
    child->setProperty(property, value);
}

bool getConfigurationProperty(const ProjectElement *element, const QString &configuration,
                              const QString &property, QString &accumulator,
                              PropertyTrace *trace)
{
    const ProjectElement *child = findConfiguration(element, configuration);
    if (!child || !child->hasProperty(property))
        return false;
    const QString value = child->property(property);
    if (trace)
        trace->push_back({value, child->property(QStringLiteral("Name")), element});
    if (accumulator.isEmpty())
        accumulator = value;
    else
        accumulator = value + QLatin1Char(';') + accumulator;
    return true;
}

QStringList inheritedConfigurations(const ProjectElement *element, const QString &configuration)
{
    for (const ProjectElement *solution = solutionOf(element); solution;
         solution = solutionOf(solution->parentElement())) {
        const ProjectElement *child = findConfiguration(solution, configuration);
        if (!child)
            continue;
        const QStringList list = splitList(child->property(QStringLiteral("inherited_configurations")));
        if (!list.isEmpty())
            return list;
    }
    return QStringList();
}

QString resolveProperty(const ProjectSystem &system, const ProjectElement *element,
                        const QString &property, const QString &configuration,
                        PropertyTrace *trace)
{
    const PropertyClass *entry = system.findPropertyClass(property);
    const bool list = isListProperty(entry);
    const QStringList inherited =
        configuration == kCommon ? QStringList() : inheritedConfigurations(element, configuration);

    QString accumulator;
    bool found = false;
    // Only elements with configuration children take part.
    auto configuredFrom = [](const ProjectElement *from) { return from ? from->enclosingConfigured() : nullptr; };
    for (const ProjectElement *e = configuredFrom(element); e; e = configuredFrom(e->parentElement())) {
        // A non-list hit ends the search with its value; list hits go in
        // front of the accumulator, so the nearest values come last.
        auto tryConfiguration = [&](const QString &name) {
            if (!getConfigurationProperty(e, name, property, accumulator, trace))
                return false;
            found = true;
            return !list;
        };
        if (tryConfiguration(configuration))
            return accumulator;
        if (configuration != kCommon) {
            for (const QString &name : inherited) {
                if (tryConfiguration(name))
                    return accumulator;
            }
            if (tryConfiguration(kCommon))
                return accumulator;
        }
    }
    if (found)
        return accumulator;
    const QString fallback = propertyDefault(entry);
    if (trace)
        trace->push_back({fallback, QString(), nullptr});
    return fallback;
}

// --- Paths and relative names -----------------------------------------------

ProjectElement *projectOf(const ProjectElement *element)
{
    return element ? element->enclosingProject() : nullptr;
}

ProjectElement *solutionOf(const ProjectElement *element)
{
    return element ? element->enclosingSolution() : nullptr;
}

QString solutionDirectory(const ProjectElement *element)
{
    const ProjectElement *owner = ownFileOf(element);
    return owner ? QFileInfo(owner->filePath()).absolutePath() : QString();
}

QString projectDirectory(const ProjectSystem &system, const ProjectElement *project)
{
    if (!project)
        return QString();
    QString cached;
    if (project->cachedValue(QStringLiteral("project_directory"), cached))
        return cached;
    const QString solutionDir = solutionDirectory(project);
    // Only the project's own "Common" counts: a directory inherited from the
    // solution would move every project at once.
    QString value;
    if (const ProjectElement *common = findConfiguration(project, kCommon))
        value = expandGlobalMacros(common->property(system.projectDirectoryPropertyName()));
    const QString directory = value.isEmpty() ? solutionDir : joinPath(solutionDir, value);
    project->cacheValue(QStringLiteral("project_directory"), directory);
    return directory;
}

QString relativeDirectoryPath(const QString &from, const QString &to)
{
    const QStringList base = from.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList target = to.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    int common = 0;
    while (common < base.size() && common < target.size() && base.at(common) == target.at(common))
        ++common;
    if (common == 0)
        return QString();
    QString result = QLatin1String("");
    for (int i = common; i < base.size(); ++i)
        result += QLatin1String("../");
    for (int i = common; i < target.size(); ++i)
        result += target.at(i) + QLatin1Char('/');
    if (result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

QString relativeFileName(const QString &filePath, const QString &baseDirectory)
{
    const QFileInfo file(filePath);
    QString directory;
    if (file.path() != QLatin1String(".")) {
        directory = relativeDirectoryPath(QFileInfo(baseDirectory).absoluteFilePath(),
                                          QFileInfo(file.path()).absoluteFilePath());
        if (directory.isNull())
            return QString();
    }
    return directory.isEmpty() ? file.fileName() : directory + QLatin1Char('/') + file.fileName();
}

bool fileNameHasMacros(const ProjectSystem &system, const ProjectElement *file)
{
    return file && file->property(system.filePathPropertyName()).contains(QLatin1Char(kMacroIntroducer));
}

// --- Project macros ------------------------------------------------------------

namespace {

// Whether the macros of an element's own path (Input..., RelInput...) are in the set.
enum class InputMacros { Included, Excluded };

MacroMap buildProjectMacros(const ProjectSystem &system, const ProjectElement *element,
                            const QString &configuration, InputMacros input);

// `text` expanded with `macros`, then the global overrides and globals.
QString expandWithGlobals(const QString &text, const MacroMap &macros)
{
    return globalPropertyClassList().expandMacros(text, macros, true, true);
}

// The set is built only for a text that holds a reference: it is the costly part.
QString expandWithProjectMacros(const ProjectSystem &system, const ProjectElement *element,
                                const QString &text, const QString &configuration,
                                InputMacros input)
{
    if (!text.contains(QLatin1Char(kMacroIntroducer)))
        return text;
    return expandWithGlobals(text, buildProjectMacros(system, element, configuration, input));
}

// The raw path of a file (its file name) or of a dynamic folder (its first
// directory); nothing for other elements.
std::optional<QString> rawPathOf(const ProjectSystem &system, const ProjectElement &element)
{
    if (element.kind() == ProjectElementKind::File)
        return element.property(system.filePathPropertyName());
    const QString dynamicFolder = system.dynamicFolderAttributeName();
    if (element.kind() == ProjectElementKind::Folder && element.hasProperty(dynamicFolder))
        return element.property(dynamicFolder).section(QLatin1Char(';'), 0, 0);
    return std::nullopt;
}

QString computeFilePath(const ProjectSystem &system, const ProjectElement *element,
                        const QString &configuration, QString *expandedName)
{
    if (element->hasOwnFile())
        return element->filePath();
    const std::optional<QString> raw = rawPathOf(system, *element);
    if (!raw)
        return QString();
    // The element's own Input macros come from this very path, so they are
    // left out of the set that expands it.
    const QString name =
        expandWithProjectMacros(system, element, *raw, configuration, InputMacros::Excluded);
    if (expandedName)
        *expandedName = name;
    return joinPath(baseDirectoryOf(system, element), name);
}

void addPathMacros(MacroMap &macros, const QString &prefix, const QString &path)
{
    const QFileInfo info(path);
    macros.insert(prefix + QLatin1String("Dir"), info.absolutePath());
    macros.insert(prefix + QLatin1String("Name"), info.completeBaseName());
    macros.insert(prefix + QLatin1String("FileName"), info.fileName());
    macros.insert(prefix + QLatin1String("Ext"), info.suffix());
    macros.insert(prefix + QLatin1String("Path"), path);
}

QString folderPath(const ProjectSystem &system, const ProjectElement *element)
{
    QStringList names;
    for (const ProjectElement *e = element->parentElement(); e; e = e->parentElement()) {
        if (e->kind() == ProjectElementKind::Folder)
            names.prepend(displayName(system, e));
    }
    return names.join(QLatin1Char('/'));
}

// The entries of the "macros" property, expanded with the global macros.
MacroMap listedMacros(const ProjectSystem &system, const ProjectElement *element,
                      const QString &configuration)
{
    const QString list = resolveProperty(system, element, QStringLiteral("macros"), configuration);
    return parseMacroList(expandGlobalMacros(list));
}

// ProjectNodeName, FolderName, FolderPath, and ProjectDir and ProjectName in a project.
void addPlaceMacros(MacroMap &macros, const ProjectSystem &system, const ProjectElement *element)
{
    macros.insert(QStringLiteral("ProjectNodeName"), displayName(system, element));
    const ProjectElement *parent = element->parentElement();
    if (parent && parent->kind() == ProjectElementKind::Folder)
        macros.insert(QStringLiteral("FolderName"), displayName(system, parent));
    macros.insert(QStringLiteral("FolderPath"), folderPath(system, element));
    if (const ProjectElement *project = projectOf(element)) {
        macros.insert(QStringLiteral("ProjectDir"), projectDirectory(system, project));
        macros.insert(QStringLiteral("ProjectName"), displayName(system, project));
    }
}

// Solution...: from the file of the solution that holds the element.
void addSolutionMacros(MacroMap &macros, const ProjectElement *element)
{
    const ProjectElement *owner = ownFileOf(solutionOf(element));
    if (owner && !owner->filePath().isEmpty())
        addPathMacros(macros, QStringLiteral("Solution"), owner->filePath());
}

// Input... and RelInput...: from the element's own path, for files and folders.
void addInputMacros(MacroMap &macros, const ProjectSystem &system, const ProjectElement *element,
                    const QString &configuration)
{
    if (element->kind() != ProjectElementKind::File && element->kind() != ProjectElementKind::Folder)
        return;
    const QString path = elementFilePath(system, element, configuration);
    if (path.isEmpty())
        return;
    addPathMacros(macros, QStringLiteral("Input"), path);
    const QString relative = relativeFileName(path, baseDirectoryOf(system, element));
    const QString relativePath = relative.isNull() ? path : relative;
    macros.insert(QStringLiteral("RelInputPath"), relativePath);
    macros.insert(QStringLiteral("RelInputDir"), QFileInfo(relativePath).path());
}

void addToolchainMacros(MacroMap &macros, const ProjectSystem &system, const QString &configuration)
{
    macros.insert(QStringLiteral("Configuration"), configuration);
    macros.insert(QStringLiteral("OBJ"), system.objectFileExtension());
    macros.insert(QStringLiteral("EXE"), system.executableFileExtension());
    macros.insert(QStringLiteral("LIB"), system.libraryFileExtension());
    macros.insert(QStringLiteral("PackageExt"), QStringLiteral("lxPackage"));
}

// The build directories, each expanded with the set built so far, and the
// path from the output directory to the root output directory.
void addDirectoryMacros(MacroMap &macros, const ProjectSystem &system,
                        const ProjectElement *element, const QString &configuration)
{
    static const struct {
        const char *macro;
        const char *property;
        bool dotWhenEmpty;
    } kDirectories[] = {
        {"IntDir", "build_intermediate_directory", true},
        {"RootOutDir", "build_root_output_directory", false},
        {"OutDir", "build_output_directory", true},
        {"ToolChainDir", "build_toolchain_directory", false},
    };
    for (const auto &d : kDirectories) {
        QString value = resolveProperty(system, element, QLatin1String(d.property), configuration);
        value = expandWithGlobals(value, macros);
        if (value.isEmpty() && d.dotWhenEmpty)
            value = QStringLiteral(".");
        macros.insert(QLatin1String(d.macro), value);
    }
    const QString outDir = macros.value(QStringLiteral("OutDir"));
    const QString rootOutDir = macros.value(QStringLiteral("RootOutDir"));
    if (outDir.isEmpty() || rootOutDir.isEmpty())
        return;
    const QString base = element ? baseDirectoryOf(system, element) : QDir::currentPath();
    const QString relative = relativeDirectoryPath(joinPath(base, outDir), joinPath(base, rootOutDir));
    if (!relative.isNull())
        macros.insert(QStringLiteral("RootRelativeOutDir"), relative);
}

// The set in its order, a later entry replacing an earlier one of its name.
MacroMap buildProjectMacros(const ProjectSystem &system, const ProjectElement *element,
                            const QString &configuration, InputMacros input)
{
    MacroMap macros;
    if (element) {
        macros = listedMacros(system, element, configuration);
        addPlaceMacros(macros, system, element);
        addSolutionMacros(macros, element);
        if (input == InputMacros::Included)
            addInputMacros(macros, system, element, configuration);
    }
    addToolchainMacros(macros, system, configuration);
    addDirectoryMacros(macros, system, element, configuration);
    return macros;
}

} // namespace

MacroMap projectMacros(const ProjectSystem &system, const ProjectElement *element,
                       const QString &configuration)
{
    return buildProjectMacros(system, element, configuration, InputMacros::Included);
}

QString expandProjectMacros(const ProjectSystem &system, const ProjectElement *element,
                            const QString &text, const QString &configuration)
{
    return expandWithProjectMacros(system, element, text, configuration, InputMacros::Included);
}

QString elementFilePath(const ProjectSystem &system, const ProjectElement *element,
                        const QString &configuration)
{
    if (!element)
        return QString();
    if (element->hasOwnFile())
        return element->filePath();
    const QString key = QStringLiteral("path\n") + configuration;
    QString cached;
    if (element->cachedValue(key, cached))
        return cached;
    QString name;
    const QString path = computeFilePath(system, element, configuration, &name);
    element->cacheValue(key, path);
    element->cacheValue(QStringLiteral("name\n") + configuration, name);
    return path;
}

QString expandedFileName(const ProjectSystem &system, const ProjectElement *file,
                         const QString &configuration)
{
    if (!file)
        return QString();
    QString cached;
    if (file->cachedValue(QStringLiteral("name\n") + configuration, cached))
        return cached;
    QString name;
    computeFilePath(system, file, configuration, &name);
    return name;
}

// --- Names, flags and projects ----------------------------------------------

QString displayName(const ProjectSystem &system, const ProjectElement *element)
{
    if (!element)
        return kNoName;
    const QString name = element->property(QStringLiteral("Name"));
    if (!name.isEmpty())
        return name;
    const QString fileProperty = system.filePathPropertyName();
    if (!element->hasProperty(fileProperty))
        return kNoName;
    if (fileNameHasMacros(system, element))
        return element->property(fileProperty).section(QLatin1Char('/'), -1);
    const QString path = elementFilePath(system, element, kCommon);
    const ProjectElement *project = projectOf(element);
    const QString base =
        project ? projectDirectory(system, project) : solutionDirectory(element->parentElement());
    const QString relative = relativeFileName(path, base);
    return relative.isNull() ? path : relative;
}

void markUnmodified(ProjectElement *element, bool recursive)
{
    if (!element)
        return;
    // An explicit stack: a deep tree costs heap, not call stack.
    std::vector<ProjectElement *> pending{element};
    while (!pending.empty()) {
        ProjectElement *current = pending.back();
        pending.pop_back();
        current->setModified(false);
        for (ProjectElement *child = current->firstChildProjectElement(); child;
             child = child->nextSiblingProjectElement()) {
            if (recursive || child->kind() != ProjectElementKind::Solution)
                pending.push_back(child);
        }
    }
}

std::vector<ProjectElement *> projectsOf(const ProjectElement *solution)
{
    std::vector<ProjectElement *> projects;
    // Each nested solution's children in turn, where it stands among its siblings.
    std::vector<ProjectElement *> pending;
    for (ProjectElement *child = solution->firstChildProjectElement(); child;) {
        if (child->kind() == ProjectElementKind::Project)
            projects.push_back(child);
        ProjectElement *next = child->nextSiblingProjectElement();
        if (child->kind() == ProjectElementKind::Solution && child->firstChildProjectElement()) {
            if (next)
                pending.push_back(next);
            next = child->firstChildProjectElement();
        }
        if (!next && !pending.empty()) {
            next = pending.back();
            pending.pop_back();
        }
        child = next;
    }
    return projects;
}

// --- Folders and files --------------------------------------------------------

ProjectElement *findFolder(const ProjectSystem &system, const ProjectElement *parent,
                           const QString &name)
{
    if (!parent)
        return nullptr;
    for (ProjectElement *folder : parent->childFolders()) {
        if (displayName(system, folder) == name)
            return folder;
    }
    return nullptr;
}

ProjectElement *findFile(const ProjectSystem &system, const ProjectElement *parent,
                         const QString &fileName)
{
    return findChild(parent, ProjectElementKind::File, [&](const ProjectElement &file) {
        return file.property(system.filePathPropertyName()) == fileName;
    });
}

ProjectElement *appendFolder(ProjectSystem &system, ProjectElement *parent, const QString &name,
                             const QString &filter)
{
    auto folder = std::make_unique<ProjectElement>("folder");
    folder->setProperty(QStringLiteral("Name"), name);
    ProjectElement *raw = folder.get();
    parent->appendChild(std::move(folder));
    parent->setModified(true);
    if (!filter.isEmpty())
        setConfigurationProperty(system, raw, system.folderFilterPropertyName(), kCommon, filter);
    return raw;
}

ProjectElement *addFolder(ProjectSystem &system, ProjectElement *parent, const QString &name,
                          const QString &filter)
{
    if (ProjectElement *existing = findFolder(system, parent, name))
        return existing;
    return appendFolder(system, parent, name, filter);
}

namespace {

// The first child folder of `target` whose filter lists `suffix`, or `target`.
ProjectElement *folderForSuffix(const ProjectSystem &system, ProjectElement *target,
                                const QString &suffix)
{
    if (suffix.isEmpty())
        return target;
    static const QRegExp separators(QStringLiteral("[,;]"));
    const QString filterName = system.folderFilterPropertyName();
    for (ProjectElement *child : target->childFolders()) {
        const QString filter = child->hasProperty(filterName)
            ? child->property(filterName)
            : resolveProperty(system, child, filterName, kCommon);
        if (filter.split(separators, Qt::SkipEmptyParts).contains(suffix))
            return child;
    }
    return target;
}

} // namespace

ProjectElement *addFile(ProjectSystem &system, ProjectElement *target, const QString &fileName)
{
    auto file = std::make_unique<ProjectElement>("file");
    file->setProperty(system.filePathPropertyName(), fileName);
    const QString baseName = QFileInfo(fileName).fileName();
    const int dot = baseName.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot < 0 ? QString() : baseName.mid(dot + 1).toLower();
    ProjectElement *destination = folderForSuffix(system, target, suffix);
    ProjectElement *raw = file.get();
    destination->appendChild(std::move(file));
    destination->setModified(true);
    return raw;
}

// --- Dynamic folders ------------------------------------------------------------

namespace {

/// Drops the load lists' pointers into `subtree` before it is deleted.
void forgetSubtree(ProjectSystem &system, const XMLNode *subtree)
{
    auto inside = [subtree](const ProjectElement *element) {
        for (const XMLNode *n = element; n; n = n->parent()) {
            if (n == subtree)
                return true;
        }
        return false;
    };
    auto &templated = system.templatedProjects();
    templated.erase(std::remove_if(templated.begin(), templated.end(), inside), templated.end());
    auto &folders = system.dynamicFolders();
    folders.erase(std::remove_if(folders.begin(), folders.end(), inside), folders.end());
}

} // namespace

void setDynamicFolder(ProjectSystem &system, ProjectElement *folder, const QString &path,
                      const QString &filter, bool recurse, const QString &exclude)
{
    folder->setProperty(system.dynamicFolderAttributeName(), path);
    folder->setProperty(system.dynamicFolderFilterPropertyName(), filter);
    folder->setProperty(system.dynamicFolderRecursePropertyName(),
                        recurse ? QStringLiteral("Yes") : QStringLiteral("No"));
    folder->setProperty(system.dynamicFolderExcludePropertyName(), exclude);
    // A dynamic folder's content is regenerated from the disk every time.
    XMLNode *child = folder->firstChild();
    while (child) {
        XMLNode *next = child->nextSibling();
        const ProjectElement *element = asProjectElement(child);
        if (!element || element->kind() != ProjectElementKind::Configuration) {
            forgetSubtree(system, child);
            folder->removeChild(child);
        }
        child = next;
    }
    auto &folders = system.dynamicFolders();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(folder);
}

namespace {

QVector<QRegExp> wildcards(const QString &list)
{
    QVector<QRegExp> patterns;
    for (const QString &pattern : splitList(list))
        patterns.append(QRegExp(pattern, Qt::CaseSensitive, QRegExp::Wildcard));
    return patterns;
}

bool matchesAny(const QVector<QRegExp> &patterns, const QString &name)
{
    for (const QRegExp &pattern : patterns) {
        if (pattern.exactMatch(name))
            return true;
    }
    return false;
}

struct ScanRules {
    QVector<QRegExp> filters;
    QVector<QRegExp> exclusions;
    bool recurse;
};

// One directory being scanned into its folder: its files are added when it
// is opened, its subdirectories are then scanned one after another.
struct ScanFrame {
    QString directory;
    ProjectElement *folder;
    QPair<quint64, quint64> id;
    QFileInfoList entries;
    int nextEntry;
    // The folder's child folders by display name, the first of each name:
    // nothing but this scan adds folders to it meanwhile.
    QHash<QString, ProjectElement *> subfolders;
};

// Scans a directory tree into a folder with an explicit stack: files first,
// then (when recursing) each directory into a subfolder of its name. A
// directory that is one the scan is inside (a link back up) is passed over;
// directories are told apart by device and inode, which costs no path
// resolution however deep they lie.
class DirectoryScan {
public:
    DirectoryScan(ProjectSystem &system, const ScanRules &rules) : m_system(system), m_rules(rules) {}

    void run(const QString &directory, ProjectElement *folder)
    {
        open(directory, folder);
        while (!m_frames.empty()) {
            ScanFrame &frame = m_frames.back();
            if (frame.nextEntry == frame.entries.size()) {
                m_inside.remove(frame.id);
                m_frames.pop_back();
                continue;
            }
            const QFileInfo &entry = frame.entries.at(frame.nextEntry++);
            const QString name = entry.fileName();
            if (!entry.isDir() || matchesAny(m_rules.exclusions, name))
                continue;
            const QString path = frame.directory + QLatin1Char('/') + name;
            open(path, subfolder(frame, name));
        }
    }

private:
    void open(const QString &directory, ProjectElement *folder)
    {
        struct stat info;
        if (::stat(QFile::encodeName(directory).constData(), &info) != 0)
            return;
        const QPair<quint64, quint64> id(quint64(info.st_dev), quint64(info.st_ino));
        if (m_inside.contains(id))
            return;
        QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
        if (m_rules.recurse)
            filters |= QDir::Dirs;
        ScanFrame frame{directory, folder, id, QDir(directory).entryInfoList(filters, QDir::Name | QDir::IgnoreCase),
                        0, {}};
        m_system.loadInputs().directories.append(directory);
        countRepeatedEntries(id, frame.entries.size(), directory);
        for (const QFileInfo &entry : frame.entries) {
            const QString name = entry.fileName();
            if (!entry.isDir() && !matchesAny(m_rules.exclusions, name) && matchesAny(m_rules.filters, name)) {
                m_system.loadBudget().chargeElements();
                addFile(m_system, folder, directory + QLatin1Char('/') + name);
            }
        }
        if (!m_rules.recurse)
            return;
        for (ProjectElement *child : folder->childFolders()) {
            const QString name = displayName(m_system, child);
            if (!frame.subfolders.contains(name))
                frame.subfolders.insert(name, child);
        }
        m_inside.insert(id);
        m_frames.push_back(std::move(frame));
    }

    // Entries of a directory listed before count against the limit.
    void countRepeatedEntries(const QPair<quint64, quint64> &id, int entries, const QString &directory)
    {
        if (!m_listed.contains(id)) {
            m_listed.insert(id);
            return;
        }
        m_repeatedEntries += quint64(entries);
        const quint64 limit = m_system.loadLimits().repeatedEntries;
        if (m_repeatedEntries > limit)
            throw SolutionLoadError(directory, QStringLiteral("directory scan limit of %1 repeated entries exceeded in ")
                                                   .arg(limit)
                                               + directory);
    }

    ProjectElement *subfolder(ScanFrame &frame, const QString &name)
    {
        const auto found = frame.subfolders.constFind(name);
        if (found != frame.subfolders.constEnd())
            return found.value();
        m_system.loadBudget().chargeElements();
        ProjectElement *folder = appendFolder(m_system, frame.folder, name, QString());
        frame.subfolders.insert(name, folder);
        return folder;
    }

    ProjectSystem &m_system;
    const ScanRules &m_rules;
    std::vector<ScanFrame> m_frames;
    // The directories from the scan's start down to the one being listed.
    QSet<QPair<quint64, quint64>> m_inside;
    // Every directory the scan has listed.
    QSet<QPair<quint64, quint64>> m_listed;
    quint64 m_repeatedEntries = 0;
};

} // namespace

void populateDynamicFolder(ProjectSystem &system, ProjectElement *folder)
{
    const QString base = baseDirectoryOf(system, folder);
    ScanRules rules;
    rules.filters = wildcards(folder->property(system.dynamicFolderFilterPropertyName()));
    rules.exclusions = wildcards(folder->property(system.dynamicFolderExcludePropertyName()));
    rules.recurse = folder->property(system.dynamicFolderRecursePropertyName()) == QLatin1String("Yes");

    const QStringList directories =
        folder->property(system.dynamicFolderAttributeName()).split(QLatin1Char(';'));
    for (const QString &entry : directories) {
        if (entry.isEmpty())
            continue;
        const QString directory = joinPath(base, expandProjectMacros(system, folder, entry, kCommon));
        if (!QFileInfo(directory).isDir())
            continue;
        DirectoryScan(system, rules).run(directory, folder);
    }
}
