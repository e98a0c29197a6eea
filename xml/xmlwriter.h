// Writing the tool's XML text: the declaration, the doctype and the escaped tree.
#pragma once

#include "xml/xmlnode.h"

#include <QByteArray>

/// What precedes the root element; a null field is not written.
struct XMLProlog {
    QByteArray version;
    QByteArray encoding;
    QByteArray doctype;
};

/// The text of a document: the prolog, then `root` (when not null) with
/// `indent` spaces per level (0: all on one line) and attributes wrapped past
/// `wrapWidth` (0: never).
QByteArray writeXML(const XMLProlog &prolog, const XMLElement *root, quint32 indent, quint32 wrapWidth);
