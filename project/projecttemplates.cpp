// Project template files, their indexes and the merge of a template into a project.
#include "project/projecttemplates.h"

#include "macros/propertyclass.h"
#include "project/projecttree.h"
#include "project/solutionloaderror.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>

ProjectTemplateFile::ProjectTemplateFile() = default;
ProjectTemplateFile::~ProjectTemplateFile() = default;

void ProjectTemplateFile::reportError(const QString &) {}

void ProjectTemplateNodeList::add(const QString &name, XMLElement *element)
{
    // The latest addition of a name replaces the earlier ones.
    m_nodes.insert(name, element);
}

XMLElement *ProjectTemplateNodeList::find(const QString &name) const
{
    return m_nodes.value(name, nullptr);
}

namespace {

QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

/// Names as the system holds them, ordered by those bytes.
void sortByBytes(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return QFile::encodeName(a) < QFile::encodeName(b);
    });
}

/// One pattern's expansion: the file names in the order asked for, and the
/// directories listed on the way.
struct PatternExpansion {
    TemplateFileOrder order;
    QStringList *listedDirectories;
    QStringList fileNames;

    void expandFrom(const QStringList &parts, int start, QStringList resolved)
    {
        int wild = start;
        while (wild < parts.size() && !parts.at(wild).contains(QLatin1Char('*')))
            ++wild;
        for (int i = start; i < wild; ++i)
            resolved.append(parts.at(i));
        if (wild == parts.size()) {
            fileNames.append(resolved.join(QLatin1Char('/')));
            return;
        }
        QString directory = resolved.join(QLatin1Char('/'));
        if (resolved.isEmpty())
            directory = QStringLiteral(".");
        else if (directory.isEmpty())
            directory = QStringLiteral("/");
        const bool last = wild + 1 == parts.size();
        QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot | QDir::CaseSensitive;
        if (last)
            filters |= QDir::Files;
        QStringList matches = QDir(directory).entryList(QStringList(parts.at(wild)), filters, QDir::Unsorted);
        if (listedDirectories)
            listedDirectories->append(directory);
        if (order == TemplateFileOrder::Bytes)
            sortByBytes(matches);
        for (const QString &match : matches) {
            QStringList next = resolved;
            next.append(match);
            expandFrom(parts, wild + 1, next);
        }
    }
};

} // namespace

QStringList expandPathPattern(const QString &pattern, TemplateFileOrder order, QStringList *listedDirectories)
{
    PatternExpansion expansion{order, listedDirectories, QStringList()};
    expansion.expandFrom(pattern.split(QLatin1Char('/')), 0, QStringList());
    return expansion.fileNames;
}

