#include "sources/Screens/rollout_control.h"

#include "game/controls/button.h"
#include "game/screen.h"
#include "sources/gameplay/actions.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/node.h"

using vadu::lib3d::node::Node;

RolloutControl::RolloutControl(game::ScreenSite* site_, const vadu::Atom& buttonName, const vadu::Atom& panelName,
                               const vadu::math::Vector3& closed, const vadu::math::Vector3& open)
    : site(site_), closedPosition(closed), openPosition(open)
{
    game::controls::Control* control = site && site->GetScreen() ? site->GetScreen()->FindControl(buttonName) : nullptr;
    button = game::controls::as_button(control);
    if (!button)
        throw vadu::Gluck("RolloutControl::RolloutControl", "Unable to find key " + buttonName.get_name());
    connection = button->GetClickSignal().Connect([this](game::controls::Control*) { Toggle(); });

    Node* root = site->GetSceneRoot();
    if (root) {
        buttonNode = root->find_child(vadu::Atom(control->GetNodeName()), true);
        panel = root->find_child(panelName, true);
    }
    if (panel)
        panel->set_position(closedPosition);
    if (buttonNode && buttonNode->get_child_count() > 0)
        arrow = buttonNode->get_children().front();
}

RolloutControl::~RolloutControl()
{
    // The screen destroys its backend, and with it this control, before its controls.
    if (button)
        button->GetClickSignal().Disconnect(connection);
}

void RolloutControl::Toggle()
{
    isOpen = !isOpen;
    if (panel) {
        auto* move = new MoveAction(panel, kDuration, panel->get_position(), isOpen ? openPosition : closedPosition);
        if (isOpen)
            move->SetEasing(std::make_unique<EaseSineOut>());
        else
            move->SetEasing(std::make_unique<EaseSineIn>());
        auto* fade = new FadeAction(panel, kDuration, isOpen ? 0 : 1);
        auto group = std::make_unique<GroupAction>(panel, move, fade);
        // Whoever runs an action starts it; the group does not start its children.
        group->Start();
        move->Start();
        fade->Start();
        slideAction = std::move(group);
    }
    if (arrow) {
        auto turn = std::make_unique<RotateAction>(arrow, kDuration, arrow->get_rotation().z, isOpen ? kOpenAngle : 0.0f);
        turn->SetEasing(std::make_unique<EaseSineInOut>());
        turn->Start();
        arrowAction = std::move(turn);
    }
}

void RolloutControl::Update(float dt)
{
    for (std::unique_ptr<BaseAnimation>* action : {&slideAction, &arrowAction}) {
        if (!*action)
            continue;
        (*action)->Update(dt);
        if ((*action)->IsFinished())
            action->reset();
    }
}
