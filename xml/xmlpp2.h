// The preprocessing document: resolves conditional, repeated and included sections after loading.
#pragma once

#include "macros/macromap.h"
#include "xml/xmldocument.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

/// A document that replaces every directive element (if, ifnot, ifdef, ifndef,
/// ifex, switch, define, xmldef, xmlput, for, foreach, include) by what it
/// stands for. Directive errors never stop processing: each one goes to
/// reportError() and processing goes on with the following elements. A run
/// that needs more than one of the limits below allows stops instead: it
/// fails like a read error, with the limit and the file in errorMessage(),
/// and exceededLimit() tells the two apart.
class XMLPP2 : public QXMLDocument {
public:
    /// The default number of nodes that loops, fragments and includes may add
    /// in one run, each loop pass counting as one at least, so that a runaway
    /// document fails instead of exhausting time and memory.
    static constexpr quint64 DefaultExpansionLimit = quint64(1) << 19;
    /// How deeply included files may include further files: a file that
    /// includes itself stops here.
    static constexpr int MaxIncludeDepth = 32;
    /// How many files one run may include: files that include the next one
    /// twice would otherwise double the work at every level.
    static constexpr int MaxIncludedFiles = 4096;

    explicit XMLPP2(bool keepText = false);
    ~XMLPP2() override;

    /// Receives each directive error; the base does nothing with it.
    virtual void reportError(const QString &message);

    /// Loads `path` and, on success, preprocesses the whole tree with the
    /// definitions of `definitions` (";"-separated NAME=value entries).
    /// Fails when the file cannot be loaded or read, or when preprocessing
    /// passes a limit.
    bool loadPreprocessed(const QString &path, const QString &definitions, bool expandAttributes);

    /// Processes `first` and its following siblings in place with `table`;
    /// `path` is the file the nodes come from (relative includes are resolved
    /// against its directory). `first` must have a parent or be the root.
    /// False when a limit stopped it, the tree then half processed.
    bool processConditionals(XMLNode *first, const QString &path, const MacroMap &table,
                             bool expandAttributes);

    /// Whether the last failure of loadPreprocessed() or processConditionals()
    /// was a limit rather than a file that could not be loaded or read.
    bool exceededLimit() const { return m_exceededLimit; }

    /// Limits the nodes that expansions may add per run; 0 means no limit.
    void setExpansionLimit(quint64 nodes) { m_expansionLimit = nodes; }
    quint64 expansionLimit() const { return m_expansionLimit; }

    /// Every regular file that loadPreprocessed() and the include elements
    /// have read so far, well-formed or not, in the order read: what the
    /// document depends on.
    const QStringList &readFiles() const { return m_readFiles; }

private:
    class Processor;

    /// Notes `path` in readFiles() when it names a regular file.
    void noteRead(const QString &path);

    quint64 m_expansionLimit = DefaultExpansionLimit;
    bool m_exceededLimit = false;
    QStringList m_readFiles;
    /// The xmldef elements of the current run, by name; xmlput copies them.
    std::map<QString, std::unique_ptr<XMLElement>> m_fragments;
};

/// The preprocessing document of the project model: its elements, the
/// included and copied ones too, come from the factory it is made with (the
/// project model's own element type), and its directive errors are silent.
class ProjectSystemXMLPP2 : public XMLPP2 {
public:
    explicit ProjectSystemXMLPP2(XMLElementFactory elementFactory, bool keepText = false);
    ~ProjectSystemXMLPP2() override;

    /// An element from the document's factory (a plain element without one).
    std::unique_ptr<XMLElement> createElement(const QByteArray &name) override;
    /// Does nothing: preprocessing errors in project files are not reported.
    void reportError(const QString &message) override;

private:
    XMLElementFactory m_elementFactory;
};
