// Writing the tool's XML text: escaping, attribute wrapping and indentation.
#include "xml/xmlwriter.h"

#include <vector>

namespace {

bool isPrintableAscii(uchar c)
{
    return c >= 0x20 && c < 0x7F;
}

// Every byte that is not printable ASCII becomes a numeric reference, so
// that any bytes read back as they were.
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

QByteArray textOf(const XMLNode &node)
{
    return static_cast<const XMLTextNode &>(node).text();
}

// Writes a tree with an explicit stack instead of recursion; a closing entry
// writes an element's end tag once all its children are written.
class Writer {
public:
    Writer(quint32 indent, quint32 wrapWidth) : m_indent(indent), m_wrapWidth(wrapWidth) {}

    QByteArray write(const XMLProlog &prolog, const XMLElement *root);

private:
    struct Entry {
        const XMLNode *node;
        quint32 level;
        bool closing;
    };

    void writeProlog(const XMLProlog &prolog);
    void writeTextNode(const XMLNode &node);
    void writeElement(const XMLElement &element, quint32 level);
    void writeStartTag(const XMLElement &element, quint32 level);
    bool wrapsAttributes(const XMLElement &element, quint32 level) const;
    void writeEndTag(const XMLElement &element);
    void indentTo(quint32 level) { m_out.append(int(quint64(level) * m_indent), ' '); }
    void endLine()
    {
        if (m_indent)
            m_out.append('\n');
    }

    const quint32 m_indent;
    const quint32 m_wrapWidth;
    QByteArray m_out;
    std::vector<Entry> m_stack;
};

QByteArray Writer::write(const XMLProlog &prolog, const XMLElement *root)
{
    writeProlog(prolog);
    if (root)
        m_stack.push_back({root, 0, false});
    while (!m_stack.empty()) {
        const Entry entry = m_stack.back();
        m_stack.pop_back();
        indentTo(entry.level);
        if (entry.closing)
            writeEndTag(*entry.node->toElement());
        else if (const XMLElement *element = entry.node->toElement())
            writeElement(*element, entry.level);
        else
            writeTextNode(*entry.node);
    }
    return m_out;
}

void Writer::writeProlog(const XMLProlog &prolog)
{
    if (!prolog.version.isNull() || !prolog.encoding.isNull()) {
        m_out.append("<?xml ");
        if (!prolog.version.isNull())
            m_out.append(" version=\"" + prolog.version + '"');
        if (!prolog.encoding.isNull())
            m_out.append(" encoding=\"" + prolog.encoding + '"');
        m_out.append(" ?>\n");
    }
    if (!prolog.doctype.isNull())
        m_out.append("<!DOCTYPE " + prolog.doctype + ">\n");
}

// Text, comments and CDATA sections stand where they are, without a newline.
void Writer::writeTextNode(const XMLNode &node)
{
    switch (node.nodeType()) {
    case XMLNodeType::Comment:
        m_out.append("<!--" + textOf(node) + "-->");
        break;
    case XMLNodeType::CDATASection:
        m_out.append("<![CDATA[" + textOf(node) + "]]>");
        break;
    default:
        appendEscaped(m_out, textOf(node));
        break;
    }
}

void Writer::writeElement(const XMLElement &element, quint32 level)
{
    writeStartTag(element, level);
    const XMLNode *first = element.firstChild();
    if (!first)
        return;
    if (first->nodeType() == XMLNodeType::Data) {
        // Text content stands alone: the other children are not written.
        appendEscaped(m_out, textOf(*first));
        writeEndTag(element);
        return;
    }
    endLine();
    m_stack.push_back({&element, level, true});
    for (const XMLNode *child = element.lastChild(); child; child = child->previousSibling())
        m_stack.push_back({child, level + 1, false});
}

// The name and the attributes, then "/>" for an element without children or ">".
void Writer::writeStartTag(const XMLElement &element, quint32 level)
{
    const std::vector<XMLAttribute> &attributes = element.attributes();
    const bool wrap = wrapsAttributes(element, level);
    m_out.append('<');
    m_out.append(element.name());
    for (const XMLAttribute &attribute : attributes) {
        if (attribute.value.isNull()) {
            m_out.append(' ' + attribute.name + "=\"\"");
            continue;
        }
        if (wrap) {
            m_out.append('\n');
            indentTo(level + 1);
        } else {
            m_out.append(' ');
        }
        m_out.append(attribute.name + "=\"");
        appendEscaped(m_out, attribute.value);
        m_out.append('"');
    }
    if (element.firstChild()) {
        m_out.append('>');
        return;
    }
    m_out.append(attributes.empty() ? "/>" : " />");
    endLine();
}

// Attributes go on lines of their own when there are several and the start
// tag would pass the wrap width.
bool Writer::wrapsAttributes(const XMLElement &element, quint32 level) const
{
    const std::vector<XMLAttribute> &attributes = element.attributes();
    if (m_wrapWidth == 0 || attributes.size() < 2)
        return false;
    quint64 width = quint64(level) * m_indent + quint64(element.name().size()) + 1;
    for (const XMLAttribute &attribute : attributes) {
        width += quint64(attribute.name.size()) + 4 + quint64(attribute.value.size());
        if (width > m_wrapWidth)
            return true;
    }
    return false;
}

void Writer::writeEndTag(const XMLElement &element)
{
    m_out.append("</" + element.name() + '>');
    endLine();
}

} // namespace

QByteArray writeXML(const XMLProlog &prolog, const XMLElement *root, quint32 indent, quint32 wrapWidth)
{
    return Writer(indent, wrapWidth).write(prolog, root);
}
