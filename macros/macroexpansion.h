// The $(NAME) expansion over tables in their order, and the clock macros
// computed at the moment of expansion.
#pragma once

#include "macros/macromap.h"

#include <QString>

#include <optional>

/// The character that opens a reference, as in "$(NAME)".
inline constexpr char kMacroIntroducer = '$';

/// The tables an expansion consults, in this order; a null table is not consulted.
struct MacroTables {
    const MacroMap *local = nullptr;
    const MacroMap *overrides = nullptr;
    const MacroMap *globals = nullptr;

    /// The value of the first table that defines `name`, or null.
    const QString *find(const QString &name) const;
};

/// `text` with its references, opened by `introducer`, expanded with `tables`.
/// Never fails: an undefined name gives its default or stays as written.
QString expandMacros(const QString &text, const MacroTables &tables,
                     QChar introducer = QLatin1Char(kMacroIntroducer));

/// `text` expanded with `table` alone: no overrides, no global macros.
QString expandMacros(const QString &text, const MacroMap &table);

/// As expandMacros(), or nothing as soon as a pass's output passes
/// `maxLength` characters; for a caller that must not hold such a text.
std::optional<QString> expandMacrosWithin(const QString &text, const MacroTables &tables, int maxLength,
                                          QChar introducer = QLatin1Char(kMacroIntroducer));

/// The clock macros (Date, DateYear, ..., UnixTime) read from the local clock
/// now. Returns false, leaving `out` alone, for any other name.
bool dynamicMacroValue(const QString &name, QString &out);
