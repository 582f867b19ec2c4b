#pragma once

// The player's achievements, eight to a page (two columns of four) on a paged scroll with
// page dots and arrows as on the level map; locked entries show the "_off" picture.

#include <functional>
#include <vector>

#include "sources/Screens/menu_screen.h"
#include "sources/Screens/page_dots.h"
#include "vadu/math.h"
#include "vadu/string.h"

class AchievementBase;

namespace game::controls {
class ScrollImpl;
}

namespace achievements_screen {

constexpr int kPerPage = 8;

// (n - 1) / 8 + 1, truncating toward zero: an empty list still makes one page.
int PageCount(int entries);
// Entry i: two columns of four per page, pages dx * 2 + B apart.
vadu::math::Vector3 EntryPosition(int i, const vadu::math::Vector3& first, float dx, float dy, float blockGap);
// The uniform scale that brings a text measure within the limit: 1 when it already fits
// or when there is no limit.
float FitScale(float measure, float limit);
// "data/achievements/screen/" + the picture, "_off" while not achieved.
vadu::String PicturePath(const AchievementBase& achievement);

} // namespace achievements_screen

class AchievementsScreen : public MenuScreen {
public:
    // What the screen lists, in order; the default is the current profile's collection.
    using EntrySource = std::function<std::vector<const AchievementBase*>()>;

    explicit AchievementsScreen(EntrySource source = nullptr);
    ~AchievementsScreen() override;

    void OnPrevPage();
    void OnNextPage();
    void OnPageChanged(int pageX);

    struct Entry {
        vadu::lib3d::node::Node* node = nullptr;
        vadu::String picture;
    };

    int GetPageCount() const noexcept { return pageCount; }
    const std::vector<vadu::lib3d::node::Node*>& GetDots() const noexcept { return pageDots.GetDots(); }
    const std::vector<Entry>& GetEntries() const noexcept { return entries; }
    game::controls::ScrollImpl* GetScroll() const noexcept { return scroll; }

protected:
    void Init() override;

private:
    void AddEntry(int i, const AchievementBase& achievement, vadu::lib3d::node::Node& templateNode);

    EntrySource source;
    PageDots pageDots;
    std::vector<Entry> entries;
    int pageCount = 1;
    game::controls::ScrollImpl* scroll = nullptr;
    // Widest title and tallest description, from "TextSize".
    float textWidth = 0.0f;
    float textHeight = 0.0f;
    // Column and row step, page gap.
    float dx = 0.0f;
    float dy = 0.0f;
    float blockGap = 0.0f;
};
