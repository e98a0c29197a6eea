// A document of the tool's own XML tree: the forgiving reader, the writer and path loading.
#pragma once

#include "macros/macromap.h"
#include "xml/xmlnode.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QIODevice;

/// Which elements expandAttributeMacros() rewrites: the one given, or it and
/// all its descendants.
enum class AttributeScope { Element, Subtree };

/// Owns a root element and reads and writes it as text. Reading and file
/// errors are reported by the boolean results and errorMessage()/errorLine(),
/// never by exceptions.
class XMLDocument {
public:
    /// `keepText`: whether character data and comments are kept when reading.
    explicit XMLDocument(bool keepText = false);
    virtual ~XMLDocument();

    XMLDocument(const XMLDocument &) = delete;
    XMLDocument &operator=(const XMLDocument &) = delete;

    /// The factory every element of the document comes from, so that a derived
    /// document can build derived elements.
    virtual std::unique_ptr<XMLElement> createElement(const QByteArray &name);

    /// Parses `text` up to its first NUL byte and replaces the root. Fails with
    /// "bad tagName" or "tagName mismatch" and the line where reading stopped.
    bool read(const QByteArray &text);
    /// Reads the whole device and calls read(), skipping a UTF-8 byte-order mark.
    bool readFile(QIODevice &file);
    /// Reads `path` (8-bit file name) whole and parses it as readFile() does;
    /// fails with "couldn't read " + path, also when the path is not a
    /// regular file (a FIFO or device is never waited on).
    bool load(const QByteArray &path);
    /// Sets indent() and wrapWidth() and writes the document; always true.
    bool write(QIODevice &file, quint32 indent, quint32 wrapWidth);
    /// The text write() would produce.
    QByteArray toText(quint32 indent, quint32 wrapWidth);
    /// Writes to `path` without attribute wrapping; fails with "couldn't write " + path.
    bool save(const QByteArray &path, quint32 indent);

    /// The name of the "<!DOCTYPE " declaration within the first 1024 bytes
    /// of the file, or a null array (also for anything but a regular file).
    static QByteArray documentType(const QByteArray &path);

    /// A deep copy of `node` and its subtree; elements come from createElement().
    std::unique_ptr<XMLNode> cloneNode(const XMLNode &node);

    XMLElement *root() const { return m_root.get(); }
    void setRoot(std::unique_ptr<XMLElement> root);
    std::unique_ptr<XMLElement> takeRoot();

    bool keepText() const { return m_keepText; }
    quint32 indent() const { return m_indent; }
    quint32 wrapWidth() const { return m_wrapWidth; }

    QByteArray doctype() const { return m_doctype; }
    void setDoctype(const QByteArray &doctype) { m_doctype = doctype; }
    QByteArray version() const { return m_version; }
    void setVersion(const QByteArray &version) { m_version = version; }
    QByteArray encoding() const { return m_encoding; }
    void setEncoding(const QByteArray &encoding) { m_encoding = encoding; }

    /// The last error; kept until the next failing operation.
    QByteArray errorMessage() const { return m_errorMessage; }
    quint32 errorLine() const { return m_errorLine; }

protected:
    void setError(const QByteArray &message, quint32 line);

private:
    /// One node without its children; an element comes from createElement().
    std::unique_ptr<XMLNode> copyNode(const XMLNode &source);

    bool m_keepText;
    quint32 m_indent = 0;
    quint32 m_wrapWidth = 0;
    QByteArray m_doctype;
    QByteArray m_version;
    QByteArray m_encoding;
    std::unique_ptr<XMLElement> m_root;
    QByteArray m_errorMessage;
    quint32 m_errorLine = 0;
};

/// A document loaded from and saved to Unicode paths, with macro expansion of
/// attribute values.
class QXMLDocument : public XMLDocument {
public:
    explicit QXMLDocument(bool keepText = false);
    ~QXMLDocument() override;

    using XMLDocument::load;
    using XMLDocument::save;
    /// load() with the path in the local 8-bit file name encoding.
    bool load(const QString &path);
    /// save() with the path in the local 8-bit file name encoding.
    bool save(const QString &path, quint32 indent);
    using XMLDocument::documentType;
    static QByteArray documentType(const QString &path);

    /// The longest result that an expansion of `$(NAME)` references may give:
    /// definitions that double themselves would otherwise exhaust memory.
    static constexpr int MaxExpandedLength = 1 << 22;

    /// `text` expanded with `table` alone (no overrides, no global macros), or
    /// nothing when an expansion pass passes MaxExpandedLength characters.
    static std::optional<QString> expandWithinLimit(const QString &text, const MacroMap &table);

    /// For `element` and, with AttributeScope::Subtree, all its descendants,
    /// every attribute value holding a "$" is replaced by its expansion with
    /// `table` alone (no overrides, no global macros). Values are UTF-8. A value
    /// whose expansion passes MaxExpandedLength characters stays as it is,
    /// and the result is then false.
    bool expandAttributeMacros(XMLElement *element, const MacroMap &table,
                               AttributeScope scope = AttributeScope::Subtree);
};
