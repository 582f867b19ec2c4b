#include "sources/gameplay/mana_bar.h"

#include <algorithm>
#include <cmath>

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/number_animation.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shell_services.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"

namespace gameplay {

using vadu::Atom;
using vadu::lib3d::node::Node;
using vadu::math::Vector3;

namespace {

// Runs the action on the target under the tag.
void Run(const void* target, BaseAnimation* action, const char* tag)
{
    ActionManager::Global().RunAction(target, action, Atom(tag));
}

// Node actions are keyed by the node as a Node, whatever the node's own type.
void Run(Node* target, BaseAnimation* action, const char* tag)
{
    Run(static_cast<const void*>(target), action, tag);
}

void Stop(Node* target, const char* tag) { ActionManager::Global().StopAction(target, Atom(tag)); }

// Through the attribute, as scene animations set frames too.
void SetFrame(vadu::lib3d::node::Sprite* sprite, const char16_t* frame)
{
    sprite->change_attribute(Atom("Frame"), vadu::WString(frame));
}

RunningLevel* Level() { return InstanceRegistry::Get<RunningLevel>(); }

} // namespace

ManaBar::ManaBar(const LevelSettings* settings, Node* hudRoot) : settings_(settings)
{
    bar_ = FindSprite(hudRoot, Atom("ManaBar"));
    if (settings_ && settings_->levelEnergy == 0) {
        // A level without mana: nothing else is looked up, so the bar stays inert.
        if (bar_ && bar_->is_visible())
            bar_->set_visible(false);
        enabled_ = false;
        return;
    }
    enabled_ = true;
    slider_ = FindSprite(hudRoot, Atom("ManaBarSlider"));
    bottle_ = FindSprite(hudRoot, Atom("ManaBarBottle"));
    label_ = FindText(hudRoot, Atom("ManaLabel"));
    points_bar_ = FindSprite(hudRoot, Atom("ManaPointsBar"));
    points_label_ = FindText(hudRoot, Atom("ManaPointsLabel"));
    Require(bar_, "ManaBar");
    Require(slider_, "ManaBarSlider");
    Require(bottle_, "ManaBarBottle");
    Require(label_, "ManaLabel");
    Require(points_bar_, "ManaPointsBar");
    Require(points_label_, "ManaPointsLabel");
    ResetPoints();
}

ManaBar::~ManaBar() = default;

bool ManaBar::Require(const void* node, const char* name) const
{
    if (node)
        return true;
    if (!missing_logged_) {
        missing_logged_ = true;
        vadu::logs::log() << "ManaBar: the HUD scene has no node \"" << name
                          << "\" of the right type; the parts of the bar that need it are skipped\n";
    }
    return false;
}

void ManaBar::Update(float mana)
{
    if (!slider_ || mana == shown_mana_)
        return;
    const float v = std::min(mana, 100.0f);
    if (v <= DangerLevel && !danger_)
        WarningOn();
    else if (v > DangerLevel && danger_)
        WarningOff();

    const auto show = [this, alive = std::weak_ptr<int>(alive_)](float* value) {
        if (!alive.expired())
            SetShownMana(*value);
    };
    auto* count = new FloatNumberAnimation(shown_mana_, v, 0.5f, show);
    Run(count->GetTarget(), count, "NumberAnimation");

    // The count has not started yet: this compares with what the bar showed before.
    if (v < shown_mana_)
        Run(slider_, new AnimationAction(slider_, "game/mana_highlight.anim"), "Highlight");
}

void ManaBar::WarningOn()
{
    if (RunningLevel* level = Level())
        level->CheckManaDanger();
    ShellServices::Get().PlayDangerTheme();
    SetFrame(slider_, u"mana_fill_danger");
    auto* blink = new AnimationAction(slider_, "game/mana_danger.anim");
    blink->SetLoop(true);
    Run(slider_, blink, "DangerAnimation");
    if (label_) {
        label_->change_attribute(Atom("Color"), Vector3{1.0f, 0.3f, 0.3f});
        auto* pulse = new AnimationAction(label_, "game/mana_label_danger.anim");
        pulse->SetLoop(true);
        Run(label_, pulse, "LabelDangerAnimation");
    }
    danger_ = true;
}

void ManaBar::WarningOff()
{
    if (RunningLevel* level = Level())
        level->OnManaNotDanger();
    ShellServices::Get().PlayMainTheme();
    if (label_) {
        Stop(label_, "LabelDangerAnimation");
        label_->change_attribute(Atom("Color"), Vector3{1.0f, 1.0f, 1.0f});
        label_->change_attribute(Atom("Transparency"), 0.0);
        label_->set_scale(Vector3{1.0f, 1.0f, 1.0f});
    }
    Stop(slider_, "DangerAnimation");
    SetFrame(slider_, u"mana_fill");
    slider_->set_transparency(0.0f);
    danger_ = false;
}

void ManaBar::SetShownMana(float value)
{
    shown_mana_ = value;
    if (label_)
        label_->set_text_utf8(vadu::format("%d/100", static_cast<int>(std::trunc(value))), false);
    if (slider_)
        slider_->set_scale(Vector3{value / 100.0f, 1.0f, 1.0f});
}

void ManaBar::ShowPoints(int points)
{
    if (!slider_ || !points_label_)
        return;
    const bool infinite = points >= InfinitePoints;
    // A standing 8, turned a quarter and stretched, reads as the infinity sign.
    points_label_->set_rotation(Vector3{0.0f, 0.0f, infinite ? 1.57075f : 0.0f});
    points_label_->set_scale(infinite ? Vector3{1.0f, 1.35f, 1.0f} : Vector3{1.0f, 1.0f, 1.0f});
    points_label_->set_text_utf8(infinite ? vadu::String("8") : vadu::format("%d", points), false);
    if (points_bar_) {
        const float width = points_label_->get_width(points_label_->get_text());
        const float scale = ShellServices::Get().GetScale();
        points_bar_->set_scale(Vector3{width / (scale * 25.0f) + 0.5f, 1.0f, 1.0f});
    }
}

void ManaBar::ResetPoints()
{
    if (!enabled_)
        return;
    ActionManager::Global().StopActionsByTag(Atom("ManaPoints Animation"));
    ShowPoints(ShellServices::Get().GetPoints());
}

void ManaBar::UsePoints(int amount)
{
    if (!enabled_)
        return;
    ShellServices& shell = ShellServices::Get();
    const int points = shell.GetPoints();
    if (points < InfinitePoints) {
        const auto show = [this, alive = std::weak_ptr<int>(alive_)](int* value) {
            if (!alive.expired())
                ShowPoints(*value);
        };
        auto* count = new NumberAnimation(points, points - amount, 0.4f, show);
        Run(count->GetTarget(), count, "ManaPoints Animation");
        // The count only animates the label; the stock changes now.
        shell.SetPoints(points - amount);
    }
    if (RunningLevel* level = Level())
        level->AddMana(static_cast<float>(amount));
}

void ManaBar::FlyBottle(Node* source)
{
    if (!enabled_ || !source || !Require(bar_, "ManaBar"))
        return;
    const Vector3 from = source->get_global_position();
    Node* clone = source->clone();
    bar_->add_child(clone, true);
    clone->mark_transform_changed();
    clone->set_global_position(Vector3{from.x, from.y, 2.5f});

    const float s = ShellServices::Get().GetScale();
    auto* move = new MoveAction(clone, 1.0f, clone->get_position(), Vector3{140.0f * s, -35.0f * s, -0.1f});
    move->SetEasing(std::make_unique<EaseQuartInOut>());
    auto* highlight = new AnimationAction(clone, "monsters/monster_highlight.anim");
    // The fade owns the clone: it goes when the flight ends.
    auto* fade = new FadeAction(clone, 0.5f, 1);
    fade->SetOwnsTarget(true);
    Run(clone, new SequenceAction(move, highlight, fade), "move");

    if (Require(bottle_, "ManaBarBottle"))
        Run(bottle_, new SequenceAction(new DelayAction(1.0f), new AnimationAction(bottle_, "game/bottle.anim")),
            "bottle");
}

} // namespace gameplay
