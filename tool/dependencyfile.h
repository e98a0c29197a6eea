// The make rule that a build running duriv reads back to know when to run it
// again: the package or archive written depends on every file duriv read and
// every directory whose entries it listed (a directory's time changes when
// an entry appears or disappears).
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

/// Collects the inputs of one run and writes them as
/// "TARGET: \\\n INPUT \\\n INPUT\n", every name absolute (a relative one is
/// taken from the current directory; "." components and doubled "/" are
/// dropped), each input once, in the order added, escaped as make reads
/// names: a blank or tab gets a backslash (and the backslashes right before
/// it are doubled), "#" gets a backslash, "$" is written "$$".
class DependencyFile {
public:
    /// `path` (one character per byte) is where the rule goes; empty: the
    /// object records and writes nothing. Throws as add() for `target`.
    DependencyFile(const QString &path, const QString &target);

    /// Records an input (one character per byte). Throws HException
    /// "cannot list in dependency file " + name for a name with a line
    /// break, which make cannot read.
    void add(const QString &input);

    /// Writes the rule, replacing the file in one rename. Throws HException
    /// "cannot write dependency file " + path.
    void write() const;

private:
    QString m_path;
    QByteArray m_currentDirectory;
    QByteArray m_target;
    QByteArray m_inputs;
    QSet<QByteArray> m_seen;
};
