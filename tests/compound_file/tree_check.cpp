#include "tests/compound_file/tree_check.h"

#include <algorithm>

namespace cfb_test {

namespace {

struct Walk {
    const TreeNodes& tree;
    std::vector<bool> seen;
    TreeReport report;

    // Returns the black height of the subtree, or -1 after an error.
    int Visit(std::uint32_t node, bool parentRed, int depth) {
        if (node == tree.none) return 0;
        if (node >= seen.size()) return Fail("node " + std::to_string(node) + " out of range");
        if (seen[node]) return Fail("node " + std::to_string(node) + " reached twice");
        seen[node] = true;
        report.height = std::max(report.height, depth);
        const bool red = tree.red(node);
        if (red && parentRed) return Fail("red node " + std::to_string(node) + " has a red parent");
        const int left = Visit(tree.left(node), red, depth + 1);
        if (left < 0) return -1;
        report.inOrder.push_back(node);
        const int right = Visit(tree.right(node), red, depth + 1);
        if (right < 0) return -1;
        if (left != right) return Fail("black heights differ below node " + std::to_string(node));
        return left + (red ? 0 : 1);
    }

    int Fail(const std::string& text) {
        if (report.error.empty()) report.error = text;
        return -1;
    }
};

}  // namespace

TreeReport CheckRedBlackTree(const TreeNodes& tree, std::uint32_t nodeCount) {
    Walk walk{tree, std::vector<bool>(nodeCount, false), TreeReport()};
    if (tree.root != tree.none && tree.root < nodeCount && tree.red(tree.root)) {
        walk.Fail("the root is red");
    }
    walk.Visit(tree.root, false, 1);
    for (std::uint32_t id = 0; walk.report.error.empty() && id < nodeCount; ++id) {
        if (!walk.seen[id]) walk.Fail("node " + std::to_string(id) + " is not in the tree");
    }
    return walk.report;
}

}  // namespace cfb_test
