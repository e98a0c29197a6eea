// Packages for the tool tests, written with the archive library directly so
// the reading commands can be tested without -c.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <ctime>

struct TestMember {
    /// Latin-1: one character per byte of the stored name.
    QString name;
    QByteArray data;
    quint32 mode = 0100644;
    time_t time = 0;
};

enum class TestFormat { Version1, Version2Zlib, Version2Bzip2 };

/// Saves the members, in order, as a package at `path`.
void writeTestPackage(const QString &path, const QList<TestMember> &members,
                      TestFormat format = TestFormat::Version2Zlib);

/// One record of a legacy table of contents.
struct LegacyRecord {
    QByteArray name;
    quint32 size = 0;
    bool readOnly = false;
    quint32 time = 0;
};

/// A bare legacy package (version 1, not compressed) holding only a table of
/// contents: the sizes are claimed, no data follows. Enough for -t, and a way
/// to list sizes no test could afford to store.
QByteArray bareLegacyTableOnly(const QList<LegacyRecord> &records);
