#include "xml/xmldocument.h"

#include "macros/propertyclass.h"
#include "macros/regularfile.h"

#include <QBuffer>
#include <QFile>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

const char kBadTagName[] = "bad tagName";
const char kTagNameMismatch[] = "tagName mismatch";
// The error text lived in a fixed buffer of 1024 bytes, NUL included.
const int kErrorMessageCapacity = 1023;
// How much of a file's start documentType() looks at.
const qint64 kDocumentTypeWindow = 1024;

bool isNameByte(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c == ':' || c == '-';
}

bool isAttributeStart(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c == '-';
}

bool isSpaceByte(uchar c)
{
    return std::isspace(c) != 0;
}

QByteArray withoutByteOrderMark(QByteArray text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text;
}

int hexDigitValue(uchar c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes the reference that starts at the "&" in `p`. On success stores the
// byte and returns the position of the closing ";". The scan only walks the
// reference itself, so a text full of stray "&" stays linear.
const char *decodeReference(const char *p, const char *end, char &out)
{
    const char *q = p + 1;
    if (q < end && *q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        if (hex)
            ++q;
        // Only the low eight bits of the number survive, so it is kept modulo 256.
        unsigned value = 0;
        for (; q < end && *q != ';'; ++q) {
            const int digit = hex ? hexDigitValue(uchar(*q)) : (*q >= '0' && *q <= '9' ? *q - '0' : -1);
            if (digit < 0)
                return nullptr;
            value = (value * (hex ? 16 : 10) + unsigned(digit)) & 0xFF;
        }
        if (q == end)
            return nullptr;
        out = char(value);
        return q;
    }
    struct Named {
        const char *name;
        char value;
    };
    static const Named named[] = {{"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const Named &entity : named) {
        const size_t length = std::strlen(entity.name);
        if (size_t(end - q) >= length && std::memcmp(q, entity.name, length) == 0) {
            out = entity.value;
            return q + length - 1;
        }
    }
    return nullptr;
}

// Entity references are decoded; anything unrecognised keeps its "&".
QByteArray decodeText(const char *begin, const char *end, bool dropCarriageReturns)
{
    QByteArray out("");
    out.reserve(int(end - begin));
    for (const char *p = begin; p < end; ++p) {
        const char c = *p;
        if (c == '\r' && dropCarriageReturns)
            continue;
        char byte = 0;
        const char *last = c == '&' ? decodeReference(p, end, byte) : nullptr;
        if (last) {
            out.append(byte);
            p = last;
        } else {
            out.append(c);
        }
    }
    return out;
}

// The single-pass reader. Elements are kept on an explicit stack and join
// their parent when they are closed.
class Reader {
public:
    Reader(XMLDocument &document, const char *begin, const char *end)
        : m_document(document), m_p(begin), m_end(end)
    {
    }

    enum class Status { Ok, BadTagName, Mismatch };

    Status run();
    std::unique_ptr<XMLElement> takeResult() { return std::move(m_result); }
    quint32 line() const { return m_line; }
    QByteArray version() const { return m_version; }
    QByteArray encoding() const { return m_encoding; }
    QByteArray doctype() const { return m_doctype; }

private:
    // Every cursor move goes through here so that newlines are counted once.
    void advanceTo(const char *target)
    {
        m_line += quint32(std::count(m_p, target, '\n'));
        m_p = target;
    }
    void advance(size_t count) { advanceTo(m_p + std::min(count, size_t(m_end - m_p))); }
    bool atEnd() const { return m_p >= m_end; }
    uchar peek(size_t offset = 0) const { return m_p + offset < m_end ? uchar(m_p[offset]) : 0; }
    const char *find(const char *needle) const
    {
        size_t length = std::strlen(needle);
        const char *hit = std::search(m_p, m_end, needle, needle + length);
        return hit == m_end ? nullptr : hit;
    }
    void skipSpace()
    {
        const char *p = m_p;
        while (p < m_end && isSpaceByte(uchar(*p)))
            ++p;
        advanceTo(p);
    }
    QByteArray readName()
    {
        const char *start = m_p;
        const char *p = m_p;
        while (p < m_end && isNameByte(uchar(*p)))
            ++p;
        advanceTo(p);
        return QByteArray(start, int(p - start));
    }

    bool readDeclaration();
    bool readComment();
    bool readBang();
    Status readEndTag();
    Status readStartTag();
    void readCharacterData();
    void closeElement();
    void appendToOpen(std::unique_ptr<XMLNode> node)
    {
        if (!m_open.empty())
            m_open.back()->appendChild(std::move(node));
    }

    XMLDocument &m_document;
    const char *m_p;
    const char *m_end;
    quint32 m_line = 0;
    std::vector<std::unique_ptr<XMLElement>> m_open;
    std::unique_ptr<XMLElement> m_result;
    QByteArray m_version;
    QByteArray m_encoding;
    QByteArray m_doctype;
};

Reader::Status Reader::run()
{
    skipSpace();
    while (!atEnd() && peek() == '<') {
        Status status = Status::Ok;
        bool goOn = true;
        if (peek(1) == '?') {
            goOn = readDeclaration();
        } else if (peek(1) == '!' && peek(2) == '-' && peek(3) == '-') {
            goOn = readComment();
        } else if (peek(1) == '!') {
            goOn = readBang();
        } else if (peek(1) == '/') {
            status = readEndTag();
        } else {
            status = readStartTag();
        }
        if (status != Status::Ok)
            return status;
        if (!goOn)
            break;
        readCharacterData();
    }
    return Status::Ok;
}

bool Reader::readDeclaration()
{
    advance(2);
    if (readName() != "xml")
        return true; // the rest is character data
    for (;;) {
        skipSpace();
        if (atEnd() || peek() == '?')
            break;
        QByteArray name = readName();
        if (name.isEmpty())
            break;
        skipSpace();
        if (peek() != '=')
            break;
        advance(1);
        skipSpace();
        const char quote = char(peek());
        if (quote != '"' && quote != '\'')
            break;
        const char *close = static_cast<const char *>(std::memchr(m_p + 1, quote, size_t(m_end - m_p - 1)));
        const char *valueEnd = close ? close : m_end;
        QByteArray value(m_p + 1, int(valueEnd - m_p - 1));
        advanceTo(close ? close + 1 : m_end);
        if (name == "version")
            m_version = value;
        else if (name == "encoding")
            m_encoding = value;
    }
    if (peek() == '?') {
        advance(1);
        if (peek() == '>')
            advance(1);
    }
    return true;
}

bool Reader::readComment()
{
    const quint32 line = m_line;
    advance(4);
    const char *close = find("-->");
    if (!close)
        return false;
    if (m_document.keepText() && !m_open.empty()) {
        auto comment = std::make_unique<XMLComment>(QByteArray(m_p, int(close - m_p)));
        comment->setLine(line);
        appendToOpen(std::move(comment));
    }
    advanceTo(close + 3);
    return true;
}

bool Reader::readBang()
{
    if (m_p + 2 >= m_end) {
        advanceTo(m_end);
        return true;
    }
    if (!isNameByte(peek(2))) {
        // "<![CDATA[": the first "[", the word and the second "[" are passed over.
        const quint32 line = m_line;
        advance(3);
        readName();
        skipSpace();
        advance(1);
        const char *close = find("]]>");
        if (!close)
            return false;
        if (!m_open.empty()) {
            auto section = std::make_unique<XMLCDATASection>(QByteArray(m_p, int(close - m_p)));
            section->setLine(line);
            appendToOpen(std::move(section));
        }
        advanceTo(close + 3);
        return true;
    }
    advance(2);
    const QByteArray word = readName();
    if (word.size() <= 7 && QByteArray("DOCTYPE").startsWith(word)) {
        skipSpace();
        const QByteArray name = readName();
        if (peek() == '>') {
            m_doctype = name;
            advance(1);
        }
    }
    return true;
}

Reader::Status Reader::readEndTag()
{
    advance(2);
    if (peek() == '>') {
        advance(1);
        if (!m_open.empty())
            closeElement();
        return Status::Ok;
    }
    const QByteArray name = readName();
    skipSpace();
    if (m_open.empty())
        return Status::Ok;
    if (!m_open.back()->name().startsWith(name))
        return Status::Mismatch;
    if (peek() == '>') {
        advance(1);
        closeElement();
    }
    return Status::Ok;
}

Reader::Status Reader::readStartTag()
{
    const quint32 line = m_line;
    advance(1);
    std::unique_ptr<XMLElement> element = m_document.createElement(readName());
    element->setLine(line);
    XMLElement *current = element.get();
    m_open.push_back(std::move(element));
    for (;;) {
        skipSpace();
        if (atEnd() || peek() == '/' || peek() == '>')
            break;
        if (!isAttributeStart(peek()))
            return Status::BadTagName;
        const QByteArray name = readName();
        skipSpace();
        if (peek() != '=')
            continue;
        advance(1);
        skipSpace();
        const char quote = char(peek());
        if (quote != '"' && quote != '\'')
            continue;
        const char *close = static_cast<const char *>(std::memchr(m_p + 1, quote, size_t(m_end - m_p - 1)));
        const char *valueEnd = close ? close : m_end;
        current->setAttribute(name, decodeText(m_p + 1, valueEnd, false));
        advanceTo(close ? close + 1 : m_end);
    }
    if (peek() == '/') {
        advance(1);
        if (peek() == '>') {
            advance(1);
            closeElement();
        }
    } else if (peek() == '>') {
        advance(1);
    }
    return Status::Ok;
}

void Reader::readCharacterData()
{
    const char *next = static_cast<const char *>(std::memchr(m_p, '<', size_t(m_end - m_p)));
    if (!next)
        next = m_end;
    if (m_document.keepText() && !m_open.empty()) {
        auto data = std::make_unique<XMLData>(decodeText(m_p, next, true));
        data->setLine(m_line);
        appendToOpen(std::move(data));
    }
    advanceTo(next);
}

void Reader::closeElement()
{
    std::unique_ptr<XMLElement> element = std::move(m_open.back());
    m_open.pop_back();
    if (m_open.empty())
        m_result = std::move(element);
    else
        m_open.back()->appendChild(std::move(element));
}

bool isPrintableAscii(uchar c)
{
    return c >= 0x20 && c < 0x7F;
}

void appendEscaped(QByteArray &out, const QByteArray &text)
{
    static const char hexDigits[] = "0123456789abcdef";
    for (char ch : text) {
        const uchar c = uchar(ch);
        switch (c) {
        case '"':
            out.append("&quot;");
            break;
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        default:
            if (isPrintableAscii(c)) {
                out.append(ch);
            } else {
                out.append("&#x");
                if (c >= 16)
                    out.append(hexDigits[c >> 4]);
                out.append(hexDigits[c & 15]);
                out.append(';');
            }
        }
    }
}

void appendSpaces(QByteArray &out, quint64 count)
{
    out.append(int(count), ' ');
}

// Writes one element's start: name, attributes (wrapped when they would not
// fit) and either "/>" or ">".
void appendStartTag(QByteArray &out, const XMLElement &element, quint32 level, quint32 indent,
                    quint32 wrapWidth)
{
    const QByteArray name = element.name();
    const std::vector<XMLAttribute> &attributes = element.attributes();
    out.append('<');
    out.append(name);
    bool wrap = false;
    if (wrapWidth != 0 && attributes.size() > 1) {
        quint64 width = quint64(level) * indent + quint64(name.size()) + 1;
        for (const XMLAttribute &attribute : attributes) {
            width += quint64(attribute.name.size()) + 4 + quint64(attribute.value.size());
            if (width > wrapWidth) {
                wrap = true;
                break;
            }
        }
    }
    for (const XMLAttribute &attribute : attributes) {
        if (attribute.value.isNull()) {
            out.append(' ');
            out.append(attribute.name);
            out.append("=\"\"");
            continue;
        }
        if (wrap) {
            out.append('\n');
            appendSpaces(out, quint64(level + 1) * indent);
        } else {
            out.append(' ');
        }
        out.append(attribute.name);
        out.append("=\"");
        appendEscaped(out, attribute.value);
        out.append('"');
    }
    if (!element.firstChild()) {
        out.append(attributes.empty() ? "/>" : " />");
        if (indent)
            out.append('\n');
    } else {
        out.append('>');
    }
}

QByteArray writeTree(const XMLDocument &document, quint32 indent, quint32 wrapWidth)
{
    QByteArray out;
    if (!document.version().isNull() || !document.encoding().isNull()) {
        out.append("<?xml ");
        if (!document.version().isNull())
            out.append(" version=\"" + document.version() + '"');
        if (!document.encoding().isNull())
            out.append(" encoding=\"" + document.encoding() + '"');
        out.append(" ?>\n");
    }
    if (!document.doctype().isNull())
        out.append("<!DOCTYPE " + document.doctype() + ">\n");
    if (!document.root())
        return out;

    // An explicit stack instead of recursion; a closing entry writes the end
    // tag once all children of its element are written.
    struct Entry {
        const XMLNode *node;
        quint32 level;
        bool closing;
    };
    std::vector<Entry> stack{{document.root(), 0, false}};
    while (!stack.empty()) {
        const Entry entry = stack.back();
        stack.pop_back();
        appendSpaces(out, quint64(entry.level) * indent);
        const XMLNode *node = entry.node;
        if (entry.closing) {
            out.append("</" + node->toElement()->name() + '>');
            if (indent)
                out.append('\n');
            continue;
        }
        switch (node->nodeType()) {
        case XMLNodeType::Data:
            appendEscaped(out, static_cast<const XMLTextNode *>(node)->text());
            continue;
        case XMLNodeType::Comment:
            out.append("<!--" + static_cast<const XMLTextNode *>(node)->text() + "-->");
            continue;
        case XMLNodeType::CDATASection:
            out.append("<![CDATA[" + static_cast<const XMLTextNode *>(node)->text() + "]]>");
            continue;
        case XMLNodeType::Element:
            break;
        }
        const XMLElement &element = *node->toElement();
        appendStartTag(out, element, entry.level, indent, wrapWidth);
        const XMLNode *first = element.firstChild();
        if (!first)
            continue;
        if (first->nodeType() == XMLNodeType::Data) {
            // Text content stands alone: the other children are not written.
            appendEscaped(out, static_cast<const XMLTextNode *>(first)->text());
            out.append("</" + element.name() + '>');
            if (indent)
                out.append('\n');
            continue;
        }
        if (indent)
            out.append('\n');
        stack.push_back({node, entry.level, true});
        for (const XMLNode *child = element.lastChild(); child; child = child->previousSibling())
            stack.push_back({child, entry.level + 1, false});
    }
    return out;
}

} // namespace

XMLDocument::XMLDocument(bool keepText) : m_keepText(keepText) {}

XMLDocument::~XMLDocument() = default;

std::unique_ptr<XMLElement> XMLDocument::createElement(const QByteArray &name)
{
    return std::make_unique<XMLElement>(name);
}

void XMLDocument::setError(const QByteArray &message, quint32 line)
{
    m_errorMessage = message.left(kErrorMessageCapacity);
    m_errorLine = line;
}

bool XMLDocument::read(const QByteArray &text)
{
    const char *begin = text.constData();
    const int nul = text.indexOf('\0');
    const char *end = begin + (nul < 0 ? text.size() : nul);
    // A read describes a new text: nothing of an earlier one survives.
    m_version.clear();
    m_encoding.clear();
    m_doctype.clear();
    Reader reader(*this, begin, end);
    const Reader::Status status = reader.run();
    m_root = reader.takeResult();
    m_version = reader.version();
    m_encoding = reader.encoding();
    m_doctype = reader.doctype();
    switch (status) {
    case Reader::Status::Ok:
        return true;
    case Reader::Status::BadTagName:
        setError(kBadTagName, reader.line());
        return false;
    case Reader::Status::Mismatch:
        setError(kTagNameMismatch, reader.line());
        return false;
    }
    return false;
}

bool XMLDocument::readFile(QIODevice &file)
{
    return read(withoutByteOrderMark(file.readAll()));
}

bool XMLDocument::load(const QByteArray &path)
{
    const std::optional<QByteArray> text = readRegularFile(path);
    if (!text) {
        setError("couldn't read " + path, 0);
        return false;
    }
    return read(withoutByteOrderMark(*text));
}

bool XMLDocument::write(QIODevice &file, quint32 indent, quint32 wrapWidth)
{
    file.write(toText(indent, wrapWidth));
    return true;
}

QByteArray XMLDocument::toText(quint32 indent, quint32 wrapWidth)
{
    m_indent = indent;
    m_wrapWidth = wrapWidth;
    return writeTree(*this, indent, wrapWidth);
}

bool XMLDocument::save(const QByteArray &path, quint32 indent)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        setError("couldn't write " + path, m_errorLine);
        return false;
    }
    return write(file, indent, 0);
}

