// The option scan: one command, a set of flags and the file arguments.
#include "tool/tooloptions.h"

#include "package/hexception.h"

#include <cstring>

namespace {

enum class OptionValue { None, Required };

struct OptionSpec {
    const char *name;
    OptionValue value;
    void (*apply)(ToolOptions &options, const QString &value);
};

// Decimal reading where anything that is not a number counts as 0.
int decimalValue(const QString &text)
{
    return text.toInt(nullptr, 10);
}

const OptionSpec kOptions[] = {
    {"c", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Create; }},
    {"bzip2", OptionValue::None, [](ToolOptions &o, const QString &) { o.useBzip2 = true; }},
    {"compress", OptionValue::Required,
     [](ToolOptions &o, const QString &v) { o.compressLevel = decimalValue(v); }},
    {"d", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Remove; }},
    {"exclude", OptionValue::Required, [](ToolOptions &o, const QString &v) { o.excludePaths.append(v); }},
    {"info", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Info; }},
    {"f", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Output; }},
    {"format", OptionValue::Required,
     [](ToolOptions &o, const QString &v) { o.formatVersion = decimalValue(v); }},
    {"overwrite", OptionValue::None, [](ToolOptions &o, const QString &) { o.overwrite = true; }},
    {"hzr", OptionValue::None,
     [](ToolOptions &o, const QString &) { o.command = ToolCommand::ProjectArchive; }},
    {"r", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Replace; }},
    {"readonly", OptionValue::None, [](ToolOptions &o, const QString &) { o.readOnly = true; }},
    {"t", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::List; }},
    {"v", OptionValue::None, [](ToolOptions &o, const QString &) { o.verbose = true; }},
    {"V", OptionValue::None, [](ToolOptions &o, const QString &) { o.showVersion = true; }},
    {"x", OptionValue::None, [](ToolOptions &o, const QString &) { o.command = ToolCommand::Extract; }},
};

const OptionSpec *findOption(const char *name)
{
    for (const OptionSpec &spec : kOptions) {
        if (std::strcmp(spec.name, name) == 0)
            return &spec;
    }
    return nullptr;
}

} // namespace

ToolOptions scanToolOptions(int argc, char **argv)
{
    ToolOptions options;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument[0] != '-') {
            options.fileArguments.append(QString::fromLatin1(argument));
            continue;
        }
        // The name is everything after the one leading "-", so "--c" names "-c".
        const char *name = argument + 1;
        const OptionSpec *spec = findOption(name);
        if (!spec)
            throw HException(QByteArray("unknown option ") + name);
        QString value;
        if (spec->value == OptionValue::Required) {
            if (i + 1 >= argc)
                throw HException("argument expected");
            value = QString::fromLatin1(argv[++i]);
        }
        spec->apply(options, value);
    }
    return options;
}
