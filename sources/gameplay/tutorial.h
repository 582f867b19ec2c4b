#pragma once

// A level's tutorial: a script of hints shown one after another, each a small scene (a
// speech bubble, an arrow, a spotlight) that fades in when its show condition holds and
// goes when its hide condition holds. While a hint shows, an invisible button over its
// bubble hides it on a click.
//
// The level owns at most one script: it feeds it its turn history (at the start, after
// every turn, and on taps while a shown hint disables game actions), named events
// ("ManaNotDanger", "OnClickBottle"), advances `clock` while a hint is current, and calls
// Abort when it ends.

#include <list>
#include <memory>

#include "sources/gameplay/tutorial_condition.h"
#include "vadu/atom.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

namespace game {
class Screen;
namespace controls {
class Button;
}
} // namespace game

namespace vadu::xml::parser {
class Node;
}

namespace gameplay {

class ShapeChain;
class TutorialNode;

class TutorialHint {
public:
    TutorialHint() = default;
    TutorialHint(const TutorialHint&) = delete;
    TutorialHint& operator=(const TutorialHint&) = delete;
    // Deletes the scene unless its parent took it down already.
    ~TutorialHint();

    // Null once the scene is gone.
    vadu::lib3d::node::Node* Scene() const { return static_cast<vadu::lib3d::node::Node*>(scene.get()); }
    void SetScene(vadu::lib3d::node::Node* node) { scene.assign(node); }

    // Owned; a weak pointer because the parent it was loaded under may go first.
    vadu::WeakPtr scene;
    std::unique_ptr<TutorialCondition> showCondition;
    std::unique_ptr<TutorialCondition> hideCondition;
    bool notShownYet = true;
    float shownAt = 0.0f;
    bool fastAppear = false;
    float minimumTime = 0.0f;
    bool disableOnEndlessMana = false;
    bool disableGameActions = false;
};

class Tutorial {
public:
    using HintList = std::list<std::unique_ptr<TutorialHint>>;

    // Points from which the player has endless mana.
    static constexpr int EndlessManaPoints = 100000;
    // Seconds of every hint fade.
    static constexpr float FadeTime = 0.5f;

    // Adds the click catcher to the screen, disabled.
    Tutorial(vadu::lib3d::node::Node* parent, game::Screen& screen);
    Tutorial(const Tutorial&) = delete;
    Tutorial& operator=(const Tutorial&) = delete;
    // Takes the click catcher out of the screen, so no click reaches a dead script.
    ~Tutorial();

    // "data/tutorials/" + name + ".tutorial"; null when the file cannot be opened. A hint
    // scene that does not load raises the scene loader's vadu::GluckBadResource, and a
    // file that does not parse raises vadu::GluckBadResource.
    static std::unique_ptr<Tutorial> Load(const vadu::String& name, vadu::lib3d::node::Node* parent,
                                          game::Screen& screen);
    // A "ShowAction" or "HideAction" element to its condition (named by its "Value").
    static std::unique_ptr<TutorialCondition> ReadCondition(const vadu::xml::parser::Node& element);

    void OnEvent(const ShapeChain& history);
    void OnNamedEvent(const vadu::Atom& name);
    void ShowHint(TutorialHint& hint, bool withFade);
    void HideHint(TutorialHint& hint);
    void ShowHintAndHidePrevious(TutorialHint& previous, TutorialHint& next);
    // The level's end: hides the current hint when it was shown, runs out and finishes.
    void Abort();

    // The current hint; null once the script has run out.
    TutorialHint* CurrentHint() const;
    // A hint shows now that keeps taps from the game.
    bool DisablesGameActions() const;
    game::controls::Button* GetButton() const { return button_; }
    game::Screen* GetScreen() const { return screen_; }
    vadu::lib3d::node::Node* GetParent() const { return parent_; }

    HintList hints;
    HintList::iterator current;
    bool finished = false;
    bool isManaDanger = false;
    bool hintShowing = false;
    float clock = 0.0f;

private:
    // Moves on after a hint whose hide condition held.
    void Pass(TutorialHint& hint, bool nextShows);
    void Disconnect();

    vadu::lib3d::node::Node* parent_;
    game::Screen* screen_;
    game::controls::Button* button_ = nullptr;
    unsigned clickConnection_ = 0;
    bool connected_ = false;
};

// The node as a TutorialNode when its type name is "TutorialNode"; else null.
TutorialNode* AsTutorialNode(vadu::lib3d::node::Node* node);

} // namespace gameplay
