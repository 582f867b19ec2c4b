#include "sources/Screens/page_dots.h"

#include <cstdio>

#include "game/controls/more_controls.h"
#include "game/screen.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/game_sizes.h"
#include "vadu/lib3d/node/node.h"

using vadu::lib3d::node::Node;
using vadu::math::Vector3;

void PageDots::Build(MenuScreen& screen, game::controls::ScrollImpl& pages, int count)
{
    scroll = &pages;
    pageCount = count;
    marker = screen.FindNode("DotActive");
    Node* dot = screen.FindTopNode("Dot");
    if (pageCount < 2) {
        for (Node* hidden : {dot, screen.FindTopNode("DotActive")}) {
            if (hidden)
                hidden->set_visible(false);
        }
        return;
    }
    if (!dot)
        return;
    game::Screen& owner = *screen.GetSite()->GetScreen();
    GameSizes* sizes = GameSizes::Instance();
    for (int i = 0; i < pageCount; ++i) {
        Node* each = dot;
        if (i > 0) {
            each = dot->duplicate();
            char name[16];
            std::snprintf(name, sizeof(name), "Dot%d", i);
            each->set_name(vadu::Atom(name));
        }
        dots.push_back(each);
        const Vector3 at = each->get_position();
        level_map::PlaceIfMoved(*each, {level_map::DotX(i, pageCount, sizes->scale, sizes->screenWidth), at.y, at.z});
        game::controls::Button* control = level_map::MakeButton(owner, *each, nullptr);
        screen.Connect(control->GetButtonImpl(), [this, i](game::controls::Control*) {
            scroll->ScrollToPage({i, 0}, true);
        });
    }
    if (Node* left = screen.FindTopNode("ButtonLeft")) {
        left->set_visible(true);
        const Vector3 at = left->get_position();
        level_map::PlaceIfMoved(*left, {dots.front()->get_position().x - 100.0f, at.y, at.z});
    }
    if (Node* right = screen.FindTopNode("ButtonRight")) {
        right->set_visible(true);
        const Vector3 at = right->get_position();
        level_map::PlaceIfMoved(*right, {dots.back()->get_position().x + 100.0f, at.y, at.z});
    }
}

Node* PageDots::DotOf(int page) const
{
    if (!marker || page < 0 || static_cast<size_t>(page) >= dots.size())
        return nullptr;
    return dots[static_cast<size_t>(page)];
}

void PageDots::PlaceMarker(int page)
{
    if (Node* dot = DotOf(page))
        marker->set_position(dot->get_position());
}

void PageDots::MoveMarker(int page)
{
    if (Node* dot = DotOf(page))
        level_map::AnimateMarker(*marker, *dot);
}

void PageDots::Step(int step)
{
    if (scroll)
        level_map::StepPage(*scroll, pageCount, step);
}
