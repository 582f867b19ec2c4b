#pragma once

// One running level: the shapes in the physics world, the links between them, the cannons
// that refill the field, the fish, the score and the mana. The in-level screen loads it,
// starts it once over its scene root, updates it every frame it is not paused and destroys
// it when it goes. The level reads the pointer itself: a release of the left button on a
// linked group collects it. It ends in a finish or a game over, runs its end sequence and
// then reports to the screen through the end handler.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "game/signal.h"
#include "sources/gameplay/cannon.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/observed_value.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shape_chain.h"
#include "vadu/input.h"

namespace game {
class Screen;
}

namespace gameplay {

class Decorations;
class Fish;
class LevelHud;
class Tutorial;

class Level : public RunningLevel, public vadu::input::Listener {
public:
    static constexpr float LinkDistance = 85.0f;
    static constexpr int LightningStep = 2500;
    static constexpr float StarManaBonus = 10.0f;
    static constexpr int EndlessManaPoints = 100000;
    static constexpr float NearestBonusLimit = 10000.0f;
    static constexpr float MaxGrownChance = 0.2f;

    // Loads "data/main.world"; registers as the running level and its link graph as global.
    Level();
    ~Level() override;
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

    void on_event(vadu::input::Event& event) override { OnInput(event); }

    virtual void OnInput(vadu::input::Event& event);
    virtual void SpawnShapes();
    virtual void OnFishTap(float x, float y);
    // Builds the level's scene under the root (HUD, decorations, tutorial) and starts play.
    // The screen serves the tutorial; without one the level has none.
    virtual void Start(vadu::lib3d::node::Node* sceneRoot, game::Screen* screen);
    virtual void Update(float dt);
    void CollectChain(std::vector<Shape*>& chain, Shape* tapped) override;
    void NextStep(ShapeChain& chain) override;

    // A tap at axis values (-1..1 each) of the pointer, as a released left button; nothing
    // without a screen to take the pointer through.
    void TapAxes(float axisX, float axisY);
    // The play-area point under the pointer at those axes: through the screen's camera, as
    // the controls take it, into the shapes' layer, so that a tap lands on what is drawn
    // under it. None before the level has a screen and a scene.
    std::optional<vadu::math::Vector2<float>> FieldPoint(float axisX, float axisY) const;
    // A tap at a play-area point.
    void Tap(const vadu::math::Vector2<float>& point);

    // RunningLevel.
    LevelSettings& Settings() override { return settings; }
    LevelProfile* Record() override { return record_; }
    physics::World* World() override { return world_.get(); }
    vadu::lib3d::node::Node* SceneRoot() override { return scene_root_; }
    ShapeList& Shapes() override { return shapes; }
    ShapeChain& Chain() override { return chain_; }
    LinkGraph& Links() override { return links_; }
    RunningHud* Hud() override;
    float Mana() const override { return mana_.Get(); }
    int Score() const override { return score_.Get(); }
    float LevelTime() const override { return level_time_; }
    bool IsInputEnabled() const override { return input_enabled_; }
    void SetInputEnabled(bool enabled) override { input_enabled_ = enabled; }
    bool IsEnded() const override { return ended_; }
    bool IsLost() const override { return lost_; }
    void AddMana(float amount) override;
    void StartGameOver() override;
    void CheckManaDanger() override;
    void OnManaNotDanger() override;

    void ChargeTap();
    void SpawnLightningBonus(ShapeChain& chain);
    void CreateStarredMonster(Shape* tapped, std::vector<Shape*>& chain);
    void StartFinish();
    // The end sequence is over: records the result, then calls the end handler.
    void OnLevelEnd();
    void UpdateLinks();
    int ScoreChain(const std::vector<Shape*>& chain) const;
    static std::vector<Shape*> FindStarred(const std::vector<Shape*>& chain);
    void ApplyGravity();
    // Sets the mana and refreshes the mana display (the store's endless mana, the bottle).
    void SetMana(float mana);
    // Adds to the score and tells its display.
    void AddScore(int points);

    // Called with (score, won) when the end sequence is over.
    std::function<void(int, bool)> endHandler;

    void SetRecord(LevelProfile* record) { record_ = record; }
    void SetDecorations(std::unique_ptr<Decorations> decorations);
    Decorations* GetDecorations() const noexcept { return decorations_.get(); }
    LevelHud* GetLevelHud() const noexcept { return hud_.get(); }
    Tutorial* GetTutorial() const noexcept { return tutorial_.get(); }
    CannonSet* GetCannonSet() const noexcept { return cannon_set_.get(); }
    const std::vector<std::unique_ptr<Fish>>& GetFish() const noexcept { return fish_; }
    int GetFishCountdown() const noexcept { return fish_countdown_; }
    int GetLightningThreshold() const noexcept { return lightning_threshold_; }
    // Milliseconds the last update spent in the world's step (the level bench reads it).
    double GetLastStepMilliseconds() const noexcept { return last_step_ms_; }
    ObservedValue<int>& ScoreValue() noexcept { return score_; }
    ObservedValue<float>& ManaValue() noexcept { return mana_; }
    // A play-area point in the scene's global coordinates (through "CharactersLayer").
    vadu::math::Vector3 FieldToScene(const vadu::math::Vector2<float>& point) const;

    // Filled by the loader; the cannons move into the cannon set at Start.
    LevelSettings settings;
    ShapeList shapes;
    std::vector<std::unique_ptr<Cannon>> cannons;
    float idleTimer = 0.0f;
    // Whether Start makes the HUD (tests run the level against a fake HUD).
    bool makeHud = true;

protected:
    // Appends a shape the cannons made.
    void AddSpawned(std::unique_ptr<Shape> shape, float speedFactor);
    void LoadTutorial(const vadu::String& name);
    void DeleteDeadShapes();
    // Puts a shape into the scene (attach: through its SetRootNode) with its node kept in
    // layer coordinates.
    void JoinScene(Shape& shape, bool attach);
    void SetManaNotify(float value);

private:
    std::unique_ptr<physics::World> world_;
    LinkGraph links_;
    ShapeChain chain_;
    LevelProfile* record_ = nullptr;
    std::unique_ptr<LevelHud> hud_;
    std::unique_ptr<Decorations> decorations_;
    std::unique_ptr<Tutorial> tutorial_;
    bool tutorial_is_mana_danger_ = false;
    std::unique_ptr<CannonSet> cannon_set_;
    std::vector<std::unique_ptr<Fish>> fish_;
    int fish_countdown_ = -1;
    vadu::lib3d::node::Node* scene_root_ = nullptr;
    // Where the decorations and the fish go: "FieldLayer" below the root, else the root.
    vadu::lib3d::node::Node* field_root_ = nullptr;
    game::Screen* screen_ = nullptr;
    ObservedValue<int> score_;
    ObservedValue<float> mana_;
    bool input_enabled_ = false;
    bool ended_ = false;
    bool lost_ = false;
    int lightning_threshold_ = LightningStep;
    float level_time_ = 0.0f;
    double last_step_ms_ = 0.0;
    Signal<void()>::Id cheat_connection_ = 0;
    bool cheat_connected_ = false;
};

} // namespace gameplay
