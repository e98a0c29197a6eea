// Shared helpers of the project model tests.
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

ProjectTest::ProjectTest()
{
    system = std::make_unique<RISCVProjectSystem>(dir.path() + QStringLiteral("/templates.xml"),
                                                  QStringList(), false, false);
}

ProjectTest::~ProjectTest() = default;

QString ProjectTest::path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }

QString ProjectTest::write(const QString &relative, const QString &text) const
{
    const QString file = path(relative);
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate)) << file.toStdString();
    out.write(text.toUtf8());
    return file;
}

QString ProjectTest::touch(const QString &relative) const { return write(relative, QString()); }

QString ProjectTest::mkdir(const QString &relative) const
{
    QDir().mkpath(path(relative));
    return path(relative);
}

QString ProjectTest::writeSolution(const QString &relative, const QString &body) const
{
    return write(relative, QStringLiteral("<!DOCTYPE Kestrel_Project_File>\n") + body);
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

namespace {

ProjectElement *findDepthFirst(ProjectElement *from,
                               const std::function<bool(const ProjectElement *)> &match)
{
    for (ProjectElement *child = from ? from->firstChildProjectElement() : nullptr; child;
         child = child->nextSiblingProjectElement()) {
        if (match(child))
            return child;
        if (ProjectElement *found = findDepthFirst(child, match))
            return found;
    }
    return nullptr;
}

} // namespace

ProjectElement *ProjectTest::byName(const QString &name, ProjectElement *from) const
{
    return findDepthFirst(from ? from : system->rootElement(), [&](const ProjectElement *e) {
        return e->property(QStringLiteral("Name")) == name;
    });
}

ProjectElement *ProjectTest::byFileName(const QString &fileName, ProjectElement *from) const
{
    return findDepthFirst(from ? from : system->rootElement(), [&](const ProjectElement *e) {
        return e->kind() == ProjectElementKind::File
            && e->property(QStringLiteral("file_name")) == fileName;
    });
}

QString ProjectTest::resolve(const ProjectElement *element, const QString &property,
                             const QString &configuration) const
{
    return resolveProperty(*system, element, property, configuration);
}

QString ProjectTest::childNames(const ProjectElement *element) const
{
    QStringList names;
    for (ProjectElement *child = element->firstChildProjectElement(); child;
         child = child->nextSiblingProjectElement())
        names.append(displayName(*system, child));
    return names.join(QLatin1Char('|'));
}
