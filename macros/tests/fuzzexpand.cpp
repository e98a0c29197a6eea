// libFuzzer harness: expansion of arbitrary text against a macro list taken
// from the same input must end and must not crash.
#include "macros/macroexpansion.h"
#include "macros/propertyclass.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const int split = input.indexOf(QLatin1Char('\n'));
    const MacroMap local = parseMacroList(split < 0 ? QString() : input.left(split));
    const QString text = split < 0 ? input : input.mid(split + 1);

    static PropertyClassList &list = [] () -> PropertyClassList & {
        PropertyClassList &created = createGlobalPropertyClassList();
        created.setMacro(QStringLiteral("StudioDir"), QStringLiteral("/opt/t"));
        created.setMacro(QStringLiteral("Ref"), QStringLiteral("$(StudioDir)$(Ref:x)"));
        return created;
    }();
    list.expandMacros(text, local, true, true);
    list.expandMacros(text, local, false, false);
    return 0;
}
