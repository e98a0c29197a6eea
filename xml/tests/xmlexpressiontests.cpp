// The preprocessor's expression language: tables of cases and the C compiler
// as the oracle for integer arithmetic.
#include "xml/xmlexpression.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <limits>
#include <random>

namespace {

struct IntegerCase {
    const char *text;
    qint64 value;
};

class IntegerExpressionTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerExpressionTest, Evaluates)
{
    const XMLExpressionValue value = evaluateXMLExpression(QString::fromUtf8(GetParam().text));
    ASSERT_TRUE(value.isInteger()) << GetParam().text << ": " << value.error().toStdString();
    EXPECT_EQ(value.integer(), GetParam().value) << GetParam().text;
}

const qint64 kMin = std::numeric_limits<qint64>::min();
const qint64 kMax = std::numeric_limits<qint64>::max();

INSTANTIATE_TEST_SUITE_P(Table, IntegerExpressionTest, testing::Values(
    IntegerCase{"1 + 2 * 3", 7}, IntegerCase{"(1 + 2) * 3", 9}, IntegerCase{"10 - 3 - 2", 5},
    IntegerCase{"100 / 10 / 5", 2}, IntegerCase{"7 % 4 * 3", 9}, IntegerCase{"-7 / 2", -3},
    IntegerCase{"-7 % 2", -1}, IntegerCase{"1 << 4 + 1", 32}, IntegerCase{"6 & 3 ^ 1 | 8", 11},
    IntegerCase{"~0", -1}, IntegerCase{"- -3", 3}, IntegerCase{"-(2)", -2}, IntegerCase{"0x1F + 0xaULL", 41},
    IntegerCase{"0x", 0}, IntegerCase{"0b1011", 11}, IntegerCase{"0b", 0}, IntegerCase{"42u + 1ul + 1LL", 44},
    IntegerCase{"9223372036854775807 + 1", kMin}, IntegerCase{"18446744073709551615", -1},
    IntegerCase{"0x10000000000000001", 1}, IntegerCase{"-9223372036854775807 - 1", kMin},
    IntegerCase{"(-9223372036854775807 - 1) / -1", kMin}, IntegerCase{"(-9223372036854775807 - 1) % -1", 0},
    IntegerCase{"3037000500 * 3037000500", qint64(quint64(3037000500) * quint64(3037000500))},
    IntegerCase{"-8 >> 1", -4}, IntegerCase{"-1 >>> 60", 15}, IntegerCase{"1 << 64", 0},
    IntegerCase{"-1 >> 99", -1}, IntegerCase{"1 >>> -1", 0}, IntegerCase{"1 ? 2 : 3", 2},
    IntegerCase{"0 ? 2 : 3", 3}, IntegerCase{"0 ? 1 : 0 ? 2 : 3", 3}, IntegerCase{"1 ? 0 ? 4 : 5 : 6", 5},
    IntegerCase{"1 < 2 ? 10 : 20", 10}, IntegerCase{"1 ? 5 : 1 / 0", 5},
    IntegerCase{"0 ? undefined_name : 4", 4}, IntegerCase{"(1, 2, 3)", 3}, IntegerCase{"1, 2", 2},
    IntegerCase{"  \t\n12\n", 12}, IntegerCase{"((((((((((7))))))))))", 7}, IntegerCase{"9223372036854775807", kMax}));

struct TruthCase {
    const char *text;
    bool truth;
};

class TruthExpressionTest : public testing::TestWithParam<TruthCase> {};

