// Shared body of the reader and preprocessor fuzz harnesses. A harness for a
// derived document (the project model's) hands it its own documents, and can
// be run over a corpus of real project files.
#pragma once

#include "xml/xmlpp2.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

/// Input: an input that starts with "<" (after white space) is all document,
/// so real project files serve as seeds unchanged; otherwise the first line is
/// the definitions string and the rest the document text. The text is read and
/// written back directly, then written to `directory` as "main.xml" (next to
/// a small "part.xml" that it may include, and able to include itself) and
/// preprocessed from there by documents of `makeDocument`, once with
/// attribute expansion and once without.
inline void fuzzXMLPreprocessor(const QString &directory, const uint8_t *data, size_t size,
                                const std::function<std::unique_ptr<XMLPP2>()> &makeDocument)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const bool allDocument = input.trimmed().startsWith('<');
    const int newline = allDocument ? -1 : input.indexOf('\n');
    const QByteArray definitions = newline < 0 ? QByteArray() : input.left(newline);
    const QByteArray text = newline < 0 ? input : input.mid(newline + 1);

    // Indented output grows with the square of the depth; long inputs are
    // written flat so that a deep one stays quick.
    const quint32 indent = text.size() < 4096 ? 2 : 0;
    {
        XMLDocument direct(true);
        direct.read(text);
        XMLDocument again(true);
        again.read(direct.toText(indent, 60));
    }

    const QString main = directory + QStringLiteral("/main.xml");
    {
        QFile part(directory + QStringLiteral("/part.xml"));
        if (part.open(QIODevice::WriteOnly))
            part.write("<part a='$(A)'><for index='i' start='0' end='3' incr='1'><p n='$(i)'/></for></part>");
        QFile file(main);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(text);
    }
    for (bool expand : {true, false}) {
        const std::unique_ptr<XMLPP2> document = makeDocument();
        // Small enough that loops over huge ranges end quickly.
        document->setExpansionLimit(quint64(1) << 14);
        if (document->loadPreprocessed(main, QString::fromUtf8(definitions), expand))
            document->toText(indent, 80);
    }
}
