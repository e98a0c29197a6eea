// The kinds of property schema entries beyond the plain one, and the type codes.
#pragma once

#include "macros/propertyclass.h"

#include <QStringList>

/// Type codes of schema entries; the property display picks its editor by
/// them. Choice and ValueGroup mark the entries that are neither plain nor
/// yes/no. Only List changes how values resolve: list values accumulate along
/// the resolution path instead of stopping at the first hit.
namespace PropertyType {
inline constexpr int YesNo = 0;
inline constexpr int Choice = 1;
inline constexpr int ValueGroup = 2;
inline constexpr int Text = 4;
inline constexpr int GeneratedFileName = 5;
inline constexpr int InputFileName = 6;
inline constexpr int List = 7;
inline constexpr int Directory = 8;
inline constexpr int CommandLine = 16;
inline constexpr int LogFileName = 18;
} // namespace PropertyType

/// An entry whose value is one of a fixed list of texts.
class ChoicePropertyClass : public PropertyClass {
public:
    ChoicePropertyClass(const QString &name, const QString &group, const QString &category,
                        const QString &displayName, const QString &helpText,
                        const QString &defaultValue, const QStringList &values,
                        int type = PropertyType::Choice);

    QStringList values() const { return m_values; }

private:
    QStringList m_values;
};

/// A choice between "Yes" and "No", type code 0.
class YesNoPropertyClass : public ChoicePropertyClass {
public:
    YesNoPropertyClass(const QString &name, const QString &group, const QString &category,
                       const QString &displayName, const QString &helpText,
                       const QString &defaultValue);
};

/// A named group of properties that are set together: each value of the
/// group stands for a set of member property values.
class PropertyValueGroupClass : public PropertyClass {
public:
    PropertyValueGroupClass(const QString &name, const QString &group, const QString &category,
                            const QString &displayName, const QString &helpText);
};

/// An entry created from data at run time (for example a member of a property
/// group read from a property groups file) rather than from the built-in table.
class GenericPropertyClass : public PropertyClass {
public:
    GenericPropertyClass(const QString &name, int type, const QString &group,
                         const QString &category, const QString &displayName,
                         const QString &helpText, const QString &defaultValue);
};
