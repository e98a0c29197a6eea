// The project system that owns a loaded solution, its subclasses, the environment
// settings and the optional collaborators of loading.
#pragma once

#include "macros/propertyclass.h"
#include "project/loadlimits.h"
#include "project/projectelement.h"
#include "project/propertyschema.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class ProjectSystem;

/// Receives the progress of a load; every call is skipped when none is given.
class ProjectLoadProgressInterface {
public:
    virtual ~ProjectLoadProgressInterface();
    /// Opens a step; `kind` is 0 plain, 2 file loading, 3 folder population.
    virtual void beginStep(const QString &message, int kind) = 0;
    virtual void endStep() = 0;
    virtual void addMessage(const QString &message) = 0;
    /// The number of open steps.
    virtual int depth() const = 0;
    virtual void setProgress(int current, int total) = 0;
    virtual void processEvents() = 0;
    virtual QStringList messages() const = 0;
};

/// A progress step of an optional sink, closed on every way out, errors included.
class ProgressStep {
public:
    ProgressStep(ProjectLoadProgressInterface *progress, const QString &message, int kind)
        : m_progress(progress)
    {
        if (m_progress)
            m_progress->beginStep(message, kind);
    }
    ~ProgressStep()
    {
        if (m_progress)
            m_progress->endStep();
    }
    ProgressStep(const ProgressStep &) = delete;
    ProgressStep &operator=(const ProgressStep &) = delete;

private:
    ProjectLoadProgressInterface *m_progress;
};

/// Asked when a file to load does not exist. True makes the loader try to
/// open it anyway (the handler may have made it available); false gives up.
class ProjectFileNotFoundErrorHandler {
public:
    virtual ~ProjectFileNotFoundErrorHandler();
    virtual bool fileNotFound(const QString &fileName) = 0;
};

/// Asked for the template of a templated project that names none. True means
/// `templateName` has been filled in.
class TemplateNotFoundErrorHandler {
public:
    virtual ~TemplateNotFoundErrorHandler();
    virtual bool chooseTemplate(ProjectSystem &system, const QString &projectName,
                                QString &templateName) = 0;
};

/// The order in which a wildcard of the template path takes its matches.
enum class TemplateFileOrder {
    FileSystem, ///< as the directory delivers them
    Bytes,      ///< sorted by the bytes of their names, for reproducible archives
};

/// What a load read: a build that runs the load must run it again when one of
/// these files changes or an entry appears in or disappears from one of these
/// directories. Repeats are kept.
struct LoadInputs {
    /// Every file read: solution files and imports, their include files, the
    /// project template files and theirs, in the order read.
    QStringList files;
    /// Every directory whose entries were listed: the template path's
    /// wildcards, the dynamic folders.
    QStringList directories;
};

/// Owns at most one loaded solution tree and the property schema that its
/// values resolve against. Subclasses register their schema in their
/// constructors and supply the toolchain specifics.
class ProjectSystem {
public:
    /// `templatesPath`: ";"-separated project template files (macro text, wildcards).
    explicit ProjectSystem(const QString &templatesPath);
    virtual ~ProjectSystem();

    ProjectSystem(const ProjectSystem &) = delete;
    ProjectSystem &operator=(const ProjectSystem &) = delete;

    /// Unloads the solution: the tree and all load state go.
    virtual void close();

    // --- Schema -----------------------------------------------------------
    const PropertyRoleEntries &roles() const { return m_roles; }
    /// The schema entry of that name, or null.
    const PropertyClass *findPropertyClass(const QString &name) const;
    /// The names of the role entries ("project_type", "filter", "path", ...).
    QString projectTypePropertyName() const;
    QString folderFilterPropertyName() const;
    QString dynamicFolderAttributeName() const;
    QString dynamicFolderFilterPropertyName() const;
    QString dynamicFolderRecursePropertyName() const;
    QString dynamicFolderExcludePropertyName() const;
    QString projectDirectoryPropertyName() const;
    QString filePathPropertyName() const;
    /// The list property whose NAME=VALUE entries a loaded solution puts into
    /// the process environment; empty when the system defines none.
    virtual QString environmentPropertyName() const;

    /// The toolchain's file extensions with the dot; empty when there are none.
    virtual QString objectFileExtension() const;
    virtual QString executableFileExtension() const;
    virtual QString libraryFileExtension() const;

    // --- Load state -------------------------------------------------------
    ProjectElement *rootElement() const { return m_rootElement.get(); }
    void setRootElement(std::unique_ptr<ProjectElement> root);
    QStringList &loadingFiles() { return m_loadingFiles; }
    std::vector<ProjectElement *> &templatedProjects() { return m_templatedProjects; }
    std::vector<ProjectElement *> &dynamicFolders() { return m_dynamicFolders; }
    std::vector<std::unique_ptr<XMLNode>> &replacedImports() { return m_replacedImports; }
    QString templatesPath() const { return m_templatesPath; }
    void setTemplatesPath(const QString &path) { m_templatesPath = path; }
    /// FileSystem unless set; close() keeps it.
    TemplateFileOrder templateFileOrder() const { return m_templateFileOrder; }
    void setTemplateFileOrder(TemplateFileOrder order) { m_templateFileOrder = order; }
    /// What the last load read; emptied by close().
    const LoadInputs &loadInputs() const { return m_loadInputs; }
    LoadInputs &loadInputs() { return m_loadInputs; }
    QString solutionFileName() const { return m_solutionFileName; }
    void setSolutionFileName(const QString &name) { m_solutionFileName = name; }
    QDateTime loadTime() const { return m_loadTime; }
    void setLoadTime(const QDateTime &time) { m_loadTime = time; }
    /// Projects by display name, rebuilt after every load.
    const QMap<QString, ProjectElement *> &projectIndex() const { return m_projectIndex; }
    QMap<QString, ProjectElement *> &projectIndex() { return m_projectIndex; }
    /// Forgets the remembered modification times of project files.
    void dropFileTimeCache() { m_fileTimes.clear(); }
    /// The limits of every load; set them before loading.
    const LoadLimits &loadLimits() const { return m_loadLimits; }
    void setLoadLimits(const LoadLimits &limits) { m_loadLimits = limits; }
    /// What the current load has spent; close() starts it afresh.
    LoadBudget &loadBudget() { return m_loadBudget; }

