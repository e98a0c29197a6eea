// Property descriptors, the process-wide list with the global macro tables,
// and expansion with those tables.
#include "macros/propertyclass.h"

#include "macros/product.h"

#include <QDir>

namespace {

std::unique_ptr<PropertyClassList> &globalListSlot()
{
    static std::unique_ptr<PropertyClassList> list;
    return list;
}

} // namespace

PropertyClass::PropertyClass(const QString &name, int type, const QString &group,
                             const QString &category, const QString &displayName,
                             const QString &helpText, const QString &defaultValue)
    : m_name(name), m_type(type), m_group(group), m_category(category),
      m_displayName(displayName), m_helpText(helpText), m_defaultValue(defaultValue)
{
}

PropertyClass::~PropertyClass() = default;

MacroPropertyClass::MacroPropertyClass(const QString &macroName, const QString &description,
                                       const QString &category)
    : PropertyClass(QStringLiteral("$(") + macroName + QLatin1Char(')'), 4,
                    QStringLiteral("Properties"), category,
                    QStringLiteral("$(") + macroName + QLatin1Char(')'), description, QString()),
      m_macroName(macroName)
{
}

PropertyClassList::PropertyClassList() = default;

PropertyClassList::~PropertyClassList() = default;

PropertyClass *PropertyClassList::append(std::unique_ptr<PropertyClass> entry)
{
    m_entries.push_back(std::move(entry));
    return m_entries.back().get();
}

PropertyClass *PropertyClassList::find(const QString &name) const
{
    for (const auto &entry : m_entries) {
        if (entry->name() == name)
            return entry.get();
    }
    return nullptr;
}

void PropertyClassList::setMacro(const QString &name, const QString &value,
                                 const QString &description)
{
    m_macros.insert(name, value);
    if (!description.isEmpty())
        append(std::make_unique<MacroPropertyClass>(name, description));
}

void PropertyClassList::setMacro(const QString &name, const QFileInfo &path,
                                 const QString &description)
{
    // Paths are stored in their clean form: no doubled or trailing "/", no "." parts.
    setMacro(name, QDir::cleanPath(path.filePath()), description);
}

QString PropertyClassList::macroValue(const QString &name) const
{
    const auto it = m_macros.constFind(name);
    return it == m_macros.constEnd() ? QString() : it.value();
}

QString PropertyClassList::effectiveMacroValue(const QString &name) const
{
    const auto it = m_overrides.constFind(name);
    return it == m_overrides.constEnd() ? macroValue(name) : it.value();
}

void PropertyClassList::setMacroOverride(const QString &name, const QString &value)
{
    if (value.isEmpty())
        m_overrides.remove(name);
    else
        m_overrides.insert(name, value);
}

QString PropertyClassList::expandMacros(const QString &text, const MacroMap &local,
                                        bool useOverrides, bool useGlobals) const
{
    const MacroTables tables{&local, useOverrides ? &m_overrides : nullptr,
                             useGlobals ? &m_macros : nullptr};
    return ::expandMacros(text, tables, QLatin1Char(m_introducer));
}

PropertyClassList &globalPropertyClassList()
{
    auto &list = globalListSlot();
    if (!list)
        list = std::make_unique<PropertyClassList>();
    return *list;
}

QString expandGlobalMacros(const QString &text)
{
    return globalPropertyClassList().expandMacros(text, MacroMap(), true, true);
}

QString expandSystemMacros(const QString &text)
{
    return globalPropertyClassList().expandMacros(text, MacroMap(), false, true);
}

PropertyClassList &createGlobalPropertyClassList()
{
    auto &slot = globalListSlot();
    slot = std::make_unique<PropertyClassList>();
    PropertyClassList &list = *slot;

    const QString s = QString::fromLatin1(product::kShortName);
    // The clock macros hold no value of their own; expansion computes it.
    list.setMacro(QStringLiteral("Date"), QStringLiteral(""), QStringLiteral("Day Month Year e.g. 21 June 2011."));
    list.setMacro(QStringLiteral("DateYear"), QStringLiteral(""), QStringLiteral("Year e.g. 2011."));
    list.setMacro(QStringLiteral("DateMonth"), QStringLiteral(""), QStringLiteral("Month e.g. June."));
    list.setMacro(QStringLiteral("DateDay"), QStringLiteral(""), QStringLiteral("Day e.g. 21."));
    list.setMacro(QStringLiteral("Time"), QStringLiteral(""), QStringLiteral("Hour:Minutes:Seconds e.g. 15:34:03."));
    list.setMacro(QStringLiteral("TimeHour"), QStringLiteral(""), QStringLiteral("Hour e.g. 15."));
    list.setMacro(QStringLiteral("TimeMinute"), QStringLiteral(""), QStringLiteral("Minute e.g. 34."));
    list.setMacro(QStringLiteral("TimeSecond"), QStringLiteral(""), QStringLiteral("Seconds e.g. 03."));
    list.setMacro(QStringLiteral("UnixTime"), QStringLiteral(""), QStringLiteral("Seconds since 00:00, Jan 1 1970 UTC"));
    list.setMacro(QStringLiteral("HostArch"), QStringLiteral("x86"),
                  QStringLiteral("The CPU architecture that ") + s + QStringLiteral(" is running on e.g. x86."));
    list.setMacro(QStringLiteral("HostOS"), QStringLiteral("linux"),
                  QStringLiteral("The name of the operating system that ") + s
                      + QStringLiteral(" is running on e.g. win."));
    list.setMacro(QStringLiteral("Micro"), QString::fromLatin1(product::kTargetPlatform),
                  QStringLiteral("The ") + s + QStringLiteral(" target e.g. ARM."));
    list.setMacro(QStringLiteral("TargetID"), QString::number(product::kTargetId),
                  QStringLiteral("ID number representing the ") + s + QStringLiteral(" target."));
    list.setMacro(QStringLiteral("HostEXE"), QStringLiteral(""),
                  QStringLiteral("The file extension for executables on the CPU that ") + s
                      + QStringLiteral(" is running on e.g. .exe."));
    list.setMacro(QStringLiteral("HostDLLExt"), QStringLiteral(".so"),
                  QStringLiteral("The file extension for dynamic link libraries used by the operating system that ")
                      + s + QStringLiteral(" is running on e.g. .dll, .so, .dylib."));
    list.setMacro(QStringLiteral("HostDLL"), QStringLiteral(".so"),
                  QStringLiteral("The file extension for dynamic link libraries on the CPU that ") + s
                      + QStringLiteral(" is running on e.g. .dll."));
    return list;
}
