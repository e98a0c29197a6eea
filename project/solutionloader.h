// Loading a solution file, its imports and load commands into the element tree.
#pragma once

#include "project/projectsystem.h"
#include "project/solutionloaderror.h"

#include <QString>

#include <memory>

/// The whole load: unloads `system`, reads `fileName` (absolute) and its
/// imports, runs load commands, expands templated projects, indexes the
/// projects and fills dynamic folders. The collaborators may be null.
/// Throws SolutionLoadError.
void loadSolution(ProjectSystem &system, const QString &fileName,
                  ProjectLoadProgressInterface *progress = nullptr,
                  ProjectFileNotFoundErrorHandler *fileNotFound = nullptr,
                  TemplateNotFoundErrorHandler *templateNotFound = nullptr);

/// Reads one solution file and returns its solution element. `baseDirectory`
/// is empty for the top-level file and the importing file's directory for an
/// import; `macros` is handed to the preprocessor as its definitions.
std::unique_ptr<ProjectElement> loadSolutionFile(ProjectSystem &system,
                                                 const QString &baseDirectory,
                                                 const QString &fileName,
                                                 ProjectFileNotFoundErrorHandler *fileNotFound,
                                                 ProjectLoadProgressInterface *progress,
                                                 const QString &macros);

/// Converts `element` and its children in place; an "import" element is
/// replaced in its parent by the solution element of the file it names, which
/// is returned (the import goes to the system's replacedImports()).
ProjectElement *loadElement(ProjectSystem &system, const QString &baseDirectory,
                            ProjectElement *element,
                            ProjectFileNotFoundErrorHandler *fileNotFound,
                            ProjectLoadProgressInterface *progress);
