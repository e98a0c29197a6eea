// Property values that the project model computes instead of storing.
#pragma once

#include <QString>

class ProjectElement;
class ProjectSystem;

/// A value computed on demand for an element and a configuration.
class PropertyValue {
public:
    virtual ~PropertyValue();
    virtual QString value(const ProjectSystem &system, const ProjectElement *element,
                          const QString &configuration) const = 0;
};

/// A computed value that needs the element's place in the solution tree.
class ProjectPropertyValue : public PropertyValue {
public:
    ~ProjectPropertyValue() override;
};

/// The absolute directory of the element's project (or its solution's directory).
class ProjectDirectoryProjectPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};

/// The configurations of the element's solutions that can be built: every
/// named configuration except "Common" and the private ones, ";"-separated.
class PublicConfigurationsProjectPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};

/// The configurations that only serve as a base: "private_configurations"
/// as resolved for "Common".
class PrivateConfigurationsProjectPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};

/// The configurations that `configuration` inherits for the element.
class InheritedConfigurationsProjectPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};

/// The element's project macros as a macro list ("NAME=value" entries,
/// ";" and "\" escaped).
class ProjectMacrosProjectPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};

/// The absolute first directory of a dynamic folder; empty for other elements.
class DynamicFolderPropertyValue : public ProjectPropertyValue {
public:
    QString value(const ProjectSystem &system, const ProjectElement *element,
                  const QString &configuration) const override;
};
