// The one error of the project model.
#include "project/solutionloaderror.h"

SolutionLoadError::SolutionLoadError(const QString &subject_, const QString &text_)
    : subject(subject_), text(text_), m_what((subject_ + text_).toUtf8())
{
}

SolutionLoadError::SolutionLoadError(const QString &subject_, const QString &text_, int line_,
                                     int column_)
    : subject(subject_), hasLine(true), text(text_), line(line_), column(column_),
      m_what((subject_ + text_).toUtf8())
{
}
