#include "cli/windows_names.h"

#include <algorithm>
#include <string_view>

#include "cli/text.h"

namespace {

constexpr std::u16string_view kReservedCharacters = u"<>:\"|?*";

char16_t Upper(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

bool IsDeviceName(const std::u16string& component)
{
    std::u16string stem;
    for (char16_t unit : component) {
        if (unit == u'.')
            break;
        stem += Upper(unit);
    }
    while (!stem.empty() && stem.back() == u' ')
        stem.pop_back();
    if (stem == u"CON" || stem == u"PRN" || stem == u"AUX" || stem == u"NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0) &&
           stem[3] >= u'1' && stem[3] <= u'9';
}

// A surrogate outside a pair: how a name that was not UTF-8 on disk is stored.
bool HasLoneSurrogate(const std::u16string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (StartsSurrogatePair(text, i))
            ++i;
        else if (IsSurrogate(text[i]))
            return true;
    }
    return false;
}

std::u16string FaultText(WindowsNameFault fault, const std::u16string& component)
{
    std::u16string name = u"the name " + Quoted(component);
    switch (fault) {
    case WindowsNameFault::None: break;
    case WindowsNameFault::ControlCharacter: return name + u" holds a control character";
    case WindowsNameFault::ReservedCharacter:
        for (char16_t unit : component)
            if (kReservedCharacters.find(unit) != std::u16string_view::npos)
                return name + u" holds '" + std::u16string(1, unit) + u"', which Windows file names can't hold";
        break;
    case WindowsNameFault::TrailingDotOrSpace: return name + u" ends in a dot or a space, which Windows would drop";
    case WindowsNameFault::DeviceName: return name + u" names a device";
    case WindowsNameFault::NotUtf8: return name + u" was not valid UTF-8 on disk";
    }
    return name;
}

}  // namespace

WindowsNameFault FindWindowsNameFault(const std::u16string& component)
{
    for (char16_t unit : component)
        if (unit < 0x20)
            return WindowsNameFault::ControlCharacter;
    for (char16_t unit : component)
        if (kReservedCharacters.find(unit) != std::u16string_view::npos)
            return WindowsNameFault::ReservedCharacter;
    if (!component.empty() && (component.back() == u'.' || component.back() == u' '))
        return WindowsNameFault::TrailingDotOrSpace;
    if (IsDeviceName(component))
        return WindowsNameFault::DeviceName;
    if (HasLoneSurrogate(component))
        return WindowsNameFault::NotUtf8;
    return WindowsNameFault::None;
}

std::vector<WindowsNameFinding> FindWindowsNames(const std::vector<ArchiveStream>& streams)
{
    std::vector<std::pair<std::uint32_t, WindowsNameFinding>> found;
    for (const ArchiveStream& stream : streams) {
        std::uint32_t number = 0;
        if (!stream.isStream || !stream.hasHeader || !ParseFileNumber(stream.name, &number))
            continue;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = stream.path.find(u'\\', start);
            std::u16string component = stream.path.substr(start, end == std::u16string::npos ? end : end - start);
            WindowsNameFault fault = FindWindowsNameFault(component);
            if (fault != WindowsNameFault::None) {
                found.push_back({number, {stream.name, Quoted(stream.path) + u" can't be created on Windows: " +
                                                           FaultText(fault, component)}});
                break;
            }
            if (end == std::u16string::npos)
                break;
            start = end + 1;
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<WindowsNameFinding> findings;
    for (auto& entry : found)
        findings.push_back(std::move(entry.second));
    return findings;
}

std::u16string WindowsNameNotes(const std::vector<ArchiveStream>& streams)
{
    std::u16string notes;
    for (const WindowsNameFinding& finding : FindWindowsNames(streams))
        notes += u"note: stream " + Quoted(finding.stream) + u": " + finding.text + u"\n";
    return notes;
}
