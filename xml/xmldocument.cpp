// A document of the tool's own XML tree: reading, writing, copying and path loading.
#include "xml/xmldocument.h"

#include "macros/macroexpansion.h"
#include "macros/regularfile.h"
#include "xml/asciicharacters.h"
#include "xml/xmlreader.h"
#include "xml/xmlwriter.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

const char kBadTagName[] = "bad tagName";
const char kTagNameMismatch[] = "tagName mismatch";
// The error text lived in a fixed buffer of 1024 bytes, NUL included.
const int kErrorMessageCapacity = 1023;
// How much of a file's start documentType() looks at.
const qint64 kDocumentTypeWindow = 1024;

bool isDoctypeNameByte(uchar c)
{
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '_';
}

QByteArray withoutByteOrderMark(QByteArray text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text;
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
    const XMLElementFactory factory = [this](const QByteArray &name) { return createElement(name); };
    XMLReadResult result = readXML(begin, end, factory, m_keepText);
    // A read describes a new text: nothing of an earlier one survives.
    m_root = std::move(result.root);
    m_version = result.version;
    m_encoding = result.encoding;
    m_doctype = result.doctype;
    switch (result.status) {
    case XMLReadResult::Status::Ok:
        return true;
    case XMLReadResult::Status::BadTagName:
        setError(kBadTagName, result.line);
        return false;
    case XMLReadResult::Status::TagNameMismatch:
        setError(kTagNameMismatch, result.line);
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
    return writeXML(XMLProlog{m_version, m_encoding, m_doctype}, m_root.get(), indent, wrapWidth);
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
    while (p < head.size() && std::isspace(uchar(head.at(p))))
        ++p;
    const int start = p;
    while (p < head.size() && isDoctypeNameByte(uchar(head.at(p))))
        ++p;
    if (p == start)
        return QByteArray();
    return head.mid(start, p - start);
}

std::unique_ptr<XMLNode> XMLDocument::copyNode(const XMLNode &source)
{
    std::unique_ptr<XMLNode> copy;
    if (const XMLElement *element = source.toElement()) {
        std::unique_ptr<XMLElement> elementCopy = createElement(element->name());
        for (const XMLAttribute &attribute : element->attributes())
            elementCopy->setAttribute(attribute.name, attribute.value);
        copy = std::move(elementCopy);
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
}

std::unique_ptr<XMLNode> XMLDocument::cloneNode(const XMLNode &node)
{
    // Pending copies on an explicit list instead of recursion, so depth costs no stack.
    std::unique_ptr<XMLNode> top = copyNode(node);
    std::vector<std::pair<const XMLNode *, XMLNode *>> pending{{&node, top.get()}};
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        for (const XMLNode *child = source->firstChild(); child; child = child->nextSibling()) {
            std::unique_ptr<XMLNode> copy = copyNode(*child);
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

std::optional<QString> QXMLDocument::expandWithinLimit(const QString &text, const MacroMap &table)
{
    return expandMacrosWithin(text, MacroTables{&table, nullptr, nullptr}, MaxExpandedLength);
}

bool QXMLDocument::expandAttributeMacros(XMLElement *element, const MacroMap &table, AttributeScope scope)
{
    bool allExpanded = true;
    for (XMLNode *node = element; node;
         node = scope == AttributeScope::Subtree ? node->nextInSubtree(element) : nullptr) {
        XMLElement *current = node->toElement();
        if (!current)
            continue;
        std::vector<XMLAttribute> changed;
        for (const XMLAttribute &attribute : current->attributes()) {
            if (!attribute.value.contains(kMacroIntroducer))
                continue;
            const QString text = QString::fromUtf8(attribute.value);
            const std::optional<QString> expanded = expandWithinLimit(text, table);
            if (!expanded)
                allExpanded = false;
            else if (*expanded != text)
                changed.push_back({attribute.name, expanded->toUtf8()});
        }
        for (const XMLAttribute &attribute : changed)
            current->setAttribute(attribute.name, attribute.value);
    }
    return allExpanded;
}
