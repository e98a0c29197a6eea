// The project tree: property values per configuration, project macros, paths
// and relative names, display names, folders and files, dynamic folders.
#pragma once

#include "macros/macromap.h"
#include "project/projectsystem.h"

#include <QString>

#include <vector>

/// One hit of a resolution, for showing where a value comes from. The
/// schema default has an empty configuration name and no element.
struct PropertyTraceEntry {
    QString value;
    QString configuration;
    const ProjectElement *element;
};
using PropertyTrace = std::vector<PropertyTraceEntry>;

/// The configuration child of `element` named `name` (exact), or null.
ProjectElement *findConfiguration(const ProjectElement *element, const QString &name);
/// Appends a new configuration child named `name` and indexes it; never
/// looks for an existing one.
ProjectElement *createConfiguration(ProjectSystem &system, ProjectElement *parent,
                                    const QString &name);
/// Sets `property` in `element`'s configuration `configuration`, creating
/// that configuration child when missing.
void setConfigurationProperty(ProjectSystem &system, ProjectElement *element,
                              const QString &property, const QString &configuration,
                              const QString &value);
/// Looks only at `element`'s configuration child `configuration`. On a hit
/// puts the value in front of `accumulator` (";"-joined), appends to `trace`
/// when given, and returns true.
bool getConfigurationProperty(const ProjectElement *element, const QString &configuration,
                              const QString &property, QString &accumulator,
                              PropertyTrace *trace = nullptr);
/// The inherited configurations of `configuration` in force for `element`:
/// the list of the nearest enclosing solution that has a non-empty one.
/// Not followed transitively.
QStringList inheritedConfigurations(const ProjectElement *element, const QString &configuration);
/// The effective value: `element`'s configuration, its inherited ones, its
/// "Common", then the same up the tree; list properties accumulate, most
/// general first; the schema default when nothing is set.
QString resolveProperty(const ProjectSystem &system, const ProjectElement *element,
                        const QString &property, const QString &configuration,
                        PropertyTrace *trace = nullptr);

/// The project macros of `element` for `configuration` (ProjectDir, InputName,
/// IntDir, ... and the "macros" property).
MacroMap projectMacros(const ProjectSystem &system, const ProjectElement *element,
                       const QString &configuration);
/// `text` expanded with the project macros, then the global overrides and
/// globals; returned at once when it holds no "$".
QString expandProjectMacros(const ProjectSystem &system, const ProjectElement *element,
                            const QString &text, const QString &configuration);

/// The absolute directory of the solution file that contains `element`.
QString solutionDirectory(const ProjectElement *element);
/// The absolute project directory of `project`: its "Common" project_directory
/// (global macros, relative to the solution directory), else the solution directory.
QString projectDirectory(const ProjectSystem &system, const ProjectElement *project);
/// The absolute path of a file element for `configuration` (its "file_name"
/// with project macros, relative to its project directory); the file path of
/// a solution element with its own file; for a dynamic folder its first
/// directory. Empty for anything else. Remembered until the tree changes.
QString elementFilePath(const ProjectSystem &system, const ProjectElement *element,
                        const QString &configuration);
/// The file name after macro expansion (still relative when written relative).
QString expandedFileName(const ProjectSystem &system, const ProjectElement *file,
                         const QString &configuration);
/// Whether a file's raw "file_name" holds a macro reference: such a file is
/// named through its context, never archived, and shown by its last component.
bool fileNameHasMacros(const ProjectSystem &system, const ProjectElement *file);

/// The relative path from directory `from` to `to`: their pieces compared
/// case-sensitively, "../" for each piece of `from` past the common ones; a
/// null string when they share no leading piece.
QString relativeDirectoryPath(const QString &from, const QString &to);
/// The name of `filePath` relative to `baseDirectory`: a file whose directory
/// part is "." keeps its bare name; otherwise the absolute forms of the base
/// and of the file's directory are compared as by relativeDirectoryPath().
/// A null string when they share no leading piece.
QString relativeFileName(const QString &filePath, const QString &baseDirectory);

/// "Name" when set; for an element with "file_name" the last component of a
/// name with macros, else its path for "Common" relative to the project
/// directory; else "<NULL>".
QString displayName(const ProjectSystem &system, const ProjectElement *element);
/// Clears the modified flags of `element` and its descendants; without
/// `recursive`, nested solution elements (imports) and their subtrees keep theirs.
void markUnmodified(ProjectElement *element, bool recursive);

/// Nearest ancestor-or-self of kind Project / Solution, or null.
ProjectElement *projectOf(const ProjectElement *element);
ProjectElement *solutionOf(const ProjectElement *element);
/// The projects below `solution` in document order, those of nested
/// (imported) solutions included; projects are not looked into.
std::vector<ProjectElement *> projectsOf(const ProjectElement *solution);

/// The child folder of `parent` with that display name, or null.
ProjectElement *findFolder(const ProjectSystem &system, const ProjectElement *parent,
                           const QString &name);
/// The child file of `parent` whose "file_name" is `fileName`, or null.
ProjectElement *findFile(const ProjectSystem &system, const ProjectElement *parent,
                         const QString &fileName);
/// The child folder named `name`, created (with `filter` in its "Common"
/// configuration when not empty) when there is none.
ProjectElement *addFolder(ProjectSystem &system, ProjectElement *parent, const QString &name,
                          const QString &filter);
/// A new folder named `name` appended to `parent` (with `filter` as
/// addFolder() gives it); never looks for an existing one.
ProjectElement *appendFolder(ProjectSystem &system, ProjectElement *parent, const QString &name,
                             const QString &filter);
/// A new file element, put into the first child folder of `target` whose
/// filter lists the file's lower-cased suffix, else into `target`.
ProjectElement *addFile(ProjectSystem &system, ProjectElement *target, const QString &fileName);
/// Makes `folder` a dynamic folder and removes its non-configuration children.
void setDynamicFolder(ProjectSystem &system, ProjectElement *folder, const QString &path,
                      const QString &filter, bool recurse, const QString &exclude);
/// Fills a dynamic folder from its directories.
void populateDynamicFolder(ProjectSystem &system, ProjectElement *folder);
