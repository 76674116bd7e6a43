// Element names (validity, directory order) and the balanced red-black tree
// the directory is built from.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/compound_file/names.h"
#include "platform/compound_file/red_black_tree.h"
#include "tests/compound_file/test_archives.h"

namespace {

TEST(Names, OrderIsShorterFirstThenUpperCasedUnits) {
    const struct {
        std::u16string a, b;
        int expected;  // sign of CompareNames(a, b)
    } cases[] = {
        {u"9", u"10", -1},          {u"99", u"100", -1},        {u"10", u"11", -1},
        {u"2", u"2", 0},            {u"a", u"A", 0},            {u"abc", u"ABD", -1},
        {u"z", u"_", -1},           // 'z' compares as 'Z' (0x5A) < '_' (0x5F)
        {u"b", u"aa", -1},          {u"\u00e9", u"\u00c9", 0},  {u"\u00ff", u"\u0178", 0},
        {u"\u00f7", u"\u00d7", 1},  // division sign is not a letter
        {u"\u03c2", u"\u03a3", 0},  {u"\u0451", u"\u0401", 0},  {u"\uff41", u"\uff21", 0},
        {u"\u00df", u"SS", -1},     // sharp s has no one-unit upper case
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& c : cases) {
        EXPECT_EQ(sign(cfb::CompareNames(c.a, c.b)), c.expected) << "case " << (&c - cases);
        EXPECT_EQ(sign(cfb::CompareNames(c.b, c.a)), -c.expected) << "reversed case " << (&c - cases);
    }
}

TEST(Names, ValidityByLengthAndCharacter) {
    const struct {
        std::u16string name;
        bool valid;
    } cases[] = {
        {u"", false},       {u"1", true},      {std::u16string(31, u'x'), true}, {std::u16string(32, u'x'), false},
        {u"a/b", false},    {u"a\\b", false},  {u"a:b", false},                  {u"a!b", false},
        {std::u16string(u"a\0b", 3), false},   {u"\u0001Ole", true},             {u"R\u00e9sum\u00e9 - 12.bin", true},
    };
    for (const auto& c : cases) EXPECT_EQ(cfb::IsValidName(c.name), c.valid) << "case " << (&c - cases);
}

TEST(BalancedTree, EverySizeIsAValidSearchTreeOfMinimalHeight) {
    std::vector<std::uint32_t> sizes = {4095, 4096, 20000, 65535, 65536};
    for (std::uint32_t n = 0; n <= 1100; ++n) sizes.push_back(n);
    for (std::uint32_t n : sizes) {
        const cfb::BalancedTree tree = cfb::BuildBalancedTree(n);
        ASSERT_EQ(tree.left.size(), n);
        const cfb_test::TreeReport report =
            cfb_test::CheckRedBlackTree(tree.root, cfb::BalancedTree::kNone, tree.left, tree.right, tree.red);
        ASSERT_EQ(report.error, "") << "n = " << n;
        ASSERT_EQ(report.inOrder.size(), n);  // in-order visits the sorted positions 0 .. n-1
        for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(report.inOrder[i], i) << "n = " << n;
        ASSERT_EQ(report.height, n == 0 ? 0 : static_cast<int>(std::floor(std::log2(n))) + 1) << "n = " << n;
    }
}

}  // namespace