ProjectTemplates::ProjectTemplates(const QString &paths, TemplateFileOrder order, LoadInputs *inputs,
                                   quint64 expansionNodes)
{
    QStringList fileNames;
    QStringList *listedDirectories = inputs ? &inputs->directories : nullptr;
    for (const QString &part : paths.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fileNames += expandPathPattern(part, order, listedDirectories);
    for (const QString &fileName : fileNames) {
        auto file = std::make_unique<ProjectTemplateFile>();
        file->setExpansionLimit(expansionNodes);
        // A file that cannot be read, or is no regular file, has no root and
        // adds nothing; one that passes a limit is not a missing file.
        const bool loaded = file->loadPreprocessed(fileName, QString(), false);
        if (inputs)
            inputs->files += file->readFiles();
        if (!loaded && file->exceededLimit())
            throw SolutionLoadError(fileName, QString::fromUtf8(file->errorMessage()),
                                    static_cast<int>(file->errorLine()));
        m_files.push_back(std::move(file));
    }
    for (const auto &file : m_files) {
        if (file->root())
            index(file->root());
    }
}

ProjectTemplates::~ProjectTemplates() = default;

// Project templates are indexed as the walk reaches them, each child of a
// "configurations" element once its own subtree is indexed. An explicit
// stack keeps a deep file off the call stack.
void ProjectTemplates::index(XMLElement *root)
{
    std::vector<std::pair<XMLElement *, XMLElement *>> pending; // an element and its next child
    auto enter = [&](XMLElement *element) {
        if (element->name() == "project")
            m_projects.add(latin1(element->attribute("template_name")), element);
        pending.emplace_back(element, element->firstChildElement());
    };
    enter(root);
    while (!pending.empty()) {
        XMLElement *next = pending.back().second;
        if (next) {
            pending.back().second = next->nextSiblingElement();
            enter(next);
            continue;
        }
        XMLElement *done = pending.back().first;
        pending.pop_back();
        if (!pending.empty() && pending.back().first->name() == "configurations")
            m_configurations.add(latin1(done->attribute("name")), done);
    }
}

XMLElement *ProjectTemplates::findProjectTemplate(const QString &templateName) const
{
    return m_projects.find(templateName);
}

XMLElement *ProjectTemplates::findConfigurationTemplate(const QString &configurationName) const
{
    return m_configurations.find(configurationName);
}

namespace {

const QString kCommon = QStringLiteral("Common");
const QString kConfigurationMacro = QStringLiteral("$(Configuration)");

struct Merge {
    ProjectSystem &system;
    const ProjectTemplates &templates;
    ProjectElement *solution;
    ProjectElement *project;
    QStringList configurations;
    /// The configuration templates applied in this expansion: applying one
    /// again would change nothing, so each is applied once.
    QSet<QString> appliedConfigurations;
};

bool sameIgnoringCase(const QByteArray &value, const char *word)
{
    return latin1(value).compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

/// The configuration names an element is applied for: each template
/// configuration, or once with none.
QStringList passes(const Merge &merge)
{
    return merge.configurations.isEmpty() ? QStringList(QString()) : merge.configurations;
}

QString substitute(const QString &text, const QString &configuration)
{
    if (configuration.isNull())
        return text;
    QString result = text;
    return result.replace(kConfigurationMacro, configuration);
}

// One configuration template being applied: its children in turn, and the
// templates that an "inherited_configurations" child names in between.
struct Application {
    const XMLElement *next;
    ProjectElement *configuration;
    QString name;
    QStringList inherited;
    int nextInherited;
};

// Opens the application of `configurationTemplate` unless this expansion
// has applied it already.
void beginApplication(Merge &merge, const QString &name, const XMLElement *configurationTemplate,
                      std::vector<Application> &pending)
{
    if (merge.appliedConfigurations.contains(name))
        return;
    merge.appliedConfigurations.insert(name);
    ProjectElement *configuration = findConfiguration(merge.solution, name);
    if (!configuration)
        configuration = createConfiguration(merge.system, merge.solution, name);
    pending.push_back({configurationTemplate->firstChildElement(), configuration, name, QStringList(), 0});
}

void applyTemplateValue(Merge &merge, Application &application, const XMLElement *child)
{
    const QString property = latin1(child->attribute("name"));
    const QString value = latin1(child->attribute("value"));
    if (property.isEmpty() || value.isEmpty())
        return;
    ProjectElement *configuration = application.configuration;
    if (property == QLatin1String("inherited_configurations")) {
        configuration->setProperty(property, value);
        application.inherited = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        application.nextInherited = 0;
    } else if (!configuration->hasProperty(property)) {
        configuration->setProperty(property, value);
    } else if (configuration->property(property) != value) {
        // The solution already has another value: this project differs.
        setConfigurationProperty(merge.system, merge.project, property, application.name, value);
    }
}

// An explicit stack of applications, so a long chain of inheriting templates
// costs no call stack.
bool applyConfigurationTemplate(Merge &merge, const QString &name)
{
    const XMLElement *configurationTemplate = merge.templates.findConfigurationTemplate(name);
    if (!configurationTemplate)
        return false;
    std::vector<Application> pending;
    beginApplication(merge, name, configurationTemplate, pending);
    while (!pending.empty()) {
        Application &top = pending.back();
        if (top.nextInherited < top.inherited.size()) {
            const QString inherited = top.inherited.at(top.nextInherited++);
            if (const XMLElement *found = merge.templates.findConfigurationTemplate(inherited))
                beginApplication(merge, inherited, found, pending);
            continue;
        }
        const XMLElement *child = top.next;
        if (!child) {
            pending.pop_back();
            continue;
        }
        top.next = child->nextSiblingElement();
        merge.system.loadBudget().chargeElements();
        applyTemplateValue(merge, top, child);
    }
    return true;
}

// One template element whose children are being merged into a target. The
// target's file and folder children are looked up by name: nothing but this
// frame adds such children to its target meanwhile.
struct MergeFrame {
    ProjectElement *target;
    const XMLElement *next;
    bool childrenIndexed;
    QHash<QString, ProjectElement *> files;
    QHash<QString, ProjectElement *> folders;
};

// The first file and folder of each name among the frame target's children.
void indexChildren(const ProjectSystem &system, MergeFrame &frame)
{
    if (frame.childrenIndexed)
        return;
    frame.childrenIndexed = true;
    const QString fileProperty = system.filePathPropertyName();
    for (ProjectElement *child = frame.target->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement()) {
        if (child->kind() == ProjectElementKind::File && !frame.files.contains(child->property(fileProperty)))
            frame.files.insert(child->property(fileProperty), child);
    }
    for (ProjectElement *folder : frame.target->childFolders()) {
        const QString name = displayName(system, folder);
        if (!frame.folders.contains(name))
            frame.folders.insert(name, folder);
    }
}

// The folder a template "folder" element merges into, found or created;
// null when there is none and the element only chooses among existing ones.
ProjectElement *mergeFolder(Merge &merge, MergeFrame &frame, const XMLElement *element)
{
    ProjectSystem &system = merge.system;
    indexChildren(system, frame);
    const QString name = latin1(element->attribute("name"));
    const QString filter = latin1(element->attribute("filter"));
    ProjectElement *folder = frame.folders.value(name, nullptr);
    if (folder) {
        const QString filterName = system.folderFilterPropertyName();
        QString existing;
        if (element->hasAttribute("filter") && !folder->hasProperty(filterName)
            && !getConfigurationProperty(folder, kCommon, filterName, existing))
            setConfigurationProperty(system, folder, filterName, kCommon, filter);
        return folder;
    }
    if (element->hasAttribute("path")) {
        if (element->hasAttribute("choose"))
            return nullptr;
        folder = appendFolder(system, frame.target, name, QString());
        setDynamicFolder(system, folder, latin1(element->attribute("path")), filter,
                         element->attribute("recurse") == "Yes", latin1(element->attribute("exclude")));
    } else {
        folder = appendFolder(system, frame.target, name, filter);
    }
    frame.folders.insert(name, folder);
    return folder;
}

// The file a template "file" element merges into, found or created; null
// for a file made from a "source".
ProjectElement *mergeFile(Merge &merge, MergeFrame &frame, const XMLElement *element)
{
    if (element->hasAttribute("source"))
        return nullptr;
    indexChildren(merge.system, frame);
    QString fileName = latin1(element->attribute("name"));
    if (!sameIgnoringCase(element->attribute("expand"), "no"))
        fileName = expandProjectMacros(merge.system, frame.target, fileName, kCommon);
    if (ProjectElement *file = frame.files.value(fileName, nullptr))
        return file;
    ProjectElement *file = addFile(merge.system, frame.target, fileName);
    // A file that its suffix puts into a child folder is not the target's own.
    if (file->parentElement() == frame.target)
        frame.files.insert(fileName, file);
    return file;
}

void mergeProperty(Merge &merge, ProjectElement *target, const XMLElement *element,
                   ProjectElement *subject, bool requireValue)
{
    if (!element->hasAttribute("name") || (requireValue && !element->hasAttribute("value")))
        return;
    const QString name = latin1(element->attribute("name"));
    const QString rawValue = latin1(element->attribute("value"));
    const QString configurationPattern = latin1(element->attribute("configuration"));
    const bool expand = sameIgnoringCase(element->attribute("expand"), "yes");
    for (const QString &pass : passes(merge)) {
        QString configuration = substitute(configurationPattern, pass);
        if (configuration.isEmpty())
            configuration = kCommon;
        QString existing;
        if (getConfigurationProperty(subject, configuration, name, existing))
            continue;
        const QString value =
            expand ? expandProjectMacros(merge.system, target, rawValue, kCommon) : rawValue;
        setConfigurationProperty(merge.system, subject, name, configuration, value);
    }
}

void mergeConfiguration(Merge &merge, const XMLElement *element)
{
    const QString namePattern = latin1(element->attribute("name"));
    const bool hasInherited = element->hasAttribute("inherited_configurations");
    const QString inheritedPattern = latin1(element->attribute("inherited_configurations"));
    for (const QString &pass : passes(merge)) {
        const QString name = substitute(namePattern, pass);
        if (applyConfigurationTemplate(merge, name))
            continue;
        if (hasInherited) {
            ProjectElement *configuration = findConfiguration(merge.solution, name);
            if (!configuration)
                configuration = createConfiguration(merge.system, merge.solution, name);
            const QString inherited = substitute(inheritedPattern, pass);
            configuration->setProperty(QStringLiteral("inherited_configurations"), inherited);
            for (const QString &entry : inherited.split(QLatin1Char(';'), Qt::SkipEmptyParts))
                applyConfigurationTemplate(merge, entry);
        } else if (!merge.configurations.isEmpty()) {
            createConfiguration(merge.system, merge.solution, name);
        }
    }
}

// One template child merged into the frame's target; a folder or file to
// merge further into comes back.
ProjectElement *mergeElement(Merge &merge, MergeFrame &frame, const XMLElement *child)
{
    ProjectElement *target = frame.target;
    const QByteArray tag = child->name();
    if (tag == "folder")
        return mergeFolder(merge, frame, child);
    if (tag == "file")
        return mergeFile(merge, frame, child);
    if (tag == "property")
        mergeProperty(merge, target, child, target, true);
    else if (tag == "solutionproperty")
        mergeProperty(merge, target, child, merge.solution, true);
    else if (tag == "propertygroup")
        // A group value stands for the property of the group's name.
        mergeProperty(merge, target, child, target, false);
    else if (tag == "configuration")
        mergeConfiguration(merge, child);
    // "import" and anything else: nothing to merge into the tree.
    return nullptr;
}

// The template's children in document order, each folder's and file's own
// children before its next sibling; an explicit stack keeps a deep template
// off the call stack.
void mergeChildren(Merge &merge, ProjectElement *target, const XMLElement *templateElement)
{
    std::vector<MergeFrame> pending;
    pending.push_back({target, templateElement->firstChildElement(), false, {}, {}});
    while (!pending.empty()) {
        const XMLElement *child = pending.back().next;
        if (!child) {
            pending.pop_back();
            continue;
        }
        pending.back().next = child->nextSiblingElement();
        merge.system.loadBudget().chargeElements();
        if (ProjectElement *into = mergeElement(merge, pending.back(), child))
            pending.push_back({into, child->firstChildElement(), false, {}, {}});
    }
}

} // namespace

void expandTemplatedProject(ProjectSystem &system, const ProjectTemplates &templates,
                            ProjectElement *solution, ProjectElement *project,
                            const XMLElement *templateElement, const QStringList &configurations)
{
    Merge merge{system, templates, solution, project, configurations, QSet<QString>()};
    setConfigurationProperty(system, project, system.projectTypePropertyName(), kCommon,
                             latin1(templateElement->attribute("type")));
    mergeChildren(merge, project, templateElement);
}

namespace {

// The template that a templated project names, asking the handler when it
// names none; the project system is unloaded before a missing one is reported.
const XMLElement *templateFor(ProjectSystem &system, const ProjectTemplates &templates,
                              const QString &projectName, QString templateName,
                              TemplateNotFoundErrorHandler *templateNotFound)
{
    if (templateName.isEmpty()
        && (!templateNotFound || !templateNotFound->chooseTemplate(system, projectName, templateName))) {
        system.close();
        throw SolutionLoadError(QStringLiteral("no template for project "), projectName);
    }
    const XMLElement *templateElement = templates.findProjectTemplate(templateName);
    if (!templateElement) {
        system.close();
        throw SolutionLoadError(templateName, QStringLiteral("project template not found"));
    }
    return templateElement;
}

// One templated project: its template attributes go, its template comes in.
void expandOneProject(ProjectSystem &system, const ProjectTemplates &templates, ProjectElement *project,
                      ProjectLoadProgressInterface *progress, TemplateNotFoundErrorHandler *templateNotFound)
{
    const QString name = project->property(QStringLiteral("Name"));
    const QString templateName = project->property(QStringLiteral("template_name"));
    const QString configurationList = project->property(QStringLiteral("template_configurations"));
    ProgressStep step(progress, QStringLiteral("Expanding project ") + name, 0);
    project->removeProperty(QStringLiteral("template_name"));
    project->removeProperty(QStringLiteral("template_configurations"));
    const XMLElement *templateElement = templateFor(system, templates, name, templateName, templateNotFound);
    ProjectElement *solution = solutionOf(project->parentElement());
    if (!solution)
        solution = system.rootElement();
    expandTemplatedProject(system, templates, solution, project, templateElement,
                           configurationList.split(QLatin1Char(';'), Qt::SkipEmptyParts));
}

} // namespace

void expandTemplatedProjects(ProjectSystem &system, ProjectLoadProgressInterface *progress,
                             TemplateNotFoundErrorHandler *templateNotFound)
{
    ProgressStep step(progress, QStringLiteral("Expanding templated projects"), 0);
    ProjectTemplates templates(expandGlobalMacros(system.templatesPath()), system.templateFileOrder(),
                               &system.loadInputs(), system.loadLimits().expansionNodes);
    // Expansion may create elements, but never templated projects.
    const std::vector<ProjectElement *> projects = system.templatedProjects();
    const int count = static_cast<int>(projects.size());
    for (int i = 0; i < count; ++i) {
        if (progress)
            progress->setProgress(i + 1, count);
        expandOneProject(system, templates, projects[static_cast<std::size_t>(i)], progress,
                         templateNotFound);
    }
    markUnmodified(system.rootElement(), true);
    system.dropFileTimeCache();
}
