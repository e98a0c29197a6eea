// The nodes of the tool's own XML tree: elements, character data, comments and CDATA sections.
#pragma once

#include <QByteArray>
#include <QHash>

#include <functional>
#include <memory>
#include <vector>

class XMLElement;

/// What a node is; the writer and the preprocessor branch on it.
enum class XMLNodeType { Element, Data, Comment, CDATASection };

/// Base of every node. A node owns its children, which form a list through
/// nextSibling(). Appending, removing and replacing are O(1), and destroying a
/// node does not recurse per nesting level, so deep and wide trees are safe.
class XMLNode {
public:
    virtual ~XMLNode();

    XMLNode(const XMLNode &) = delete;
    XMLNode &operator=(const XMLNode &) = delete;

    /// Links `node` after the last child and makes this node its parent.
    /// A null node is ignored.
    virtual void appendChild(std::unique_ptr<XMLNode> node);
    /// Links `node` before the first child and makes this node its parent;
    /// returns it.
    virtual XMLNode *prependChild(std::unique_ptr<XMLNode> node);
    /// Unlinks `node` from the children and hands it to the caller (its
    /// parent() becomes null). Returns null when `node` is not a child.
    virtual std::unique_ptr<XMLNode> removeChild(XMLNode *node);
    /// Puts `newChild` in the place of `oldChild` and hands `oldChild` to the
    /// caller, detached. When `oldChild` is not a child nothing changes, `newChild` is
    /// deleted and null is returned.
    virtual std::unique_ptr<XMLNode> replaceChild(XMLNode *oldChild, std::unique_ptr<XMLNode> newChild);
    /// Inserts `chain`, in order, after `reference`; null `reference` (or no
    /// children yet) inserts at the front. A `reference` that is not a child
    /// appends at the end. Every node of the chain gets this node as parent.
    virtual void insertChildrenAfter(XMLNode *reference, std::vector<std::unique_ptr<XMLNode>> chain);

    /// Unlinks every child and hands them to the caller, in order.
    std::vector<std::unique_ptr<XMLNode>> takeChildren();

    XMLNodeType nodeType() const { return m_type; }
    bool isElement() const { return m_type == XMLNodeType::Element; }
    /// This node as an element, or null when it is another kind.
    XMLElement *toElement();
    const XMLElement *toElement() const;

    XMLNode *parent() const { return m_parent; }
    XMLNode *firstChild() const { return m_firstChild; }
    XMLNode *lastChild() const { return m_lastChild; }
    XMLNode *nextSibling() const { return m_nextSibling; }
    XMLNode *previousSibling() const { return m_previousSibling; }
    /// First child that is an element, or null.
    XMLElement *firstChildElement() const;
    /// Next sibling that is an element, or null.
    XMLElement *nextSiblingElement() const;
    /// The node after this one in document order, staying inside the subtree
    /// of `subtreeRoot`; null at its end. Walks without recursion.
    XMLNode *nextInSubtree(const XMLNode *subtreeRoot) const;

    /// Line of the source text where the node began, counted from 0.
    quint32 line() const { return m_line; }
    void setLine(quint32 line) { m_line = line; }

protected:
    explicit XMLNode(XMLNodeType type);

private:
    /// Makes `node` a child between `previous` and `next` (either may be null: an end).
    void link(XMLNode *node, XMLNode *previous, XMLNode *next);
    void unlink(XMLNode *node);

    XMLNodeType m_type;
    XMLNode *m_parent = nullptr;
    XMLNode *m_firstChild = nullptr;
    XMLNode *m_lastChild = nullptr;
    XMLNode *m_nextSibling = nullptr;
    XMLNode *m_previousSibling = nullptr;
    quint32 m_line = 0;
};

/// One attribute: owned 8-bit name and value. A null value is distinct from
/// an empty one (the writer prints it differently).
struct XMLAttribute {
    QByteArray name;
    QByteArray value;
};

/// An element with a tag name and attributes in insertion order. Names are
/// unique in the list; an element with many attributes finds a name through
/// an index instead of a scan, so reading one with thousands stays linear.
class XMLElement : public XMLNode {
public:
    explicit XMLElement(const QByteArray &name = QByteArray());
    ~XMLElement() override;

    virtual void setName(const QByteArray &name);
    virtual QByteArray name() const;
    /// Replaces the value of the first attribute called `name`, or appends
    /// a new attribute at the end.
    virtual void setAttribute(const QByteArray &name, const QByteArray &value);
    /// Removes the first attribute called `name`, if any.
    virtual void removeAttribute(const QByteArray &name);
    virtual bool hasAttribute(const QByteArray &name) const;
    /// The value of the first attribute called `name`, or a null array.
    virtual QByteArray attribute(const QByteArray &name) const;
    virtual const std::vector<XMLAttribute> &attributes() const;

private:
    /// Below this many attributes a scan is as quick as the index.
    static constexpr size_t IndexedFrom = 16;

    /// The position of the first attribute called `name`, or -1.
    int attributeIndex(const QByteArray &name) const;

    QByteArray m_name;
    std::vector<XMLAttribute> m_attributes;
    /// Name -> position in m_attributes, built on first use past IndexedFrom
    /// and dropped when a removal shifts the positions.
    mutable std::unique_ptr<QHash<QByteArray, int>> m_index;
};

/// Common base of the nodes that carry one text.
class XMLTextNode : public XMLNode {
public:
    ~XMLTextNode() override;

    virtual void setText(const QByteArray &text);
    virtual QByteArray text() const;

protected:
    XMLTextNode(XMLNodeType type, const QByteArray &text);

private:
    QByteArray m_text;
};

/// Character data, entity references already decoded.
class XMLData : public XMLTextNode {
public:
    explicit XMLData(const QByteArray &text = QByteArray()) : XMLTextNode(XMLNodeType::Data, text) {}
};

/// The text between "<!--" and "-->".
class XMLComment : public XMLTextNode {
public:
    explicit XMLComment(const QByteArray &text = QByteArray()) : XMLTextNode(XMLNodeType::Comment, text) {}
};

/// The raw bytes of a CDATA section.
class XMLCDATASection : public XMLTextNode {
public:
    explicit XMLCDATASection(const QByteArray &text = QByteArray())
        : XMLTextNode(XMLNodeType::CDATASection, text) {}
};

/// Makes the element of a tag name, so that a derived document can make
/// derived elements.
using XMLElementFactory = std::function<std::unique_ptr<XMLElement>(const QByteArray &name)>;
