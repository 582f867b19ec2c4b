#include "platform/gfx/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace {

namespace raster = platform::gfx::raster;

struct Visits {
    std::mutex mutex;
    std::vector<raster::RowRange> calls;
};

void record_rows(void* context, uint32_t y0, uint32_t y1)
{
    auto& visits = *static_cast<Visits*>(context);
    std::lock_guard lock(visits.mutex);
    visits.calls.push_back({y0, y1});
}

// Row-by-row work over some ranges of a picture (the rows a frame changed) visits every
// row of those ranges once and no other, in strips of at most the size asked for that
// never straddle two ranges, whatever the threads allowed.
TEST(GfxRasterStrips, RangesAreVisitedRowByRowInStripsOfTheirOwn)
{
    struct Case {
        const char* name;
        std::vector<raster::RowRange> ranges;
        uint32_t strip_rows;
        uint32_t helpers;
    };
    const Case cases[] = {
        {"nothing", {}, 8, 4},
        {"an empty range", {{5, 5}}, 8, 4},
        {"one range cut in strips with a short last one", {{0, 21}}, 8, 4},
        {"ranges next to each other", {{0, 7}, {7, 9}, {30, 95}}, 16, 4},
        {"a range shorter than a strip", {{100, 101}}, 32, 0},
        {"the rasterizer's own strip size, no helpers", {{3, 200}, {400, 410}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Visits visits;
        raster::for_each_strip(c.ranges, c.strip_rows, c.helpers, record_rows, &visits);
        std::vector<int> seen(512, 0);
        for (const raster::RowRange& call : visits.calls) {
            ASSERT_LT(call.first, call.last);
            if (c.strip_rows != 0)
                EXPECT_LE(call.last - call.first, c.strip_rows);
            bool inside_one = false;
            for (const raster::RowRange& range : c.ranges)
                inside_one = inside_one || (call.first >= range.first && call.last <= range.last);
            EXPECT_TRUE(inside_one) << "rows " << call.first << " to " << call.last;
            for (uint32_t y = call.first; y < call.last; ++y)
                ++seen[y];
        }
        for (uint32_t y = 0; y < seen.size(); ++y) {
            bool wanted = false;
            for (const raster::RowRange& range : c.ranges)
                wanted = wanted || (y >= range.first && y < range.last);
            EXPECT_EQ(seen[y], wanted ? 1 : 0) << "row " << y;
        }
    }
}

} // namespace
