// The project system chain and the process-wide instances.
#include "project/projectsystem.h"

#include "macros/installdirs.h"
#include "macros/globalmacros.h"

#include <QFileInfo>

ProjectLoadProgressInterface::~ProjectLoadProgressInterface() = default;
ProjectFileNotFoundErrorHandler::~ProjectFileNotFoundErrorHandler() = default;
TemplateNotFoundErrorHandler::~TemplateNotFoundErrorHandler() = default;

ProjectSystem::ProjectSystem(const QString &templatesPath) : m_templatesPath(templatesPath) {}

ProjectSystem::~ProjectSystem()
{
    close();
}

void ProjectSystem::close()
{
    m_templatedProjects.clear();
    m_dynamicFolders.clear();
    m_projectIndex.clear();
    m_loadingFiles.clear();
    m_loadInputs = LoadInputs();
    m_replacedImports.clear();
    m_rootElement.reset();
    m_solutionFileName.clear();
    m_fileTimes.clear();
    m_loadBudget.reset(m_loadLimits);
}

void ProjectSystem::setRootElement(std::unique_ptr<ProjectElement> root)
{
    m_rootElement = std::move(root);
}

const PropertyClass *ProjectSystem::findPropertyClass(const QString &name) const
{
    return ::findPropertyClass(m_propertyClasses, name);
}

namespace {

QString roleName(const PropertyClass *entry, const char *fallback)
{
    return entry ? entry->name() : QString::fromLatin1(fallback);
}

} // namespace

QString ProjectSystem::projectTypePropertyName() const
{
    return roleName(m_roles.projectType(), "project_type");
}

QString ProjectSystem::folderFilterPropertyName() const
{
    return roleName(m_roles.folderFilter(), "filter");
}

QString ProjectSystem::dynamicFolderAttributeName() const
{
    return roleName(m_roles.dynamicFolderPath(), "path");
}

QString ProjectSystem::dynamicFolderFilterPropertyName() const
{
    return roleName(m_roles.dynamicFolderFilter(), "filter");
}

QString ProjectSystem::dynamicFolderRecursePropertyName() const
{
    return roleName(m_roles.dynamicFolderRecurse(), "recurse");
}

QString ProjectSystem::dynamicFolderExcludePropertyName() const
{
    return roleName(m_roles.dynamicFolderExclude(), "exclude");
}

QString ProjectSystem::projectDirectoryPropertyName() const
{
    return roleName(m_roles.projectDirectory(), "project_directory");
}

QString ProjectSystem::filePathPropertyName() const
{
    return roleName(m_roles.filePath(), "file_name");
}

QString ProjectSystem::environmentPropertyName() const
{
    const PropertyClass *entry = m_roles.environmentVariables();
    return entry ? entry->name() : QString();
}

QString ProjectSystem::objectFileExtension() const
{
    return QString();
}

QString ProjectSystem::executableFileExtension() const
{
    return QString();
}

QString ProjectSystem::libraryFileExtension() const
{
    return QString();
}

int ProjectSystem::gatherProjectData(const std::vector<ProjectElement *> &)
{
    return 0;
}

void ProjectSystem::registerSchema(const PropertySchemaTable &table)
{
    registerPropertySchema(table, m_propertyClasses, m_roles);
}

StandardProjectSystem::StandardProjectSystem(const QString &templatesPath)
    : ProjectSystem(templatesPath)
{
    registerSchema(standardPropertySchema());
}

StandardProjectSystem::~StandardProjectSystem() = default;

GCCProjectSystem::GCCProjectSystem(const QString &templatesPath,
                                   const QString &toolchainDirectory, const QString &toolPrefix)
    : StandardProjectSystem(templatesPath), m_toolchainDirectory(toolchainDirectory),
      m_toolPrefix(toolPrefix)
{
}

GCCProjectSystem::~GCCProjectSystem() = default;

QString GCCProjectSystem::objectFileExtension() const
{
    return QStringLiteral(".o");
}

QString GCCProjectSystem::executableFileExtension() const
{
    return QString();
}

QString GCCProjectSystem::libraryFileExtension() const
{
    return QStringLiteral(".a");
}

ThorneGCCProjectSystem::ThorneGCCProjectSystem(const QString &templatesPath,
                                               const QString &toolchainDirectory,
                                               const QString &toolPrefix,
                                               const QStringList &extraDirectories,
                                               bool buildInternally, bool useSystemIncludes)
    : GCCProjectSystem(templatesPath, toolchainDirectory, toolPrefix),
      m_extraDirectories(extraDirectories), m_buildInternally(buildInternally),
      m_useSystemIncludes(useSystemIncludes)
{
}

ThorneGCCProjectSystem::~ThorneGCCProjectSystem() = default;

RISCVProjectSystem::RISCVProjectSystem(const QString &templatesPath,
                                       const QStringList &extraDirectories, bool buildInternally,
                                       bool useSystemIncludes)
    : ThorneGCCProjectSystem(templatesPath, QStringLiteral("$(RISCVGCCDIR)"),
                             QStringLiteral("$(RISCVGCCPREFIX)"), extraDirectories,
                             buildInternally, useSystemIncludes)
{
    registerSchema(riscvPropertySchema());
}

RISCVProjectSystem::~RISCVProjectSystem() = default;

QString RISCVProjectSystem::executableFileExtension() const
{
    return QStringLiteral(".elf");
}

namespace {

std::unique_ptr<ProjectSystem> &processProjectSystem()
{
    static std::unique_ptr<ProjectSystem> system;
    return system;
}

std::unique_ptr<KestrelEnvironmentSettings> &processSettings()
{
    static std::unique_ptr<KestrelEnvironmentSettings> settings;
    return settings;
}

} // namespace

ProjectSystem *projectSystem()
{
    return processProjectSystem().get();
}

ProjectSystem *setProjectSystem(std::unique_ptr<ProjectSystem> system)
{
    processProjectSystem() = std::move(system);
    return processProjectSystem().get();
}

KestrelEnvironmentSettings::KestrelEnvironmentSettings() = default;
KestrelEnvironmentSettings::~KestrelEnvironmentSettings() = default;

void KestrelEnvironmentSettings::initialise()
{
    const QString candidate = studioUserDirectory() + QStringLiteral("/settings.xml");
    m_settingsFilePath = QFileInfo(candidate).isFile() ? candidate : QString();
}

ElfDwarfKestrelEnvironmentSettings::ElfDwarfKestrelEnvironmentSettings() = default;
ElfDwarfKestrelEnvironmentSettings::~ElfDwarfKestrelEnvironmentSettings() = default;

KestrelEnvironmentSettings *environmentSettings()
{
    return processSettings().get();
}

KestrelEnvironmentSettings *setEnvironmentSettings(std::unique_ptr<KestrelEnvironmentSettings> settings)
{
    processSettings() = std::move(settings);
    return processSettings().get();
}
