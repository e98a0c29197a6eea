// Project template files, their indexes and the merge of a template into a project.
#include "project/projecttemplates.h"

#include "macros/propertyclass.h"
#include "project/projecttree.h"
#include "project/solutionloaderror.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>

ProjectTemplateFile::ProjectTemplateFile() = default;
ProjectTemplateFile::~ProjectTemplateFile() = default;

void ProjectTemplateFile::reportError(const QString &) {}

std::vector<std::pair<QString, XMLElement *>>::const_iterator
ProjectTemplateNodeList::firstNotBefore(const QString &name) const
{
    return std::lower_bound(m_nodes.begin(), m_nodes.end(), name,
                            [](const std::pair<QString, XMLElement *> &node, const QString &key) {
                                return node.first < key;
                            });
}

void ProjectTemplateNodeList::add(const QString &name, XMLElement *element)
{
    // In front of equal names: the latest addition is found first.
    m_nodes.insert(firstNotBefore(name), {name, element});
}

XMLElement *ProjectTemplateNodeList::find(const QString &name) const
{
    const auto at = firstNotBefore(name);
    if (at != m_nodes.end() && at->first == name)
        return at->second;
    return nullptr;
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

ProjectTemplates::ProjectTemplates(const QString &paths, TemplateFileOrder order, LoadInputs *inputs)
{
    QStringList fileNames;
    QStringList *listedDirectories = inputs ? &inputs->directories : nullptr;
    for (const QString &part : paths.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fileNames += expandPathPattern(part, order, listedDirectories);
    for (const QString &fileName : fileNames) {
        auto file = std::make_unique<ProjectTemplateFile>();
        // A file that cannot be read, or is no regular file, has no root and adds nothing.
        file->loadPreprocessed(fileName, QString(), false);
        if (inputs)
            inputs->files += file->readFiles();
        m_files.push_back(std::move(file));
    }
    for (const auto &file : m_files) {
        if (file->root())
            index(file->root());
    }
}

ProjectTemplates::~ProjectTemplates() = default;

void ProjectTemplates::index(XMLElement *element)
{
    if (element->name() == "project")
        m_projects.add(latin1(element->attribute("template_name")), element);
    const bool configurations = element->name() == "configurations";
    for (XMLElement *child = element->firstChildElement(); child;
         child = child->nextSiblingElement()) {
        index(child);
        if (configurations)
            m_configurations.add(latin1(child->attribute("name")), child);
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

bool applyConfigurationTemplate(Merge &merge, const QString &name, QSet<QString> &active)
{
    const XMLElement *configurationTemplate = merge.templates.findConfigurationTemplate(name);
    if (!configurationTemplate)
        return false;
    // A template that inherits itself, directly or not, is applied once.
    if (active.contains(name))
        return true;
    active.insert(name);
    ProjectElement *configuration = findConfiguration(merge.solution, name);
    if (!configuration)
        configuration = createConfiguration(merge.system, merge.solution, name);
    for (const XMLElement *child = configurationTemplate->firstChildElement(); child;
         child = child->nextSiblingElement()) {
        const QString property = latin1(child->attribute("name"));
        const QString value = latin1(child->attribute("value"));
        if (property.isEmpty() || value.isEmpty())
            continue;
        if (property == QLatin1String("inherited_configurations")) {
            configuration->setProperty(property, value);
            for (const QString &inherited : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
                applyConfigurationTemplate(merge, inherited, active);
        } else if (!configuration->hasProperty(property)) {
            configuration->setProperty(property, value);
        } else if (configuration->property(property) != value) {
            // The solution already has another value: this project differs.
            setConfigurationProperty(merge.system, merge.project, property, name, value);
        }
    }
    active.remove(name);
    return true;
}

bool applyConfigurationTemplate(Merge &merge, const QString &name)
{
    QSet<QString> active;
    return applyConfigurationTemplate(merge, name, active);
}

void mergeChildren(Merge &merge, ProjectElement *target, const XMLElement *templateElement);

void mergeFolder(Merge &merge, ProjectElement *target, const XMLElement *element)
{
    ProjectSystem &system = merge.system;
    const QString name = latin1(element->attribute("name"));
    const QString filter = latin1(element->attribute("filter"));
    ProjectElement *folder = findFolder(system, target, name);
    if (folder) {
        const QString filterName = system.folderFilterPropertyName();
        QString existing;
        if (element->hasAttribute("filter") && !folder->hasProperty(filterName)
            && !getConfigurationProperty(folder, kCommon, filterName, existing))
            setConfigurationProperty(system, folder, filterName, kCommon, filter);
    } else if (element->hasAttribute("path")) {
        if (element->hasAttribute("choose"))
            return;
        folder = addFolder(system, target, name, QString());
        setDynamicFolder(system, folder, latin1(element->attribute("path")), filter,
                         element->attribute("recurse") == "Yes",
                         latin1(element->attribute("exclude")));
    } else {
        folder = addFolder(system, target, name, filter);
    }
    mergeChildren(merge, folder, element);
}

void mergeFile(Merge &merge, ProjectElement *target, const XMLElement *element)
{
    if (element->hasAttribute("source"))
        return;
    QString fileName = latin1(element->attribute("name"));
    if (!sameIgnoringCase(element->attribute("expand"), "no"))
        fileName = expandProjectMacros(merge.system, target, fileName, kCommon);
    ProjectElement *file = findFile(merge.system, target, fileName);
    if (!file)
        file = addFile(merge.system, target, fileName);
    mergeChildren(merge, file, element);
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

void mergeChildren(Merge &merge, ProjectElement *target, const XMLElement *templateElement)
{
    for (const XMLElement *child = templateElement->firstChildElement(); child;
         child = child->nextSiblingElement()) {
        const QByteArray tag = child->name();
        if (tag == "folder")
            mergeFolder(merge, target, child);
        else if (tag == "file")
            mergeFile(merge, target, child);
        else if (tag == "property")
            mergeProperty(merge, target, child, target, true);
        else if (tag == "solutionproperty")
            mergeProperty(merge, target, child, merge.solution, true);
        else if (tag == "propertygroup")
            // A group value stands for the property of the group's name.
            mergeProperty(merge, target, child, target, false);
        else if (tag == "configuration")
            mergeConfiguration(merge, child);
        // "import" and anything else: nothing to merge into the tree.
    }
}

} // namespace

void expandTemplatedProject(ProjectSystem &system, const ProjectTemplates &templates,
                            ProjectElement *solution, ProjectElement *project,
                            const XMLElement *templateElement, const QStringList &configurations)
{
    Merge merge{system, templates, solution, project, configurations};
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
                               &system.loadInputs());
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