QByteArray XMLDocument::documentType(const QByteArray &path)
{
    const QByteArray head = readRegularFile(path, kDocumentTypeWindow).value_or(QByteArray());
    int lt = head.indexOf('<');
    while (lt >= 0 && lt + 1 < head.size() && head.at(lt + 1) == '?')
        lt = head.indexOf('<', lt + 1);
    static const char marker[] = "!DOCTYPE ";
    if (lt < 0 || head.mid(lt + 1, int(sizeof(marker) - 1)) != marker)
        return QByteArray();
    int p = lt + 1 + int(sizeof(marker) - 1);
    while (p < head.size() && isSpaceByte(uchar(head.at(p))))
        ++p;
    const int start = p;
    while (p < head.size()) {
        const uchar c = uchar(head.at(p));
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            break;
        ++p;
    }
    if (p == start)
        return QByteArray();
    return head.mid(start, p - start);
}

std::unique_ptr<XMLNode> XMLDocument::cloneNode(const XMLNode &node)
{
    auto copyOne = [this](const XMLNode &source) -> std::unique_ptr<XMLNode> {
        std::unique_ptr<XMLNode> copy;
        if (const XMLElement *element = source.toElement()) {
            std::unique_ptr<XMLElement> e = createElement(element->name());
            for (const XMLAttribute &attribute : element->attributes())
                e->setAttribute(attribute.name, attribute.value);
            copy = std::move(e);
        } else {
            const QByteArray text = static_cast<const XMLTextNode &>(source).text();
            switch (source.nodeType()) {
            case XMLNodeType::Comment:
                copy = std::make_unique<XMLComment>(text);
                break;
            case XMLNodeType::CDATASection:
                copy = std::make_unique<XMLCDATASection>(text);
                break;
            default:
                copy = std::make_unique<XMLData>(text);
                break;
            }
        }
        copy->setLine(source.line());
        return copy;
    };

    std::unique_ptr<XMLNode> top = copyOne(node);
    std::vector<std::pair<const XMLNode *, XMLNode *>> pending{{&node, top.get()}};
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        for (const XMLNode *child = source->firstChild(); child; child = child->nextSibling()) {
            std::unique_ptr<XMLNode> copy = copyOne(*child);
            XMLNode *raw = copy.get();
            target->appendChild(std::move(copy));
            if (child->firstChild())
                pending.push_back({child, raw});
        }
    }
    return top;
}

