#include "sources/Screens/level_select_screen.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "game/controls/more_controls.h"
#include "game/screen.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/balance.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/format_thousands.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/globals.h"
#include "sources/profile_manager.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"

using vadu::lib3d::node::Node;
using vadu::math::Vector3;

namespace {

const vadu::Atom& dot_tag()
{
    static const vadu::Atom tag("DotAnimation");
    return tag;
}

} // namespace

namespace level_map {

Slot SlotOf(int number)
{
    const int index = number - 1;
    return Slot{index / kPerPage, (index % kPerPage) / kColumns, index % kColumns};
}

int NumberAt(int page, int row, int column)
{
    return kColumns * (kRows * page + row) + column + 1;
}

int PageCount(int levels)
{
    return (levels - 1) / kPerPage + 1;
}

float DotX(int index, int pages, float scale, float screenWidth)
{
    return (static_cast<float>(index) - static_cast<float>(pages - 1) * 0.5f) * (scale * 60.0f) + screenWidth * 0.5f;
}

int StartPage(const std::vector<gameplay::LevelProfile>& levels)
{
    int n = 0;
    for (const gameplay::LevelProfile& level : levels) {
        if (level.mode == gameplay::Standard)
            ++n;
    }
    auto find = [&levels](int number) -> const gameplay::LevelProfile* {
        for (const gameplay::LevelProfile& level : levels) {
            if (level.number == number && level.mode == gameplay::Standard)
                return &level;
        }
        return nullptr;
    };
    for (const gameplay::LevelProfile* level = find(n); level && (level->bestScore > 0 || level->locked);
         level = find(n))
        --n;
    return (n - 1) / kPerPage;
}

void PlaceIfMoved(Node& node, const Vector3& position)
{
    constexpr float epsilon = 1.1920929e-7f;
    const Vector3& now = node.get_position();
    if (std::fabs(now.x - position.x) >= epsilon || std::fabs(now.y - position.y) >= epsilon ||
        std::fabs(now.z - position.z) >= epsilon)
        node.set_position(position);
}

game::controls::Button* MakeButton(game::Screen& screen, Node& node, const game::controls::Button* prototype)
{
    auto control = std::make_unique<game::controls::Button>();
    control->SetName(node.get_name());
    control->SetSceneRoot(screen.GetSceneRoot());
    game::controls::ButtonImpl* impl = control->GetButtonImpl();
    impl->SetLinked(true);
    impl->SetNodeName(node.get_name().get_name());
    if (prototype) {
        game::controls::ButtonImpl* model = prototype->GetButtonImpl();
        const auto& rectangle = model->GetBaseRectangle();
        impl->SetRectangle(rectangle[0], rectangle[1], rectangle[2], rectangle[3]);
        control->SetLayer(prototype->GetLayer());
        if (model->GetStates() && model->GetStates()->GetStateCount() > 0)
            impl->GetStates()->SetStates(*model->GetStates(), &node);
    }
    game::controls::Button* raw = control.get();
    screen.AddControl(std::move(control));
    return raw;
}

void StepPage(game::controls::ScrollImpl& scroll, int pageCount, int step)
{
    const auto page = scroll.GetPage();
    const int next = page.first + step;
    if (next >= 0 && next < pageCount)
        scroll.ScrollToPage({next, page.second}, true);
}

void AnimateMarker(Node& marker, const Node& dot)
{
    const Vector3 scale = marker.get_scale();
    const Vector3 from = marker.get_position();
    Vector3 to = dot.get_position();
    to.z -= 0.1f;
    auto* shrink = new ScaleAction(&marker, 0.1f, scale, {0.4f, 0.4f, 1.0f});
    auto* hop = new MoveAction(&marker, 0.05f, from, to);
    auto* grow = new ScaleAction(&marker, 0.1f, scale, {1.0f, 1.0f, 1.0f});
    ActionManager::Global().RunAction(&marker, new SequenceAction(shrink, hop, grow), dot_tag());
}

} // namespace level_map

namespace {

gameplay::LevelProfile* find_level(std::vector<gameplay::LevelProfile>& levels, int number, int mode)
{
    for (gameplay::LevelProfile& level : levels) {
        if (level.number == number && level.mode == mode)
            return &level;
    }
    return nullptr;
}

} // namespace

