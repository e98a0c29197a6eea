// Packages for the tool tests.
#include "tool/tests/testpackages.h"

#include "package/packagearchive.h"

#include <QDateTime>
#include <QtEndian>

void writeTestPackage(const QString &path, const QList<TestMember> &members, TestFormat format)
{
    PackageArchive archive;
    archive.setVersion(format == TestFormat::Version1 ? 1 : 2);
    archive.setCompression(format == TestFormat::Version2Bzip2 ? 1 : 0);
    for (const TestMember &member : members) {
        archive.addData(member.data, QDateTime::fromSecsSinceEpoch(member.time, Qt::UTC),
                        member.mode, member.name);
    }
    archive.save(path);
}

QByteArray bareLegacyTableOnly(const QList<LegacyRecord> &records)
{
    const auto word = [](quint32 value) {
        char bytes[4];
        qToLittleEndian<quint32>(value, bytes);
        return QByteArray(bytes, 4);
    };
    QByteArray body = word(0x4152C3C8) + word(static_cast<quint32>(records.size()));
    quint32 offset = 8 + 1040 * static_cast<quint32>(records.size());
    for (const LegacyRecord &entry : records) {
        // Name field: 1024 bytes, zero-filled after the name.
        body += entry.name.leftJustified(1024, '\0', true);
        body += word(offset) + word(entry.size) + word(entry.readOnly ? 1 : 0) + word(entry.time);
        offset += entry.size;
    }
    return body;
}
