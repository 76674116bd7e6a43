// Element names (validity, directory order) and the balanced red-black tree
// the directory is built from.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/compound_file/names.h"
#include "platform/compound_file/red_black_tree.h"
#include "tests/compound_file/tree_check.h"

namespace {

struct NameOrderCase {
    std::u16string a;
    std::u16string b;
    int expected;  // sign of CompareNames(a, b)
};

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(NameOrder, ShorterFirstThenUpperCasedUnits) {
    const NameOrderCase cases[] = {
        {u"9", u"10", -1},           // shorter first, not text order
        {u"10", u"9", 1},
        {u"99", u"100", -1},
        {u"10", u"11", -1},
        {u"2", u"2", 0},
        {u"a", u"A", 0},             // case does not matter
        {u"abc", u"ABD", -1},
        {u"z", u"_", -1},            // 'z' compares as 'Z' (0x5A) < '_' (0x5F)
        {u"Z", u"a", 1},
        {u"b", u"aa", -1},
        {u"\u00e9", u"\u00c9", 0},   // e acute, Latin-1
        {u"\u00ff", u"\u0178", 0},   // y diaeresis maps outside Latin-1
        {u"\u00f7", u"\u00d7", 1},   // division sign is not a letter
        {u"\u0101", u"\u0100", 0},   // Latin Extended-A pair
        {u"\u03c3", u"\u03a3", 0},   // Greek sigma
        {u"\u03c2", u"\u03a3", 0},   // final sigma
        {u"\u044f", u"\u042f", 0},   // Cyrillic ya
        {u"\u0451", u"\u0401", 0},   // Cyrillic yo
        {u"\uff41", u"\uff21", 0},   // full-width a
        {u"\u00df", u"SS", -1},      // sharp s has no one-unit upper case
    };
    for (const NameOrderCase& c : cases) {
        EXPECT_EQ(Sign(cfb::CompareNames(c.a, c.b)), c.expected)
            << "case " << (&c - cases);
        EXPECT_EQ(Sign(cfb::CompareNames(c.b, c.a)), -c.expected) << "reversed case " << (&c - cases);
    }
}

TEST(NameOrder, NumberedStreamsSortNumerically) {
    for (unsigned n = 1; n < 5000; ++n) {
        std::string a = std::to_string(n), b = std::to_string(n + 1);
        ASSERT_LT(cfb::CompareNames(std::u16string(a.begin(), a.end()), std::u16string(b.begin(), b.end())), 0)
            << n;
    }
}

TEST(NameValidity, LengthAndForbiddenCharacters) {
    struct Case {
        std::u16string name;
        bool valid;
    } cases[] = {
        {u"", false},
        {u"1", true},
        {std::u16string(31, u'x'), true},
        {std::u16string(32, u'x'), false},
        {u"a/b", false},
        {u"a\\b", false},
        {u"a:b", false},
        {u"a!b", false},
        {std::u16string(u"a\0b", 3), false},
        {u"\u0001Ole", true},
        {u"R\u00e9sum\u00e9 - 12.bin", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cfb::IsValidName(c.name), c.valid) << "case " << (&c - cases);
    }
}

cfb_test::TreeReport Check(const cfb::BalancedTree& tree, std::uint32_t count) {
    cfb_test::TreeNodes nodes{tree.root, cfb::BalancedTree::kNone,
                              [&](std::uint32_t n) { return tree.left[n]; },
                              [&](std::uint32_t n) { return tree.right[n]; },
                              [&](std::uint32_t n) { return static_cast<bool>(tree.red[n]); }};
    return cfb_test::CheckRedBlackTree(nodes, count);
}

TEST(BalancedTree, EverySizeIsAValidSearchTreeOfMinimalHeight) {
    std::vector<std::uint32_t> sizes;
    for (std::uint32_t n = 0; n <= 1100; ++n) sizes.push_back(n);
    for (std::uint32_t n : {4095u, 4096u, 20000u, 65535u, 65536u}) sizes.push_back(n);
    for (std::uint32_t n : sizes) {
        const cfb::BalancedTree tree = cfb::BuildBalancedTree(n);
        ASSERT_EQ(tree.left.size(), n);
        const cfb_test::TreeReport report = Check(tree, n);
        ASSERT_EQ(report.error, "") << "n = " << n;
        // In-order must visit the sorted positions 0 .. n-1 in order.
        ASSERT_EQ(report.inOrder.size(), n);
        for (std::uint32_t i = 0; i < n; ++i) ASSERT_EQ(report.inOrder[i], i) << "n = " << n;
        const int minimal = n == 0 ? 0 : static_cast<int>(std::floor(std::log2(n))) + 1;
        ASSERT_EQ(report.height, minimal) << "n = " << n;
    }
}

TEST(BalancedTree, RedNodesOnlyWhereALevelIsIncomplete) {
    // Full trees need no red node; one node more needs exactly one.
    for (std::uint32_t levels = 1; levels <= 12; ++levels) {
        const std::uint32_t full = (1u << levels) - 1;
        const cfb::BalancedTree perfect = cfb::BuildBalancedTree(full);
        EXPECT_EQ(std::count(perfect.red.begin(), perfect.red.end(), true), 0) << full;
        const cfb::BalancedTree more = cfb::BuildBalancedTree(full + 1);
        EXPECT_EQ(std::count(more.red.begin(), more.red.end(), true), 1) << full + 1;
    }
}

}  // namespace
