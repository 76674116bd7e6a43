// Checks a binary tree given as child links: every node reached exactly once,
// in-order sequence as expected, and the red-black rules.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cfb_test {

struct TreeNodes {
    std::uint32_t root;
    std::uint32_t none;  // the "no child" value
    std::function<std::uint32_t(std::uint32_t)> left;
    std::function<std::uint32_t(std::uint32_t)> right;
    std::function<bool(std::uint32_t)> red;
};

struct TreeReport {
    std::string error;               // empty when all rules hold
    std::vector<std::uint32_t> inOrder;
    int height = 0;                  // nodes on the longest root-to-leaf path
};

// `nodeCount` bounds the ids; every id below it must be reached.
TreeReport CheckRedBlackTree(const TreeNodes& tree, std::uint32_t nodeCount);

}  // namespace cfb_test
