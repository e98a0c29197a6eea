// The computed property values.
#include "project/propertyvalues.h"

#include "project/projecttree.h"

PropertyValue::~PropertyValue() = default;
ProjectPropertyValue::~ProjectPropertyValue() = default;

QString ProjectDirectoryProjectPropertyValue::value(const ProjectSystem &system,
                                                    const ProjectElement *element,
                                                    const QString &) const
{
    if (const ProjectElement *project = projectOf(element))
        return projectDirectory(system, project);
    return solutionDirectory(element);
}

QString PublicConfigurationsProjectPropertyValue::value(const ProjectSystem &system,
                                                        const ProjectElement *element,
                                                        const QString &configuration) const
{
    const QStringList hidden = PrivateConfigurationsProjectPropertyValue()
                                   .value(system, element, configuration)
                                   .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QStringList names;
    for (const ProjectElement *solution = solutionOf(element); solution;
         solution = solutionOf(solution->parentElement())) {
        for (auto it = solution->configurations().begin(); it != solution->configurations().end(); ++it) {
            if (it.key() != QLatin1String("Common") && !hidden.contains(it.key())
                && !names.contains(it.key()))
                names.append(it.key());
        }
    }
    names.sort();
    return names.join(QLatin1Char(';'));
}

QString PrivateConfigurationsProjectPropertyValue::value(const ProjectSystem &system,
                                                         const ProjectElement *element,
                                                         const QString &) const
{
    return resolveProperty(system, element, QStringLiteral("private_configurations"),
                           QStringLiteral("Common"));
}

QString InheritedConfigurationsProjectPropertyValue::value(const ProjectSystem &,
                                                           const ProjectElement *element,
                                                           const QString &configuration) const
{
    return inheritedConfigurations(element, configuration).join(QLatin1Char(';'));
}

namespace {

QString escaped(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char(';'), QLatin1String("\\;"));
    return text;
}

} // namespace

QString ProjectMacrosProjectPropertyValue::value(const ProjectSystem &system,
                                                 const ProjectElement *element,
                                                 const QString &configuration) const
{
    const MacroMap macros = projectMacros(system, element, configuration);
    QStringList entries;
    for (auto it = macros.begin(); it != macros.end(); ++it)
        entries.append(escaped(it.key()) + QLatin1Char('=') + escaped(it.value()));
    return entries.join(QLatin1Char(';'));
}

QString DynamicFolderPropertyValue::value(const ProjectSystem &system,
                                          const ProjectElement *element,
                                          const QString &configuration) const
{
    if (!element || element->kind() != ProjectElementKind::Folder
        || !element->hasProperty(system.dynamicFolderAttributeName()))
        return QString();
    return elementFilePath(system, element, configuration);
}
