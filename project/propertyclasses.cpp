// Schema entry kinds.
#include "project/propertyclasses.h"

ChoicePropertyClass::ChoicePropertyClass(const QString &name, const QString &group,
                                         const QString &category, const QString &displayName,
                                         const QString &helpText, const QString &defaultValue,
                                         const QStringList &values, int type)
    : PropertyClass(name, type, group, category, displayName, helpText, defaultValue),
      m_values(values)
{
}

YesNoPropertyClass::YesNoPropertyClass(const QString &name, const QString &group,
                                       const QString &category, const QString &displayName,
                                       const QString &helpText, const QString &defaultValue)
    : ChoicePropertyClass(name, group, category, displayName, helpText, defaultValue,
                          {QStringLiteral("Yes"), QStringLiteral("No")}, PropertyType::YesNo)
{
}

PropertyValueGroupClass::PropertyValueGroupClass(const QString &name, const QString &group,
                                                 const QString &category,
                                                 const QString &displayName,
                                                 const QString &helpText)
    : PropertyClass(name, PropertyType::ValueGroup, group, category, displayName, helpText,
                    QString())
{
}

GenericPropertyClass::GenericPropertyClass(const QString &name, int type, const QString &group,
                                           const QString &category, const QString &displayName,
                                           const QString &helpText, const QString &defaultValue)
    : PropertyClass(name, type, group, category, displayName, helpText, defaultValue)
{
}
