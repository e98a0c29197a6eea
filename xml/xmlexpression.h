// The C-style expression language of the preprocessor's ifex, define and for directives.
#pragma once

#include <QString>
#include <QtGlobal>

/// How deeply parentheses, unary operators and conditional operators may nest
/// in one expression; each level costs the evaluator stack.
inline constexpr int MaxExpressionNesting = 256;

/// The result of an expression: a 64-bit integer, a floating-point number, a
/// string, a truth value, or Invalid (not evaluable) with the error text.
class XMLExpressionValue {
public:
    enum class Type { Invalid, Integer, Float, String, Bool };

    static XMLExpressionValue invalid(const QString &error);
    /// Invalid because the expression nests deeper than MaxExpressionNesting.
    static XMLExpressionValue nestedTooDeeply();
    static XMLExpressionValue fromInteger(qint64 value);
    static XMLExpressionValue fromFloat(double value);
    static XMLExpressionValue fromString(const QString &value);
    static XMLExpressionValue fromBool(bool value);

    Type type() const { return m_type; }
    bool isInteger() const { return m_type == Type::Integer; }
    bool isFloat() const { return m_type == Type::Float; }
    bool isNumber() const { return isInteger() || isFloat(); }
    bool isString() const { return m_type == Type::String; }
    bool isBool() const { return m_type == Type::Bool; }
    /// Not evaluable because of its nesting alone: a limit, not a mistake.
    bool isNestedTooDeeply() const { return m_nestedTooDeeply; }

    qint64 integer() const { return m_integer; }
    /// The integer read as unsigned, as stored numbers and loop bounds use it.
    quint64 unsignedInteger() const { return quint64(m_integer); }
    double number() const { return m_number; }
    QString string() const { return m_string; }
    bool truth() const { return m_truth; }
    /// Why the expression is not evaluable; empty for a valid value.
    QString error() const { return m_string; }

private:
    Type m_type = Type::Invalid;
    qint64 m_integer = 0;
    double m_number = 0.0;
    bool m_truth = false;
    bool m_nestedTooDeeply = false;
    QString m_string;
};

/// Evaluates `text`. Integers are signed 64-bit and wrap on overflow; integer
/// division or remainder by zero, a leftover identifier (" symbol not found"),
/// a type the operator does not support, a syntax error, or nesting deeper
/// than MaxExpressionNesting give Invalid.
XMLExpressionValue evaluateXMLExpression(const QString &text);
