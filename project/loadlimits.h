// How much one load of a solution may read and make, and what it has spent.
#pragma once

#include "xml/xmlpp2.h"

#include <QString>
#include <QtGlobal>

/// How much one load of a solution may read and make. A load that needs more
/// stops with a SolutionLoadError naming the limit instead of exhausting time
/// or memory; the defaults leave room for any real solution.
struct LoadLimits {
    /// Files read as imports over the whole load: imports that import the
    /// next file twice would otherwise double the work at every level.
    static constexpr quint64 DefaultImportedFiles = 16384;
    /// Elements read from solution files, copied from templates or listed
    /// in dynamic folders, over the whole load.
    static constexpr quint64 DefaultElements = quint64(1) << 20;
    /// Entries that the scan of one dynamic-folder directory may list in
    /// directories it has listed before (reached again through links):
    /// links that lead twice to the next directory would otherwise double
    /// the paths at every level. A tree without such links is never limited.
    static constexpr quint64 DefaultRepeatedEntries = quint64(1) << 17;

    quint64 importedFiles = DefaultImportedFiles;
    quint64 elements = DefaultElements;
    quint64 repeatedEntries = DefaultRepeatedEntries;
    /// Nodes the preprocessor may add in each file it reads.
    quint64 expansionNodes = XMLPP2::DefaultExpansionLimit;
};

/// What one load has spent against its limits.
class LoadBudget {
public:
    /// Starts a load with nothing spent.
    void reset(const LoadLimits &limits);
    /// One more file imported by `importingFile`; throws SolutionLoadError
    /// "import limit of N files exceeded in " + `importingFile` past the limit.
    void chargeImport(const QString &importingFile);
    /// `count` more elements; throws SolutionLoadError "element limit of N
    /// elements exceeded" past the limit.
    void chargeElements(quint64 count = 1);

private:
    LoadLimits m_limits;
    quint64 m_importedFiles = 0;
    quint64 m_elements = 0;
};
