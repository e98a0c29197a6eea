// The expression language: its tokens, its operators and the recursive descent over them.
#include "xml/xmlexpression.h"

#include "xml/asciicharacters.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

XMLExpressionValue XMLExpressionValue::invalid(const QString &error)
{
    XMLExpressionValue value;
    value.m_string = error;
    return value;
}

XMLExpressionValue XMLExpressionValue::nestedTooDeeply()
{
    XMLExpressionValue value = invalid(QStringLiteral("expression nested too deeply"));
    value.m_nestedTooDeeply = true;
    return value;
}

XMLExpressionValue XMLExpressionValue::fromInteger(qint64 integer)
{
    XMLExpressionValue value;
    value.m_type = Type::Integer;
    value.m_integer = integer;
    value.m_number = double(integer);
    return value;
}

XMLExpressionValue XMLExpressionValue::fromFloat(double number)
{
    XMLExpressionValue value;
    value.m_type = Type::Float;
    value.m_number = number;
    return value;
}

XMLExpressionValue XMLExpressionValue::fromString(const QString &string)
{
    XMLExpressionValue value;
    value.m_type = Type::String;
    value.m_string = string;
    return value;
}

XMLExpressionValue XMLExpressionValue::fromBool(bool truth)
{
    XMLExpressionValue value;
    value.m_type = Type::Bool;
    value.m_truth = truth;
    return value;
}

