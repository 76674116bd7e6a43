// Shapes n sorted elements into a balanced binary search tree coloured as a
// valid red-black tree, the form the directory keeps each storage's children in.
#pragma once

#include <cstdint>
#include <vector>

namespace cfb {

struct BalancedTree {
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    std::uint32_t root = kNone;
    // Indexed by sorted position: children (positions or kNone) and colour.
    std::vector<std::uint32_t> left;
    std::vector<std::uint32_t> right;
    std::vector<bool> red;
};

// Each node takes the middle of its range, so the two subtrees of every node
// differ in size by at most one and every level but the deepest is full. The
// nodes of an incomplete deepest level are red, all others black: every path
// from the root to a missing child then passes the same number of black
// nodes, and no red node has a child. Throws std::bad_alloc.
BalancedTree BuildBalancedTree(std::uint32_t count);

}  // namespace cfb
