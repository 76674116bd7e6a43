#include "cli/path_pattern.h"

#include <algorithm>

#include "cli/text.h"
#include "platform/posix/upcase_table.h"

namespace {

// How a backslash typed in an argument arrives on POSIX, where the system's
// names may hold one: the unit that stands for it inside a name.
constexpr char16_t kArgumentBackslash = 0xF05C;
// Names in a pattern end at either separator, or at a backslash typed on POSIX.
constexpr char16_t kPatternSeparators[] = {u'/', u'\\', kArgumentBackslash, 0};

// Splits upper-cased text at every unit `separators` holds; the views
// point into `upper`.
void Split(const std::u16string& upper, std::u16string_view separators, std::vector<std::u16string_view>* names)
{
    names->clear();
    std::u16string_view rest(upper);
    for (;;) {
        std::size_t end = rest.find_first_of(separators);
        names->push_back(rest.substr(0, end));
        if (end == std::u16string_view::npos)
            return;
        rest.remove_prefix(end + 1);
    }
}

std::vector<std::u16string_view> Names(const std::u16string& upper, std::u16string_view separators)
{
    std::vector<std::u16string_view> names;
    Split(upper, separators, &names);
    return names;
}

// The usual wildcard walk: on a mismatch, the last star takes one more item
// and matching resumes after it. Linear in practice, never worse than the
// product of the two lengths. `step(text, t)` is how many items one "?"
// takes at t (a surrogate pair is one character).
template <class Sequence, class IsStar, class Same, class Step>
bool WildcardMatch(const Sequence& pattern, const Sequence& text, IsStar isStar, Same same, Step step)
{
    std::size_t p = 0, t = 0, star = pattern.size(), starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && isStar(pattern[p])) {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && same(pattern[p], text[t])) {
            t += step(pattern[p], text, t);
            ++p;
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

bool NameMatches(std::u16string_view pattern, std::u16string_view name)
{
    return WildcardMatch(
        pattern, name, [](char16_t c) { return c == u'*'; },
        [](char16_t a, char16_t b) { return a == u'?' || a == b; },
        [](char16_t a, std::u16string_view text, std::size_t t) -> std::size_t {
            bool pair = a == u'?' && t + 1 < text.size() && text[t] >= 0xD800 && text[t] <= 0xDBFF &&
                        text[t + 1] >= 0xDC00 && text[t + 1] <= 0xDFFF;
            return pair ? 2 : 1;
        });
}

bool NamesMatch(const std::vector<std::u16string_view>& pattern, const std::vector<std::u16string_view>& path)
{
    return WildcardMatch(
        pattern, path, [](std::u16string_view name) { return name == u"**"; }, NameMatches,
        [](std::u16string_view, const std::vector<std::u16string_view>&, std::size_t) -> std::size_t { return 1; });
}

}  // namespace

std::u16string PathKey(const std::u16string& path)
{
    std::u16string key = UpcaseText(path);
    for (char16_t& unit : key)
        if (unit == u'/' || unit == kArgumentBackslash)
            unit = u'\\';
    return key;
}

FileChoice::FileChoice(const std::vector<std::u16string>& includes, const std::vector<std::u16string>& excludes)
    : includes_(includes), excludes_(excludes), includeUsed_(includes.size()), excludeUsed_(excludes.size())
{
    // Upper-cased once, with "/**" for whatever lies below a matching folder.
    for (const std::u16string& pattern : includes)
        upperIncludes_.push_back(UpcaseText(pattern) + u"/**");
    for (const std::u16string& pattern : excludes)
        upperExcludes_.push_back(UpcaseText(pattern) + u"/**");
    for (const std::u16string& pattern : upperIncludes_)
        includeNames_.push_back(Names(pattern, kPatternSeparators));
    for (const std::u16string& pattern : upperExcludes_)
        excludeNames_.push_back(Names(pattern, kPatternSeparators));
}

bool FileChoice::Chooses(const std::u16string& path)
{
    if (includes_.empty() && excludes_.empty())
        return true;
    // Into buffers kept from call to call: one path after another, no allocation.
    upperPath_.assign(path);
    for (char16_t& unit : upperPath_)
        unit = UpcaseUnit(unit);
    Split(upperPath_, u"\\", &pathNames_);
    const std::vector<std::u16string_view>& names = pathNames_;
    bool included = includes_.empty();
    for (std::size_t i = 0; i < includes_.size(); ++i)
        if (NamesMatch(includeNames_[i], names))
            included = includeUsed_[i] = true;
    bool excluded = false;
    for (std::size_t i = 0; i < excludes_.size(); ++i)
        if (NamesMatch(excludeNames_[i], names))
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