TEST_P(TruthExpressionTest, GivesATruthValue)
{
    const XMLExpressionValue value = evaluateXMLExpression(QString::fromUtf8(GetParam().text));
    ASSERT_TRUE(value.isBool()) << GetParam().text << ": " << value.error().toStdString();
    EXPECT_EQ(value.truth(), GetParam().truth) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, TruthExpressionTest, testing::Values(
    TruthCase{"1 < 2", true}, TruthCase{"2 <= 1", false}, TruthCase{"3 == 3 && 4 != 5", true},
    TruthCase{"1 > 2 || 2 >= 2", true}, TruthCase{"!0", true}, TruthCase{"!(1 == 1)", false},
    TruthCase{"1 == 1 == (2 == 2)", true}, TruthCase{"1 || 1 / 0", true}, TruthCase{"0 && nothing", false},
    TruthCase{"1 && 0 || 1", true}, TruthCase{"0 || 0 && 1 / 0", false}, TruthCase{"1.5 > 1", true},
    TruthCase{"2 == 2.0", true}, TruthCase{"0.1 + 0.2 != 0.3", true}, TruthCase{"\"abc\" == \"abc\"", true},
    TruthCase{"\"abc\" < \"abd\"", true}, TruthCase{"\"a\" + \"b\" == \"ab\"", true},
    TruthCase{"\"x y\" != \"x  y\"", true}, TruthCase{"-1 < 0", true},
    TruthCase{"18446744073709551615 < 0", true}));

TEST(ExpressionTest, FloatsAndStrings)
{
    EXPECT_DOUBLE_EQ(evaluateXMLExpression(QStringLiteral("1.5 * 2")).number(), 3.0);
    EXPECT_TRUE(evaluateXMLExpression(QStringLiteral("1.5 * 2")).isFloat());
    EXPECT_DOUBLE_EQ(evaluateXMLExpression(QStringLiteral("7 / 2.0")).number(), 3.5);
    EXPECT_DOUBLE_EQ(evaluateXMLExpression(QStringLiteral("-0.25")).number(), -0.25);
    EXPECT_EQ(evaluateXMLExpression(QStringLiteral("\"a<b\" + \"\"")).string(), QStringLiteral("a<b"));
}

struct ErrorCase {
    const char *text;
    const char *message; // null: any message will do
};

class ExpressionErrorTest : public testing::TestWithParam<ErrorCase> {};

