// UTF-16 <-> native name conversion: exact cases, then a round trip over
// random byte strings.
#include <gtest/gtest.h>

#include <random>

#include "platform/posix/text.h"
#include "tests/posix/scratch.h"

namespace {

struct Case {
    std::u16string text;
    std::string native;
};

TEST(NativeNames, WellFormedTextAndEscapesConvertBothWays)
{
    const Case cases[] = {
        {u"a\uF05Cb", "a\\b"},      // backslash inside a name
        {u"caf\xDCE9\xDC80\xDCFF", "caf\xE9\x80\xFF"},  // escaped bytes
        {u"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},  // beyond the BMP
        {u"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToNativePath(c.text.c_str()), c.native) << Show(c.text);
        EXPECT_EQ(Show(FromNativeName(c.native)), Show(c.text));
    }
    EXPECT_EQ(ToNativePath(u"mods\\castle\\a.txt"), "mods/castle/a.txt");
    // Lone surrogates, the low ones below the escapes included: generalised UTF-8.
    EXPECT_EQ(ToNativePath(u"x\xD800y"), "x\xED\xA0\x80y");
    EXPECT_EQ(ToNativePath(u"\xDC00\xDC7F"), "\xED\xB0\x80\xED\xB1\xBF");
    EXPECT_EQ(ToNativePath(nullptr), "");
}

TEST(FromNativeName, EscapesEveryByteOfWhatIsNotStrictUtf8)
{
    const Case cases[] = {
        {u"\xDCC3" u"A", "\xC3" "A"},                      // continuation missing
        {u"\xDCC3", "\xC3"},                               // sequence cut short
        {u"\xDCC0\xDCAF", "\xC0\xAF"},                     // overlong '/'
        {u"\xDCE0\xDC80\xDCAF", "\xE0\x80\xAF"},           // overlong, three bytes
        {u"\xDCED\xDCA0\xDC80", "\xED\xA0\x80"},           // encoded surrogate
        {u"\xDCF4\xDC90\xDC80\xDC80", "\xF4\x90\x80\x80"}, // above U+10FFFF
        {u"\xDCEF\xDC81\xDC9C", "\xEF\x81\x9C"},           // U+F05C itself
        {u"\xDCFF\u20AC", "\xFF\xE2\x82\xAC"},             // resynchronises
    };
    for (const Case& c : cases)
        EXPECT_EQ(Show(FromNativeName(c.native)), Show(c.text));
}

TEST(NativeNames, EveryByteStringSurvivesTheRoundTrip)
{
    // Biased towards lead and continuation bytes, backslash and U+F05C's bytes.
    static const unsigned char kPool[] = {'a', '\\', 0x80, 0x9C, 0xBF, 0x81, 0xC2, 0xC3, 0xDF,
                                          0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, 0xA0, 0x90};
    std::mt19937 random(20261206);
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        for (int n = random() % 13; n > 0; --n) {
            int byte = random() % 4 == 0 ? 1 + random() % 255 : kPool[random() % sizeof kPool];
            name += static_cast<char>(byte == '/' ? 'x' : byte);
        }
        std::u16string text = FromNativeName(name);
        ASSERT_EQ(ToNativePath(text.c_str()), name) << Show(text);
        ASSERT_EQ(text.find(u'\\'), std::u16string::npos) << "a name produced a separator";
    }
}

}  // namespace
