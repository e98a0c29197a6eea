// Shared helpers of the project model tests: solution trees on disk and a loaded system.
#pragma once

#include "project/projectsystem.h"
#include "project/projecttree.h"
#include "project/solutionloader.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

// Readable failure output for texts, one definition for the executable.
void PrintTo(const QString &text, std::ostream *os);

/// A temporary directory for solution trees and a RISC-V project system to load them
/// (template path: the directory's "templates.xml").
class ProjectTest : public ::testing::Test {
protected:
    ProjectTest();
    ~ProjectTest() override;

    /// The absolute path of `relative` inside the temporary directory.
    QString path(const QString &relative) const;
    /// Writes `text` (UTF-8) to `relative`, creating directories; returns the absolute path.
    QString write(const QString &relative, const QString &text) const;
    /// Creates an empty file (and its directories); returns the absolute path.
    QString touch(const QString &relative) const;
    /// Creates a directory; returns the absolute path.
    QString mkdir(const QString &relative) const;
    /// A solution file: the document type line, then `body`.
    QString writeSolution(const QString &relative, const QString &body) const;

    /// Loads `relative` into system; failures propagate.
    ProjectElement *load(const QString &relative);
    /// Loads and returns the error; fails the test when loading succeeds.
    SolutionLoadError loadError(const QString &relative);

    /// The first descendant (depth-first) with that "Name", or null.
    ProjectElement *byName(const QString &name, ProjectElement *from = nullptr) const;
    /// The first descendant file whose "file_name" is `fileName`, or null.
    ProjectElement *byFileName(const QString &fileName, ProjectElement *from = nullptr) const;
    QString resolve(const ProjectElement *element, const QString &property,
                    const QString &configuration) const;
    /// The display names of the element children, "|"-joined, for placement checks.
    QString childNames(const ProjectElement *element) const;

    QTemporaryDir dir;
    std::unique_ptr<RISCVProjectSystem> system;
};

/// A progress sink that records its calls as text lines.
class RecordingProgress : public ProjectLoadProgressInterface {
public:
    void beginStep(const QString &message, int kind) override;
    void endStep() override;
    void addMessage(const QString &message) override;
    int depth() const override { return m_depth; }
    void setProgress(int current, int total) override;
    void processEvents() override {}
    QStringList messages() const override { return m_messages; }

    QStringList steps;
    int maxDepth = 0;

private:
    int m_depth = 0;
    QStringList m_messages;
};
