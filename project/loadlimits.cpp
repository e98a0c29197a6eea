// The spending of one load against its limits.
#include "project/loadlimits.h"

#include "project/solutionloaderror.h"

void LoadBudget::reset(const LoadLimits &limits)
{
    m_limits = limits;
    m_importedFiles = 0;
    m_elements = 0;
}

void LoadBudget::chargeImport(const QString &importingFile)
{
    if (++m_importedFiles <= m_limits.importedFiles)
        return;
    throw SolutionLoadError(importingFile, QStringLiteral("import limit of %1 files exceeded in ")
                                                   .arg(m_limits.importedFiles)
                                               + importingFile);
}

void LoadBudget::chargeElements(quint64 count)
{
    m_elements += count;
    if (m_elements <= m_limits.elements)
        return;
    throw SolutionLoadError(QString(), QStringLiteral("element limit of %1 elements exceeded").arg(m_limits.elements));
}
