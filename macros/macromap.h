// Macro tables and the $(NAME) expansion entry points shared by every layer.
#pragma once

#include <QMap>
#include <QString>

/// An ordered macro table: name -> value. QString's operator< compares UTF-16
/// code units, so names are case-sensitive.
using MacroMap = QMap<QString, QString>;

/// Reads a macro list: entries separated by ";", a backslash makes the next
/// character literal (and is dropped), each entry splits at its first "=".
/// An entry without "=" defines its whole text with an empty value. Later
/// entries replace earlier ones. Values are not expanded.
MacroMap parseMacroList(const QString &text);

/// Expands with an empty local table, the global overrides and the globals.
QString expandGlobalMacros(const QString &text);

/// Expands with an empty local table and the globals, without overrides.
QString expandSystemMacros(const QString &text);

/// The clock macros (Date, DateYear, ..., UnixTime) read from the local clock
/// now. Returns false, leaving `out` alone, for any other name.
bool dynamicMacroValue(const QString &name, QString &out);
