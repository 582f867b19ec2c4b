#include "vadu/noise/mp3/huffman.h"

#include <algorithm>
#include <memory>

namespace vadu::noise::mp3 {
namespace {

constexpr int level_bits = 8;

int value_count(const HuffmanCodeBook& book) { return book.count; }

} // namespace

HuffmanTree::HuffmanTree(const HuffmanCodeBook& book) : book_(book)
{
    if (book.codes == nullptr)
        return;
    int count = value_count(book);
    std::vector<int> entries(count);
    int longest = 0;
    for (int i = 0; i < count; ++i) {
        entries[i] = i;
        longest = std::max<int>(longest, book.lengths[i]);
    }
    root_bits_ = std::min(longest, level_bits);
    nodes_.resize(size_t(1) << root_bits_);
    build(0, root_bits_, entries, 0);
}

// Fills the table at `at` (2^bits nodes) with the codes whose first `depth` bits are
// already consumed; longer codes go to sub-tables appended at the end.
void HuffmanTree::build(uint32_t at, int bits, const std::vector<int>& entries, int depth)
{
    const int size = 1 << bits;
    std::vector<std::vector<int>> longer(size);
    for (int entry : entries) {
        int length = book_.lengths[entry];
        uint32_t code = book_.codes[entry];
        int rest = length - depth;
        uint32_t rest_code = code & ((1u << rest) - 1);
        uint16_t value = book_.width == 0 ? static_cast<uint16_t>(entry)
                                           : static_cast<uint16_t>(((entry / book_.width) << 4) | (entry % book_.width));
        if (rest <= bits) {
            uint32_t first = rest_code << (bits - rest);
            for (uint32_t i = 0; i < (1u << (bits - rest)); ++i) {
                Node& node = nodes_[at + first + i];
                node.value = value;
                node.length = static_cast<uint8_t>(rest);
                node.sub_bits = 0;
            }
        } else {
            longer[rest_code >> (rest - bits)].push_back(entry);
        }
    }
    for (int i = 0; i < size; ++i) {
        if (longer[i].empty())
            continue;
        int deepest = 0;
        for (int entry : longer[i])
            deepest = std::max(deepest, book_.lengths[entry] - depth - bits);
        int sub_bits = std::min(deepest, level_bits);
        uint32_t sub = static_cast<uint32_t>(nodes_.size());
        nodes_.resize(nodes_.size() + (size_t(1) << sub_bits));
        nodes_[at + i].sub_bits = static_cast<uint8_t>(sub_bits);
        nodes_[at + i].sub = sub;
        nodes_[at + i].length = static_cast<uint8_t>(bits);
        build(sub, sub_bits, longer[i], depth + bits);
    }
}

const HuffmanTree& HuffmanTree::for_book(int book)
{
    static const auto trees = [] {
        std::vector<std::unique_ptr<HuffmanTree>> all;
        for (int b = 0; b <= 24; ++b)
            all.push_back(std::make_unique<HuffmanTree>(big_value_book(b)));
        return all;
    }();
    return *trees[(book >= 0 && book <= 24) ? book : 0];
}

const HuffmanTree& HuffmanTree::for_quad(int which)
{
    static const HuffmanTree a(quad_book(0));
    static const HuffmanTree b(quad_book(1));
    return (which & 1) ? b : a;
}

} // namespace vadu::noise::mp3