    /// Per-project build data gathered after templates are expanded; a
    /// system without a build side gathers nothing. Returns how many
    /// projects contributed.
    virtual int gatherProjectData(const std::vector<ProjectElement *> &projects);

protected:
    /// Registers `table` after the entries already registered.
    void registerSchema(const PropertySchemaTable &table);

private:
    PropertyClassList m_propertyClasses;
    PropertyRoleEntries m_roles;
    std::unique_ptr<ProjectElement> m_rootElement;
    QStringList m_loadingFiles;
    std::vector<ProjectElement *> m_templatedProjects;
    std::vector<ProjectElement *> m_dynamicFolders;
    std::vector<std::unique_ptr<XMLNode>> m_replacedImports;
    QString m_templatesPath;
    TemplateFileOrder m_templateFileOrder = TemplateFileOrder::FileSystem;
    LoadInputs m_loadInputs;
    QString m_solutionFileName;
    QDateTime m_loadTime;
    QMap<QString, ProjectElement *> m_projectIndex;
    QMap<QString, QDateTime> m_fileTimes;
    LoadLimits m_loadLimits;
    LoadBudget m_loadBudget;
};

/// The project system with the standard schema.
class StandardProjectSystem : public ProjectSystem {
public:
    explicit StandardProjectSystem(const QString &templatesPath);
    ~StandardProjectSystem() override;
};

/// A project system built with a GCC toolchain found in `toolchainDirectory`
/// whose tools are named `toolPrefix` + "gcc" and so on (both macro text).
class GCCProjectSystem : public StandardProjectSystem {
public:
    GCCProjectSystem(const QString &templatesPath, const QString &toolchainDirectory,
                     const QString &toolPrefix);
    ~GCCProjectSystem() override;

    QString toolchainDirectory() const { return m_toolchainDirectory; }
    QString toolPrefix() const { return m_toolPrefix; }
    QString objectFileExtension() const override;
    QString executableFileExtension() const override;
    QString libraryFileExtension() const override;

private:
    QString m_toolchainDirectory;
    QString m_toolPrefix;
};

/// The GCC project system of the product's own toolchain packaging:
/// extra package directories and the two build switches of the host.
class ThorneGCCProjectSystem : public GCCProjectSystem {
public:
    ThorneGCCProjectSystem(const QString &templatesPath, const QString &toolchainDirectory,
                           const QString &toolPrefix, const QStringList &extraDirectories,
                           bool buildInternally, bool useSystemIncludes);
    ~ThorneGCCProjectSystem() override;

    QStringList extraDirectories() const { return m_extraDirectories; }
    bool buildInternally() const { return m_buildInternally; }
    bool useSystemIncludes() const { return m_useSystemIncludes; }

private:
    QStringList m_extraDirectories;
    bool m_buildInternally;
    bool m_useSystemIncludes;
};

/// The RISC-V project system: toolchain "$(RISCVGCCDIR)" with prefix
/// "$(RISCVGCCPREFIX)", the RISC-V schema entries and the Arch, ABI and
/// DeviceName build macros; ".o", ".elf" and ".a" extensions.
class RISCVProjectSystem : public ThorneGCCProjectSystem {
public:
    RISCVProjectSystem(const QString &templatesPath, const QStringList &extraDirectories,
                       bool buildInternally, bool useSystemIncludes);
    ~RISCVProjectSystem() override;

    QString executableFileExtension() const override;
};

/// The process-wide project system, or null before one is installed.
ProjectSystem *projectSystem();
/// Installs `system` as the process-wide one (replacing and deleting any
/// earlier one) and returns it.
ProjectSystem *setProjectSystem(std::unique_ptr<ProjectSystem> system);

/// The settings of the development environment. Only the place of its
/// settings file is known here; nothing in this library reads settings.
class KestrelEnvironmentSettings {
public:
    KestrelEnvironmentSettings();
    virtual ~KestrelEnvironmentSettings();

    /// Looks for the settings file; never fails.
    virtual void initialise();
    /// The user's "settings.xml" when initialise() found one, else empty.
    QString settingsFilePath() const { return m_settingsFilePath; }

private:
    QString m_settingsFilePath;
};

/// The settings of the ELF/DWARF based environment that the tool creates.
class ElfDwarfKestrelEnvironmentSettings : public KestrelEnvironmentSettings {
public:
    ElfDwarfKestrelEnvironmentSettings();
    ~ElfDwarfKestrelEnvironmentSettings() override;
};

/// The process-wide environment settings, or null before they are installed.
KestrelEnvironmentSettings *environmentSettings();
KestrelEnvironmentSettings *setEnvironmentSettings(std::unique_ptr<KestrelEnvironmentSettings> settings);
