// Project template files and the expansion of templated projects.
#pragma once

#include "project/projectsystem.h"
#include "xml/xmlpp2.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

/// A project template file as read through the preprocessor; any root name.
class ProjectTemplateFile : public XMLPP2 {
public:
    ProjectTemplateFile();
    ~ProjectTemplateFile() override;
    /// Directive errors in template files are not the user's business.
    void reportError(const QString &message) override;
};

/// Template elements by name; of several with one name, the one added last
/// is found. Adding and finding take the same time however many there are.
class ProjectTemplateNodeList {
public:
    void add(const QString &name, XMLElement *element);
    XMLElement *find(const QString &name) const;

private:
    QHash<QString, XMLElement *> m_nodes;
};

/// Every template of the files of a path list, indexed by name.
class ProjectTemplates {
public:
    /// `paths`: the expanded ";"-separated path list with wildcards, whose
    /// matches are taken in `order`. Missing or unreadable files contribute
    /// nothing; a file whose preprocessing passes a limit (`expansionNodes`
    /// added nodes, or one of the preprocessor's own) throws SolutionLoadError
    /// naming it. The files read and the directories listed are added to
    /// `inputs` when given.
    explicit ProjectTemplates(const QString &paths, TemplateFileOrder order = TemplateFileOrder::FileSystem,
                              LoadInputs *inputs = nullptr,
                              quint64 expansionNodes = XMLPP2::DefaultExpansionLimit);
    ~ProjectTemplates();

    XMLElement *findProjectTemplate(const QString &templateName) const;
    XMLElement *findConfigurationTemplate(const QString &configurationName) const;

private:
    void index(XMLElement *element);

    std::vector<std::unique_ptr<ProjectTemplateFile>> m_files;
    ProjectTemplateNodeList m_projects;
    ProjectTemplateNodeList m_configurations;
};

/// The files that a path with "*" wildcards names, each wildcard's matches in
/// `order`; a pattern without "*" is returned as it stands. Each directory
/// listed on the way is appended to `listedDirectories` when given.
QStringList expandPathPattern(const QString &pattern, TemplateFileOrder order = TemplateFileOrder::FileSystem,
                              QStringList *listedDirectories = nullptr);

/// Merges `templateElement` into `project` of `solution`, for the template
/// configurations `configurations` (may be empty).
void expandTemplatedProject(ProjectSystem &system, const ProjectTemplates &templates,
                            ProjectElement *solution, ProjectElement *project,
                            const XMLElement *templateElement, const QStringList &configurations);

/// The expansion step of a load: every templated project of `system`.
/// Throws SolutionLoadError for a missing template.
void expandTemplatedProjects(ProjectSystem &system, ProjectLoadProgressInterface *progress,
                             TemplateNotFoundErrorHandler *templateNotFound);