TEST_P(ExpressionErrorTest, IsNotEvaluable)
{
    const XMLExpressionValue value = evaluateXMLExpression(QString::fromUtf8(GetParam().text));
    EXPECT_FALSE(value.isValid()) << GetParam().text;
    EXPECT_FALSE(value.error().isEmpty());
    if (GetParam().message) {
        EXPECT_EQ(value.error(), QString::fromUtf8(GetParam().message)) << GetParam().text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ExpressionErrorTest, testing::Values(
    ErrorCase{"abc + 1", "abc symbol not found"}, ErrorCase{"@name", "@name symbol not found"},
    ErrorCase{"$x", "$x symbol not found"}, ErrorCase{"1 + \"a\"", "unsupported binary numeric operation"},
    ErrorCase{"1.5 & 1", "unsupported binary numeric operation"},
    ErrorCase{"(1 < 2) + 1", "unsupported binary numeric operation"},
    ErrorCase{"1 < \"a\"", "unsupported comparison operation"},
    ErrorCase{"(1 < 2) < (2 < 3)", "unsupported comparison operation"},
    ErrorCase{"(1 < 2) == 1", "unsupported comparison operation"},
    ErrorCase{"\"a\" << 1", "can only shift numeric values"},
    ErrorCase{"1.0 << 1", "can only shift numeric values"},
    ErrorCase{"1 << 1.0", "integer shift value expected"},
    ErrorCase{"-\"a\"", "unsupported unary num operation"},
    ErrorCase{"~1.5", "unsupported unary num operation"},
    ErrorCase{"!\"a\"", "unsupported unary num operation"}, ErrorCase{"1 = 2", "can't update a constant"},
    ErrorCase{"1 += 2", "can't update a constant"}, ErrorCase{"1 >>>= 2", "can't update a constant"},
    ErrorCase{"1 / 0", nullptr}, ErrorCase{"1 % 0", nullptr}, ErrorCase{"0 ? 1 / 0 : 2 % 0", nullptr},
    ErrorCase{"", nullptr}, ErrorCase{"   ", nullptr}, ErrorCase{"1 +", nullptr}, ErrorCase{"(1", nullptr},
    ErrorCase{"1)", nullptr}, ErrorCase{"1 2", nullptr}, ErrorCase{"5--3", nullptr},
    ErrorCase{"1 ? 2", nullptr}, ErrorCase{"1 ? 2 ; 3", nullptr}, ErrorCase{"1.", nullptr},
    ErrorCase{"\"open", nullptr}, ErrorCase{"1 # 2", nullptr}, ErrorCase{"+1", nullptr},
    ErrorCase{"a->b", nullptr}));

TEST(ExpressionTest, DeepNestingIsRefusedNotFatal)
{
    const int depth = 100000;
    const QString parens = QString(depth, QLatin1Char('(')) + QLatin1Char('1') + QString(depth, QLatin1Char(')'));
    EXPECT_FALSE(evaluateXMLExpression(parens).isValid());
    EXPECT_FALSE(evaluateXMLExpression(QString(depth, QLatin1Char('-')).replace(QLatin1String("--"), QLatin1String("- -")) + QLatin1Char('1')).isValid());
    const QString moderate = QString(50, QLatin1Char('(')) + QLatin1Char('1') + QString(50, QLatin1Char(')'));
    EXPECT_EQ(evaluateXMLExpression(moderate).integer(), 1);
}

// Random expressions with their wrapping values; the generated C stays free of undefined
// behaviour (no division by zero, no minimum / -1, shift counts in 0..63).
struct Generated {
    QString text;
    qint64 value;
};

class ExpressionGenerator {
public:
    explicit ExpressionGenerator(unsigned seed) : m_random(seed) {}

    Generated integer(int depth)
    {
        switch (depth <= 0 ? 0 : pick(10)) {
        case 0:
        case 1:
            return literal();
        case 2: {
            const Generated x = integer(depth - 1);
            if (pick(2))
                return {QStringLiteral("-(%1)").arg(x.text), qint64(0 - quint64(x.value))};
            return {QStringLiteral("~(%1)").arg(x.text), ~x.value};
        }
        case 3: {
            const Generated c = pick(2) ? truth(depth - 1) : integer(depth - 1);
            const Generated a = integer(depth - 1), b = integer(depth - 1);
            return {QStringLiteral("(%1 ? %2 : %3)").arg(c.text, a.text, b.text), c.value ? a.value : b.value};
        }
        case 4: {
            const Generated a = integer(depth - 1), b = integer(depth - 1);
            return {QStringLiteral("(%1, %2)").arg(a.text, b.text), b.value};
        }
        default:
            return binary(depth);
        }
    }

    Generated truth(int depth)
    {
        static const char *const ops[] = {"<", "<=", ">", ">=", "==", "!="};
        const unsigned choice = depth <= 0 ? 0 : pick(7);
        if (choice <= 2) {
            const Generated a = integer(depth - 1), b = integer(depth - 1);
            const unsigned op = pick(6);
            const bool results[] = {a.value < b.value,  a.value <= b.value, a.value > b.value,
                                    a.value >= b.value, a.value == b.value, a.value != b.value};
            return {QStringLiteral("(%1 %2 %3)").arg(a.text, QLatin1String(ops[op]), b.text), results[op]};
        }
        if (choice == 3) {
            const Generated x = pick(2) ? truth(depth - 1) : integer(depth - 1);
            return {QStringLiteral("!(%1)").arg(x.text), x.value == 0};
        }
        const Generated a = truth(depth - 1);
        if (choice == 6) { // truth values compare with each other for equality only
            const Generated b = truth(depth - 1);
            const bool equal = pick(2);
            return {QStringLiteral("(%1 %2 %3)").arg(a.text, QLatin1String(equal ? "==" : "!="), b.text),
                    equal ? a.value == b.value : a.value != b.value};
        }
        const Generated b = pick(2) ? truth(depth - 1) : integer(depth - 1);
        return {QStringLiteral("(%1 %2 %3)").arg(a.text, QLatin1String(choice == 4 ? "&&" : "||"), b.text),
                choice == 4 ? (a.value && b.value) : (a.value || b.value)};
    }

private:
    unsigned pick(unsigned n) { return unsigned(m_random() % n); }

    Generated literal()
    {
        static const qint64 special[] = {0, 1, -1, 2, 63, 64, kMax, kMin, kMax - 1, 0x7FFFFFFF, 0x100000000LL};
        const unsigned kind = pick(4);
        const qint64 value = kind == 0 ? special[pick(sizeof(special) / sizeof(special[0]))]
            : kind == 1 ? qint64(pick(2001)) - 1000
                        : qint64((quint64(m_random()) << 32) ^ quint64(m_random()));
        // Literals are non-negative; a negative value is a negated literal, the minimum is built.
        if (value == kMin)
            return {QStringLiteral("(-9223372036854775807LL - 1LL)"), kMin};
        const quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
        QString text = pick(4) == 0 ? QStringLiteral("0x%1LL").arg(magnitude, 0, 16) : QStringLiteral("%1LL").arg(magnitude);
        return {value < 0 ? QStringLiteral("-(%1)").arg(text) : text, value};
    }

    Generated binary(int depth)
    {
        static const char *const ops[] = {"+", "-", "*", "/", "%", "&", "|", "^", "<<", ">>"};
        const unsigned op = pick(10);
        const Generated a = integer(depth - 1);
        Generated b = integer(depth - 1);
        if (op >= 8 && (b.value < 0 || b.value > 63)) {
            const qint64 count = pick(64);
            b = {QStringLiteral("%1LL").arg(count), count};
        } else if ((op == 3 || op == 4) && (b.value == 0 || (a.value == kMin && b.value == -1))) {
            const qint64 divisor = pick(97) + 2;
            b = {QStringLiteral("%1LL").arg(divisor), divisor};
        }
        const quint64 ua = quint64(a.value), ub = quint64(b.value);
        qint64 value = 0;
        switch (op) {
        case 0: value = qint64(ua + ub); break;
        case 1: value = qint64(ua - ub); break;
        case 2: value = qint64(ua * ub); break;
        case 3: value = a.value / b.value; break;
        case 4: value = a.value % b.value; break;
        case 5: value = qint64(ua & ub); break;
        case 6: value = qint64(ua | ub); break;
        case 7: value = qint64(ua ^ ub); break;
        case 8: value = qint64(ua << b.value); break;
        default: value = a.value < 0 ? qint64(~(~ua >> b.value)) : a.value >> b.value; break;
        }
        return {QStringLiteral("(%1 %2 %3)").arg(a.text, QLatin1String(ops[op]), b.text), value};
    }

    std::mt19937 m_random;
};

TEST(ExpressionOracleTest, AgreesWithTheCCompiler)
{
    const int count = 3000;
    ExpressionGenerator generator(4242);
    std::vector<Generated> expressions;
    for (int i = 0; i < count; ++i)
        expressions.push_back(i % 3 == 2 ? generator.truth(5) : generator.integer(5));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.filePath(QStringLiteral("oracle.c"));
    const QString program = dir.filePath(QStringLiteral("oracle"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QTextStream out(&file);
        out << "#include <stdio.h>\nstatic long long r[" << count << "];\nint main(void)\n{\n";
        for (int i = 0; i < count; ++i)
            out << "    r[" << i << "] = (long long)(" << expressions[size_t(i)].text << ");\n";
        out << "    for (int i = 0; i < " << count << "; ++i)\n        printf(\"%lld\\n\", r[i]);\n"
            << "    return 0;\n}\n";
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
        const Generated &expression = expressions[size_t(i)];
        bool ok = false;
        const qint64 expected = lines[i].toLongLong(&ok);
        ASSERT_TRUE(ok) << lines[i].constData();
        const XMLExpressionValue value = evaluateXMLExpression(expression.text);
        const bool agrees = value.isBool() ? qint64(value.truth()) == expected
                                           : value.isInteger() && value.integer() == expected;
        if (!agrees) {
            ++mismatches;
            ADD_FAILURE() << expression.text.toStdString() << "\n  C: " << expected << "\n  ours: "
                          << (value.isValid() ? QString::number(value.isBool() ? qint64(value.truth()) : value.integer())
                                              : value.error()).toStdString();
        }
    }
    EXPECT_EQ(mismatches, 0);
}

} // namespace
