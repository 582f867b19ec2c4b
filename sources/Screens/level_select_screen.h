#pragma once

// The level map: the current mode's levels as buttons on pages of 24 (six columns by four
// rows) in a paged scroll, page dots with a marker that hops between them, arrows, the
// mode's total, and the way to the store and back to the main menu.

#include <cstdint>
#include <map>
#include <vector>

#include "sources/Screens/menu_screen.h"
#include "sources/Screens/page_dots.h"
#include "sources/gameplay/level_profile.h"
#include "vadu/math.h"

namespace game {
class Screen;
}
namespace game::controls {
class Button;
class ScrollImpl;
}

namespace level_map {

constexpr int kColumns = 6;
constexpr int kRows = 4;
constexpr int kPerPage = kColumns * kRows;

struct Slot {
    int page = 0;
    int row = 0;
    int column = 0;
};
// Where level number n (from 1) sits.
Slot SlotOf(int number);
// The number at a slot: 6 (4p + r) + c + 1.
int NumberAt(int page, int row, int column);
// (n - 1) / 24 + 1, truncating toward zero: no levels still make one page.
int PageCount(int levels);
// x of page dot i: centred on the screen, 60 pixels apart at scale 1.
float DotX(int index, int pages, float scale, float screenWidth);
// The Standard page of the highest open level not yet completed (see the main menu).
int StartPage(const std::vector<gameplay::LevelProfile>& levels);
// Writes the position only when some component moves by at least the float epsilon.
void PlaceIfMoved(vadu::lib3d::node::Node& node, const vadu::math::Vector3& position);
// A button control over a node that is its own, named after it so the binding finds it;
// the prototype (when given) lends its rectangle, layer and states.
game::controls::Button* MakeButton(game::Screen& screen, vadu::lib3d::node::Node& node,
                                   const game::controls::Button* prototype);
// The page marker shrinks, hops to the dot (just in front of it) and grows again, under
// "DotAnimation" in the global ActionManager.
void AnimateMarker(vadu::lib3d::node::Node& marker, const vadu::lib3d::node::Node& dot);
// Scrolls one page left (step -1) or right (1), smoothly, staying within the pages.
void StepPage(game::controls::ScrollImpl& scroll, int pageCount, int step);

} // namespace level_map

class LevelSelectScreen : public MenuScreen {
public:
    LevelSelectScreen();
    // Empties the global ActionManager, then leaves the keyboard code.
    ~LevelSelectScreen() override;

    void OnPrevPage();
    void OnNextPage();
    void OnPageChanged(int pageX);
    void StartLevel(game::controls::Control* button);
    void OnStore();
    // The keyboard code's unlock: every level of the map opens.
    void UnlockAllLevels();

    int GetPageCount() const noexcept { return pageCount; }
    const std::vector<vadu::lib3d::node::Node*>& GetDots() const noexcept { return pageDots.GetDots(); }
    // The level buttons in level-list order, with their records.
    const std::vector<std::pair<game::controls::Button*, gameplay::LevelProfile*>>& GetButtons() const noexcept
    {
        return buttonLevels;
    }
    game::controls::ScrollImpl* GetScroll() const noexcept { return scroll; }

protected:
    void Init() override;

private:
    void ShowScore(vadu::lib3d::node::Node* button, const gameplay::LevelProfile& level);
    int& RememberedPage();

    PageDots pageDots;
    // In the order they were made, which is level-list order.
    std::vector<std::pair<game::controls::Button*, gameplay::LevelProfile*>> buttonLevels;
    uint32_t unlockConnection = 0;
    bool unlockConnected = false;
    int pageCount = 1;
    game::controls::ScrollImpl* scroll = nullptr;
};
