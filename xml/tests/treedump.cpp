#include "xml/tests/treedump.h"
#include "xml/xmlnode.h"
#include <QByteArrayList>

QByteArray dumpTree(const XMLNode *node)
{
    if (!node)
        return "null";
    if (!node->isElement()) {
        const XMLNodeType type = node->nodeType();
        const char *mark = type == XMLNodeType::Comment ? "#'" : type == XMLNodeType::CDATASection ? "!'" : "'";
        return mark + static_cast<const XMLTextNode *>(node)->text() + "'";
    }
    const XMLElement *element = node->toElement();
    QByteArrayList attributes, children;
    for (const XMLAttribute &attribute : element->attributes())
        attributes << attribute.name + '=' + attribute.value;
    for (const XMLNode *child = element->firstChild(); child; child = child->nextSibling())
        children << dumpTree(child);
    return element->name() + (attributes.isEmpty() ? QByteArray() : '[' + attributes.join(',') + ']')
           + (children.isEmpty() ? QByteArray() : '(' + children.join(',') + ')');
}