namespace {

using Value = XMLExpressionValue;

// Raised inside the evaluator and caught at its entry point; the message
// becomes the error of the Invalid result.
struct EvaluationError {
    QString message;
};

// Raised when the nesting passes MaxExpressionNesting.
struct NestingError {};

[[noreturn]] void fail(const QString &message)
{
    throw EvaluationError{message};
}

[[noreturn]] void fail(const char *message)
{
    throw EvaluationError{QString::fromLatin1(message)};
}

enum class TokenKind { End, String, Integer, Float, Identifier, AtName, Punctuation, Operator };

struct Token {
    TokenKind kind = TokenKind::End;
    QString text; // operator or punctuation spelling, identifier, string contents
    qint64 integer = 0;
    double number = 0.0;
};

// Punctuation comes before the operators, so "--" and "->" are never read as
// two operators.
const char *const kPunctuation[] = {";", "::", ":", "(", ")", "[", "]", "{", "}", ".", "->", "++", "--"};
// Longest spelling first.
const char *const kOperators[] = {">>>=", "<<=", ">>=", ">>>", "*=", "/=", "%=", "+=", "-=", "&=", "^=", "|=",
                                  "||", "&&", "==", "!=", "<=", ">=", "<<", ">>", "=", "?", "|", "^",
                                  "&", "<", ">", "+", "-", "*", "/", "%", ",", "!", "~"};

bool isDigit(QChar c)
{
    return isAsciiDigit(c.unicode());
}

bool isIdentifierStart(QChar c)
{
    return isAsciiLetter(c.unicode()) || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool isIdentifierPart(QChar c)
{
    return isIdentifierStart(c) || isDigit(c);
}

// Tokens in the order they are tried; the first that matches at the current
// position wins.
class Tokenizer {
public:
    explicit Tokenizer(const QString &text) : m_text(text) {}

    Token next();

private:
    bool startsWith(const char *spelling) const
    {
        const int length = int(std::strlen(spelling));
        if (m_pos + length > m_text.size())
            return false;
        for (int i = 0; i < length; ++i) {
            if (m_text.at(m_pos + i) != QLatin1Char(spelling[i]))
                return false;
        }
        return true;
    }
    QChar at(int pos) const { return pos < m_text.size() ? m_text.at(pos) : QChar(); }
    // The optional "U?L?L?u?l?l?" suffix of an integer.
    void skipIntegerSuffix()
    {
        for (char c : {'U', 'L', 'L', 'u', 'l', 'l'}) {
            if (at(m_pos) == QLatin1Char(c))
                ++m_pos;
        }
    }

    bool readString(Token &token);
    bool readHexInteger(Token &token);
    bool readBinaryInteger(Token &token);
    bool readNumber(Token &token);
    bool readName(Token &token);
    template <std::size_t N>
    bool readSpelling(const char *const (&spellings)[N], TokenKind kind, Token &token);

    const QString m_text;
    int m_pos = 0;
};

Token Tokenizer::next()
{
    while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
        ++m_pos;
    Token token;
    if (m_pos >= m_text.size())
        return token;
    if (readString(token) || readHexInteger(token) || readBinaryInteger(token) || readNumber(token)
        || readName(token) || readSpelling(kPunctuation, TokenKind::Punctuation, token)
        || readSpelling(kOperators, TokenKind::Operator, token))
        return token;
    fail(QStringLiteral("unexpected character '%1'").arg(m_text.at(m_pos)));
}

// A double quote, anything but a double quote, a double quote.
bool Tokenizer::readString(Token &token)
{
    if (at(m_pos) != QLatin1Char('"'))
        return false;
    const int close = m_text.indexOf(QLatin1Char('"'), m_pos + 1);
    if (close < 0)
        return false;
    token.kind = TokenKind::String;
    token.text = m_text.mid(m_pos + 1, close - m_pos - 1);
    m_pos = close + 1;
    return true;
}

// Integers wrap to 64 bits like every other integer operation.
bool Tokenizer::readHexInteger(Token &token)
{
    if (!startsWith("0x"))
        return false;
    quint64 value = 0;
    for (m_pos += 2; hexDigitValue(at(m_pos).unicode()) >= 0; ++m_pos)
        value = value * 16 + quint64(hexDigitValue(at(m_pos).unicode()));
    skipIntegerSuffix();
    token.kind = TokenKind::Integer;
    token.integer = qint64(value);
    return true;
}

bool Tokenizer::readBinaryInteger(Token &token)
{
    if (!startsWith("0b"))
        return false;
    quint64 value = 0;
    for (m_pos += 2; at(m_pos) == QLatin1Char('0') || at(m_pos) == QLatin1Char('1'); ++m_pos)
        value = value * 2 + quint64(at(m_pos) == QLatin1Char('1'));
    token.kind = TokenKind::Integer;
    token.integer = qint64(value);
    return true;
}

// Digits "." digits is a floating-point number, digits alone a decimal integer.
bool Tokenizer::readNumber(Token &token)
{
    if (!isDigit(at(m_pos)))
        return false;
    int end = m_pos;
    while (isDigit(at(end)))
        ++end;
    if (at(end) == QLatin1Char('.') && isDigit(at(end + 1))) {
        for (++end; isDigit(at(end));)
            ++end;
        token.kind = TokenKind::Float;
        token.number = m_text.mid(m_pos, end - m_pos).toDouble();
        m_pos = end;
        return true;
    }
    quint64 value = 0;
    for (; m_pos < end; ++m_pos)
        value = value * 10 + quint64(m_text.at(m_pos).unicode() - '0');
    skipIntegerSuffix();
    token.kind = TokenKind::Integer;
    token.integer = qint64(value);
    return true;
}

// An identifier, or an "@" name (which holds no "$").
bool Tokenizer::readName(Token &token)
{
    const QChar first = at(m_pos);
    const bool atName = first == QLatin1Char('@');
    if (!atName && !isIdentifierStart(first))
        return false;
    const int start = m_pos++;
    while (isIdentifierPart(at(m_pos)) && !(atName && at(m_pos) == QLatin1Char('$')))
        ++m_pos;
    token.kind = atName ? TokenKind::AtName : TokenKind::Identifier;
    token.text = m_text.mid(start, m_pos - start);
    return true;
}

template <std::size_t N>
bool Tokenizer::readSpelling(const char *const (&spellings)[N], TokenKind kind, Token &token)
{
    for (const char *spelling : spellings) {
        if (startsWith(spelling)) {
            token.kind = kind;
            token.text = QString::fromLatin1(spelling);
            m_pos += token.text.size();
            return true;
        }
    }
    return false;
}

// Levels of the two-operand operators from "||" (0) to "*" (9); -1 for
// anything else.
int binaryLevel(const Token &token)
{
    if (token.kind != TokenKind::Operator)
        return -1;
    static const struct {
        const char *spelling;
        int level;
    } levels[] = {
        {"||", 0},
        {"&&", 1},
        {"|", 2},
        {"^", 3},
        {"&", 4},
        {"==", 5},
        {"!=", 5},
        {"<", 6},
        {"<=", 6},
        {">", 6},
        {">=", 6},
        {"<<", 7},
        {">>", 7},
        {">>>", 7},
        {"+", 8},
        {"-", 8},
        {"*", 9},
        {"/", 9},
        {"%", 9},
    };
    for (const auto &entry : levels) {
        if (token.text == QLatin1String(entry.spelling))
            return entry.level;
    }
    return -1;
}

bool isAssignment(const Token &token)
{
    return token.kind == TokenKind::Operator && token.text.endsWith(QLatin1Char('='))
        && token.text != QLatin1String("==") && token.text != QLatin1String("!=")
        && token.text != QLatin1String("<=") && token.text != QLatin1String(">=");
}

// The truth of a logical or conditional operand: truth values as they are,
// numbers as C reads them.
bool truthOf(const Value &value, const char *message)
{
    switch (value.type()) {
    case Value::Type::Bool:
        return value.truth();
    case Value::Type::Integer:
        return value.integer() != 0;
    case Value::Type::Float:
        return value.number() != 0.0;
    default:
        fail(message);
    }
}

// Two's complement arithmetic on the unsigned type: wraps, never undefined.
qint64 wrap(quint64 value)
{
    return qint64(value);
}

Value shift(const QString &op, const Value &left, const Value &right)
{
    if (!left.isInteger())
        fail("can only shift numeric values");
    if (!right.isInteger())
        fail("integer shift value expected");
    const qint64 value = left.integer();
    const qint64 count = right.integer();
    // Counts outside 0..63 shift every bit out.
    const bool outOfRange = count < 0 || count > 63;
    if (op == QLatin1String("<<"))
        return Value::fromInteger(outOfRange ? 0 : wrap(quint64(value) << count));
    if (op == QLatin1String(">>>"))
        return Value::fromInteger(outOfRange ? 0 : wrap(quint64(value) >> count));
    // Arithmetic shift written without relying on the implementation's
    // treatment of negative operands.
    if (outOfRange)
        return Value::fromInteger(value < 0 ? -1 : 0);
    if (value >= 0)
        return Value::fromInteger(value >> count);
    return Value::fromInteger(wrap(~(~quint64(value) >> count)));
}

Value compare(const QString &op, const Value &left, const Value &right)
{
    int order = 0; // <0, 0, >0
    bool ordered = true;
    if (left.isInteger() && right.isInteger()) {
        order = left.integer() < right.integer() ? -1 : left.integer() > right.integer() ? 1 : 0;
    } else if (left.isNumber() && right.isNumber()) {
        const double a = left.number();
        const double b = right.number();
        if (std::isnan(a) || std::isnan(b))
            return Value::fromBool(op == QLatin1String("!="));
        order = a < b ? -1 : a > b ? 1 : 0;
    } else if (left.isString() && right.isString()) {
        order = QString::compare(left.string(), right.string());
    } else if (left.isBool() && right.isBool()) {
        order = int(left.truth()) - int(right.truth());
        ordered = false;
    } else {
        fail("unsupported comparison operation");
    }
    if (op == QLatin1String("=="))
        return Value::fromBool(order == 0);
    if (op == QLatin1String("!="))
        return Value::fromBool(order != 0);
    if (!ordered)
        fail("unsupported comparison operation");
    if (op == QLatin1String("<"))
        return Value::fromBool(order < 0);
    if (op == QLatin1String("<="))
        return Value::fromBool(order <= 0);
    if (op == QLatin1String(">"))
        return Value::fromBool(order > 0);
    return Value::fromBool(order >= 0);
}

// Two's complement on the unsigned type: sums, products and bitwise results
// wrap, never undefined.
Value integerArithmetic(char kind, qint64 left, qint64 right)
{
    const quint64 a = quint64(left);
    const quint64 b = quint64(right);
    switch (kind) {
    case '+':
        return Value::fromInteger(wrap(a + b));
    case '-':
        return Value::fromInteger(wrap(a - b));
    case '*':
        return Value::fromInteger(wrap(a * b));
    case '&':
        return Value::fromInteger(wrap(a & b));
    case '|':
        return Value::fromInteger(wrap(a | b));
    case '^':
        return Value::fromInteger(wrap(a ^ b));
    default:
        break;
    }
    if (right == 0)
        fail("division by zero");
    // The one quotient that does not fit wraps; its remainder is 0.
    if (left == std::numeric_limits<qint64>::min() && right == -1)
        return Value::fromInteger(kind == '/' ? left : 0);
    return Value::fromInteger(kind == '/' ? left / right : left % right);
}

// Bitwise operators need integers: they fail here.
Value floatArithmetic(char kind, double a, double b)
{
    switch (kind) {
    case '+':
        return Value::fromFloat(a + b);
    case '-':
        return Value::fromFloat(a - b);
    case '*':
        return Value::fromFloat(a * b);
    case '/':
        return Value::fromFloat(a / b);
    case '%':
        return Value::fromFloat(std::fmod(a, b));
    default:
        fail("unsupported binary numeric operation");
    }
}

Value arithmetic(const QString &op, const Value &left, const Value &right)
{
    const char kind = op.at(0).toLatin1();
    if (left.isInteger() && right.isInteger())
        return integerArithmetic(kind, left.integer(), right.integer());
    if (left.isNumber() && right.isNumber())
        return floatArithmetic(kind, left.number(), right.number());
    if (kind == '+' && left.isString() && right.isString())
        return Value::fromString(left.string() + right.string());
    fail("unsupported binary numeric operation");
}

Value applyBinary(const QString &op, const Value &left, const Value &right)
{
    if (op == QLatin1String("<<") || op == QLatin1String(">>") || op == QLatin1String(">>>"))
        return shift(op, left, right);
    const int level = binaryLevel(Token{TokenKind::Operator, op, 0, 0.0});
    if (level == 5 || level == 6)
        return compare(op, left, right);
    return arithmetic(op, left, right);
}

Value applyUnary(QChar op, const Value &operand)
{
    if (op == QLatin1Char('!')) {
        if (operand.isString())
            fail("unsupported unary num operation");
        return Value::fromBool(!truthOf(operand, "unsupported unary num operation"));
    }
    if (op == QLatin1Char('-')) {
        if (operand.isInteger())
            return Value::fromInteger(wrap(0 - quint64(operand.integer())));
        if (operand.isFloat())
            return Value::fromFloat(-operand.number());
    } else if (operand.isInteger()) {
        return Value::fromInteger(~operand.integer());
    }
    fail("unsupported unary num operation");
}

// Recursive descent over the precedence levels. A skipped operand (the branch
// of "?:" not taken, the right side of a decided "&&" or "||") is parsed but
// not evaluated, so it can neither fail nor divide by zero.
class Parser {
public:
    explicit Parser(const QString &text) : m_tokens(text) { advance(); }

    Value parseAll()
    {
        if (m_token.kind == TokenKind::End)
            fail("empty expression");
        Value value = parseComma(false);
        if (m_token.kind != TokenKind::End)
            fail(QStringLiteral("unexpected '%1'").arg(spelling()));
        return value;
    }

private:
    // Each nesting (parentheses, unary operators, the conditional operator)
    // costs stack; past MaxExpressionNesting the expression is refused.
    struct DepthGuard {
        explicit DepthGuard(int &depth) : m_depth(depth)
        {
            if (++m_depth > MaxExpressionNesting)
                throw NestingError{};
        }
        ~DepthGuard() { --m_depth; }
        int &m_depth;
    };

    void advance() { m_token = m_tokens.next(); }
    bool isOperator(const char *spelling) const
    {
        return m_token.kind == TokenKind::Operator && m_token.text == QLatin1String(spelling);
    }
    bool isPunctuation(const char *spelling) const
    {
        return m_token.kind == TokenKind::Punctuation && m_token.text == QLatin1String(spelling);
    }
    QString spelling() const
    {
        switch (m_token.kind) {
        case TokenKind::End:
            return QStringLiteral("end");
        case TokenKind::Integer:
            return QString::number(m_token.integer);
        case TokenKind::Float:
            return QString::number(m_token.number);
        default:
            return m_token.text;
        }
    }

    Value parseComma(bool skip)
    {
        Value value = parseAssignment(skip);
        while (isOperator(",")) {
            advance();
            value = parseAssignment(skip);
        }
        return value;
    }

    Value parseAssignment(bool skip)
    {
        Value value = parseConditional(skip);
        if (isAssignment(m_token))
            fail("can't update a constant");
        return value;
    }

    Value parseConditional(bool skip)
    {
        DepthGuard guard(m_depth);
        Value condition = parseBinary(0, skip);
        if (!isOperator("?"))
            return condition;
        advance();
        const bool chooseFirst = skip || truthOf(condition, "unsupported binary numeric operation");
        Value first = parseComma(skip || !chooseFirst);
        if (!isPunctuation(":"))
            fail(QStringLiteral("':' expected instead of '%1'").arg(spelling()));
        advance();
        Value second = parseConditional(skip || chooseFirst);
        return chooseFirst ? first : second;
    }

    Value parseBinary(int minLevel, bool skip)
    {
        Value left = parseUnary(skip);
        for (;;) {
            const int level = binaryLevel(m_token);
            if (level < minLevel)
                return left;
            const QString op = m_token.text;
            advance();
            if (level <= 1) {
                // "||" (0) and "&&" (1) decide from the left operand when they can.
                const bool leftTruth = skip || truthOf(left, "unsupported binary numeric operation");
                const bool decided = level == 0 ? leftTruth : !leftTruth;
                Value right = parseBinary(level + 1, skip || decided);
                if (skip)
                    continue;
                left = Value::fromBool(decided ? leftTruth
                                               : truthOf(right, "unsupported binary numeric operation"));
                continue;
            }
            Value right = parseBinary(level + 1, skip);
            if (!skip)
                left = applyBinary(op, left, right);
        }
    }

    Value parseUnary(bool skip)
    {
        if (isOperator("!") || isOperator("~") || isOperator("-")) {
            DepthGuard guard(m_depth);
            const QChar op = m_token.text.at(0);
            advance();
            Value operand = parseUnary(skip);
            return skip ? operand : applyUnary(op, operand);
        }
        return parsePrimary(skip);
    }

    Value parsePrimary(bool skip)
    {
        Token token = m_token;
        switch (token.kind) {
        case TokenKind::Integer:
            advance();
            return Value::fromInteger(token.integer);
        case TokenKind::Float:
            advance();
            return Value::fromFloat(token.number);
        case TokenKind::String:
            advance();
            return Value::fromString(token.text);
        case TokenKind::Identifier:
        case TokenKind::AtName:
            advance();
            if (!skip)
                fail(token.text + QStringLiteral(" symbol not found"));
            return Value::fromInteger(0);
        default:
            break;
        }
        if (isPunctuation("(")) {
            advance();
            Value value = parseComma(skip);
            if (!isPunctuation(")"))
                fail(QStringLiteral("')' expected instead of '%1'").arg(spelling()));
            advance();
            return value;
        }
        fail(QStringLiteral("unexpected '%1'").arg(spelling()));
    }

    Tokenizer m_tokens;
    Token m_token;
    int m_depth = 0;
};

} // namespace

XMLExpressionValue evaluateXMLExpression(const QString &text)
{
    try {
        Parser parser(text);
        return parser.parseAll();
    } catch (const EvaluationError &error) {
        return XMLExpressionValue::invalid(error.message);
    } catch (const NestingError &) {
        return XMLExpressionValue::nestedTooDeeply();
    }
}
