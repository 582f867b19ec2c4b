#pragma once

// The dots under a menu's paged scroll: one dot a page, each a button that scrolls to its
// page, the arrows either side of them, and the marker that hops to the current page's dot.

#include <vector>

class MenuScreen;

namespace game::controls {
class ScrollImpl;
}
namespace vadu::lib3d::node {
class Node;
}

class PageDots {
public:
    // With one page the screen's "Dot" and "DotActive" are hidden. With more, "Dot" and
    // copies of it ("Dot1", "Dot2", ...) stand a page each across the screen and scroll to
    // their page when clicked, and "ButtonLeft" and "ButtonRight" show 100 left of the first
    // and right of the last; without a "Dot" there are no dots. "DotActive" is the marker.
    void Build(MenuScreen& screen, game::controls::ScrollImpl& scroll, int pageCount);

    // The marker on the page's dot at once, or hopping to it; nothing for a page without a
    // dot or without a marker.
    void PlaceMarker(int page);
    void MoveMarker(int page);
    // Scrolls one page left (step -1) or right (1), staying within the pages.
    void Step(int step);

    const std::vector<vadu::lib3d::node::Node*>& GetDots() const noexcept { return dots; }

private:
    vadu::lib3d::node::Node* DotOf(int page) const;

    game::controls::ScrollImpl* scroll = nullptr;
    int pageCount = 1;
    vadu::lib3d::node::Node* marker = nullptr;
    std::vector<vadu::lib3d::node::Node*> dots;
};
