#include "platform/compound_file/red_black_tree.h"

namespace cfb {

namespace {

struct Range {
    std::uint32_t begin;
    std::uint32_t end;
    std::uint32_t depth;
    std::uint32_t* link;  // where the subtree's root is recorded
};

}  // namespace

BalancedTree BuildBalancedTree(std::uint32_t count) {
    BalancedTree tree;
    tree.left.assign(count, BalancedTree::kNone);
    tree.right.assign(count, BalancedTree::kNone);
    tree.red.assign(count, false);
    if (count == 0) return tree;

    // Levels 0 .. fullLevels-1 hold 2^fullLevels - 1 nodes and are full.
    std::uint32_t fullLevels = 0;
    while (fullLevels < 32 && ((std::uint64_t{1} << (fullLevels + 1)) - 1) <= count) ++fullLevels;

    std::vector<Range> pending;
    pending.push_back(Range{0, count, 0, &tree.root});
    while (!pending.empty()) {
        Range range = pending.back();
        pending.pop_back();
        std::uint32_t middle = range.begin + (range.end - range.begin) / 2;
        *range.link = middle;
        tree.red[middle] = range.depth >= fullLevels;
        if (range.begin < middle) {
            pending.push_back(Range{range.begin, middle, range.depth + 1, &tree.left[middle]});
        }
        if (middle + 1 < range.end) {
            pending.push_back(Range{middle + 1, range.end, range.depth + 1, &tree.right[middle]});
        }
    }
    return tree;
}

}  // namespace cfb
