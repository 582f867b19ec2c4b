#include "sources/gameplay/tutorial.h"

#include <string>
#include <vector>

#include "game/controls/button.h"
#include "game/screen.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "vadu/converter.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"
#include "vadu/xml_document.h"

namespace gameplay {

namespace {

using vadu::lib3d::node::Node;
using XmlNode = vadu::xml::parser::Node;

const vadu::Atom& ShowTag()
{
    static const vadu::Atom tag("ShowTutorialHint");
    return tag;
}
const vadu::Atom& HideTag()
{
    static const vadu::Atom tag("HideTutorialHint");
    return tag;
}
const vadu::Atom& FastAppearTag()
{
    static const vadu::Atom tag("Fast Appear");
    return tag;
}
const vadu::Atom& ShowAndHideTag()
{
    static const vadu::Atom tag("ShowHintAndHidePrevious");
    return tag;
}

bool IsVisible(const TutorialHint& hint)
{
    const Node* scene = hint.Scene();
    return scene && scene->is_visible();
}

void FadeIn(Node* node, const vadu::Atom& tag)
{
    if (node)
        ActionManager::Global().RunAction(node, new FadeAction(node, Tutorial::FadeTime, 0), tag);
}

void FadeOut(Node* node, const vadu::Atom& tag)
{
    if (node)
        ActionManager::Global().RunAction(node, new FadeAction(node, Tutorial::FadeTime, 1), tag);
}

// A bool attribute; a word the converter does not know leaves the default and is logged.
void ReadBool(const XmlNode& element, const char* name, bool& value, const vadu::String& path)
{
    const vadu::String text = element.get_attribute(name);
    if (text.empty())
        return;
    if (!vadu::converter::convert(text, &value))
        vadu::logs::log() << "Tutorial: \"" << text.c_str() << "\" is not a bool for \"" << name << "\" in "
                          << path.c_str() << ", the default is kept\n";
}

void ReadFloat(const XmlNode& element, const char* name, float& value, const vadu::String& path)
{
    const vadu::String text = element.get_attribute(name);
    if (text.empty())
        return;
    if (!vadu::converter::convert(text, &value))
        vadu::logs::log() << "Tutorial: \"" << text.c_str() << "\" is not a number for \"" << name << "\" in "
                          << path.c_str() << ", the default is kept\n";
}

} // namespace

TutorialHint::~TutorialHint()
{
    delete Scene();
}

Tutorial::Tutorial(Node* parent, game::Screen& screen) : current(hints.end()), parent_(parent), screen_(&screen)
{
    auto button = std::make_unique<game::controls::Button>();
    button_ = button.get();
    // The screen's control-added listeners (its pointer input among them) hear of it here.
    screen.AddControl(std::move(button));
    button_->GetButtonImpl()->SetEnabled(false);
    // A click on the bubble is the hint's, not the game's.
    button_->GetButtonImpl()->SetConsumesClick(true);
}

Tutorial::~Tutorial()
{
    // The button belongs to the screen, which outlives the script: a click after this
    // must not find a callback into it.
    Disconnect();
    button_->GetButtonImpl()->SetEnabled(false);
    screen_->RemoveControl(button_);
    button_ = nullptr;
}

void Tutorial::Disconnect()
{
    if (connected_ && button_)
        button_->GetButtonImpl()->GetClickSignal().Disconnect(clickConnection_);
    connected_ = false;
    clickConnection_ = 0;
}

std::unique_ptr<Tutorial> Tutorial::Load(const vadu::String& name, Node* parent, game::Screen& screen)
{
    const vadu::String path = vadu::String("data/tutorials/") + name + ".tutorial";
    const vadu::filesystem::String file(path, true);
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(file);
    if (!stream)
        return nullptr;
    std::vector<char> buffer(stream->get_size());
    const uint32_t read = buffer.empty() ? 0 : stream->read(buffer.data(), static_cast<uint32_t>(buffer.size()));
    buffer.resize(read);
    stream.reset();

    const vadu::xml::parser::Document document(buffer.data(), buffer.size());
    if (document.get_root().is_null()) {
        // A script that does not parse teaches nothing; the level plays on without it.
        vadu::logs::log() << "Tutorial: " << path.c_str() << " does not parse (" << document.get_error().c_str()
                          << "), the level has no tutorial\n";
        return nullptr;
    }

    auto tutorial = std::make_unique<Tutorial>(parent, screen);
    for (const XmlNode& element : document.get_root().get_children("Hint")) {
        auto hint = std::make_unique<TutorialHint>();
        const vadu::String scene = element.get_attribute("Scene");
        if (!scene.empty()) {
            Node* node = vadu::lib3d::node::create_from_resource(vadu::Atom("TutorialHint"), parent,
                                                                 vadu::filesystem::String(scene, true));
            node->set_visible(false);
            hint->SetScene(node);
        }
        ReadBool(element, "DisableOnEndlessMana", hint->disableOnEndlessMana, path);
        ReadFloat(element, "MinimumTime", hint->minimumTime, path);
        ReadBool(element, "FastAppear", hint->fastAppear, path);
        ReadBool(element, "DisableGameActions", hint->disableGameActions, path);
        const XmlNode show = element.find_child("ShowAction");
        if (!show.is_null())
            hint->showCondition = ReadCondition(show);
        const XmlNode hide = element.find_child("HideAction");
        if (!hide.is_null())
            hint->hideCondition = ReadCondition(hide);
        tutorial->hints.push_back(std::move(hint));
    }
    tutorial->current = tutorial->hints.begin();
    return tutorial;
}

std::unique_ptr<TutorialCondition> Tutorial::ReadCondition(const XmlNode& element)
{
    const vadu::String value = element.get_attribute("Value");
    std::unique_ptr<TutorialCondition> condition;
    if (value == "StartLevel") {
        condition = std::make_unique<StartLevelCondition>();
    } else if (value == "FinishLevel") {
        condition = std::make_unique<FinishLevelCondition>();
    } else if (value == "PreviousHintHide" || value == "Any") {
        condition = std::make_unique<AlwaysCondition>();
    } else if (value == "CollectMonster") {
        int colour = -1;
        const vadu::String text = element.get_attribute("Color");
        if (!text.empty() && !vadu::converter::convert(text, &colour))
            colour = -1;
        condition = std::make_unique<CollectMonsterCondition>(colour);
    } else if (value == "CreateMonster") {
        condition = std::make_unique<CreateMonsterCondition>();
    } else if (value == "ShapesCollectedForMonster") {
        condition = std::make_unique<ShapesCollectedForMonsterCondition>();
    } else if (value == "AfterStepsCount") {
        int steps = 0;
        const vadu::String text = element.get_attribute("StepsCount");
        if (!vadu::converter::convert(text, &steps)) {
            steps = 0;
            vadu::logs::log() << "Tutorial: \"AfterStepsCount\" without a usable \"StepsCount\" (\"" << text.c_str()
                              << "\"), it holds from the first turn\n";
        }
        condition = std::make_unique<AfterStepsCountCondition>(steps);
    } else if (value == "ManaDanger") {
        condition = std::make_unique<ManaDangerCondition>();
    } else {
        condition = std::make_unique<NamedEventCondition>();
    }
    condition->name = vadu::Atom(value);
    return condition;
}

TutorialHint* Tutorial::CurrentHint() const
{
    return current == hints.end() ? nullptr : current->get();
}

bool Tutorial::DisablesGameActions() const
{
    const TutorialHint* hint = CurrentHint();
    return hint && hintShowing && hint->disableGameActions;
}

void Tutorial::OnEvent(const ShapeChain& history)
{
    if (current == hints.end()) {
        finished = true;
        return;
    }
    TutorialHint& hint = **current;
    if (hint.showCondition && hint.showCondition->Check(history) && hint.notShownYet) {
        ShowHint(hint, true);
        return;
    }
    if (clock - hint.shownAt < hint.minimumTime)
        return;
    if (hint.hideCondition && hint.hideCondition->Check(history) && !hint.notShownYet) {
        ++current;
        TutorialHint* next = CurrentHint();
        Pass(hint, next && next->showCondition && next->showCondition->Check(history));
    }
}

void Tutorial::OnNamedEvent(const vadu::Atom& name)
{
    if (current == hints.end()) {
        finished = true;
        return;
    }
    TutorialHint& hint = **current;
    if (hint.showCondition && hint.showCondition->name == name && hint.notShownYet) {
        ShowHint(hint, true);
        return;
    }
    if (hint.hideCondition && hint.hideCondition->name == name && !hint.notShownYet) {
        ++current;
        TutorialHint* next = CurrentHint();
        Pass(hint, next && next->showCondition && next->showCondition->name == name);
    }
}

void Tutorial::Pass(TutorialHint& hint, bool nextShows)
{
    if (nextShows)
        ShowHintAndHidePrevious(hint, **current);
    else
        HideHint(hint);
}

void Tutorial::ShowHint(TutorialHint& hint, bool withFade)
{
    if (hint.disableOnEndlessMana && ShellServices::Get().GetPoints() >= EndlessManaPoints) {
        if (current != hints.end()) {
            if (Node* scene = (*current)->Scene())
                scene->set_visible(false);
            ++current;
        }
        return;
    }
    if (withFade)
        FadeIn(hint.Scene(), ShowTag());
    hint.notShownYet = false;
    hint.shownAt = clock;
    hintShowing = true;

    if (Node* scene = hint.Scene()) {
        TutorialNode* frame = AsTutorialNode(scene->find_child(vadu::Atom("Frame"), true));
        if (frame && frame->CornerLB()) {
            const vadu::math::Vector3 corner = frame->CornerLB()->get_global_position();
            button_->GetButtonImpl()->SetRectangle(corner.x, corner.y, frame->GetWidth(), frame->GetHeight());
        }
    }
    Disconnect();
    TutorialHint* shown = &hint;
    clickConnection_ =
        button_->GetButtonImpl()->GetClickSignal().Connect([this, shown](game::controls::Control*) { HideHint(*shown); });
    connected_ = true;
    button_->GetButtonImpl()->SetEnabled(true);
}

void Tutorial::HideHint(TutorialHint& hint)
{
    if (Node* scene = hint.Scene()) {
        // A fade-in that has not started yet would bring the hidden hint back.
        ActionManager& manager = ActionManager::Global();
        if (BaseAnimation* pending = manager.FindAction(scene, ShowTag()); pending && !pending->IsStarted())
            manager.StopAction(scene, ShowTag());
        if (scene->is_visible())
            FadeOut(scene, HideTag());
    }
    button_->GetButtonImpl()->SetEnabled(false);
    hintShowing = false;
}

void Tutorial::ShowHintAndHidePrevious(TutorialHint& previous, TutorialHint& next)
{
    if (next.fastAppear) {
        if (IsVisible(previous))
            FadeOut(previous.Scene(), FastAppearTag());
        if (Node* scene = next.Scene())
            scene->set_visible(true);
    } else if (IsVisible(previous) && next.Scene()) {
        auto* sequence = new SequenceAction(new FadeAction(previous.Scene(), FadeTime, 1),
                                            new FadeAction(next.Scene(), FadeTime, 0));
        ActionManager::Global().RunAction(sequence->GetTarget(), sequence, ShowAndHideTag());
    } else if (IsVisible(previous)) {
        FadeOut(previous.Scene(), ShowAndHideTag());
    } else {
        FadeIn(next.Scene(), ShowAndHideTag());
    }
    ShowHint(next, false);
}

void Tutorial::Abort()
{
    if (TutorialHint* hint = CurrentHint(); hint && !hint->notShownYet)
        HideHint(*hint);
    current = hints.end();
    finished = true;
}

TutorialNode* AsTutorialNode(Node* node)
{
    if (!node || !(node->get_type_name() == TutorialNode::TypeName()))
        return nullptr;
    return dynamic_cast<TutorialNode*>(node);
}

} // namespace gameplay
