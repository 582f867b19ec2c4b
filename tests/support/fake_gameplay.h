#pragma once

// Stand-ins for the game shell, the running level and its HUD, for gameplay and
// achievement tests. The level has a real world, link graph, chain history and settings;
// everything else is recorded. Each fake installs or registers itself while it lives.

#include <memory>
#include <string>
#include <vector>

#include "physics/world.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shape_chain.h"
#include "sources/gameplay/shell_services.h"

namespace gameplay_fakes {

// The default shell that also notes what gameplay asked of it.
class FakeShell : public gameplay::DefaultShellServices {
public:
    FakeShell() { gameplay::ShellServices::Install(this); }
    ~FakeShell() override { gameplay::ShellServices::Install(nullptr); }

    float GetScale() const override { return scale; }
    float GetWideMargin() const override { return wideMargin; }
    float GetWideExtra() const override { return wideExtra; }

    void Play(gameplay::SoundId id) override { sounds.push_back(id); }
    void PlayDangerTheme() override { events.push_back("PlayDangerTheme"); }
    void PlayMainTheme() override { events.push_back("PlayMainTheme"); }
    void OnLevelStep(const gameplay::ShapeChain&) override { events.push_back("OnLevelStep"); }
    void ChainCollected(const std::vector<gameplay::Shape*>& chain) override
    {
        events.push_back("ChainCollected " + std::to_string(chain.size()));
    }
    void UnderwaterChainCollected(int size) override
    {
        events.push_back("UnderwaterChainCollected " + std::to_string(size));
    }
    void StarCollected(gameplay::StarredMonster&) override { events.push_back("StarCollected"); }
    void StarLost(gameplay::StarredMonster&) override { events.push_back("StarLost"); }
    void ShapeLeft(gameplay::Shape&) override { events.push_back("ShapeLeft"); }
    void RockLeft(gameplay::Shape&) override { events.push_back("RockLeft"); }
    void FishReached(gameplay::Shape&) override { events.push_back("FishReached"); }
    void FishNear(gameplay::Shape&) override { events.push_back("FishNear"); }

    float scale = 1.0f;
    float wideMargin = 0.0f;
    float wideExtra = 0.0f;
    std::vector<gameplay::SoundId> sounds;
    std::vector<std::string> events;
};

class FakeHud : public gameplay::RunningHud {
public:
    struct Combo {
        int combo;
        vadu::math::Vector2<float> position;
    };

    FakeHud() { gameplay::InstanceRegistry::Register<gameplay::RunningHud>(this); }
    ~FakeHud() override { gameplay::InstanceRegistry::Unregister<gameplay::RunningHud>(this); }

    void ShowCombo(int combo, const vadu::math::Vector2<float>& position) override
    {
        combos.push_back({combo, position});
    }
    void ShowBonusText(const vadu::math::Vector2<float>&, const vadu::String&) override { ++bonusTexts; }
    bool HasBottle() const override { return bottle; }
    void FlyBottle(vadu::lib3d::node::Node*) override { ++flownBottles; }
    void UsePoints(int amount) override { usedPoints.push_back(amount); }
    void ResetPoints() override { ++pointResets; }
    void ReduceMonster(gameplay::StarredMonster&) override
    {
        if (countsStars)
            ++stars;
    }
    int StarsCollected() const override { return stars; }
    bool CountsStars() const override { return countsStars; }
    const std::vector<int>& StarColours() const override { return starColours; }

    std::vector<Combo> combos;
    int bonusTexts = 0;
    bool bottle = true;
    int flownBottles = 0;
    std::vector<int> usedPoints;
    int pointResets = 0;
    int stars = 0;
    bool countsStars = true;
    std::vector<int> starColours;
};

class FakeLevel : public gameplay::RunningLevel {
public:
    FakeLevel() : world(std::make_unique<physics::World>()), chain(this)
    {
        gameplay::InstanceRegistry::Register<gameplay::RunningLevel>(this);
        gameplay::LinkGraph::SetGlobal(&links);
    }
    ~FakeLevel() override
    {
        // Shapes drop their links before their bodies go; joints go before the world.
        links.ReleaseJoints();
        shapes.clear();
        gameplay::InstanceRegistry::Unregister<gameplay::RunningLevel>(this);
    }

    // Takes the shape into the level's list; returns it for chaining.
    template <typename T>
    T* Add(std::unique_ptr<T> shape)
    {
        T* raw = shape.get();
        owned.push_back(std::move(shape));
        shapes.push_back(raw);
        return raw;
    }

    gameplay::LevelSettings& Settings() override { return settings; }
    gameplay::LevelProfile* Record() override { return nullptr; }
    physics::World* World() override { return world.get(); }
    vadu::lib3d::node::Node* SceneRoot() override { return sceneRoot; }
    gameplay::ShapeList& Shapes() override { return shapes; }
    gameplay::ShapeChain& Chain() override { return chain; }
    gameplay::LinkGraph& Links() override { return links; }
    gameplay::RunningHud* Hud() override { return gameplay::InstanceRegistry::Get<gameplay::RunningHud>(); }
    float Mana() const override { return mana; }
    int Score() const override { return score; }
    float LevelTime() const override { return levelTime; }
    bool IsInputEnabled() const override { return inputEnabled; }
    void SetInputEnabled(bool enabled) override { inputEnabled = enabled; }
    bool IsEnded() const override { return ended; }
    bool IsLost() const override { return lost; }
    void AddMana(float amount) override
    {
        manaAdded.push_back(amount);
        mana += amount;
    }
    void StartGameOver() override
    {
        ++gameOvers;
        ended = true;
        lost = true;
    }
    void CheckManaDanger() override {}
    void OnManaNotDanger() override {}
    void CollectChain(std::vector<gameplay::Shape*>& collected, gameplay::Shape*) override
    {
        chains.push_back(collected);
    }
    void NextStep(gameplay::ShapeChain&) override { ++steps; }

    gameplay::LevelSettings settings;
    // Declared before the shapes, so it outlives them.
    std::unique_ptr<physics::World> world;
    gameplay::LinkGraph links;
    std::vector<std::unique_ptr<gameplay::Shape>> owned;
    gameplay::ShapeList shapes;
    gameplay::ShapeChain chain;
    vadu::lib3d::node::Node* sceneRoot = nullptr;
    float mana = 50.0f;
    int score = 0;
    float levelTime = 0.0f;
    bool inputEnabled = true;
    bool ended = false;
    bool lost = false;
    int gameOvers = 0;
    int steps = 0;
    std::vector<float> manaAdded;
    std::vector<std::vector<gameplay::Shape*>> chains;
};

} // namespace gameplay_fakes
