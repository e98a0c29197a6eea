// Writing the dependency file: absolute names, make's escapes, one rename.
#include "tool/dependencyfile.h"

#include "package/hexception.h"
#include "package/pathbytes.h"
#include "tool/replacementfile.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

const char kCannotName[] = "cannot list in dependency file ";
const char kCannotWrite[] = "cannot write dependency file ";
const char kPartSuffix[] = ".part";

QByteArray currentDirectory()
{
    QByteArray buffer(4096, '\0');
    while (!getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QByteArray("/");
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
}

/// `path` from the root, without "." components or doubled "/". ".." stays:
/// dropping it with the piece before it would be wrong after a link.
QByteArray absolutePath(const QByteArray &path, const QByteArray &directory)
{
    const QByteArray full = path.startsWith('/') ? path : directory + '/' + path;
    QByteArray clean;
    for (const QByteArray &piece : full.split('/')) {
        if (piece.isEmpty() || piece == ".")
            continue;
        clean += '/' + piece;
    }
    return clean.isEmpty() ? QByteArray("/") : clean;
}

QByteArray makeEscaped(const QByteArray &name)
{
    QByteArray escaped;
    for (int i = 0; i < name.size(); ++i) {
        const char c = name[i];
        switch (c) {
        case ' ':
        case '\t':
            // make reads 2n backslashes before a blank as n, then the blank.
            for (int j = i - 1; j >= 0 && name[j] == '\\'; --j)
                escaped += '\\';
            escaped += '\\';
            break;
        case '#':
            escaped += '\\';
            break;
        case '$':
            escaped += '$';
            break;
        default:
            break;
        }
        escaped += c;
    }
    return escaped;
}

QByteArray ruleName(const QString &name, const QByteArray &directory)
{
    const QByteArray bytes = pathBytes(name);
    if (bytes.contains('\n') || bytes.contains('\r'))
        throw HException(kCannotName, name);
    return makeEscaped(absolutePath(bytes, directory));
}

} // namespace

DependencyFile::DependencyFile(const QString &path, const QString &target) : m_path(path)
{
    if (m_path.isEmpty())
        return;
    m_currentDirectory = currentDirectory();
    m_target = ruleName(target, m_currentDirectory);
}

void DependencyFile::add(const QString &input)
{
    if (m_path.isEmpty())
        return;
    const QByteArray name = ruleName(input, m_currentDirectory);
    if (m_seen.contains(name))
        return;
    m_seen.insert(name);
    m_inputs += " \\\n " + name;
}

void DependencyFile::write() const
{
    if (m_path.isEmpty())
        return;
    const QByteArray rule = m_target + ':' + m_inputs + '\n';
    const QString part = m_path + QLatin1String(kPartSuffix);
    FILE *file = std::fopen(pathBytes(part).constData(), "wb");
    if (!file)
        throw HException(kCannotWrite, m_path);
    bool written = std::fwrite(rule.constData(), 1, size_t(rule.size()), file) == size_t(rule.size());
    written = std::fclose(file) == 0 && written;
    if (!written || !renameIntoPlace(part, m_path)) {
        unlink(pathBytes(part).constData());
        throw HException(kCannotWrite, m_path);
    }
}