LevelSelectScreen::LevelSelectScreen()
    : MenuScreen(GameMode == gameplay::Zen ? "data/decorations/zenlevelmap.xml" : "data/decorations/levelmap.xml")
{
}

LevelSelectScreen::~LevelSelectScreen()
{
    ActionManager::Global().Clear();
    if (unlockConnected)
        gameplay::CheatCodes::Instance().LevelsCode().Disconnect(unlockConnection);
}

int& LevelSelectScreen::RememberedPage()
{
    return GameMode == gameplay::Zen ? LevelMapPageZen : LevelMapPageStandard;
}

void LevelSelectScreen::Init()
{
    PlayMainTheme();
    unlockConnection = gameplay::CheatCodes::Instance().LevelsCode().Connect([this] { UnlockAllLevels(); });
    unlockConnected = true;

    BindButton("storeButton", [this] { OnStore(); });
    BindButton("ButtonBack", [this] { BackToMenu(); });
    BindButton("ButtonLeft", [this] { OnPrevPage(); });
    BindButton("ButtonRight", [this] { OnNextPage(); });

    game::ScreenSite* site = GetSite();
    game::Screen& screen = *site->GetScreen();
    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* player = profiles ? profiles->current : nullptr;
    if (!player)
        throw vadu::Gluck("LevelSelectScreen::Init", vadu::String("No current profile"));
    std::vector<gameplay::LevelProfile>& levels = player->levels.levels;

    int64_t sum = 0;
    int count = 0;
    for (const gameplay::LevelProfile& level : levels) {
        if (level.mode == GameMode) {
            sum += level.bestScore;
            ++count;
        }
    }
    const int32_t total = sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum);
    int32_t& stored = GameMode == gameplay::Zen ? player->totalScoreZen : player->totalScoreStandard;
    if (stored < total)
        stored = total;
    gameplay::SetChildText(GetSceneRoot(), "ScoreLabel", gameplay::FormatThousands(total));

    auto* scrollControl = dynamic_cast<game::controls::Scroll*>(screen.FindControl("scroll"));
    game::controls::Button* levelButton = GetButton("LevelButton");
    Node* templateNode = FindNode("LevelButton");
    Node* buttonsRoot = FindNode("ButtonsRoot");
    Node* buttonsOffset = FindNode("ButtonsOffset");
    if (!scrollControl || !templateNode || !buttonsRoot || !buttonsOffset)
        throw vadu::Gluck("LevelSelectScreen::Init", vadu::String("Unable to find the level map's nodes"));
    scroll = scrollControl->GetScrollImpl();
    const float dx = buttonsOffset->get_position().x;
    const float dy = buttonsOffset->get_position().y;

    GameSizes* sizes = GameSizes::Instance();
    pageCount = level_map::PageCount(count);
    pageDots.Build(*this, *scroll, pageCount);

    const Vector3 rootAt = buttonsRoot->get_position();
    for (int p = 0; p < pageCount; ++p) {
        for (int r = 0; r < level_map::kRows; ++r) {
            for (int c = 0; c < level_map::kColumns; ++c) {
                const int number = level_map::NumberAt(p, r, c);
                gameplay::LevelProfile* level = find_level(levels, number, GameMode);
                if (!level)
                    continue;
                Node* clone = templateNode->clone();
                char name[32];
                std::snprintf(name, sizeof(name), "LevelButton%d", number);
                clone->set_name(vadu::Atom(name));
                buttonsRoot->add_child(clone, true);
                clone->set_position({static_cast<float>(p) * sizes->fieldWidth + static_cast<float>(c) * dx,
                                     -static_cast<float>(r) * dy, 0.0f});
                clone->set_visible(true);
                const bool locked = level->locked != 0;
                if (Node* chain = clone->find_child("ButtonChain", false))
                    chain->set_visible(locked);
                char digits[16];
                std::snprintf(digits, sizeof(digits), "%d", number);
                gameplay::SetChildText(clone, "ButtonNumber", digits);
                ShowScore(clone, *level);
                if (Node* type = clone->find_child("LevelType", false)) {
                    type->set_visible(!locked);
                    if (!locked) {
                        if (auto* sprite = gameplay::AsSprite(type))
                            sprite->set_frame(vadu::Atom(vadu::String("level_select_") + level->type));
                    }
                }
                if (auto* sprite = gameplay::AsSprite(clone))
                    sprite->set_frame(locked ? "level_unavailable" : "level_unlocked");
                game::controls::Button* control = level_map::MakeButton(screen, *clone, levelButton);
                Connect(control->GetButtonImpl(), [this](game::controls::Control* pressed) { StartLevel(pressed); });
                control->SetEnabled(!locked);
                buttonLevels.emplace_back(control, level);
                scroll->AddControl(control, {rootAt.x - dx * 0.5f, rootAt.y - 10.0f, dx, 20.0f});
            }
        }
    }
    for (const char* name : {"MoreLevels", "MoreLevelsPicture"}) {
        if (Node* more = FindTopNode(name))
            scroll->AddNode(more);
    }
    levelButton->SetEnabled(false);
    templateNode->set_visible(false);

    scroll->SetContentSize(sizes->fieldWidth * static_cast<float>(pageCount), 10.0f);
    scroll->SetValue(scroll->GetValue());

    if (pageCount > 1) {
        scroll->SetOnScroll([this](const game::controls::ScrollImpl::Page& page) { OnPageChanged(page.first); });
        int& remembered = RememberedPage();
        if (remembered < 0 || remembered >= pageCount)
            remembered = remembered < 0 ? 0 : pageCount - 1;
        pageDots.PlaceMarker(remembered);
        scroll->ScrollToPage({remembered, 0}, false);
    }
}

