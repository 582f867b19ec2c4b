#include "sources/Screens/achievements_screen.h"

#include <cstdio>
#include <memory>

#include "game/controls/more_controls.h"
#include "game/screen.h"
#include "sources/Screens/level_select_screen.h"
#include "sources/Screens/menu_creators.h"
#include "sources/achievements.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/profile_manager.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"

using vadu::lib3d::node::Node;
using vadu::math::Vector3;

namespace achievements_screen {

int PageCount(int entries)
{
    return (entries - 1) / kPerPage + 1;
}

Vector3 EntryPosition(int i, const Vector3& first, float dx, float dy, float blockGap)
{
    return {first.x + static_cast<float>(i >> 2) * dx + static_cast<float>(i >> 3) * blockGap,
            first.y + static_cast<float>(i & 3) * dy, first.z};
}

float FitScale(float measure, float limit)
{
    if (limit <= 0.0f || measure <= limit)
        return 1.0f;
    return limit / measure;
}

vadu::String PicturePath(const AchievementBase& achievement)
{
    vadu::String path = vadu::String(AchievementCollection::PictureFolder) + achievement.textureSrc;
    if (!achievement.achieved)
        path += "_off";
    return path;
}

} // namespace achievements_screen

namespace {

std::vector<const AchievementBase*> current_profile_entries()
{
    std::vector<const AchievementBase*> list;
    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = profiles ? profiles->current : nullptr;
    if (!player)
        return list;
    const AchievementCollection& collection = player->achievements;
    for (int i = 0; const AchievementBase* each = collection.GetByIndex(i); ++i)
        list.push_back(each);
    return list;
}

// Shrinks the text uniformly so that its measure fits the limit; a text that fits keeps
// the scale the scene gave it.
void fit(Node& node, float measure, float limit)
{
    const float factor = achievements_screen::FitScale(measure, limit);
    if (factor < 1.0f)
        node.set_scale({factor, factor, 1.0f});
}

} // namespace

AchievementsScreen::AchievementsScreen(EntrySource entrySource)
    : MenuScreen("data/decorations/store.xml"), source(std::move(entrySource))
{
    if (!source)
        source = current_profile_entries;
}

AchievementsScreen::~AchievementsScreen() = default;

void AchievementsScreen::Init()
{
    BindButton("ButtonBack", [this] { BackToMenu(); });
    BindButton("ButtonLeft", [this] { OnPrevPage(); });
    BindButton("ButtonRight", [this] { OnNextPage(); });

    game::Screen& screen = *GetSite()->GetScreen();
    auto* scrollControl = dynamic_cast<game::controls::Scroll*>(screen.FindControl("scroll"));
    Node* templateNode = FindNode("Achievement");
    Node* offset = FindNode("AchievementOffset");
    if (!scrollControl || !templateNode || !offset)
        throw vadu::Gluck("AchievementsScreen::Init", vadu::String("Unable to find the achievements screen's nodes"));
    scroll = scrollControl->GetScrollImpl();
    dx = offset->get_position().x;
    dy = offset->get_position().y;
    if (Node* block = FindNode("AchievementBlockOffset"))
        blockGap = block->get_position().x;
    if (Node* size = FindNode("TextSize")) {
        textWidth = size->get_position().x;
        textHeight = size->get_position().y;
    }

    const std::vector<const AchievementBase*> list = source();
    pageCount = achievements_screen::PageCount(static_cast<int>(list.size()));

    GameSizes* sizes = GameSizes::Instance();
    scroll->SetContentSize(sizes->fieldWidth * static_cast<float>(pageCount), 10.0f);
    scroll->SetValue(scroll->GetValue());

    pageDots.Build(*this, *scroll, pageCount);
    if (pageCount >= 2) {
        scroll->SetOnScroll([this](const game::controls::ScrollImpl::Page& page) { OnPageChanged(page.first); });
        pageDots.PlaceMarker(0);
        const float pageWidth = sizes->fieldWidth;
        int page = pageWidth > 0.0f ? static_cast<int>(scroll->GetValue().x / pageWidth) : 0;
        if (page < 0)
            page = 0;
        // The scroll hands the page to OnPageChanged itself.
        scroll->ScrollToPage({page, 0}, false);
    }

    for (size_t i = 0; i < list.size(); ++i)
        AddEntry(static_cast<int>(i), *list[i], *templateNode);
}

void AchievementsScreen::AddEntry(int i, const AchievementBase& achievement, Node& templateNode)
{
    Node* copy = templateNode.duplicate();
    char name[32];
    std::snprintf(name, sizeof(name), "Achievement%d", i);
    copy->set_name(vadu::Atom(name));
    copy->set_position(achievements_screen::EntryPosition(i, templateNode.get_position(), dx, dy, blockGap));

    Entry entry{copy, achievements_screen::PicturePath(achievement)};
    if (auto* picture = gameplay::AsSprite(copy->find_child("Picture", false)))
        picture->set_texture(entry.picture, false);
    if (auto* title = gameplay::AsText(copy->find_child("Title", false))) {
        title->set_text(achievement.title, false);
        fit(*title, title->get_width(achievement.title), textWidth);
    }
    if (auto* description = gameplay::AsText(copy->find_child("Description", false))) {
        description->set_text(achievement.description, false);
        fit(*description, description->get_height(), textHeight);
    }
    scroll->AddNode(copy);
    entries.push_back(entry);
}

void AchievementsScreen::OnPrevPage()
{
    pageDots.Step(-1);
}

void AchievementsScreen::OnNextPage()
{
    pageDots.Step(1);
}

void AchievementsScreen::OnPageChanged(int pageX)
{
    pageDots.MoveMarker(pageX);
}

std::unique_ptr<game::ScreenBackend> AchievementsScreen_Create()
{
    return std::make_unique<AchievementsScreen>();
}
