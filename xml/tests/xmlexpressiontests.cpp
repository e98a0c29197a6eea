// The preprocessor's expression language: tables for what the C compiler cannot judge
// (precedence, literals, shifts out of range, types, messages), the compiler as the oracle
// for integer arithmetic.
#include "xml/xmlexpression.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <limits>
#include <random>

namespace {

XMLExpressionValue evaluate(const char *text)
{
    return evaluateXMLExpression(QString::fromUtf8(text));
}

const qint64 kMin = std::numeric_limits<qint64>::min();
const qint64 kMax = std::numeric_limits<qint64>::max();

struct IntegerCase {
    const char *text;
    qint64 value;
};

class IntegerExpressionTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerExpressionTest, Evaluates)
{
    const XMLExpressionValue value = evaluate(GetParam().text);
    ASSERT_TRUE(value.isInteger()) << GetParam().text << ": " << value.error().toStdString();
    EXPECT_EQ(value.integer(), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, IntegerExpressionTest, testing::Values(
    IntegerCase{"1 + 2 * 3", 7}, IntegerCase{"10 - 3 - 2", 5}, IntegerCase{"100 / 10 / 5", 2},
    IntegerCase{"7 % 4 * 3", 9}, IntegerCase{"1 << 4 + 1", 32}, IntegerCase{"6 & 3 ^ 1 | 8", 11},
    IntegerCase{"- -3", 3}, IntegerCase{"0x1F + 0xaULL", 41}, IntegerCase{"0x", 0}, IntegerCase{"0b1011", 11},
    IntegerCase{"0b", 0}, IntegerCase{"42u + 1ul + 1LL", 44}, IntegerCase{"18446744073709551615", -1},
    IntegerCase{"0x10000000000000001", 1}, IntegerCase{"(-9223372036854775807 - 1) / -1", kMin},
    IntegerCase{"(-9223372036854775807 - 1) % -1", 0}, IntegerCase{"-1 >>> 60", 15}, IntegerCase{"1 << 64", 0},
    IntegerCase{"-1 >> 99", -1}, IntegerCase{"1 >>> -1", 0}, IntegerCase{"0 ? 1 : 0 ? 2 : 3", 3},
    IntegerCase{"1 ? 0 ? 4 : 5 : 6", 5}, IntegerCase{"1 < 2 ? 10 : 20", 10}, IntegerCase{"1 ? 5 : 1 / 0", 5},
    IntegerCase{"0 ? undefined_name : 4", 4}, IntegerCase{"1, 2", 2}, IntegerCase{"  \t\n12\n", 12}));

struct TruthCase {
    const char *text;
    bool truth;
};

class TruthExpressionTest : public testing::TestWithParam<TruthCase> {};

TEST_P(TruthExpressionTest, GivesATruthValue)
{
    const XMLExpressionValue value = evaluate(GetParam().text);
    ASSERT_TRUE(value.isBool()) << GetParam().text << ": " << value.error().toStdString();
    EXPECT_EQ(value.truth(), GetParam().truth) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, TruthExpressionTest, testing::Values(
    TruthCase{"1 == 1 == (2 == 2)", true}, TruthCase{"1 || 1 / 0", true}, TruthCase{"0 && nothing", false},
    TruthCase{"1 || 0 && 0", true}, TruthCase{"1.5 > 1", true}, TruthCase{"2 == 2.0", true},
    TruthCase{"0.1 + 0.2 != 0.3", true}, TruthCase{"\"abc\" < \"abd\"", true},
    TruthCase{"\"a\" + \"b\" == \"ab\"", true}, TruthCase{"\"x y\" != \"x  y\"", true},
    TruthCase{"-1 < 0", true}, TruthCase{"18446744073709551615 < 0", true}));

TEST(ExpressionTest, FloatsAndStrings)
{
    EXPECT_TRUE(evaluate("1.5 * 2").isFloat());
    EXPECT_DOUBLE_EQ(evaluate("1.5 * 2").number(), 3.0);
    EXPECT_DOUBLE_EQ(evaluate("7 / 2.0").number(), 3.5);
    EXPECT_DOUBLE_EQ(evaluate("-0.25").number(), -0.25);
    EXPECT_EQ(evaluate("\"a<b\" + \"\"").string(), QStringLiteral("a<b"));
}

struct ErrorCase {
    const char *text;
    const char *message;
};

class ExpressionErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ExpressionErrorTest, IsNotEvaluable)
{
    const XMLExpressionValue value = evaluate(GetParam().text);
    EXPECT_FALSE(value.isValid()) << GetParam().text;
    EXPECT_EQ(value.error(), QString::fromUtf8(GetParam().message)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, ExpressionErrorTest, testing::Values(
    ErrorCase{"abc + 1", "abc symbol not found"}, ErrorCase{"@name", "@name symbol not found"},
    ErrorCase{"$x", "$x symbol not found"}, ErrorCase{"a->b", "a symbol not found"},
    ErrorCase{"1.5 & 1", "unsupported binary numeric operation"},
    ErrorCase{"(1 < 2) + 1", "unsupported binary numeric operation"},
    ErrorCase{"(1 < 2) == 1", "unsupported comparison operation"},
    ErrorCase{"(1 < 2) < (2 < 3)", "unsupported comparison operation"},
    ErrorCase{"\"a\" << 1", "can only shift numeric values"}, ErrorCase{"1.0 << 1", "can only shift numeric values"},
    ErrorCase{"1 << 1.0", "integer shift value expected"}, ErrorCase{"~1.5", "unsupported unary num operation"},
    ErrorCase{"!\"a\"", "unsupported unary num operation"}, ErrorCase{"1 = 2", "can't update a constant"},
    ErrorCase{"1 >>>= 2", "can't update a constant"}, ErrorCase{"1 % 0", "division by zero"},
    ErrorCase{"0 ? 1 / 0 : 2 % 0", "division by zero"}, ErrorCase{"", "empty expression"},
    ErrorCase{"   ", "empty expression"}, ErrorCase{"1 +", "unexpected 'end'"}, ErrorCase{"1)", "unexpected ')'"},
    ErrorCase{"5--3", "unexpected '--'"}, ErrorCase{"+1", "unexpected '+'"}, ErrorCase{"1.", "unexpected '.'"},
    ErrorCase{"(1", "')' expected instead of 'end'"}, ErrorCase{"1 ? 2 ; 3", "':' expected instead of ';'"},
    ErrorCase{"\"open", "unexpected character '\"'"}));

TEST(ExpressionTest, DeepNestingIsRefusedNotFatal)
{
    const int depth = 100000;
    const QString parens = QString(depth, QLatin1Char('(')) + QLatin1Char('1') + QString(depth, QLatin1Char(')'));
    const QString tooDeep = QStringLiteral("expression nested too deeply");
    EXPECT_EQ(evaluateXMLExpression(parens).error(), tooDeep);
    EXPECT_EQ(evaluateXMLExpression(QStringLiteral("- ").repeated(depth) + QLatin1Char('1')).error(), tooDeep);
    EXPECT_EQ(evaluateXMLExpression(QString(50, QLatin1Char('(')) + QLatin1Char('1') + QString(50, QLatin1Char(')')))
                  .integer(), 1);
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
        const QString a = choice <= 2 ? integer(depth - 1) : choice == 3 && pick(2) ? integer(depth - 1) : truth(depth - 1);
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
    const QString source = dir.filePath(QStringLiteral("oracle.c")), program = dir.filePath(QStringLiteral("oracle"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QTextStream out(&file);
        out << "#include <stdio.h>\nstatic long long r[" << count << "];\nint main(void)\n{\n";
        for (int i = 0; i < count; ++i)
            out << "    r[" << i << "] = (long long)(" << expressions[i] << ");\n";
        out << "    for (int i = 0; i < " << count << "; ++i)\n        printf(\"%lld\\n\", r[i]);\n    return 0;\n}\n";
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
        bool ok = false;
        const qint64 expected = lines[i].toLongLong(&ok);
        ASSERT_TRUE(ok) << lines[i].constData();
        const XMLExpressionValue value = evaluateXMLExpression(expressions[i]);
        const qint64 ours = value.isBool() ? qint64(value.truth()) : value.integer();
        if (!(value.isBool() || value.isInteger()) || ours != expected) {
            ++mismatches;
            ADD_FAILURE() << expressions[i].toStdString() << "\n  C: " << expected
                          << "\n  ours: " << (value.isValid() ? QString::number(ours) : value.error()).toStdString();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