void LevelSelectScreen::ShowScore(Node* button, const gameplay::LevelProfile& level)
{
    if (level.bestScore <= 0)
        return;
    Node* score = button->find_child("ButtonScore", false);
    if (!score)
        return;
    score->set_visible(true);
    gameplay::SetChildText(button, "ButtonScore", gameplay::FormatThousands(level.bestScore));
    const Vector3 colour = GameMode == gameplay::Zen ? Vector3{1.0f, 1.0f, 1.0f} : Vector3{0.03f, 0.24f, 0.4f};
    score->change_attribute(vadu::Atom("Color"), colour);
}

void LevelSelectScreen::OnPrevPage()
{
    pageDots.Step(-1);
}

void LevelSelectScreen::OnNextPage()
{
    pageDots.Step(1);
}

void LevelSelectScreen::OnPageChanged(int pageX)
{
    RememberedPage() = pageX;
    pageDots.MoveMarker(pageX);
}

void LevelSelectScreen::StartLevel(game::controls::Control* button)
{
    for (const auto& [control, level] : buttonLevels) {
        if (control != button)
            continue;
        if (level->locked)
            return;
        PlayClick();
        CurrentLevel = level;
        ChangeScreen("Game");
        return;
    }
}

void LevelSelectScreen::OnStore()
{
    PlayClick();
    PushScreen("Store");
}

void LevelSelectScreen::UnlockAllLevels()
{
    if (buttonLevels.empty())
        return;
    // The first record in level-list order, the same on every run.
    const_cast<gameplay::Balance&>(gameplay::Balance::Instance()).ZenPrice = buttonLevels.front().second->bestScore;
    for (const auto& [control, level] : buttonLevels) {
        Node* node = control->GetButtonImpl()->GetNode();
        if (node) {
            if (Node* chain = node->find_child("ButtonChain", false))
                chain->set_visible(false);
            if (auto* sprite = gameplay::AsSprite(node))
                sprite->set_frame("level_unlocked");
            ShowScore(node, *level);
            if (Node* type = node->find_child("LevelType", false)) {
                type->set_visible(true);
                if (auto* sprite = gameplay::AsSprite(type))
                    sprite->set_frame(vadu::Atom(vadu::String("level_select_") + level->type));
            }
        }
        control->SetEnabled(true);
        level->locked = 0;
        if (level->bestScore == 0)
            level->bestScore = 100;
    }
}
