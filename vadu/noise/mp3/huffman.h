#pragma once

// Look-up tables built once from the published code books: a first level indexed by the
// next bits, with sub-tables for the longer codes.

#include <cstdint>
#include <vector>

#include "vadu/noise/mp3/tables.h"

namespace vadu::noise::mp3 {

class HuffmanTree {
public:
    struct Node {
        uint16_t value = 0;    // leaf: x << 4 | y (or the quadruple's 4 bits)
        uint8_t length = 0;    // bits used at this level
        uint8_t sub_bits = 0;  // 0 for a leaf
        uint32_t sub = 0;      // index of the sub-table
    };

    explicit HuffmanTree(const HuffmanCodeBook& book);

    // window holds the next 32 bits, most significant first; length gets the code's bits.
    uint32_t decode(uint32_t window, int& length) const
    {
        const Node* table = nodes_.data();
        int used = 0;
        int bits = root_bits_;
        for (;;) {
            const Node& node = table[(window << used) >> (32 - bits)];
            if (node.sub_bits == 0) {
                length = used + node.length;
                return node.value;
            }
            used += bits;
            bits = node.sub_bits;
            table = nodes_.data() + node.sub;
        }
    }

    bool empty() const { return nodes_.empty(); }

    // Trees by published book (1..24) and for the quadruple books (0 A, 1 B).
    static const HuffmanTree& for_book(int book);
    static const HuffmanTree& for_quad(int which);

private:
    void build(uint32_t at, int bits, const std::vector<int>& entries, int depth);

    const HuffmanCodeBook& book_;
    std::vector<Node> nodes_;
    int root_bits_ = 1;
};

} // namespace vadu::noise::mp3