void XMLDocument::setRoot(std::unique_ptr<XMLElement> root)
{
    m_root = std::move(root);
}

std::unique_ptr<XMLElement> XMLDocument::takeRoot()
{
    return std::move(m_root);
}

QXMLDocument::QXMLDocument(bool keepText) : XMLDocument(keepText) {}

QXMLDocument::~QXMLDocument() = default;

bool QXMLDocument::load(const QString &path)
{
    return XMLDocument::load(QFile::encodeName(path));
}

bool QXMLDocument::save(const QString &path, quint32 indent)
{
    return XMLDocument::save(QFile::encodeName(path), indent);
}

QByteArray QXMLDocument::documentType(const QString &path)
{
    return XMLDocument::documentType(QFile::encodeName(path));
}

void QXMLDocument::expandAttributeMacros(XMLElement *element, const MacroMap &table)
{
    if (!element)
        return;
    const PropertyClassList &macros = globalPropertyClassList();
    for (XMLNode *node = element; node; node = node->nextInSubtree(element)) {
        XMLElement *current = node->toElement();
        if (!current)
            continue;
        std::vector<XMLAttribute> changed;
        for (const XMLAttribute &attribute : current->attributes()) {
            if (!attribute.value.contains('$'))
                continue;
            const QString text = QString::fromUtf8(attribute.value);
            const QString expanded = macros.expandMacros(text, table, false, false);
            if (expanded != text)
                changed.push_back({attribute.name, expanded.toUtf8()});
        }
        for (const XMLAttribute &attribute : changed)
            current->setAttribute(attribute.name, attribute.value);
    }
}
