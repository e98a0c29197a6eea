// Writes seed inputs for the package harnesses into a directory: valid
// packages of every form (for the loader harness) and selector-plus-body
// inputs (for the body harness). Options starting with "-" are ignored, so
// a run that takes it for a harness only writes seeds.
#include "package/packagearchive.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <zlib.h>

#include <cstdio>

namespace {

void fill(PackageArchive &archive, int variant)
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(1700000000);
    archive.addData("<?xml version=\"1.0\"?>\n<package name=\"rv32\" version=\"1.0\" kip_versions=\"4\""
                    " build_version=\"9\" dependencies=\"a;b\"/>\n",
                    time, 0100644, "rv32_package.xml");
    if (variant > 0) {
        archive.addData("#define RV32 1\n", time, 0100444, "include/rv32.h");
        archive.addData(QByteArray(), time, 0100600, "empty");
        archive.addData(QByteArray(300, 'x'), time, 0100755, "bin/tool");
    }
    if (variant > 1)
        archive.addData("n", time, 0644, QString());
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray inflateAll(const QByteArray &compressed)
{
    z_stream s = {};
    inflateInit(&s);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    s.avail_in = uInt(compressed.size());
    QByteArray out;
    char chunk[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        s.next_out = reinterpret_cast<Bytef *>(chunk);
        s.avail_out = sizeof chunk;
        result = inflate(&s, Z_NO_FLUSH);
        out.append(chunk, int(sizeof chunk - s.avail_out));
    }
    inflateEnd(&s);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QString dir;
    for (int i = 1; i < argc && dir.isEmpty(); ++i)
        if (argv[i][0] != '-')
            dir = QString::fromLocal8Bit(argv[i]);
    if (dir.isEmpty()) {
        fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 1;
    }
    QDir().mkpath(dir);
    int written = 0;
    try {
        for (int variant = 0; variant < 3; ++variant) {
            struct Form {
                const char *name;
                int version;
                int method;
            } forms[] = {{"v2-zlib", 2, 0}, {"v2-bzip2", 2, 1}, {"v1-wrapped", 1, 0}};
            for (const Form &form : forms) {
                PackageArchive archive;
                fill(archive, variant);
                archive.setVersion(form.version);
                archive.setCompression(form.method);
                const QString name = dir + QStringLiteral("/%1-%2.lxPackage").arg(QLatin1String(form.name)).arg(variant);
                archive.save(name, form.method == 1 ? 1 : 6);
                ++written;
                const QByteArray file = readAll(name);
                if (form.version == 1) {
                    // The bare legacy form is never written: unwrap it.
                    const QByteArray body = inflateAll(file.mid(12));
                    writeAll(dir + QStringLiteral("/v1-bare-%1.lxPackage").arg(variant), body);
                    // Body harness, bare legacy (selector 3): body after the magic.
                    writeAll(dir + QStringLiteral("/body-bare-%1").arg(variant), QByteArray(1, '\x03') + body.mid(4));
                    writeAll(dir + QStringLiteral("/body-wrapped-%1").arg(variant), QByteArray(1, '\x02') + body);
                    written += 3;
                } else if (form.method == 0) {
                    const QByteArray body = inflateAll(file.mid(8));
                    writeAll(dir + QStringLiteral("/body-v2-%1").arg(variant), QByteArray(1, '\x00') + body);
                    writeAll(dir + QStringLiteral("/body-v2-raw-%1").arg(variant), QByteArray(1, '\x04') + file.mid(8));
                    written += 2;
                } else {
                    writeAll(dir + QStringLiteral("/body-v2bz-raw-%1").arg(variant), QByteArray(1, '\x05') + file.mid(8));
                    ++written;
                }
            }
        }
    } catch (const std::exception &e) {
        fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    printf("%d seeds in %s\n", written, qPrintable(dir));
    return 0;
}
