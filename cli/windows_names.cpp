#include "cli/windows_names.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "cli/text.h"
#include "platform/posix/upcase_table.h"

namespace {

// < > : " | ? *, which Windows file names can't hold.
bool IsReservedCharacter(char16_t unit)
{
    switch (unit) {
    case u'<': case u'>': case u':': case u'"': case u'|': case u'?': case u'*': return true;
    default: return false;
    }
}

char16_t Upper(char16_t unit)
{
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

bool IsDeviceName(const std::u16string& component)
{
    // The stem: up to the first dot, without the spaces before it.
    std::size_t end = std::min(component.find(u'.'), component.size());
    while (end > 0 && component[end - 1] == u' ')
        --end;
    if (end < 3 || end > 7)
        return false;
    char16_t units[7];
    for (std::size_t i = 0; i < end; ++i)
        units[i] = Upper(component[i]);
    const std::u16string_view stem(units, end);
    for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (stem == device)
            return true;
    // Ports: COM and LPT with a digit from 0, or a superscript one, two or three.
    constexpr std::u16string_view kPortDigits = u"0123456789\u00B9\u00B2\u00B3";
    return end == 4 && (stem.substr(0, 3) == u"COM" || stem.substr(0, 3) == u"LPT") &&
           kPortDigits.find(stem[3]) != std::u16string_view::npos;
}

// The three escaped bytes of U+F05C (EF 81 9C) that a name on disk holding
// that unit is stored as.
constexpr char16_t kEscapedStandInUnits[] = {0xDCEF, 0xDC81, 0xDC9C};
constexpr std::u16string_view kEscapedStandIn(kEscapedStandInUnits, 3);

// A surrogate outside a pair: how a name that was not UTF-8 on disk is
// stored. The escaped bytes of U+F05C are valid UTF-8 and don't count.
bool HasLoneSurrogate(const std::u16string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (StartsSurrogatePair(text, i))
            ++i;
        else if (text.compare(i, kEscapedStandIn.size(), kEscapedStandIn) == 0)
            i += kEscapedStandIn.size() - 1;
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
            if (IsReservedCharacter(unit))
                return name + u" holds '" + std::u16string(1, unit) + u"', which Windows file names can't hold";
        break;
    case WindowsNameFault::DotName: return name + u" stands for a folder itself or the one above it";
    case WindowsNameFault::TrailingDotOrSpace: return name + u" ends in a dot or a space, which Windows would drop";
    case WindowsNameFault::DeviceName: return name + u" names a device";
    case WindowsNameFault::NotUtf8: return name + u" was not valid UTF-8 on disk";
    case WindowsNameFault::BackslashStandIn:
        return name + u" holds U+F05C, which the archive keeps as its UTF-8 bytes";
    }
    return name;
}

// FNV-1a of the path's units upper-cased as NTFS does.
std::uint64_t UpperCaseHash(const std::u16string& path)
{
    std::uint64_t hash = 14695981039346656037u;
    for (char16_t unit : path)
        hash = (hash ^ UpcaseUnit(unit)) * 1099511628211u;
    return hash;
}

bool SameOnWindows(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpcaseUnit(a[i]) != UpcaseUnit(b[i]))
            return false;
    return true;
}

}  // namespace

WindowsNameFault FindWindowsNameFault(const std::u16string& component)
{
    bool reserved = false, surrogates = false;
    for (char16_t unit : component) {
        if (unit < 0x20)
            return WindowsNameFault::ControlCharacter;
        reserved = reserved || IsReservedCharacter(unit);
        surrogates = surrogates || IsSurrogate(unit);
    }
    if (reserved)
        return WindowsNameFault::ReservedCharacter;
    if (component == u"." || component == u"..")
        return WindowsNameFault::DotName;
    if (!component.empty() && (component.back() == u'.' || component.back() == u' '))
        return WindowsNameFault::TrailingDotOrSpace;
    if (IsDeviceName(component))
        return WindowsNameFault::DeviceName;
    // Both remaining faults are written with surrogates.
    if (surrogates && HasLoneSurrogate(component))
        return WindowsNameFault::NotUtf8;
    if (surrogates && component.find(kEscapedStandIn) != std::u16string::npos)
        return WindowsNameFault::BackslashStandIn;
    return WindowsNameFault::None;
}

std::vector<WindowsNameFinding> FindWindowsNames(const std::vector<ArchiveStream>& streams)
{
    std::vector<std::pair<std::uint32_t, const ArchiveStream*>> files;
    files.reserve(streams.size());
    for (const ArchiveStream& stream : streams) {
        std::uint32_t number = 0;
        if (stream.isStream && stream.hasHeader && ParseFileNumber(stream.name, &number))
            files.emplace_back(number, &stream);
    }
    // By number; of two with one number, the first.
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    files.erase(std::unique(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                files.end());
    // The first of the paths each path is equal to as NTFS compares them:
    // paths grouped by a hash of their upper case, in number order within.
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed;
    keyed.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        keyed.emplace_back(UpperCaseHash(files[i].second->path), i);
    std::sort(keyed.begin(), keyed.end());
    std::vector<const ArchiveStream*> firstOf(files.size(), nullptr);
    for (std::size_t i = 1; i < keyed.size(); ++i) {
        for (std::size_t j = i; j-- > 0 && keyed[j].first == keyed[i].first;) {
            const ArchiveStream* earlier = files[keyed[j].second].second;
            if (SameOnWindows(earlier->path, files[keyed[i].second].second->path)) {
                firstOf[keyed[i].second] = firstOf[keyed[j].second] != nullptr ? firstOf[keyed[j].second] : earlier;
                break;
            }
        }
    }
    std::vector<WindowsNameFinding> findings;
    std::u16string component;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ArchiveStream* stream = files[i].second;
        if (const ArchiveStream* first = firstOf[i])
            findings.push_back({stream->name, Quoted(stream->path) + u" is the same file on Windows as " +
                                                  Quoted(first->path) + u" of stream " + Quoted(first->name) +
                                                  u": Windows ignores case"});
        std::size_t start = 0;
        for (;;) {
            std::size_t end = stream->path.find(u'\\', start);
            component.assign(stream->path, start, end == std::u16string::npos ? end : end - start);
            WindowsNameFault fault = FindWindowsNameFault(component);
            if (fault != WindowsNameFault::None) {
                findings.push_back({stream->name, Quoted(stream->path) + u" can't be created on Windows: " +
                                                      FaultText(fault, component)});
                break;
            }
            if (end == std::u16string::npos)
                break;
            start = end + 1;
        }
    }
    return findings;
}

std::u16string WindowsNameNotes(const std::vector<ArchiveStream>& streams)
{
    std::u16string notes;
    for (const WindowsNameFinding& finding : FindWindowsNames(streams))
        notes += u"note: stream " + Quoted(finding.stream) + u": " + finding.text + u"\n";
    return notes;
}
