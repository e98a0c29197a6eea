// The expression language: a table for what C cannot judge, the C compiler as the oracle for the rest.
#include "xml/xmlexpression.h"
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <limits>
#include <random>

namespace {

const qint64 kMin = std::numeric_limits<qint64>::min();
const qint64 kMax = std::numeric_limits<qint64>::max();

// A value as the table writes it: an integer as its number, a truth value as "true" or
// "false", "float " or "string " before the others, "error: " before why it failed.
std::string shown(const char *text)
{
    const XMLExpressionValue value = evaluateXMLExpression(QString::fromUtf8(text));
    const QString shown = value.isInteger() ? QString::number(value.integer())
        : value.isBool()                    ? QString::fromLatin1(value.truth() ? "true" : "false")
        : value.isFloat()                   ? "float " + QString::number(value.number())
        : value.isString()                  ? "string " + value.string()
                                            : "error: " + value.error();
    return shown.toStdString();
}

// What the oracle below cannot judge: precedence and associativity (its
// expressions are fully parenthesised), the literal forms, the wrapping that
// is undefined in C, ">>>", skipped operands, truth values, floats, strings
// and every reason for failing.
TEST(ExpressionTest, Table)
{
    const struct {
        const char *text;
        const char *shown;
    } cases[] = {
        // Precedence and associativity.
        {"1 + 2 * 3", "7"},
        {"10 - 3 - 2", "5"},
        {"100 / 10 / 5", "2"},
        {"7 % 4 * 3", "9"},
        {"1 << 4 + 1", "32"},
        {"6 & 3 ^ 1 | 8", "11"},
        {"1 || 0 && 0", "true"},
        {"0 ? 1 : 0 ? 2 : 3", "3"},
        {"1 ? 0 ? 4 : 5 : 6", "5"},
        {"1 < 2 ? 10 : 20", "10"},
        {"1, 2", "2"},
        {"- -3", "3"},
        // Literals and white space.
        {"0x1F + 0xaULL", "41"},
        {"0x", "0"},
        {"0b1011", "11"},
        {"0b", "0"},
        {"42u + 1ul + 1LL", "44"},
        {"18446744073709551615", "-1"},
        {"0x10000000000000001", "1"},
        {"  \t\n12\n", "12"},
        // Wrapping and shift counts out of range.
        {"(-9223372036854775807 - 1) / -1", "-9223372036854775808"},
        {"(-9223372036854775807 - 1) % -1", "0"},
        {"-1 >>> 60", "15"},
        {"1 << 64", "0"},
        {"-1 >> 99", "-1"},
        {"1 >>> -1", "0"},
        // Skipped operands are parsed, not evaluated.
        {"1 ? 5 : 1 / 0", "5"},
        {"0 ? undefined_name : 4", "4"},
        {"1 || 1 / 0", "true"},
        {"0 && nothing", "false"},
        // Truth values, floats and strings.
        {"1 == 1 == (2 == 2)", "true"},
        {"1.5 > 1", "true"},
        {"0.1 + 0.2 != 0.3", "true"},
        {"\"abc\" < \"abd\"", "true"},
        {"\"a\" + \"b\" == \"ab\"", "true"},
        {"\"x y\" != \"x  y\"", "true"},
        {"18446744073709551615 < 0", "true"},
        {"1.5 * 2", "float 3"},
        {"7 / 2.0", "float 3.5"},
        {"-0.25", "float -0.25"},
        {"\"a<b\" + \"\"", "string a<b"},
        // Each reason for failing.
        {"abc + 1", "error: abc symbol not found"},
        {"@name", "error: @name symbol not found"},
        {"$x", "error: $x symbol not found"},
        {"1.5 & 1", "error: unsupported binary numeric operation"},
        {"(1 < 2) + 1", "error: unsupported binary numeric operation"},
        {"(1 < 2) == 1", "error: unsupported comparison operation"},
        {"(1 < 2) < (2 < 3)", "error: unsupported comparison operation"},
        {"\"a\" << 1", "error: can only shift numeric values"},
        {"1 << 1.0", "error: integer shift value expected"},
        {"~1.5", "error: unsupported unary num operation"},
        {"!\"a\"", "error: unsupported unary num operation"},
        {"1 = 2", "error: can't update a constant"},
        {"1 >>>= 2", "error: can't update a constant"},
        {"1 % 0", "error: division by zero"},
        {"0 ? 1 / 0 : 2 % 0", "error: division by zero"},
        {"", "error: empty expression"},
        {"1 +", "error: unexpected 'end'"},
        {"1)", "error: unexpected ')'"},
        {"5--3", "error: unexpected '--'"},
        {"+1", "error: unexpected '+'"},
        {"1.", "error: unexpected '.'"},
        {"(1", "error: ')' expected instead of 'end'"},
        {"1 ? 2 ; 3", "error: ':' expected instead of ';'"},
        {"\"open", "error: unexpected character '\"'"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(shown(c.text), c.shown) << c.text;
}

// The whole expression is one level and each parenthesis one more; past the
// limit the expression is refused as nested too deeply, however deep it is.
TEST(ExpressionTest, DeepNestingIsRefusedNotFatal)
{
    auto parenthesised = [](int depth) {
        return QString(depth, QLatin1Char('(')) + QLatin1Char('1') + QString(depth, QLatin1Char(')'));
    };
    EXPECT_EQ(evaluateXMLExpression(parenthesised(MaxExpressionNesting - 1)).integer(), 1);
    const XMLExpressionValue tooDeep = evaluateXMLExpression(parenthesised(MaxExpressionNesting));
    EXPECT_TRUE(tooDeep.isNestedTooDeeply());
    EXPECT_EQ(tooDeep.error(), QStringLiteral("expression nested too deeply"));
    EXPECT_TRUE(evaluateXMLExpression(parenthesised(100000)).isNestedTooDeeply());
    EXPECT_TRUE(evaluateXMLExpression(QStringLiteral("- ").repeated(100000) + QLatin1Char('1')).isNestedTooDeeply());
    EXPECT_FALSE(evaluateXMLExpression(QStringLiteral("(1")).isNestedTooDeeply());
}

// Random expressions that C reads the same way. The C stays free of undefined behaviour:
// divisors are literals other than 0 and -1, shift counts literals in 0..63. Truth values
// meet only where the language allows: conditions, "!", "&&", "||", "==" and "!=" among them.
class ExpressionGenerator {
public:
    explicit ExpressionGenerator(unsigned seed) : m_random(seed) {}
    QString integer(int depth)
    {
        static const char *const ops[] = {"+", "-", "*", "&", "|", "^", "/", "%", "<<", ">>"};
        const unsigned kind = depth <= 0 ? 0 : pick(10);
        if (kind <= 1)
            return literal(randomValue());
        const QString a = kind == 3 && pick(2) ? truth(depth - 1) : integer(depth - 1);
        if (kind == 2)
            return (pick(2) ? "-(" : "~(") + a + ')';
        const unsigned op = kind <= 4 ? 0 : pick(10);
        const QString b = op < 6 ? integer(depth - 1) : op < 8 ? divisor() : QStringLiteral("%1LL").arg(pick(64));
        if (kind == 3)
            return QStringLiteral("(%1 ? %2 : %3)").arg(a, b, integer(depth - 1));
        if (kind == 4)
            return QStringLiteral("(%1, %2)").arg(a, b);
        return QStringLiteral("(%1 %2 %3)").arg(a, QLatin1String(ops[op]), b);
    }

    QString truth(int depth)
    {
        static const char *const ops[] = {"<", "<=", ">", ">=", "==", "!="};
        const unsigned choice = depth <= 0 ? 0 : pick(7);
        // Comparisons of integers, negations, then truth values with each other.
        const bool integerOperand = choice <= 2 || (choice == 3 && pick(2));
        const QString a = integerOperand ? integer(depth - 1) : truth(depth - 1);
        if (choice == 3)
            return "!(" + a + ')';
        const QString b = choice <= 2 || (choice != 6 && pick(2)) ? integer(depth - 1) : truth(depth - 1);
        const char *op = choice <= 2 ? ops[pick(6)] : choice == 6 ? ops[4 + pick(2)] : choice == 4 ? "&&" : "||";
        return QStringLiteral("(%1 %2 %3)").arg(a, QLatin1String(op), b);
    }

private:
    unsigned pick(unsigned n) { return unsigned(m_random() % n); }

    qint64 randomValue()
    {
        static const qint64 special[] = {0, 1, -1, 2, 63, 64, kMax, kMin, kMax - 1, 0x7FFFFFFF, 0x100000000LL};
        const unsigned kind = pick(4);
        return kind == 0 ? special[pick(sizeof(special) / sizeof(special[0]))]
            : kind == 1 ? qint64(pick(2001)) - 1000
                        : qint64((quint64(m_random()) << 32) ^ quint64(m_random()));
    }

    QString divisor()
    {
        qint64 value = 0;
        while (value == 0 || value == -1)
            value = randomValue();
        return literal(value);
    }

    // Literals are non-negative: a negative value is a negated literal, the minimum is built.
    QString literal(qint64 value)
    {
        if (value == kMin)
            return QStringLiteral("(-9223372036854775807LL - 1LL)");
        const quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
        const QString text = pick(4) == 0 ? QStringLiteral("0x%1LL").arg(magnitude, 0, 16)
                                          : QStringLiteral("%1LL").arg(magnitude);
        return value < 0 ? "-(" + text + ')' : text;
    }

    std::mt19937 m_random;
};

TEST(ExpressionOracleTest, AgreesWithTheCCompiler)
{
    const int count = 3000;
    ExpressionGenerator generator(4242);
    QStringList expressions;
    for (int i = 0; i < count; ++i)
        expressions << (i % 3 == 2 ? generator.truth(5) : generator.integer(5));
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("oracle.c"));
    const QString program = dir.filePath(QStringLiteral("oracle"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QTextStream out(&file);
        out << "#include <stdio.h>\nint main(void)\n{\n";
        for (const QString &expression : expressions)
            out << "    printf(\"%lld\\n\", (long long)(" << expression << "));\n";
        out << "    return 0;\n}\n";
    }
    QProcess compiler;
    compiler.start(QStringLiteral(XML_TEST_C_COMPILER),
                   {QStringLiteral("-fwrapv"), QStringLiteral("-w"), QStringLiteral("-O0"), QStringLiteral("-o"),
                    program, source});
    ASSERT_TRUE(compiler.waitForFinished(120000));
    ASSERT_EQ(compiler.exitCode(), 0) << compiler.readAllStandardError().constData();
    QProcess run;
    run.start(program, QStringList());
    ASSERT_TRUE(run.waitForFinished(60000));
    ASSERT_EQ(run.exitCode(), 0);
    const QList<QByteArray> lines = run.readAllStandardOutput().split('\n');
    ASSERT_GE(lines.size(), count);
    int mismatches = 0;
    for (int i = 0; i < count && mismatches < 10; ++i) {
        const XMLExpressionValue value = evaluateXMLExpression(expressions[i]);
        const QByteArray ours = value.isBool() ? QByteArray::number(int(value.truth()))
            : value.isInteger()                ? QByteArray::number(value.integer())
                                               : "not an integer: " + value.error().toUtf8();
        if (ours != lines[i]) {
            ++mismatches;
            ADD_FAILURE() << expressions[i].toStdString() << "\n  C: " << lines[i].constData()
                          << "\n  ours: " << ours.constData();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
