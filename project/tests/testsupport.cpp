// Shared helpers of the project model tests.
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }

QString ProjectTest::write(const QString &relative, const QString &text) const
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
    out.write(text.toUtf8());
    return file;
}

QString ProjectTest::mkdir(const QString &relative) const
{
    EXPECT_TRUE(QDir().mkpath(path(relative))) << relative.toStdString();
    return path(relative);
}

ProjectElement *ProjectTest::load(const QString &relative)
{
    loadSolution(*system, path(relative));
    return system->rootElement();
}

SolutionLoadError ProjectTest::loadError(const QString &relative)
{
    try {
        loadSolution(*system, path(relative));
    } catch (const SolutionLoadError &error) {
        return error;
    }
    ADD_FAILURE() << "loading " << relative.toStdString() << " succeeded";
    return SolutionLoadError(QString(), QString());
}

// In document order, the first descendant of `from` with `property` equal to
// `value` (files only for "file_name"); a walk, so deep trees are fine.
static ProjectElement *find(ProjectElement *from, const QString &property, const QString &value)
{
    for (XMLNode *node = from ? from->nextInSubtree(from) : nullptr; node; node = node->nextInSubtree(from)) {
        ProjectElement *element = asProjectElement(node);
        if (element && (property != QLatin1String("file_name") || element->kind() == ProjectElementKind::File)
            && element->property(property) == value)
            return element;
    }
    return nullptr;
}

ProjectElement *ProjectTest::byName(const QString &name) const
{
    return find(system->rootElement(), QStringLiteral("Name"), name);
}

ProjectElement *ProjectTest::byFileName(const QString &fileName) const
{
    return find(system->rootElement(), QStringLiteral("file_name"), fileName);
}

QString ProjectTest::childNames(const ProjectElement *element) const
{
    QStringList names;
    for (ProjectElement *child = element->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement())
        names.append(displayName(*system, child));
    return names.join(QLatin1Char('|'));
}
