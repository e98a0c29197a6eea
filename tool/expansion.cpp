// Argument expansion for -c and -r. Names are bytes: every path is handed to
// the system as its Latin-1 bytes and directory entries come back the same
// way, so names that are not UTF-8 survive unchanged. Listing is done with
// readdir rather than QDir because QDir decodes names as UTF-8 and sorts.
#include "tool/expansion.h"

#include "package/hexception.h"

#include <QPair>
#include <QRegExp>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {

struct DirectoryId {
    dev_t device;
    ino_t inode;
};

enum class EntryKind { Other, RegularFile, Directory };

EntryKind kindOf(const QByteArray &path, struct stat *info)
{
    // stat, not lstat: links are followed; a dangling link is "Other".
    if (stat(path.constData(), info) != 0)
        return EntryKind::Other;
    if (S_ISREG(info->st_mode))
        return EntryKind::RegularFile;
    if (S_ISDIR(info->st_mode))
        return EntryKind::Directory;
    return EntryKind::Other;
}

/// The directory to open for a path string; an empty directory part is the root.
QByteArray openablePath(const QString &directory)
{
    return directory.isEmpty() ? QByteArray("/") : directory.toLatin1();
}

/// Entry names of one directory, hidden ones and "." and ".." left out, in
/// the order the file system delivers them.
QStringList visibleEntries(const QString &directory)
{
    DIR *dir = opendir(openablePath(directory).constData());
    if (!dir)
        throw HException(QStringLiteral("can't open ") + directory);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent *entry = readdir(dir);
        if (!entry)
            break;
        if (entry->d_name[0] == '.')
            continue;
        names.append(QString::fromLatin1(entry->d_name));
    }
    const int readError = errno;
    closedir(dir);
    if (readError != 0)
        throw HException(QStringLiteral("can't open ") + directory);
    return names;
}

/// Names are Latin-1, one character per byte, so ordering their UTF-16 code
/// units orders their bytes.
void sortByBytes(QStringList &names)
{
    std::sort(names.begin(), names.end());
}

class Expander {
public:
    explicit Expander(const ExpansionOptions &options) : m_options(options) {}

    void expandArgument(const QString &argument)
    {
        struct stat info;
        switch (kindOf(argument.toLatin1(), &info)) {
        case EntryKind::RegularFile:
            m_paths.append(argument);
            return;
        case EntryKind::Directory: {
            QString directory = argument;
            if (directory.endsWith(QLatin1Char('/')))
                directory.chop(1);
            walkDirectory(directory, info);
            return;
        }
        case EntryKind::Other:
            expandWildcard(argument);
            return;
        }
    }

    const QStringList &paths() const { return m_paths; }

private:
    // Depth first with an explicit stack, each directory's entries in the
    // order they were taken; a deep tree costs heap, not call stack.
    void walkDirectory(const QString &directory, const struct stat &info)
    {
        // Each argument is a walk of its own: one given twice is input, not a link.
        m_walkRoot = directory;
        m_listedDirectories.clear();
        m_repeatedEntries = 0;
        openDirectory(directory, info);
        while (!m_openDirectories.empty()) {
            OpenDirectory &current = m_openDirectories.back();
            if (current.next == current.entries.size()) {
                m_openDirectories.pop_back();
                continue;
            }
            const QString path = current.path + QLatin1Char('/') + current.entries.at(current.next++);
            if (m_options.excludePaths.contains(path))
                continue;
            struct stat entryInfo;
            switch (kindOf(path.toLatin1(), &entryInfo)) {
            case EntryKind::Directory:
                openDirectory(path, entryInfo);
                break;
            case EntryKind::RegularFile:
                m_paths.append(path);
                break;
            case EntryKind::Other:
                // Sockets, devices and dangling links are not package members.
                break;
            }
        }
    }

