#include "platform/gfx/raster_kernels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using platform::gfx::raster::detail::Kernels;
using platform::gfx::raster::detail::Quads;
using platform::gfx::raster::detail::reference_kernels;
using platform::gfx::raster::detail::runnable_kernels;
using platform::gfx::raster::detail::spread_weight;

constexpr int kGuard = 8;      // pixels around the run that no kernel may touch
constexpr uint32_t kMark = 0xA5C3E1F7u;

// Colours with the corners of the byte range, which the rounding and saturation are
// most likely to get wrong, among random ones.
std::vector<uint32_t> colours(std::mt19937& random, size_t count)
{
    static constexpr uint32_t kCorners[] = {0x00000000u, 0xFFFFFFFFu, 0xFF000000u, 0x00FFFFFFu,
                                            0x80808080u, 0x7F7F7F7Fu, 0x01FF00FEu, 0xFE00FF01u};
    std::vector<uint32_t> out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = (random() % 3 == 0) ? kCorners[random() % std::size(kCorners)] : static_cast<uint32_t>(random());
    return out;
}

// The run lengths every kernel is tried over: short runs and their tails, and a whole chunk.
std::vector<int> run_lengths()
{
    std::vector<int> lengths;
    for (int n = 0; n <= 9; ++n)
        lengths.push_back(n);
    lengths.push_back(128);
    return lengths;
}

// Runs `call` on one buffer through the kernel and on a copy through its reference: both
// must end alike, and the guard pixels around the run as they were.
struct Case {
    const char* name;
    // Fills the inputs from `random`, then calls the kernel of `set` over pixels [offset,
    // offset + n) of `buffer`; `random` is seeded alike for the kernel and the reference.
    std::function<void(const Kernels& set, std::mt19937& random, std::vector<uint32_t>& buffer, int offset, int n)>
        run;
};

// The blends write over the destination row they read; `pad` ORs the unused byte.
template <auto Member>
Case blend_case(const char* name)
{
    return {name, [](const Kernels& set, std::mt19937& random, std::vector<uint32_t>& buffer, int offset, int n) {
                const std::vector<uint32_t> source = colours(random, static_cast<size_t>(n) + 1);
                const uint32_t pad = random() % 2 ? 0xFF000000u : 0u;
                auto* row = reinterpret_cast<uint8_t*>(buffer.data() + offset);
                (set.*Member)(row, source.data() + 1, row, n, pad);
            }};
}

std::vector<Case> cases()
{
    return {
        blend_case<&Kernels::blend_src_alpha>("blend by source alpha"),
        blend_case<&Kernels::blend_add>("add"),
        blend_case<&Kernels::blend_add_src_alpha>("add by source alpha"),
        {"modulate and blend",
         [](const Kernels& set, std::mt19937& random, std::vector<uint32_t>& buffer, int offset, int n) {
             const std::vector<uint32_t> source = colours(random, static_cast<size_t>(n) + 1);
             const uint32_t color = colours(random, 1)[0];
             const uint32_t pad = random() % 2 ? 0xFF000000u : 0u;
             set.modulate_blend(source.data() + 1, color, reinterpret_cast<uint8_t*>(buffer.data() + offset), n, pad);
         }},
        {"blend of two levels",
         [](const Kernels& set, std::mt19937& random, std::vector<uint32_t>& buffer, int offset, int n) {
             const std::vector<uint32_t> spare = colours(random, static_cast<size_t>(n) + 1);
             const uint32_t weight = random() % 257;
             set.blend_levels(weight, buffer.data() + offset, spare.data() + 1, n);
         }},
        {"bilinear span",
         [](const Kernels& set, std::mt19937& random, std::vector<uint32_t>& buffer, int offset, int n) {
             Quads q;
             // What lies beyond the run is left over from earlier runs.
             for (auto* corner : {q.c00, q.c10, q.c01, q.c11}) {
                 const std::vector<uint32_t> c = colours(random, std::size(q.c00));
                 std::memcpy(corner, c.data(), sizeof q.c00);
             }
             for (size_t k = 0; k < std::size(q.fx); ++k) {
                 q.fx[k] = spread_weight(random() % 256);
                 q.fy[k] = spread_weight(random() % 256);
             }
             set.bilerp_span(q, n);
             // The filtered colours of the run and of the entries up to the next four.
             std::memcpy(buffer.data() + offset, q.result, static_cast<size_t>((n + 3) & ~3) * 4);
         }},
    };
}

// Every vector kernel, in every clone this processor runs, gives the bits of its plain
// per-channel version over runs of every tail length and a whole chunk, at unaligned
// starts, and touches nothing beyond its run.
TEST(GfxRasterKernels, EveryCloneEqualsThePlainVersionChannelByChannel)
{
    ASSERT_FALSE(runnable_kernels().empty());
    const Kernels& plain = reference_kernels();
    for (const Kernels* set : runnable_kernels()) {
        for (const Case& c : cases()) {
            for (const int n : run_lengths()) {
                for (const int offset : {kGuard + 1, kGuard + 3}) {
                    SCOPED_TRACE(std::string(set->name) + ", " + c.name + ", " + std::to_string(n) + " pixels at "
                                 + std::to_string(offset));
                    std::mt19937 seed_random(static_cast<uint32_t>(n * 131 + offset));
                    const std::vector<uint32_t> start = colours(seed_random, static_cast<size_t>(n + 2 * kGuard + 8));
                    std::vector<uint32_t> expected = start;
                    std::vector<uint32_t> got = start;
                    for (int k = 0; k < offset; ++k)
                        expected[static_cast<size_t>(k)] = got[static_cast<size_t>(k)] = kMark;
                    const int past = offset + ((n + 3) & ~3);
                    for (size_t k = static_cast<size_t>(past); k < got.size(); ++k)
                        expected[k] = got[k] = kMark;
                    std::mt19937 random_a(static_cast<uint32_t>(n * 7 + offset));
                    std::mt19937 random_b(static_cast<uint32_t>(n * 7 + offset));
                    c.run(plain, random_a, expected, offset, n);
                    c.run(*set, random_b, got, offset, n);
                    for (size_t k = 0; k < got.size(); ++k)
                        ASSERT_EQ(got[k], expected[k]) << "pixel " << k;
                }
            }
        }
    }
}

} // namespace
