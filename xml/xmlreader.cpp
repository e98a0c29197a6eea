// The forgiving single-pass reader: elements, attributes, character data,
// comments, CDATA sections, the declaration and the doctype.
#include "xml/xmlreader.h"

#include "xml/asciicharacters.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

bool isNameByte(uchar c)
{
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '_' || c == ':' || c == '-';
}

bool isAttributeStart(uchar c)
{
    return isAsciiLetter(c) || c == '_' || c == ':' || c == '-';
}

bool isSpaceByte(uchar c)
{
    return std::isspace(c) != 0;
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
            const int digit = hex ? hexDigitValue(uchar(*q)) : isAsciiDigit(uchar(*q)) ? *q - '0' : -1;
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
    static const Named named[] = {
        {"lt;", '<'},
        {"gt;", '>'},
        {"amp;", '&'},
        {"quot;", '"'},
        {"apos;", '\''},
    };
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

// A run of the text being read.
struct Span {
    const char *begin = nullptr;
    const char *end = nullptr;
    QByteArray bytes() const { return QByteArray(begin, int(end - begin)); }
};

// The single-pass reader. Elements are kept on an explicit stack and join
// their parent when they are closed.
class Reader {
public:
    Reader(const XMLElementFactory &createElement, bool keepText, const char *begin, const char *end)
        : m_createElement(createElement), m_keepText(keepText), m_p(begin), m_end(end)
    {
    }

    using Status = XMLReadResult::Status;

    XMLReadResult run();

private:
    Status readConstructs();
    // Every cursor move goes through here so that newlines are counted once.
    void advanceTo(const char *target)
    {
        m_result.line += quint32(std::count(m_p, target, '\n'));
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

    bool readAttributeValue(Span &value);
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

    const XMLElementFactory &m_createElement;
    const bool m_keepText;
    const char *m_p;
    const char *m_end;
    std::vector<std::unique_ptr<XMLElement>> m_open;
    XMLReadResult m_result;
};

XMLReadResult Reader::run()
{
    m_result.status = readConstructs();
    return std::move(m_result);
}

// Each construct starts at a "<"; character data runs between them.
Reader::Status Reader::readConstructs()
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

// At "=" (after white space), reads the quoted value that follows; a value
// without its closing quote runs to the end of the text. False, with the
// cursor after the "=", when no quote follows; false before it when no "="
// is there.
bool Reader::readAttributeValue(Span &value)
{
    skipSpace();
    if (peek() != '=')
        return false;
    advance(1);
    skipSpace();
    const char quote = char(peek());
    if (quote != '"' && quote != '\'')
        return false;
    const char *close = static_cast<const char *>(std::memchr(m_p + 1, quote, size_t(m_end - m_p - 1)));
    value.begin = m_p + 1;
    value.end = close ? close : m_end;
    advanceTo(close ? close + 1 : m_end);
    return true;
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
        Span value;
        if (!readAttributeValue(value))
            break;
        if (name == "version")
            m_result.version = value.bytes();
        else if (name == "encoding")
            m_result.encoding = value.bytes();
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
    const quint32 line = m_result.line;
    advance(4);
    const char *close = find("-->");
    if (!close)
        return false;
    if (m_keepText && !m_open.empty()) {
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
        const quint32 line = m_result.line;
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
            m_result.doctype = name;
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
        return Status::TagNameMismatch;
    if (peek() == '>') {
        advance(1);
        closeElement();
    }
    return Status::Ok;
}

Reader::Status Reader::readStartTag()
{
    const quint32 line = m_result.line;
    advance(1);
    std::unique_ptr<XMLElement> element = m_createElement(readName());
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
        Span value;
        if (readAttributeValue(value))
            current->setAttribute(name, decodeText(value.begin, value.end, false));
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
    if (m_keepText && !m_open.empty()) {
        auto data = std::make_unique<XMLData>(decodeText(m_p, next, true));
        data->setLine(m_result.line);
        appendToOpen(std::move(data));
    }
    advanceTo(next);
}

void Reader::closeElement()
{
    std::unique_ptr<XMLElement> element = std::move(m_open.back());
    m_open.pop_back();
    if (m_open.empty())
        m_result.root = std::move(element);
    else
        m_open.back()->appendChild(std::move(element));
}

} // namespace

XMLReadResult readXML(const char *begin, const char *end, const XMLElementFactory &createElement,
                      bool keepText)
{
    return Reader(createElement, keepText, begin, end).run();
}
