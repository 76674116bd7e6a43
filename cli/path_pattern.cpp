#include "cli/path_pattern.h"

#include <algorithm>

#include "cli/text.h"
#include "platform/posix/upcase_table.h"

namespace {

// How a backslash typed in an argument arrives on POSIX, where the system's
// names may hold one: the unit that stands for it inside a name.
constexpr char16_t kArgumentBackslash = 0xF05C;

char16_t Upcase(char16_t unit)
{
    const UpcaseRange* begin = kUpcaseRanges;
    const UpcaseRange* end = kUpcaseRanges + kUpcaseRangeCount;
    // The last run that starts at or before the unit is the only one that can hold it.
    const UpcaseRange* after =
        std::upper_bound(begin, end, unit, [](char16_t value, const UpcaseRange& range) { return value < range.first; });
    if (after == begin)
        return unit;
    const UpcaseRange& range = *(after - 1);
    if (unit > range.last || (unit - range.first) % range.step != 0)
        return unit;
    return static_cast<char16_t>(static_cast<std::int32_t>(unit) + range.delta);
}

// One name as characters, so that "?" takes a surrogate pair whole.
std::u32string Characters(const std::u16string& name)
{
    std::u32string characters;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (StartsSurrogatePair(name, i)) {
            characters += static_cast<char32_t>(0x10000 + ((name[i] - 0xD800) << 10) + (name[i + 1] - 0xDC00));
            ++i;
        } else {
            characters += name[i];
        }
    }
    return characters;
}

// Upper-cased names, split at every unit `separators` holds.
std::vector<std::u32string> Names(const std::u16string& path, const std::u16string& separators)
{
    std::vector<std::u32string> names;
    std::u16string upper = WindowsUpcase(path);
    std::size_t start = 0;
    for (;;) {
        std::size_t end = upper.find_first_of(separators, start);
        names.push_back(Characters(upper.substr(start, end == std::u16string::npos ? end : end - start)));
        if (end == std::u16string::npos)
            return names;
        start = end + 1;
    }
}

// The usual wildcard walk over a sequence: on a mismatch, the last star
// takes one more item and matching resumes after it. Linear in practice,
// never worse than the product of the two lengths.
template <class Item, class IsStar, class Same>
bool WildcardMatch(const std::vector<Item>& pattern, const std::vector<Item>& text, IsStar isStar, Same same)
{
    std::size_t p = 0, t = 0, star = pattern.size(), starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && isStar(pattern[p])) {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && same(pattern[p], text[t])) {
            ++p;
            ++t;
        } else if (star != pattern.size()) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && isStar(pattern[p]))
        ++p;
    return p == pattern.size();
}

bool NameMatches(const std::u32string& pattern, const std::u32string& name)
{
    std::vector<char32_t> p(pattern.begin(), pattern.end()), n(name.begin(), name.end());
    return WildcardMatch(
        p, n, [](char32_t c) { return c == U'*'; }, [](char32_t a, char32_t b) { return a == U'?' || a == b; });
}

}  // namespace

std::u16string WindowsUpcase(const std::u16string& text)
{
    std::u16string upper(text);
    for (char16_t& unit : upper)
        unit = Upcase(unit);
    return upper;
}

std::u16string PathKey(const std::u16string& path)
{
    std::u16string key = WindowsUpcase(path);
    for (char16_t& unit : key)
        if (unit == u'/' || unit == kArgumentBackslash)
            unit = u'\\';
    return key;
}

bool PatternMatches(const std::u16string& pattern, const std::u16string& path)
{
    std::vector<std::u32string> names = Names(pattern, std::u16string(u"/\\") + kArgumentBackslash);
    // Whatever lies below a folder the pattern matches.
    names.push_back(U"**");
    return WildcardMatch(names, Names(path, u"\\"), [](const std::u32string& name) { return name == U"**"; },
                         NameMatches);
}

FileChoice::FileChoice(const std::vector<std::u16string>& includes, const std::vector<std::u16string>& excludes)
    : includes_(includes), excludes_(excludes), includeUsed_(includes.size()), excludeUsed_(excludes.size())
{
}

bool FileChoice::Chooses(const std::u16string& path)
{
    bool included = includes_.empty();
    for (std::size_t i = 0; i < includes_.size(); ++i)
        if (PatternMatches(includes_[i], path))
            included = includeUsed_[i] = true;
    bool excluded = false;
    for (std::size_t i = 0; i < excludes_.size(); ++i)
        if (PatternMatches(excludes_[i], path))
            excluded = excludeUsed_[i] = true;
    return included && !excluded;
}

std::vector<std::u16string> FileChoice::PatternsMatchingNothing() const
{
    std::vector<std::u16string> unused;
    for (std::size_t i = 0; i < includes_.size(); ++i)
        if (!includeUsed_[i])
            unused.push_back(u"--include " + Quoted(includes_[i]));
    for (std::size_t i = 0; i < excludes_.size(); ++i)
        if (!excludeUsed_[i])
            unused.push_back(u"--exclude " + Quoted(excludes_[i]));
    return unused;
}
