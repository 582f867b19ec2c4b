#include "sources/gameplay/level_hud.h"

#include <algorithm>
#include <cmath>

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/format_thousands.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/monsters_bar.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/number_animation.h"
#include "sources/gameplay/shape.h"
#include "vadu/dictionary.h"
#include "vadu/font/text.h"

namespace gameplay {

using vadu::Atom;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Text;
using vadu::math::Vector3;

LevelHud::LevelHud(Node* hudRoot, const LevelSettings* settings) : root_(hudRoot), settings_(settings)
{
    InstanceRegistry::Register<LevelHud>(this);
    InstanceRegistry::Register<RunningHud>(this);
    mana_ = std::make_unique<ManaBar>(settings, hudRoot);
    monsters_ = std::make_unique<MonstersBar>(hudRoot, settings);
    shown_score_ = 0;
    if (hudRoot) {
        win_label_.reset(hudRoot->find_child(Atom("WinLabel"), true));
        lose_label_.reset(hudRoot->find_child(Atom("LoseLabel"), true));
        shuffle_label_ = hudRoot->find_child(Atom("ShuffleLabel"), true);
        log_label_ = hudRoot->find_child(Atom("LogLabel"), true);
    }
    score_label_ = FindText(hudRoot, Atom("score_label"));
    added_score_ = FindText(hudRoot, Atom("added_score"));
}

LevelHud::~LevelHud()
{
    InstanceRegistry::Unregister<RunningHud>(this);
    InstanceRegistry::Unregister<LevelHud>(this);
}

std::unique_ptr<LevelHud> LevelHud::Create(Node* hudRoot, const LevelSettings* settings)
{
    return std::make_unique<LevelHud>(hudRoot, settings);
}

float LevelHud::AddedScoreScale(int score)
{
    const float value = static_cast<float>(score);
    const float size = score < 150 ? value / 500.0f + 0.7f : value / 2000.0f + 1.0f;
    return std::min(size, 2.3f);
}

void LevelHud::OnScoreChanged(int score)
{
    std::weak_ptr<int> alive = alive_;
    const auto show = [this, alive](int* value) {
        if (!alive.expired())
            SetShownScore(*value);
    };
    auto* count = new NumberAnimation(shown_score_, score, 0.5f, show);
    count->SetOnFinish(show);
    count->SetEasing(std::make_unique<EaseSineOut>());
    ActionManager::Global().RunAction(count->GetTarget(), count, Atom("NumberAnimation"));
}

void LevelHud::SetShownScore(int value)
{
    if (value == shown_score_)
        return;
    shown_score_ = value;
    if (score_label_)
        score_label_->set_text_utf8(FormatThousands(value), false);
}

Text* LevelHud::CopyTemplate(const Atom& name)
{
    Text* source = FindText(root_, name);
    if (!source)
        return nullptr;
    Text* copy = AsText(source->duplicate());
    if (copy)
        copy->set_visible(true);
    return copy;
}

void LevelHud::ShowBonusText(const vadu::math::Vector2<float>& position, const vadu::String& text)
{
    Text* copy = CopyTemplate(Atom("BonusLabel"));
    if (!copy)
        return;
    copy->set_global_position(Vector3{position.x, position.y, FloatingTextDepth});
    copy->set_text_utf8(text, false);
    copy->set_max_width(400);
    copy->set_scale(Vector3{0.6f, 0.6f, 1.0f});
    copy->set_alignment(vadu::lib3d::node::CENTER);

    auto* rise = MoveAction::By(copy, 1.8f, Vector3{0.0f, 20.0f, 0.0f});
    auto* vanish = new GroupAction(copy, new ScaleAction(copy, 0.4f, copy->get_scale(), Vector3{0.8f, 0.8f, 1.0f}),
                                   new FadeAction(copy, 0.4f, 1), true);
    ActionManager::Global().RunAction(static_cast<Node*>(copy), new SequenceAction(rise, vanish),
                                      Atom("ScoreAnimation"));
}

void LevelHud::ShowAddedScore(const std::vector<Shape*>& chain, int score)
{
    std::vector<vadu::math::Vector2<float>> positions;
    positions.reserve(chain.size());
    for (const Shape* shape : chain) {
        if (shape)
            positions.push_back(shape->GetPosition());
    }
    ShowAddedScore(positions, score);
}

void LevelHud::ShowAddedScore(const std::vector<vadu::math::Vector2<float>>& positions, int score)
{
    Text* copy = CopyTemplate(Atom("added_score"));
    if (!copy)
        return;
    copy->set_text_utf8(vadu::format("+%i", score), false);
    const float s = AddedScoreScale(score);
    copy->set_scale(Vector3{s, s, s});
    vadu::math::Vector2<float> middle{0.0f, 0.0f};
    for (const auto& position : positions) {
        middle.x += position.x;
        middle.y += position.y;
    }
    if (!positions.empty()) {
        middle.x /= static_cast<float>(positions.size());
        middle.y /= static_cast<float>(positions.size());
    }
    const Vector3 at = FieldToScene(root_, middle);
    copy->set_global_position(Vector3{at.x, at.y, FloatingTextDepth});

    const float k = static_cast<float>(score) / 250.0f + 1.0f;
    auto* rise = MoveAction::By(copy, 0.8f, Vector3{0.0f, 20.0f, 0.0f});
    auto* vanish = new GroupAction(copy, new ScaleAction(copy, 0.2f, copy->get_scale(), Vector3{k, k, k}),
                                   new FadeAction(copy, 0.2f, 1), true);
    ActionManager::Global().RunAction(static_cast<Node*>(copy), new SequenceAction(rise, vanish),
                                      Atom("ScoreAnimation"));
}

float LevelHud::ClearOfChainScores(const Vector3& at) const
{
    // The tap is one of the chain's shapes, so the combo would stand on the chain's own
    // score, and two labels drawn over each other read as neither. The combo starts under
    // every score still rising near it: by the time its own rise begins in earnest the
    // scores have faded.
    constexpr float ComboHalfHeight = 26.0f;
    constexpr float ScoreHalfHeight = 16.0f;
    constexpr float Reach = 150.0f;
    Text* source = FindText(root_, Atom("added_score"));
    Node* parent = source != nullptr ? source->get_parent() : nullptr;
    float y = at.y;
    if (parent == nullptr)
        return y;
    for (Node* child : parent->get_children()) {
        if (child == source || !child->is_visible() || child->get_name() != source->get_name())
            continue;
        const Vector3 score = child->get_global_position();
        const float clear = ComboHalfHeight + ScoreHalfHeight * child->get_scale().y;
        if (std::fabs(score.x - at.x) < Reach && std::fabs(score.y - y) < clear)
            y = score.y - clear;
    }
    return y;
}

void LevelHud::ShowCombo(int combo, const vadu::math::Vector2<float>& position)
{
    Text* copy = CopyTemplate(Atom("BonusLabel"));
    if (!copy)
        return;
    copy->set_alignment(vadu::lib3d::node::CENTER);
    vadu::WString text = vadu::lookup_text("combo");
    text += u" x";
    text.append_narrow(vadu::format("%d", combo));
    copy->set_text(text, false);
    const Vector3 at = FieldToScene(root_, position);
    copy->set_global_position(Vector3{at.x, ClearOfChainScores(at), FloatingTextDepth});

    auto* rise = MoveAction::By(copy, 2.5f, Vector3{0.0f, 80.0f, 0.0f});
    rise->SetEasing(std::make_unique<EaseSineIn>());
    auto* group = new GroupAction(copy, new SequenceAction(new DelayAction(0.5f), rise),
                                  new AnimationAction(copy, "game/level_end.anim"), true);
    ActionManager::Global().RunAction(static_cast<Node*>(copy), group, Atom("ComboAnimation"));
}

bool LevelHud::HasBottle() const { return mana_->IsEnabled(); }

void LevelHud::FlyBottle(Node* node) { mana_->FlyBottle(node); }

void LevelHud::UsePoints(int amount) { mana_->UsePoints(amount); }

void LevelHud::ResetPoints() { mana_->ResetPoints(); }

void LevelHud::ReduceMonster(StarredMonster& monster) { monsters_->ReduceMonster(monster); }

int LevelHud::StarsCollected() const { return monsters_->Collected(); }

bool LevelHud::CountsStars() const { return monsters_->IsEnabled(); }

const std::vector<int>& LevelHud::StarColours() const { return monsters_->Colours(); }

} // namespace gameplay
