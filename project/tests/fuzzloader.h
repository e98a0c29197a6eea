// Shared body of the solution loader fuzz harness: the XML preprocessor harness,
// then the whole load of the same text as a solution file.
#pragma once

#include "project/projectsystem.h"
#include "project/solutionloader.h"
#include "xml/tests/fuzzpreprocess.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

/// Loading arbitrary text must end with a tree or a SolutionLoadError. Load commands
/// would run programs and recursive folders could walk the disk from "/": not loaded.
inline void fuzzSolutionLoader(const QString &directory, const uint8_t *data, size_t size)
{
    fuzzXMLPreprocessor(directory, data, size, [] {
        return std::make_unique<ProjectSystemXMLPP2>(
            [](const QByteArray &name) { return std::make_unique<ProjectElement>(name); });
    });

    QByteArray text(reinterpret_cast<const char *>(data), int(size));
    if (text.contains("load_command") || text.contains("recurse"))
        return;
    if (!text.contains("<!DOCTYPE"))
        text.prepend("<!DOCTYPE Kestrel_Project_File>\n");
    const QString solution = directory + QStringLiteral("/fuzz.lxProject");
    {
        QFile file(solution);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        file.write(text);
    }
    RISCVProjectSystem system(directory + QStringLiteral("/templates.xml"), QStringList(), false,
                              false);
    // Small enough that runaway inputs end quickly, at a limit.
    LoadLimits limits;
    limits.importedFiles = 256;
    limits.elements = quint64(1) << 16;
    limits.expansionNodes = quint64(1) << 14;
    system.setLoadLimits(limits);
    try {
        loadSolution(system, solution);
    } catch (const SolutionLoadError &) {
    }
}
