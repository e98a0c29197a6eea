#include "xml/tests/treedump.h"

#include "xml/xmlnode.h"

QByteArray dumpTree(const XMLNode *node)
{
    if (!node)
        return "null";
    switch (node->nodeType()) {
    case XMLNodeType::Data:
        return "'" + static_cast<const XMLTextNode *>(node)->text() + "'";
    case XMLNodeType::Comment:
        return "#'" + static_cast<const XMLTextNode *>(node)->text() + "'";
    case XMLNodeType::CDATASection:
        return "!'" + static_cast<const XMLTextNode *>(node)->text() + "'";
    case XMLNodeType::Element:
        break;
    }
    const XMLElement *element = node->toElement();
    QByteArray out = element->name();
    if (!element->attributes().empty()) {
        out += '[';
        bool first = true;
        for (const XMLAttribute &attribute : element->attributes()) {
            if (!first)
                out += ',';
            first = false;
            out += attribute.name + '=' + attribute.value;
        }
        out += ']';
    }
    if (element->firstChild()) {
        out += '(';
        for (const XMLNode *child = element->firstChild(); child; child = child->nextSibling()) {
            if (child != element->firstChild())
                out += ',';
            out += dumpTree(child);
        }
        out += ')';
    }
    return out;
}
