// The property schema as data: one row per registered entry, in display order.
#pragma once

#include "macros/propertyclass.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

/// The entries that the project model itself needs, held by the project system.
enum class PropertyRole {
    None,
    FolderFilter,
    DynamicFolderPath,
    DynamicFolderFilter,
    DynamicFolderRecurse,
    DynamicFolderExclude,
    ProjectType,
    ProjectDirectory,
    FullProjectDirectory,
    FilePath,
    EnvironmentVariables,
};

/// Which PropertyClass subclass a row registers.
enum class PropertyEntryKind { Plain, Choice, YesNo, Macro, ValueGroup };

/// One registration. A null group or category repeats the previous row's, so
/// the table reads like the property display. Macro rows take no part in that:
/// their category, when given, is their own heading (else "(Build Macro
/// Values)"), and their group is always the macro group.
struct PropertySchemaRow {
    PropertyEntryKind kind;
    /// The property name, or the bare macro name of a Macro row.
    const char *name;
    /// The type code of a Plain row; the other kinds have their own code.
    int type;
    const char *group;
    const char *category;
    const char *displayName;
    const char *helpText;
    const char *defaultValue;
    /// Choice values separated by "|".
    const char *choices;
    PropertyRole role;
};

/// A read-only view of a schema table.
struct PropertySchemaTable {
    const PropertySchemaRow *first;
    std::size_t count;

    const PropertySchemaRow *begin() const { return first; }
    const PropertySchemaRow *end() const { return first + count; }
    std::size_t size() const { return count; }
};

/// The standard project system's 219 registrations.
PropertySchemaTable standardPropertySchema();
/// What the RISC-V project system adds after the standard ones.
PropertySchemaTable riscvPropertySchema();

/// Creates the entry that `row` describes, with `group` and `category` already
/// carried over from earlier rows.
std::unique_ptr<PropertyClass> createPropertyClass(const PropertySchemaRow &row,
                                                   const QString &group,
                                                   const QString &category);

/// The entries whose names the project model needs, as the project system
/// holds them. Each pointer refers into the list the schema was registered
/// into; null until a row with that role is registered.
class PropertyRoleEntries {
public:
    const PropertyClass *entry(PropertyRole role) const;
    /// Records `entry` for `role`; a later registration of a role replaces
    /// the earlier one, so a subclass table can redefine a role entry.
    void set(PropertyRole role, const PropertyClass *entry);

    const PropertyClass *folderFilter() const { return entry(PropertyRole::FolderFilter); }
    const PropertyClass *dynamicFolderPath() const
    {
        return entry(PropertyRole::DynamicFolderPath);
    }
    const PropertyClass *dynamicFolderFilter() const
    {
        return entry(PropertyRole::DynamicFolderFilter);
    }
    const PropertyClass *dynamicFolderRecurse() const
    {
        return entry(PropertyRole::DynamicFolderRecurse);
    }
    const PropertyClass *dynamicFolderExclude() const
    {
        return entry(PropertyRole::DynamicFolderExclude);
    }
    const PropertyClass *projectType() const { return entry(PropertyRole::ProjectType); }
    const PropertyClass *projectDirectory() const
    {
        return entry(PropertyRole::ProjectDirectory);
    }
    const PropertyClass *filePath() const { return entry(PropertyRole::FilePath); }
    const PropertyClass *environmentVariables() const
    {
        return entry(PropertyRole::EnvironmentVariables);
    }

private:
    static constexpr std::size_t kRoleCount =
        static_cast<std::size_t>(PropertyRole::EnvironmentVariables) + 1;
    const PropertyClass *m_entries[kRoleCount] = {};
};

/// Appends one entry per row of `table` to `list`, in table order, and records
/// the rows that carry a role in `roles`. Group and category carry over from
/// row to row within the table; each table names its first group and category.
void registerPropertySchema(const PropertySchemaTable &table, PropertyClassList &list,
                            PropertyRoleEntries &roles);

/// The entry of that name (case-sensitive), or null. Where several entries
/// share a name ("filter", "build_output_file_name") the first registered one
/// answers; entries sharing a name share their type. Macro descriptions are
/// named "$(NAME)" and so never answer for a property name.
const PropertyClass *findPropertyClass(const PropertyClassList &list, const QString &name);

/// Whether values of this entry accumulate along the resolution path (type 7).
/// False for null, so an unknown property resolves like a plain one.
bool isListProperty(const PropertyClass *entry);
/// The entry's default text, macros unexpanded; empty for null.
QString propertyDefault(const PropertyClass *entry);
