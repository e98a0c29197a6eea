// The preprocessor: directives resolved in place over the tree, without recursion.
#include "xml/xmlpp2.h"

#include "macros/propertyclass.h"
#include "xml/xmlexpression.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString kPrefix = QStringLiteral("XmlPP::processConditionals(): ");

QString fromBytes(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

QString attributeText(const XMLElement &element, const char *name)
{
    return fromBytes(element.attribute(name));
}

// Flags such as no_root count when present, unless they say no.
bool flagSet(const XMLElement &element, const char *name)
{
    if (!element.hasAttribute(name))
        return false;
    const QByteArray value = element.attribute(name).trimmed().toLower();
    return value != "0" && value != "false" && value != "no";
}

QStringList listItems(const QString &list)
{
    return list.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QString withoutNewlines(QString text)
{
    text.remove(QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    return text;
}

// The entries of a directive's "macros" attribute, newlines removed.
MacroMap macroEntries(const XMLElement &element)
{
    return parseMacroList(withoutNewlines(attributeText(element, "macros")));
}

// A number where one is stored: the 64-bit result read as unsigned. Floats
// are truncated when they fit; anything else is not a number.
bool unsignedValue(const XMLExpressionValue &value, quint64 &out)
{
    if (value.isInteger()) {
        out = value.unsignedInteger();
        return true;
    }
    if (value.isFloat()) {
        const double number = value.number();
        if (number > -9.2e18 && number < 9.2e18) {
            out = quint64(qint64(number));
            return true;
        }
        if (number >= 0 && number < 1.8e19) {
            out = quint64(number);
            return true;
        }
    }
    return false;
}

QString upperHex(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

quint64 countNodes(const XMLNode &node)
{
    quint64 count = 0;
    for (const XMLNode *n = &node; n; n = n->nextInSubtree(&node))
        ++count;
    return count;
}

// The nodes one pass of a loop copies: the element children and their subtrees.
quint64 bodyNodes(const XMLElement &element)
{
    quint64 count = 0;
    for (const XMLNode *child = element.firstChild(); child; child = child->nextSibling()) {
        if (child->isElement())
            count += countNodes(*child);
    }
    return count;
}

// Turns the odometer of item positions one step; false once every
// combination has been made.
bool nextCombination(const std::vector<std::pair<QString, QStringList>> &lists, std::vector<int> &position)
{
    for (size_t digit = lists.size(); digit > 0; --digit) {
        if (++position[digit - 1] < lists[digit - 1].second.size())
            return true;
        position[digit - 1] = 0;
    }
    return false;
}

// Reads an included file with the including document's element factory, so
// that included elements are of the same kind as the rest of the tree.
class IncludeDocument : public QXMLDocument {
public:
    explicit IncludeDocument(XMLDocument &owner) : QXMLDocument(owner.keepText()), m_owner(owner) {}
    std::unique_ptr<XMLElement> createElement(const QByteArray &name) override
    {
        return m_owner.createElement(name);
    }

private:
    XMLDocument &m_owner;
};

// The definitions in force, changed in place. A frame remembers how many
// changes came before it and undoes the later ones when it ends, so that
// entering a block or making a loop pass costs nothing however many
// definitions there are.
class DefinitionTable {
public:
    explicit DefinitionTable(MacroMap initial) : m_map(std::move(initial)) {}

    const MacroMap &map() const { return m_map; }
    bool contains(const QString &name) const { return m_map.contains(name); }
    QString value(const QString &name) const { return m_map.value(name); }

    void define(const QString &name, const QString &value)
    {
        const auto it = m_map.constFind(name);
        m_changes.push_back({name, it == m_map.constEnd() ? std::nullopt : std::optional<QString>(*it)});
        m_map.insert(name, value);
    }
    void defineAll(const MacroMap &entries)
    {
        for (auto it = entries.constBegin(); it != entries.constEnd(); ++it)
            define(it.key(), it.value());
    }

    size_t mark() const { return m_changes.size(); }
    /// Undoes every change made since `mark`, latest first.
    void rollBack(size_t mark)
    {
        while (m_changes.size() > mark) {
            const Change &change = m_changes.back();
            if (change.previous)
                m_map.insert(change.name, *change.previous);
            else
                m_map.remove(change.name);
            m_changes.pop_back();
        }
    }

private:
    struct Change {
        QString name;
        std::optional<QString> previous;
    };

    MacroMap m_map;
    std::vector<Change> m_changes;
};

} // namespace

// Walks sibling chains with an explicit stack of frames instead of recursion,
// so nesting depth costs heap, not stack. A frame is one chain being visited;
// the definitions it makes are undone when it ends. A splice frame, when its
// chain is done, moves the processed children of its container into the
// place of its directive element. A limit stops the whole run.
class XMLPP2::Processor {
public:
    Processor(XMLPP2 &document, bool expandAttributes, const MacroMap &table)
        : m_document(document), m_expandAttributes(expandAttributes), m_table(table)
    {
    }

    bool run(XMLNode *first, const QString &path)
    {
        m_frames.push_back(Frame{first, m_table.mark(), path, 0, nullptr, nullptr});
        while (!m_frames.empty() && !m_failed) {
            XMLNode *node = m_frames.back().next;
            if (!node) {
                finishFrame();
                continue;
            }
            m_frames.back().next = node->nextSibling();
            if (XMLElement *element = node->toElement())
                visit(*element);
        }
        return !m_failed;
    }

private:
    struct Frame {
        XMLNode *next;
        size_t tableMark;
        QString path;
        int includeDepth;
        XMLElement *container;
        XMLElement *target;
    };

    Frame &frame() { return m_frames.back(); }

    void report(const QString &message) { m_document.reportError(kPrefix + message); }

    // Ends the run at `where` with `limit` and the current file as the error.
    void fail(const QString &limit, const XMLNode &where)
    {
        m_failed = true;
        m_document.m_exceededLimit = true;
        m_document.setError((limit + QStringLiteral(" in ") + frame().path).toUtf8(), where.line());
    }

    void drop(XMLElement &element)
    {
        // Unlinked, the element is deleted with its subtree.
        if (XMLNode *parent = element.parent())
            parent->removeChild(&element);
    }

    // Processes the children of `container` in a frame of their own and then
    // puts them in the place of `target`. Nothing to process means nothing to
    // put: `target` goes and no frame is opened (false).
    bool splice(XMLElement &container, XMLElement &target, const QString &path, int includeDepth)
    {
        if (!container.firstChild()) {
            drop(target);
            return false;
        }
        m_frames.push_back(Frame{container.firstChild(), m_table.mark(), path, includeDepth, &container, &target});
        return true;
    }

    void finishFrame()
    {
        Frame done = std::move(m_frames.back());
        m_frames.pop_back();
        m_table.rollBack(done.tableMark);
        if (!done.target)
            return;
        XMLNode *parent = done.target->parent();
        std::vector<std::unique_ptr<XMLNode>> children = done.container->takeChildren();
        if (parent) {
            parent->insertChildrenAfter(done.target, std::move(children));
            parent->removeChild(done.target);
        }
    }

    // Puts copies after `element`, drops it, and lets the current frame visit
    // the copies next, with the definitions in force.
    void replaceByCopies(XMLElement &element, std::vector<std::unique_ptr<XMLNode>> copies)
    {
        XMLNode *parent = element.parent();
        XMLNode *first = copies.empty() ? nullptr : copies.front().get();
        if (parent)
            parent->insertChildrenAfter(&element, std::move(copies));
        if (first)
            frame().next = first;
        drop(element);
    }

    // Accounts for nodes that an expansion adds; false once the run is past its limit.
    bool admit(quint64 nodes, const XMLNode &where)
    {
        const quint64 limit = m_document.expansionLimit();
        m_added += nodes;
        if (limit == 0 || m_added <= limit)
            return true;
        fail(QStringLiteral("expansion limit of %1 nodes exceeded").arg(limit), where);
        return false;
    }

    // One loop pass: deep copies of the element children of `element`,
    // attribute values expanded with the definitions in force, appended to
    // `out`. A pass costs its nodes, one at least. False at a limit.
    bool copyBody(const XMLElement &element, quint64 passNodes, std::vector<std::unique_ptr<XMLNode>> &out)
    {
        if (!admit(std::max<quint64>(passNodes, 1), element))
            return false;
        for (const XMLNode *child = element.firstChild(); child; child = child->nextSibling()) {
            if (!child->isElement())
                continue;
            std::unique_ptr<XMLNode> copy = m_document.cloneNode(*child);
            if (!expandAttributes(copy->toElement(), AttributeScope::Subtree))
                return false;
            out.push_back(std::move(copy));
        }
        return true;
    }

    // The expansion with the definitions in force; nothing at the length limit.
    std::optional<QString> expandText(const QString &text, const XMLNode &where)
    {
        std::optional<QString> expanded = QXMLDocument::expandWithinLimit(text, m_table.map());
        if (!expanded)
            failTextLimit(where);
        return expanded;
    }

    // The attribute values of `element`, or of its whole subtree, that hold a
    // "$"; false at the length limit.
    bool expandAttributes(XMLElement *element, AttributeScope scope)
    {
        if (!element || m_document.expandAttributeMacros(element, m_table.map(), scope))
            return true;
        failTextLimit(*element);
        return false;
    }

    void failTextLimit(const XMLNode &where)
    {
        fail(QStringLiteral("expansion limit of %1 characters exceeded").arg(QXMLDocument::MaxExpandedLength), where);
    }

    // The value of `expression`, expanded first unless `asWritten`; nesting
    // past the evaluator's limit ends the run.
    XMLExpressionValue evaluate(const QString &expression, const XMLNode &where, bool asWritten = false)
    {
        const std::optional<QString> text = asWritten ? expression : expandText(expression, where);
        if (!text)
            return XMLExpressionValue::invalid(QString());
        XMLExpressionValue value = evaluateXMLExpression(*text);
        if (value.isNestedTooDeeply())
            fail(QStringLiteral("expression nesting limit of %1 levels exceeded").arg(MaxExpressionNesting), where);
        return value;
    }

    bool numberOf(const QString &expression, const XMLNode &where, quint64 &out, bool asWritten = false)
    {
        return unsignedValue(evaluate(expression, where, asWritten), out);
    }

    void visit(XMLElement &element);
    void spliceIf(XMLElement &element, bool condition);
    void processMembership(XMLElement &element, bool inverse);
    void processIf(XMLElement &element);
    void processIfNot(XMLElement &element);
    void processIfDef(XMLElement &element);
    void processIfNDef(XMLElement &element);
    void processIfEx(XMLElement &element);
    void processSwitch(XMLElement &element);
    void processDefine(XMLElement &element);
    void processXmlDef(XMLElement &element);
    void processXmlPut(XMLElement &element);
    struct Loop {
        quint64 start = 0;
        quint64 end = 0;
        quint64 increment = 0;
        quint64 multiplier = 1;
        quint64 addend = 0;
    };
    bool readLoop(const XMLElement &element, Loop &loop);
    void defineIteration(const QString &index, quint64 k, quint64 progression);
    void processFor(XMLElement &element);
    void processForeach(XMLElement &element);
    QString includedFileName(const XMLElement &element, const QString &includingPath);
    bool admitInclude(const XMLElement &element, int includeDepth);
    std::unique_ptr<XMLElement> loadIncludedRoot(const QString &fileName);
    void placeIncludedContent(XMLElement &element, std::unique_ptr<XMLElement> root);
    void processInclude(XMLElement &element);

    void keep(XMLElement &element)
    {
        if (element.firstChild())
            m_frames.push_back(Frame{element.firstChild(), m_table.mark(), frame().path, frame().includeDepth,
                                     nullptr, nullptr});
    }

    void spliceOwnChildren(XMLElement &element)
    {
        const Frame &current = frame();
        splice(element, element, current.path, current.includeDepth);
    }

    XMLPP2 &m_document;
    const bool m_expandAttributes;
    DefinitionTable m_table;
    std::vector<Frame> m_frames;
    quint64 m_added = 0;
    int m_includedFiles = 0;
    bool m_failed = false;
};

// An element's name selects its directive; any other element stays, its
// children processed in a frame of their own.
void XMLPP2::Processor::visit(XMLElement &element)
{
    using Handler = void (Processor::*)(XMLElement &);
    static const struct {
        const char *name;
        Handler handle;
    } kDirectives[] = {
        {"if", &Processor::processIf},
        {"ifnot", &Processor::processIfNot},
        {"ifdef", &Processor::processIfDef},
        {"ifndef", &Processor::processIfNDef},
        {"ifex", &Processor::processIfEx},
        {"switch", &Processor::processSwitch},
        {"define", &Processor::processDefine},
        {"xmldef", &Processor::processXmlDef},
        {"xmlput", &Processor::processXmlPut},
        {"for", &Processor::processFor},
        {"foreach", &Processor::processForeach},
        {"include", &Processor::processInclude},
    };
    if (m_expandAttributes && !expandAttributes(&element, AttributeScope::Element))
        return;
    const QByteArray name = element.name();
    for (const auto &directive : kDirectives) {
        if (name == directive.name) {
            (this->*directive.handle)(element);
            return;
        }
    }
    keep(element);
}

// The chosen branch of a condition is spliced, the other dropped.
void XMLPP2::Processor::spliceIf(XMLElement &element, bool condition)
{
    if (condition)
        spliceOwnChildren(element);
    else
        drop(element);
}

void XMLPP2::Processor::processIf(XMLElement &element)
{
    processMembership(element, false);
}

void XMLPP2::Processor::processIfNot(XMLElement &element)
{
    processMembership(element, true);
}

void XMLPP2::Processor::processIfDef(XMLElement &element)
{
    spliceIf(element, m_table.contains(attributeText(element, "name")));
}

void XMLPP2::Processor::processIfNDef(XMLElement &element)
{
    spliceIf(element, !m_table.contains(attributeText(element, "name")));
}

// True: splice; false, empty or not evaluable: drop.
void XMLPP2::Processor::processIfEx(XMLElement &element)
{
    const XMLExpressionValue value = evaluate(attributeText(element, "expression"), element);
    if (!m_failed)
        spliceIf(element, value.isBool() && value.truth());
}

// Whether the value of the one attribute's name is in its list.
void XMLPP2::Processor::processMembership(XMLElement &element, bool inverse)
{
    if (element.attributes().size() != 1) {
        report(QStringLiteral("one condition required for <if[not]>"));
        keep(element);
        return;
    }
    const XMLAttribute &condition = element.attributes().front();
    const QString key = fromBytes(condition.name);
    // Testing a name defines it, empty, for the elements that follow.
    if (!m_table.contains(key))
        m_table.define(key, QStringLiteral(""));
    const bool member = listItems(fromBytes(condition.value)).contains(m_table.value(key));
    spliceIf(element, member != inverse);
}

void XMLPP2::Processor::processSwitch(XMLElement &element)
{
    const QString key = attributeText(element, "name");
    if (!m_table.contains(key))
        m_table.define(key, QStringLiteral(""));
    const QString value = m_table.value(key);
    XMLElement *chosen = nullptr;
    XMLElement *fallback = nullptr;
    for (XMLNode *child = element.firstChild(); child && !chosen; child = child->nextSibling()) {
        XMLElement *candidate = child->toElement();
        if (!candidate)
            continue;
        // The cases are chosen among before anything inside the switch is
        // visited, so their values are expanded here.
        if (m_expandAttributes && !expandAttributes(candidate, AttributeScope::Element))
            return;
        if (candidate->name() == "case" && listItems(attributeText(*candidate, "value")).contains(value))
            chosen = candidate;
        else if (candidate->name() == "default" && !fallback)
            fallback = candidate;
    }
    if (!chosen)
        chosen = fallback;
    if (!chosen) {
        drop(element);
        return;
    }
    const Frame &current = frame();
    splice(*chosen, element, current.path, current.includeDepth);
}

void XMLPP2::Processor::processDefine(XMLElement &element)
{
    if (!element.hasAttribute("name")) {
        report(QStringLiteral("missing name in <define>"));
        drop(element);
        return;
    }
    const QString key = attributeText(element, "name");
    quint64 number = 0;
    if (element.hasAttribute("value")) {
        m_table.define(key, attributeText(element, "value"));
    } else if (element.hasAttribute("expression")) {
        if (numberOf(attributeText(element, "expression"), element, number))
            m_table.define(key, QString::number(number));
    } else if (element.hasAttribute("hex_expression")) {
        if (numberOf(attributeText(element, "hex_expression"), element, number))
            m_table.define(key, upperHex(number));
    } else {
        report(QStringLiteral("missing value or expression in <define>"));
    }
    drop(element);
}

void XMLPP2::Processor::processXmlDef(XMLElement &element)
{
    const QString key = attributeText(element, "name");
    XMLNode *parent = element.parent();
    if (!parent)
        return;
    std::unique_ptr<XMLNode> removed = parent->removeChild(&element);
    m_document.m_fragments[key].reset(static_cast<XMLElement *>(removed.release()));
}

// The directive element itself holds the copy of the fragment while it is
// processed; "macros" extends the definitions for the copy alone.
void XMLPP2::Processor::processXmlPut(XMLElement &element)
{
    const QString key = attributeText(element, "name");
    const auto found = m_document.m_fragments.find(key);
    if (found == m_document.m_fragments.end() || !found->second) {
        report(QStringLiteral("xmlput cannot fine xmldef named ") + key);
        drop(element);
        return;
    }
    const XMLElement &fragment = *found->second;
    quint64 nodes = 0;
    for (const XMLNode *child = fragment.firstChild(); child; child = child->nextSibling())
        nodes += countNodes(*child);
    if (!admit(nodes, element))
        return;
    element.takeChildren();
    for (const XMLNode *child = fragment.firstChild(); child; child = child->nextSibling())
        element.appendChild(m_document.cloneNode(*child));
    const QString path = frame().path;
    if (!splice(element, element, path, frame().includeDepth) || !element.hasAttribute("macros"))
        return;
    m_table.defineAll(macroEntries(element));
    for (XMLNode *child = element.firstChild(); child; child = child->nextSibling()) {
        if (!expandAttributes(child->toElement(), AttributeScope::Subtree))
            return;
    }
}

// The bounds as written and the progression's factors expanded with the
// definitions; false when one of them is not a number.
bool XMLPP2::Processor::readLoop(const XMLElement &element, Loop &loop)
{
    if (!numberOf(attributeText(element, "start"), element, loop.start, true)
        || !numberOf(attributeText(element, "end"), element, loop.end, true)
        || !numberOf(attributeText(element, "incr"), element, loop.increment, true))
        return false;
    if (element.hasAttribute("mul") && !numberOf(attributeText(element, "mul"), element, loop.multiplier))
        return false;
    if (element.hasAttribute("add"))
        return numberOf(attributeText(element, "add"), element, loop.addend);
    if (element.hasAttribute("sub")) {
        const bool ok = numberOf(attributeText(element, "sub"), element, loop.addend);
        loop.addend = 0 - loop.addend;
        return ok;
    }
    return true;
}

// The definitions of one loop pass k: the index in decimal, as a letter and
// in hexadecimal, and the arithmetic progression in decimal and hexadecimal.
void XMLPP2::Processor::defineIteration(const QString &index, quint64 k, quint64 progression)
{
    m_table.define(index, QString::number(k));
    m_table.define(index + QStringLiteral("_alpha"), QString(QChar(ushort('A' + k))));
    m_table.define(index + QStringLiteral("_hex"), upperHex(k));
    m_table.define(index + QStringLiteral("_ap"), QString::number(qint64(progression)));
    m_table.define(index + QStringLiteral("_ap_hex"), upperHex(progression));
}

void XMLPP2::Processor::processFor(XMLElement &element)
{
    if (!element.hasAttribute("index") || !element.hasAttribute("start") || !element.hasAttribute("end")
        || !element.hasAttribute("incr") || !element.firstChildElement()) {
        report(QStringLiteral("<for index=\"i\" start=\"0\" end=\"32\" incr=\"1\">"));
        drop(element);
        return;
    }
    Loop loop;
    if (!readLoop(element, loop)) {
        if (!m_failed)
            drop(element);
        return;
    }
    const QString index = attributeText(element, "index");
    const quint64 passNodes = bodyNodes(element);
    std::vector<std::unique_ptr<XMLNode>> copies;
    for (quint64 k = loop.start; k < loop.end;) {
        // Wrapping arithmetic; the decimal form is signed so that "sub" can go below zero.
        const quint64 progression = k * loop.multiplier + loop.addend;
        const size_t mark = m_table.mark();
        defineIteration(index, k, progression);
        const bool copied = copyBody(element, passNodes, copies);
        m_table.rollBack(mark);
        if (!copied)
            return;
        if (loop.increment == 0 || k + loop.increment < k)
            break; // a step that would never reach the end, or would wrap past it
        k += loop.increment;
    }
    replaceByCopies(element, std::move(copies));
}

void XMLPP2::Processor::processForeach(XMLElement &element)
{
    std::vector<std::pair<QString, QStringList>> lists;
    for (const XMLAttribute &attribute : element.attributes())
        lists.emplace_back(fromBytes(attribute.name), listItems(withoutNewlines(fromBytes(attribute.value))));
    bool empty = lists.empty();
    for (const auto &list : lists)
        empty = empty || list.second.isEmpty();
    const quint64 passNodes = bodyNodes(element);
    std::vector<std::unique_ptr<XMLNode>> copies;
    // An odometer over the lists: the last attribute turns fastest.
    std::vector<int> position(lists.size(), 0);
    for (bool more = !empty; more; more = nextCombination(lists, position)) {
        const size_t mark = m_table.mark();
        for (size_t i = 0; i < lists.size(); ++i)
            m_table.define(lists[i].first, lists[i].second.at(position[i]));
        const bool copied = copyBody(element, passNodes, copies);
        m_table.rollBack(mark);
        if (!copied)
            return;
    }
    replaceByCopies(element, std::move(copies));
}

// The include file, named with the global macros (without overrides) and
// taken relative to the directory of the including file.
QString XMLPP2::Processor::includedFileName(const XMLElement &element, const QString &includingPath)
{
    const QString fileName = expandSystemMacros(attributeText(element, "filename"));
    if (QFileInfo(fileName).isRelative())
        return QDir(QFileInfo(includingPath).absolutePath()).filePath(fileName);
    return fileName;
}

// Whether one more file may be included from a file `includeDepth` includes deep.
bool XMLPP2::Processor::admitInclude(const XMLElement &element, int includeDepth)
{
    if (includeDepth >= XMLPP2::MaxIncludeDepth) {
        fail(QStringLiteral("include nesting limit of %1 files exceeded").arg(XMLPP2::MaxIncludeDepth), element);
        return false;
    }
    if (++m_includedFiles > XMLPP2::MaxIncludedFiles) {
        fail(QStringLiteral("include limit of %1 files exceeded").arg(XMLPP2::MaxIncludedFiles), element);
        return false;
    }
    return true;
}

// The root of the include file, or null once the reason is reported.
std::unique_ptr<XMLElement> XMLPP2::Processor::loadIncludedRoot(const QString &fileName)
{
    IncludeDocument included(m_document);
    const bool loaded = included.load(fileName);
    m_document.noteRead(fileName);
    if (!loaded) {
        report(QStringLiteral("error \"") + fromBytes(included.errorMessage()) + QStringLiteral("\" in include file ")
               + fileName + QStringLiteral(" line:") + QString::number(included.errorLine()));
        return nullptr;
    }
    std::unique_ptr<XMLElement> root = included.takeRoot();
    if (!root)
        report(QStringLiteral("error: include file '%1' is empty").arg(fileName));
    return root;
}

// The include element holds the included content while it is processed: the
// root, or with no_root or a matching envelope the root's children.
void XMLPP2::Processor::placeIncludedContent(XMLElement &element, std::unique_ptr<XMLElement> root)
{
    for (const QString &name : attributeText(element, "inherit_attributes").split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QByteArray key = name.trimmed().toUtf8();
        if (element.hasAttribute(key))
            root->setAttribute(key, element.attribute(key));
    }
    const bool unwrap = flagSet(element, "no_root")
        || (element.hasAttribute("envelope") && root->name() == element.attribute("envelope"));
    element.takeChildren();
    if (unwrap) {
        for (std::unique_ptr<XMLNode> &child : root->takeChildren())
            element.appendChild(std::move(child));
    } else {
        element.appendChild(std::move(root));
    }
}

// "macros" extends the definitions for the included content alone; with
// "expand_macros" its attribute values are expanded with them at once.
void XMLPP2::Processor::processInclude(XMLElement &element)
{
    if (!element.hasAttribute("filename")) {
        report(QStringLiteral("missing filename in <include>"));
        drop(element);
        return;
    }
    const int includeDepth = frame().includeDepth;
    const QString fileName = includedFileName(element, frame().path);
    if (!admitInclude(element, includeDepth))
        return;
    std::unique_ptr<XMLElement> root = loadIncludedRoot(fileName);
    if (!root) {
        drop(element);
        return;
    }
    if (!admit(countNodes(*root), element))
        return;
    placeIncludedContent(element, std::move(root));
    if (!splice(element, element, fileName, includeDepth + 1))
        return;
    if (element.hasAttribute("macros"))
        m_table.defineAll(macroEntries(element));
    if (!flagSet(element, "expand_macros") || m_expandAttributes)
        return;
    for (XMLNode *child = element.firstChild(); child; child = child->nextSibling()) {
        if (!expandAttributes(child->toElement(), AttributeScope::Subtree))
            return;
    }
}

XMLPP2::XMLPP2(bool keepText) : QXMLDocument(keepText) {}

XMLPP2::~XMLPP2() = default;

void XMLPP2::reportError(const QString &) {}

bool XMLPP2::loadPreprocessed(const QString &path, const QString &definitions, bool expandAttributes)
{
    m_fragments.clear();
    m_exceededLimit = false;
    const bool loaded = load(path);
    noteRead(path);
    if (!loaded)
        return false;
    if (!root())
        return true;
    return processConditionals(root(), path, parseMacroList(definitions), expandAttributes);
}

void XMLPP2::noteRead(const QString &path)
{
    if (QFileInfo(path).isFile())
        m_readFiles.append(path);
}

bool XMLPP2::processConditionals(XMLNode *first, const QString &path, const MacroMap &table,
                                 bool expandAttributes)
{
    m_exceededLimit = false;
    if (!first)
        return true;
    Processor processor(*this, expandAttributes, table);
    if (first->parent())
        return processor.run(first, path);
    if (first != root())
        return true;
    // The root has no parent to splice into: give it one for the run and take
    // the first element that is left as the new root.
    XMLElement holder;
    holder.appendChild(takeRoot());
    const bool processed = processor.run(holder.firstChild(), path);
    XMLElement *newRoot = holder.firstChildElement();
    if (newRoot) {
        std::unique_ptr<XMLNode> taken = holder.removeChild(newRoot);
        setRoot(std::unique_ptr<XMLElement>(static_cast<XMLElement *>(taken.release())));
    }
    return processed;
}

ProjectSystemXMLPP2::ProjectSystemXMLPP2(XMLElementFactory elementFactory, bool keepText)
    : XMLPP2(keepText), m_elementFactory(std::move(elementFactory))
{
}

ProjectSystemXMLPP2::~ProjectSystemXMLPP2() = default;

std::unique_ptr<XMLElement> ProjectSystemXMLPP2::createElement(const QByteArray &name)
{
    return m_elementFactory ? m_elementFactory(name) : XMLPP2::createElement(name);
}

void ProjectSystemXMLPP2::reportError(const QString &) {}
