// Property descriptors and the process-wide list that also holds the global macros.
#pragma once

#include "macros/macroexpansion.h"
#include "macros/macromap.h"

#include <QFileInfo>
#include <QString>

#include <memory>
#include <vector>

/// One schema entry: a property (or a documented macro) with its display
/// placement, help text and default. The project schema derives its kinds
/// from this base.
class PropertyClass {
public:
    PropertyClass(const QString &name, int type, const QString &group, const QString &category,
                  const QString &displayName, const QString &helpText, const QString &defaultValue);
    virtual ~PropertyClass();

    QString name() const { return m_name; }
    int type() const { return m_type; }
    QString group() const { return m_group; }
    QString category() const { return m_category; }
    QString displayName() const { return m_displayName; }
    QString helpText() const { return m_helpText; }
    QString defaultValue() const { return m_defaultValue; }

private:
    QString m_name;
    int m_type;
    QString m_group;
    QString m_category;
    QString m_displayName;
    QString m_helpText;
    QString m_defaultValue;
};

/// Describes one documented macro: displayed as "$(" + name + ")", type 4.
class MacroPropertyClass : public PropertyClass {
public:
    /// `category` is "System Macro Values" for global macros and
    /// "(Build Macro Values)" for a project system's build macros.
    MacroPropertyClass(const QString &macroName, const QString &description,
                       const QString &category = QStringLiteral("System Macro Values"));

    QString macroName() const { return m_macroName; }

private:
    QString m_macroName;
};

/// An owning list of property classes. The process-wide instance also carries
/// the global macro state.
class PropertyClassList {
public:
    PropertyClassList();
    virtual ~PropertyClassList();

    PropertyClassList(const PropertyClassList &) = delete;
    PropertyClassList &operator=(const PropertyClassList &) = delete;

    /// Appends an entry; the list owns it. Returns the entry.
    PropertyClass *append(std::unique_ptr<PropertyClass> entry);
    const std::vector<std::unique_ptr<PropertyClass>> &entries() const { return m_entries; }
    /// The first entry of that name (case-sensitive), or null.
    PropertyClass *find(const QString &name) const;

    /// Stores `value` under `name`; a non-empty description also appends a
    /// MacroPropertyClass descriptor.
    void setMacro(const QString &name, const QString &value, const QString &description = QString());
    /// The path form: the path's string form, then as above.
    void setMacro(const QString &name, const QFileInfo &path, const QString &description = QString());
    /// The global value, or a null string.
    QString macroValue(const QString &name) const;
    /// The override when there is one, else macroValue().
    QString effectiveMacroValue(const QString &name) const;
    /// An empty value removes the override.
    void setMacroOverride(const QString &name, const QString &value);

    /// Expands $(NAME) references: local table first, then overrides (when
    /// useOverrides), then globals (when useGlobals). Never fails.
    QString expandMacros(const QString &text, const MacroMap &local, bool useOverrides,
                         bool useGlobals) const;

    const MacroMap &macros() const { return m_macros; }
    const MacroMap &overrides() const { return m_overrides; }
    char introducer() const { return m_introducer; }

private:
    std::vector<std::unique_ptr<PropertyClass>> m_entries;
    MacroMap m_macros;
    MacroMap m_overrides;
    char m_introducer = kMacroIntroducer;
};

/// The process-wide list. Created on first use if createGlobalPropertyClassList()
/// has not run yet; lives until the process ends.
PropertyClassList &globalPropertyClassList();

/// Replaces the process-wide list with a new one holding the clock and host
/// macros (the start-up table) and returns it.
PropertyClassList &createGlobalPropertyClassList();

/// Expands with an empty local table, the global overrides and the globals.
QString expandGlobalMacros(const QString &text);

/// Expands with an empty local table and the globals, without overrides.
QString expandSystemMacros(const QString &text);
