// The one error of the project model.
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

/// Thrown by every failure of loading a solution and expanding its templates.
/// `subject` followed directly by `text` reads as one sentence (texts carry
/// their own leading blank where one belongs); a command-line front end
/// prints `text` alone. `line` and `column` mean something only with
/// `hasLine` (XML syntax errors), and `column` is then 0.
class SolutionLoadError : public std::exception {
public:
    SolutionLoadError(const QString &subject, const QString &text);
    SolutionLoadError(const QString &subject, const QString &text, int line, int column = 0);

    /// subject + text, UTF-8.
    const char *what() const noexcept override { return m_what.constData(); }

    QString subject;
    bool hasLine = false;
    QString text;
    int line = 0;
    int column = 0;

private:
    QByteArray m_what;
};
