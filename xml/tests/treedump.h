// A compact one-line picture of a node tree, so tests can compare whole trees.
#pragma once

#include <QByteArray>

class XMLNode;

/// Element: name, then "[n=v,...]" when it has attributes, then "(children)"
/// when it has children, separated by ",". Data: 'text'. Comment: #'text'.
/// CDATA: !'text'. A null node gives "null". Bytes are copied raw.
QByteArray dumpTree(const XMLNode *node);
