// The preprocessor: directives resolved in place over the tree, without recursion.
#include "xml/xmlpp2.h"

#include "macros/propertyclass.h"
#include "xml/xmlexpression.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
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

// The table, extended by the macro list of the directive's "macros" attribute
// when it has one.
MacroMap tableWithMacros(const XMLElement &element, const MacroMap &table)
{
    if (!element.hasAttribute("macros"))
        return table;
    MacroMap extended = table;
    const MacroMap entries = parseMacroList(withoutNewlines(attributeText(element, "macros")));
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it)
        extended.insert(it.key(), it.value());
    return extended;
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

bool evaluateUnsigned(const QString &text, quint64 &out)
{
    return unsignedValue(evaluateXMLExpression(text), out);
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

// The table of one loop iteration k: the index in decimal, as a letter and in
// hexadecimal, and the arithmetic progression in decimal and hexadecimal.
MacroMap iterationTable(const MacroMap &table, const QString &index, quint64 k, quint64 progression)
{
    MacroMap iteration = table;
    iteration.insert(index, QString::number(k));
    iteration.insert(index + QStringLiteral("_alpha"), QString(QChar(ushort('A' + k))));
    iteration.insert(index + QStringLiteral("_hex"), upperHex(k));
    iteration.insert(index + QStringLiteral("_ap"), QString::number(qint64(progression)));
    iteration.insert(index + QStringLiteral("_ap_hex"), upperHex(progression));
    return iteration;
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

} // namespace

// Walks sibling chains with an explicit stack of frames instead of recursion,
// so nesting depth costs heap, not stack. A frame is one chain being visited
// with its own definition table; a splice frame, when its chain is done,
// moves the processed children of its container into the place of its
// directive element.
class XMLPP2::Processor {
public:
    Processor(XMLPP2 &document, bool expandAttributes)
        : m_document(document), m_expandAttributes(expandAttributes)
    {
    }

    void run(XMLNode *first, const QString &path, const MacroMap &table)
    {
        m_frames.push_back(Frame{first, table, path, 0, nullptr, nullptr});
        while (!m_frames.empty()) {
            XMLNode *node = m_frames.back().next;
            if (!node) {
                finishFrame();
                continue;
            }
            m_frames.back().next = node->nextSibling();
            if (XMLElement *element = node->toElement())
                visit(*element);
        }
    }

private:
    struct Frame {
        XMLNode *next;
        MacroMap table;
        QString path;
        int includeDepth;
        XMLElement *container;
        XMLElement *target;
    };

    Frame &frame() { return m_frames.back(); }

    void report(const QString &message) { m_document.reportError(kPrefix + message); }

    void drop(XMLElement &element)
    {
        // Unlinked, the element is deleted with its subtree.
        if (XMLNode *parent = element.parent())
            parent->removeChild(&element);
    }

    // Processes the children of `container` with `table` and then puts them in
    // the place of `target`. Nothing to process means nothing to put.
    void splice(XMLElement &container, XMLElement &target, const MacroMap &table, const QString &path,
                int includeDepth)
    {
        if (!container.firstChild()) {
            drop(target);
            return;
        }
        m_frames.push_back(Frame{container.firstChild(), table, path, includeDepth, &container, &target});
    }

    void finishFrame()
    {
        Frame done = std::move(m_frames.back());
        m_frames.pop_back();
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
    // the copies next, with its own table.
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

    // Accounts for nodes that an expansion adds; false once the run is over its limit.
    bool admit(quint64 nodes)
    {
        const quint64 limit = m_document.expansionLimit();
        if (m_limitReached)
            return false;
        m_added += nodes;
        if (limit != 0 && m_added > limit) {
            m_limitReached = true;
            report(QStringLiteral("expansion limit of %1 nodes exceeded").arg(limit));
            return false;
        }
        return true;
    }

    // Deep copies of the element children of `element`, attribute values
    // expanded with `table`, appended to `out`. False when the limit is hit.
    bool copyBody(const XMLElement &element, const MacroMap &table, std::vector<std::unique_ptr<XMLNode>> &out)
    {
        for (const XMLNode *child = element.firstChild(); child; child = child->nextSibling()) {
            if (!child->isElement())
                continue;
            if (!admit(countNodes(*child)))
                return false;
            std::unique_ptr<XMLNode> copy = m_document.cloneNode(*child);
            expandAttributes(copy->toElement(), table, AttributeScope::Subtree);
            out.push_back(std::move(copy));
        }
        return true;
    }

    // The expansion, or an empty text (never evaluable) when it is refused.
    QString expandExpression(const QString &text, const MacroMap &table)
    {
        const std::optional<QString> expanded = QXMLDocument::expandWithinLimit(text, table);
        if (!expanded)
            reportTextLimit();
        return expanded.value_or(QString());
    }

    // The attribute values of `element`, or of its whole subtree, that hold a
    // "$". A refused value stays as it is.
    void expandAttributes(XMLElement *element, const MacroMap &table, AttributeScope scope)
    {
        if (!m_document.expandAttributeMacros(element, table, scope))
            reportTextLimit();
    }

    void reportTextLimit()
    {
        if (m_textLimitReached)
            return;
        m_textLimitReached = true;
        report(QStringLiteral("expansion limit of %1 characters exceeded").arg(QXMLDocument::MaxExpandedLength));
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
    bool readLoop(const XMLElement &element, const MacroMap &table, Loop &loop);
    void processFor(XMLElement &element);
    void processForeach(XMLElement &element);
    QString includedFileName(const XMLElement &element, const QString &includingPath);
    std::unique_ptr<XMLElement> loadIncludedRoot(const QString &fileName, int includeDepth);
    void placeIncludedContent(XMLElement &element, std::unique_ptr<XMLElement> root);
    void processInclude(XMLElement &element);

    void keep(XMLElement &element)
    {
        if (element.firstChild())
            m_frames.push_back(Frame{element.firstChild(), frame().table, frame().path, frame().includeDepth,
                                     nullptr, nullptr});
    }

    void spliceOwnChildren(XMLElement &element)
    {
        const Frame &current = frame();
        splice(element, element, current.table, current.path, current.includeDepth);
    }

    XMLPP2 &m_document;
    const bool m_expandAttributes;
    std::vector<Frame> m_frames;
    quint64 m_added = 0;
    bool m_limitReached = false;
    bool m_textLimitReached = false;
};

// An element's name selects its directive; any other element stays, its
// children processed with a copy of the table.
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
    if (m_expandAttributes)
        expandAttributes(&element, frame().table, AttributeScope::Element);
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
    spliceIf(element, frame().table.contains(attributeText(element, "name")));
}

void XMLPP2::Processor::processIfNDef(XMLElement &element)
{
    spliceIf(element, !frame().table.contains(attributeText(element, "name")));
}

// True: splice; false, empty or not evaluable: drop.
void XMLPP2::Processor::processIfEx(XMLElement &element)
{
    const QString expression = expandExpression(attributeText(element, "expression"), frame().table);
    const XMLExpressionValue value = evaluateXMLExpression(expression);
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
    MacroMap &table = frame().table;
    // Testing a name defines it, empty, for the elements that follow.
    if (!table.contains(key))
        table.insert(key, QStringLiteral(""));
    const bool member = listItems(fromBytes(condition.value)).contains(table.value(key));
    spliceIf(element, member != inverse);
}

void XMLPP2::Processor::processSwitch(XMLElement &element)
{
    const QString key = attributeText(element, "name");
    MacroMap &table = frame().table;
    if (!table.contains(key))
        table.insert(key, QStringLiteral(""));
    const QString value = table.value(key);
    XMLElement *chosen = nullptr;
    XMLElement *fallback = nullptr;
    for (XMLNode *child = element.firstChild(); child && !chosen; child = child->nextSibling()) {
        XMLElement *candidate = child->toElement();
        if (!candidate)
            continue;
        // The cases are chosen among before anything inside the switch is
        // visited, so their values are expanded here.
        if (m_expandAttributes)
            expandAttributes(candidate, frame().table, AttributeScope::Element);
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
    splice(*chosen, element, current.table, current.path, current.includeDepth);
}

void XMLPP2::Processor::processDefine(XMLElement &element)
{
    if (!element.hasAttribute("name")) {
        report(QStringLiteral("missing name in <define>"));
        drop(element);
        return;
    }
    const QString key = attributeText(element, "name");
    MacroMap &table = frame().table;
    quint64 number = 0;
    if (element.hasAttribute("value")) {
        table.insert(key, attributeText(element, "value"));
    } else if (element.hasAttribute("expression")) {
        if (evaluateUnsigned(expandExpression(attributeText(element, "expression"), table), number))
            table.insert(key, QString::number(number));
    } else if (element.hasAttribute("hex_expression")) {
        if (evaluateUnsigned(expandExpression(attributeText(element, "hex_expression"), table), number))
            table.insert(key, upperHex(number));
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
    const Frame &current = frame();
    const bool withMacros = element.hasAttribute("macros");
    const MacroMap table = tableWithMacros(element, current.table);
    // The directive element itself holds the copy while it is processed.
    element.takeChildren();
    for (const XMLNode *child = fragment.firstChild(); child; child = child->nextSibling()) {
        if (!admit(countNodes(*child))) {
            drop(element);
            return;
        }
        std::unique_ptr<XMLNode> copy = m_document.cloneNode(*child);
        if (withMacros)
            expandAttributes(copy->toElement(), table, AttributeScope::Subtree);
        element.appendChild(std::move(copy));
    }
    splice(element, element, table, current.path, current.includeDepth);
}

// The bounds as written and the progression's factors expanded with the
// table; false when one of them is not a number.
bool XMLPP2::Processor::readLoop(const XMLElement &element, const MacroMap &table, Loop &loop)
{
    if (!evaluateUnsigned(attributeText(element, "start"), loop.start)
        || !evaluateUnsigned(attributeText(element, "end"), loop.end)
        || !evaluateUnsigned(attributeText(element, "incr"), loop.increment))
        return false;
    if (element.hasAttribute("mul")
        && !evaluateUnsigned(expandExpression(attributeText(element, "mul"), table), loop.multiplier))
        return false;
    if (element.hasAttribute("add"))
        return evaluateUnsigned(expandExpression(attributeText(element, "add"), table), loop.addend);
    if (element.hasAttribute("sub")) {
        const bool ok = evaluateUnsigned(expandExpression(attributeText(element, "sub"), table), loop.addend);
        loop.addend = 0 - loop.addend;
        return ok;
    }
    return true;
}

void XMLPP2::Processor::processFor(XMLElement &element)
{
    if (!element.hasAttribute("index") || !element.hasAttribute("start") || !element.hasAttribute("end")
        || !element.hasAttribute("incr") || !element.firstChildElement()) {
        report(QStringLiteral("<for index=\"i\" start=\"0\" end=\"32\" incr=\"1\">"));
        drop(element);
        return;
    }
    const MacroMap table = frame().table;
    Loop loop;
    if (!readLoop(element, table, loop)) {
        drop(element);
        return;
    }
    const QString index = attributeText(element, "index");
    std::vector<std::unique_ptr<XMLNode>> copies;
    for (quint64 k = loop.start; k < loop.end;) {
        // Wrapping arithmetic; the decimal form is signed so that "sub" can go below zero.
        const quint64 progression = k * loop.multiplier + loop.addend;
        if (!copyBody(element, iterationTable(table, index, k, progression), copies))
            break;
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
    std::vector<std::unique_ptr<XMLNode>> copies;
    // An odometer over the lists: the last attribute turns fastest.
    std::vector<int> position(lists.size(), 0);
    for (bool more = !empty; more; more = nextCombination(lists, position)) {
        MacroMap combination = frame().table;
        for (size_t i = 0; i < lists.size(); ++i)
            combination.insert(lists[i].first, lists[i].second.at(position[i]));
        if (!copyBody(element, combination, copies))
            break;
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

// The root of the include file, or null once the reason is reported.
std::unique_ptr<XMLElement> XMLPP2::Processor::loadIncludedRoot(const QString &fileName, int includeDepth)
{
    const QString inFile = QStringLiteral("\" in include file ") + fileName + QStringLiteral(" line:");
    if (includeDepth >= XMLPP2::MaxIncludeDepth) {
        report(QStringLiteral("error \"include nesting too deep") + inFile + QLatin1Char('0'));
        return nullptr;
    }
    IncludeDocument included(m_document);
    const bool loaded = included.load(fileName);
    m_document.noteRead(fileName);
    if (!loaded) {
        report(QStringLiteral("error \"") + fromBytes(included.errorMessage()) + inFile
               + QString::number(included.errorLine()));
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

void XMLPP2::Processor::processInclude(XMLElement &element)
{
    if (!element.hasAttribute("filename")) {
        report(QStringLiteral("missing filename in <include>"));
        drop(element);
        return;
    }
    const Frame &current = frame();
    const QString fileName = includedFileName(element, current.path);
    std::unique_ptr<XMLElement> root = loadIncludedRoot(fileName, current.includeDepth);
    if (!root || !admit(countNodes(*root))) {
        drop(element);
        return;
    }
    const MacroMap table = tableWithMacros(element, current.table);
    placeIncludedContent(element, std::move(root));
    if (flagSet(element, "expand_macros") && !m_expandAttributes) {
        for (XMLNode *child = element.firstChild(); child; child = child->nextSibling())
            expandAttributes(child->toElement(), table, AttributeScope::Subtree);
    }
    splice(element, element, table, fileName, current.includeDepth + 1);
}

XMLPP2::XMLPP2(bool keepText) : QXMLDocument(keepText) {}

XMLPP2::~XMLPP2() = default;

void XMLPP2::reportError(const QString &) {}

bool XMLPP2::loadPreprocessed(const QString &path, const QString &definitions, bool expandAttributes)
{
    m_fragments.clear();
    const bool loaded = load(path);
    noteRead(path);
    if (!loaded)
        return false;
    if (root())
        processConditionals(root(), path, parseMacroList(definitions), expandAttributes);
    return true;
}

void XMLPP2::noteRead(const QString &path)
{
    if (QFileInfo(path).isFile())
        m_readFiles.append(path);
}

void XMLPP2::processConditionals(XMLNode *first, const QString &path, const MacroMap &table,
                                 bool expandAttributes)
{
    if (!first)
        return;
    Processor processor(*this, expandAttributes);
    if (first->parent()) {
        processor.run(first, path, table);
        return;
    }
    if (first != root())
        return;
    // The root has no parent to splice into: give it one for the run and take
    // the first element that is left as the new root.
    XMLElement holder;
    holder.appendChild(takeRoot());
    processor.run(holder.firstChild(), path, table);
    XMLElement *newRoot = holder.firstChildElement();
    if (newRoot) {
        std::unique_ptr<XMLNode> taken = holder.removeChild(newRoot);
        setRoot(std::unique_ptr<XMLElement>(static_cast<XMLElement *>(taken.release())));
    }
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
