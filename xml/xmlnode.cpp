// The node tree: linking children, walking it and the element and text nodes.
#include "xml/xmlnode.h"

XMLNode::XMLNode(XMLNodeType type) : m_type(type) {}

XMLNode::~XMLNode()
{
    // Flatten instead of recursing: each node's children are moved onto the
    // pending list before the node itself is deleted, so its destructor finds
    // no children and the stack stays flat however deep the tree is.
    XMLNode *pending = m_firstChild;
    m_firstChild = m_lastChild = nullptr;
    while (pending) {
        XMLNode *node = pending;
        pending = node->m_nextSibling;
        if (node->m_firstChild) {
            node->m_lastChild->m_nextSibling = pending;
            pending = node->m_firstChild;
            node->m_firstChild = node->m_lastChild = nullptr;
        }
        delete node;
    }
}

void XMLNode::link(XMLNode *node, XMLNode *previous, XMLNode *next)
{
    node->m_parent = this;
    node->m_previousSibling = previous;
    node->m_nextSibling = next;
    if (previous)
        previous->m_nextSibling = node;
    else
        m_firstChild = node;
    if (next)
        next->m_previousSibling = node;
    else
        m_lastChild = node;
}

void XMLNode::unlink(XMLNode *node)
{
    if (node->m_previousSibling)
        node->m_previousSibling->m_nextSibling = node->m_nextSibling;
    else
        m_firstChild = node->m_nextSibling;
    if (node->m_nextSibling)
        node->m_nextSibling->m_previousSibling = node->m_previousSibling;
    else
        m_lastChild = node->m_previousSibling;
    node->m_nextSibling = node->m_previousSibling = nullptr;
    node->m_parent = nullptr;
}

void XMLNode::appendChild(std::unique_ptr<XMLNode> node)
{
    if (node)
        link(node.release(), m_lastChild, nullptr);
}

XMLNode *XMLNode::prependChild(std::unique_ptr<XMLNode> node)
{
    if (!node)
        return nullptr;
    XMLNode *raw = node.release();
    link(raw, nullptr, m_firstChild);
    return raw;
}

std::unique_ptr<XMLNode> XMLNode::removeChild(XMLNode *node)
{
    if (!node || node->m_parent != this)
        return nullptr;
    unlink(node);
    return std::unique_ptr<XMLNode>(node);
}

std::unique_ptr<XMLNode> XMLNode::replaceChild(XMLNode *oldChild, std::unique_ptr<XMLNode> newChild)
{
    if (!oldChild || oldChild->m_parent != this)
        return nullptr;
    if (!newChild)
        return removeChild(oldChild);
    XMLNode *previous = oldChild->m_previousSibling;
    XMLNode *next = oldChild->m_nextSibling;
    unlink(oldChild);
    link(newChild.release(), previous, next);
    return std::unique_ptr<XMLNode>(oldChild);
}

void XMLNode::insertChildrenAfter(XMLNode *reference, std::vector<std::unique_ptr<XMLNode>> chain)
{
    if (reference && reference->m_parent != this)
        reference = m_lastChild;
    XMLNode *after = reference;
    for (std::unique_ptr<XMLNode> &node : chain) {
        if (!node)
            continue;
        XMLNode *raw = node.release();
        link(raw, after, after ? after->m_nextSibling : m_firstChild);
        after = raw;
    }
}

std::vector<std::unique_ptr<XMLNode>> XMLNode::takeChildren()
{
    std::vector<std::unique_ptr<XMLNode>> children;
    while (m_firstChild)
        children.push_back(removeChild(m_firstChild));
    return children;
}

XMLElement *XMLNode::toElement()
{
    return isElement() ? static_cast<XMLElement *>(this) : nullptr;
}

const XMLElement *XMLNode::toElement() const
{
    return isElement() ? static_cast<const XMLElement *>(this) : nullptr;
}

XMLElement *XMLNode::firstChildElement() const
{
    XMLNode *node = m_firstChild;
    while (node && !node->isElement())
        node = node->m_nextSibling;
    return node ? node->toElement() : nullptr;
}

XMLElement *XMLNode::nextSiblingElement() const
{
    XMLNode *node = m_nextSibling;
    while (node && !node->isElement())
        node = node->m_nextSibling;
    return node ? node->toElement() : nullptr;
}

XMLNode *XMLNode::nextInSubtree(const XMLNode *subtreeRoot) const
{
    if (m_firstChild)
        return m_firstChild;
    const XMLNode *node = this;
    while (node && node != subtreeRoot && !node->m_nextSibling)
        node = node->m_parent;
    return !node || node == subtreeRoot ? nullptr : node->m_nextSibling;
}

XMLElement::XMLElement(const QByteArray &name) : XMLNode(XMLNodeType::Element), m_name(name) {}

XMLElement::~XMLElement() = default;

void XMLElement::setName(const QByteArray &name)
{
    m_name = name;
}

QByteArray XMLElement::name() const
{
    return m_name;
}

int XMLElement::attributeIndex(const QByteArray &name) const
{
    if (m_attributes.size() < IndexedFrom) {
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            if (m_attributes[i].name == name)
                return int(i);
        }
        return -1;
    }
    if (!m_index) {
        m_index = std::make_unique<QHash<QByteArray, int>>();
        m_index->reserve(int(m_attributes.size()));
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            if (!m_index->contains(m_attributes[i].name))
                m_index->insert(m_attributes[i].name, int(i));
        }
    }
    return m_index->value(name, -1);
}

void XMLElement::setAttribute(const QByteArray &name, const QByteArray &value)
{
    const int at = attributeIndex(name);
    if (at >= 0) {
        m_attributes[size_t(at)].value = value;
        return;
    }
    m_attributes.push_back({name, value});
    if (m_index)
        m_index->insert(name, int(m_attributes.size() - 1));
}

void XMLElement::removeAttribute(const QByteArray &name)
{
    const int at = attributeIndex(name);
    if (at < 0)
        return;
    m_attributes.erase(m_attributes.begin() + at);
    m_index.reset();
}

bool XMLElement::hasAttribute(const QByteArray &name) const
{
    return attributeIndex(name) >= 0;
}

QByteArray XMLElement::attribute(const QByteArray &name) const
{
    const int at = attributeIndex(name);
    return at < 0 ? QByteArray() : m_attributes[size_t(at)].value;
}

const std::vector<XMLAttribute> &XMLElement::attributes() const
{
    return m_attributes;
}

XMLTextNode::XMLTextNode(XMLNodeType type, const QByteArray &text) : XMLNode(type), m_text(text) {}

XMLTextNode::~XMLTextNode() = default;

void XMLTextNode::setText(const QByteArray &text)
{
    m_text = text;
}

QByteArray XMLTextNode::text() const
{
    return m_text;
}
