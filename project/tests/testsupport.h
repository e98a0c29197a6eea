// Shared helpers of the project model tests: solution trees on disk and a loaded system.
#pragma once

#include "project/projectsystem.h"
#include "project/projecttree.h"
#include "project/solutionloader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <ostream>

// Readable failure output for texts, one definition for the executable.
void PrintTo(const QString &text, std::ostream *os);

/// A temporary directory for solution trees and a RISC-V project system to load them
/// (template path: the directory's "templates.xml").
class ProjectTest : public ::testing::Test {
protected:
    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }
    /// Writes UTF-8 `text` to `relative`, making its directories; all return absolute paths.
    QString write(const QString &relative, const QString &text) const;
    QString touch(const QString &relative) const { return write(relative, QString()); }
    QString mkdir(const QString &relative) const;
    /// A solution file: the document type line, then `body`.
    QString writeSolution(const QString &relative, const QString &body) const
    {
        return write(relative, QStringLiteral("<!DOCTYPE Kestrel_Project_File>\n") + body);
    }
    ProjectElement *load(const QString &relative);
    /// Loads and returns the error; fails the test when loading succeeds.
    SolutionLoadError loadError(const QString &relative);
    /// The first descendant (in document order) with that "Name", or file with that "file_name"; or null.
    ProjectElement *byName(const QString &name) const;
    ProjectElement *byFileName(const QString &fileName) const;
    QString resolve(const ProjectElement *element, const QString &property, const QString &configuration) const
    {
        return resolveProperty(*system, element, property, configuration);
    }
    /// The display names of the element children, "|"-joined, for placement checks.
    QString childNames(const ProjectElement *element) const;

    QTemporaryDir dir;
    std::unique_ptr<RISCVProjectSystem> system = std::make_unique<RISCVProjectSystem>(
        dir.path() + QStringLiteral("/templates.xml"), QStringList(), false, false);
};

/// A progress sink that records its calls as text lines.
class RecordingProgress : public ProjectLoadProgressInterface {
public:
    void beginStep(const QString &message, int kind) override
    {
        steps.append(QStringLiteral("begin %1 %2").arg(kind).arg(message));
        maxDepth = std::max(maxDepth, ++m_depth);
    }
    void endStep() override
    {
        steps.append(QStringLiteral("end"));
        --m_depth;
    }
    void setProgress(int current, int total) override
    {
        steps.append(QStringLiteral("progress %1/%2").arg(current).arg(total));
    }
    int depth() const override { return m_depth; }
    void addMessage(const QString &message) override { m_messages.append(message); }
    QStringList messages() const override { return m_messages; }
    void processEvents() override {}

    QStringList steps;
    int maxDepth = 0;
    int m_depth = 0;
    QStringList m_messages;
};