    // Lists a directory for the walk, unless it is one the walk is inside.
    void openDirectory(const QString &path, const struct stat &info)
    {
        for (const OpenDirectory &open : m_openDirectories) {
            if (open.id.device == info.st_dev && open.id.inode == info.st_ino) {
                reportLoop(path);
                return;
            }
        }
        const QStringList entries = entriesOf(path);
        countRepeatedEntries(info, entries.size());
        m_openDirectories.push_back({path, {info.st_dev, info.st_ino}, entries, 0});
    }

    // Entries of a directory listed before count against the limit.
    void countRepeatedEntries(const struct stat &info, int entries)
    {
        const QPair<quint64, quint64> id(quint64(info.st_dev), quint64(info.st_ino));
        if (!m_listedDirectories.contains(id)) {
            m_listedDirectories.insert(id);
            return;
        }
        m_repeatedEntries += quint64(entries);
        if (m_repeatedEntries <= m_options.maxRepeatedEntries)
            return;
        throw HException(QStringLiteral("directory walk limit of %1 repeated entries exceeded in ")
                             .arg(m_options.maxRepeatedEntries)
                         + m_walkRoot);
    }

    void expandWildcard(const QString &argument)
    {
        const int slash = argument.lastIndexOf(QLatin1Char('/'));
        const QString directory = slash < 0 ? QStringLiteral(".") : argument.left(slash);
        const QString component = slash < 0 ? argument : argument.mid(slash + 1);

        QVector<QRegExp> patterns;
        for (const QString &pattern : splitWildcardPatterns(component))
            patterns.append(QRegExp(pattern, Qt::CaseInsensitive, QRegExp::Wildcard));

        const QStringList entries = entriesOf(directory);
        for (const QString &entry : entries) {
            bool matched = false;
            for (const QRegExp &pattern : patterns) {
                if (pattern.exactMatch(entry)) {
                    matched = true;
                    break;
                }
            }
            if (!matched)
                continue;
            const QString path = directory + QLatin1Char('/') + entry;
            struct stat info;
            if (kindOf(path.toLatin1(), &info) == EntryKind::RegularFile)
                m_paths.append(path);
        }
    }

    /// The walk's and the wildcards' one way of reading a directory: its
    /// visible entries, reported as listed, in the order asked for.
    QStringList entriesOf(const QString &directory)
    {
        QStringList entries = visibleEntries(directory);
        if (m_options.onDirectoryListed)
            m_options.onDirectoryListed(directory);
        if (m_options.order == EntryOrder::Bytes)
            sortByBytes(entries);
        return entries;
    }

    void reportLoop(const QString &path)
    {
        if (m_options.onDirectoryLoop) {
            m_options.onDirectoryLoop(path);
            return;
        }
        fflush(stdout);
        fprintf(stderr, "warning: directory loop at %s\n", path.toLatin1().constData());
    }

    // A directory of the walk: its entries and the next one to look at.
    struct OpenDirectory {
        QString path;
        DirectoryId id;
        QStringList entries;
        int next;
    };

    const ExpansionOptions &m_options;
    // The directories from the walk's start down to the one being listed.
    std::vector<OpenDirectory> m_openDirectories;
    QStringList m_paths;
    // The directory argument being walked, as typed.
    QString m_walkRoot;
    // Every directory the current walk has listed, by device and inode.
    QSet<QPair<quint64, quint64>> m_listedDirectories;
    quint64 m_repeatedEntries = 0;
};

} // namespace

QStringList splitWildcardPatterns(const QString &component)
{
    const QStringList pieces = component.contains(QLatin1Char(';'))
                                   ? component.split(QLatin1Char(';'))
                                   : component.split(QLatin1Char(' '));
    QStringList patterns;
    for (const QString &piece : pieces) {
        const QString pattern = piece.trimmed();
        if (!pattern.isEmpty())
            patterns.append(pattern);
    }
    return patterns;
}

QStringList expandFileArguments(const QStringList &arguments, const ExpansionOptions &options)
{
    Expander expander(options);
    for (const QString &argument : arguments)
        expander.expandArgument(argument);
    return expander.paths();
}
