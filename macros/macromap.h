// Macro tables and the macro lists they are read from.
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
