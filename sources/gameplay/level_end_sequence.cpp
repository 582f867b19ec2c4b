#include "sources/gameplay/level_end_sequence.h"

#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/level.h"
#include "sources/gameplay/node_helpers.h"
#include "vadu/font/text.h"
#include "vadu/converter.h"
#include "vadu/lib3d/node/node.h"

namespace gameplay {

namespace {

constexpr float Pause = 1.0f;
constexpr const char* EndAnimation = "game/level_end.anim";

vadu::lib3d::node::Node* FindLabel(Level& level, const char* name)
{
    vadu::lib3d::node::Node* root = level.SceneRoot();
    return root != nullptr ? root->find_child(vadu::Atom(name), true) : nullptr;
}

// The label shown with its animation; the animation owns it (the HUD holds it weakly).
BaseAnimation* ShowLabel(Level& level, const char* name)
{
    vadu::lib3d::node::Node* label = FindLabel(level, name);
    if (label == nullptr)
        return new DelayAction(0.0f);
    label->set_visible(true);
    return new AnimationAction(label, EndAnimation, true);
}

// The template's text is the prefix.
void AppendText(vadu::lib3d::node::Node& node, int value)
{
    vadu::lib3d::node::Text* text = AsText(&node);
    if (text == nullptr)
        return;
    char digits[24];
    const int length = vadu::converter::print_int(digits, value);
    vadu::WString shown = text->get_text();
    for (int i = 0; i < length; ++i) {
        const char16_t c = static_cast<char16_t>(digits[i]);
        shown += vadu::WString(&c, &c + 1);
    }
    text->set_text(shown, false);
}

} // namespace

void LevelEndSequence::Finish()
{
    level_.OnLevelEnd();
}

void BonusStep::Start()
{
    int live = 0;
    for (Shape* shape : level_.Shapes()) {
        if (shape->GetKind() != ShapeKind::Starred || shape->IsDead())
            continue;
        if (live++ != index_)
            continue;
        level_.AddScore(Bonus);
        vadu::lib3d::node::Node* label = FindLabel(level_, "BonusLabel");
        if (label == nullptr)
            return;
        vadu::lib3d::node::Node* copy = label->duplicate();
        copy->set_visible(true);
        vadu::math::Vector3 at = level_.FieldToScene(shape->GetPosition());
        at.z = FloatingTextDepth;
        copy->set_global_position(at);
        AppendText(*copy, Bonus);
        auto* rise = MoveAction::By(copy, 2.5f, {0.0f, 70.0f, 0.0f});
        rise->SetEasing(new EaseSineIn());
        auto* floating = new GroupAction(copy, new SequenceAction(new DelayAction(0.5f), rise),
                                         new AnimationAction(copy, EndAnimation), true);
        ActionManager::Global().RunAction(copy, floating, vadu::Atom("BonusAnimation"));
        return;
    }
}

void CollectStep::Start()
{
    Shape* highest = nullptr;
    for (Shape* shape : level_.Shapes()) {
        if (shape->GetKind() != ShapeKind::Monster || shape->IsDead())
            continue;
        if (highest == nullptr || shape->GetPosition().y > highest->GetPosition().y)
            highest = shape;
    }
    if (highest == nullptr)
        return;
    std::vector<Shape*> group = ShapeList::Collect(*highest);
    level_.CollectChain(group, nullptr);
}

LevelEndSequence* WinLabelAnimation(Level& level)
{
    level.SetInputEnabled(false);
    auto* sequence = new LevelEndSequence(level);
    sequence->Add(new DelayAction(Pause));
    sequence->Add(ShowLabel(level, "WinLabel"));
    int index = 0;
    for (Shape* shape : level.Shapes()) {
        if (shape->GetKind() == ShapeKind::Starred && !shape->IsDead())
            sequence->Add(new BonusStep(level, index++));
    }
    sequence->Add(new DelayAction(Pause));
    for (Shape* shape : level.Shapes()) {
        if (!shape->IsDead())
            sequence->Add(new CollectStep(level));
    }
    return sequence;
}

LevelEndSequence* LoseLabelAnimation(Level& level)
{
    level.SetInputEnabled(false);
    auto* sequence = new LevelEndSequence(level);
    sequence->Add(new DelayAction(Pause));
    sequence->Add(ShowLabel(level, "LoseLabel"));
    sequence->Add(new DelayAction(Pause));
    return sequence;
}

} // namespace gameplay
