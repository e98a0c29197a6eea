// The forgiving single-pass reader of the tool's XML text.
#pragma once

#include "xml/xmlnode.h"

#include <QByteArray>

#include <memory>

/// What one read gives.
struct XMLReadResult {
    enum class Status { Ok, BadTagName, TagNameMismatch };
    Status status = Status::Ok;
    /// The line where reading stopped, counted from 0.
    quint32 line = 0;
    /// The last top-level element completed; null when none was.
    std::unique_ptr<XMLElement> root;
    QByteArray version;
    QByteArray encoding;
    QByteArray doctype;
};

/// Reads the text [begin, end). Elements come from `createElement`; character
/// data and comments are kept only with `keepText`. Checks only that tag names
/// are well formed and end tags match; anything else malformed is accepted.
XMLReadResult readXML(const char *begin, const char *end, const XMLElementFactory &createElement,
                      bool keepText);
