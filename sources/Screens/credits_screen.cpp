#include "sources/Screens/credits_screen.h"

#include "game/screen.h"
#include "sources/game_sizes.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/node.h"

namespace {

const vadu::Atom& animation_tag()
{
    static const vadu::Atom tag("Credits Animation");
    return tag;
}

} // namespace

CreditsTiming CreditsTiming::For(float distance, float scale)
{
    CreditsTiming timing;
    timing.distance = distance;
    timing.rampDistance = scale * 500.0f;
    if (distance > 0.0f && scale > 0.0f) {
        timing.run = distance / (scale * 200.0f);
        timing.ramp = timing.run / 5.0f;
    }
    return timing;
}

CreditsScreen::CreditsScreen() : MenuScreen("data/decorations/store.xml") {}

CreditsScreen::~CreditsScreen()
{
    ActionManager::Global().Clear();
}

void CreditsScreen::Init()
{
    BindButton("ButtonBack", [this] { BackToMenu(); });
    game::ScreenSite* site = GetSite();
    game::controls::Control* control = site->GetScreen()->FindControl("scroll");
    auto* scrollControl = dynamic_cast<game::controls::Scroll*>(control);
    if (!scrollControl)
        throw vadu::Gluck("CreditsScreen::Init", vadu::String("Unable to find key scroll"));
    scroll = scrollControl->GetScrollImpl();

    scroll->SetValue({0.0f, 100000.0f});
    if (vadu::lib3d::node::Node* credits = FindTopNode("Credits"))
        scroll->AddNode(credits);
    offset = scroll->GetValue().y;

    timing = CreditsTiming::For(offset, GameSizes::Instance()->scale);
    // Content no longer than the page has nowhere to go: no pass at all.
    if (timing.distance <= 0.0f)
        return;
    auto* ramp_in = new FloatTweenAction(&offset, timing.distance - timing.rampDistance, timing.ramp,
                                         [this](float value) { SetOffset(value); });
    ramp_in->SetEasing(std::make_unique<EaseSineIn>());
    auto* run = new FloatTweenAction(&offset, timing.rampDistance, timing.run, [this](float value) { SetOffset(value); });
    auto* ramp_out = new FloatTweenAction(&offset, 0.0f, timing.ramp, [this](float value) { SetOffset(value); });
    ramp_out->SetEasing(std::make_unique<EaseSineOut>());
    auto* sequence = new SequenceAction(new DelayAction(kPause), ramp_in, run, ramp_out);
    ActionManager::Global().RunAction(sequence->GetTarget(), sequence, animation_tag());
}

void CreditsScreen::SetOffset(float value)
{
    if (scroll)
        scroll->SetValue({0.0f, value});
}

void CreditsScreen::on_event(vadu::input::Event& event)
{
    if (event.device == "Mouse" && event.control == "Left Button" && event.kind == vadu::input::Event::pressed)
        ActionManager::Global().StopActionsByTag(animation_tag());
}
