#include "sources/gameplay/level.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>

#include <utf8.h>

#include <box2d/b2_body.h>
#include <box2d/b2_world.h>

#include "physics/world.h"
#include "platform/random.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/balance.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/decorations.h"
#include "sources/gameplay/fish.h"
#include "sources/gameplay/idle_timer.h"
#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/kinds.h"
#include "sources/gameplay/level_end_sequence.h"
#include "sources/gameplay/level_hud.h"
#include "sources/gameplay/level_profile.h"
#include "sources/gameplay/lightning.h"
#include "sources/gameplay/mana_bar.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/water_decoration.h"
#include "vadu/dictionary.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/path.h"

namespace gameplay {

namespace {

constexpr const char* WorldFile = "data/main.world";
constexpr float RedZoneMana = 15.0f;

bool IsCollectable(const Shape& shape)
{
    return shape.IsKind(ShapeKind::Monster);
}

float ManaValueOf(const Shape& shape)
{
    const auto* monster = dynamic_cast<const Monster*>(&shape);
    return monster != nullptr ? monster->GetManaBonus() : 0.0f;
}

bool CountsForStar(const Shape& shape)
{
    return shape.CanBeCollected();
}

int ColourOf(const Shape& shape)
{
    const auto* monster = dynamic_cast<const Monster*>(&shape);
    return monster != nullptr ? monster->GetColour() : 0;
}

bool EndlessMana()
{
    return ShellServices::Get().GetPoints() >= Level::EndlessManaPoints;
}

} // namespace

Level::Level()
    : world_(physics::World::CreateFromResource(vadu::filesystem::String(WorldFile, true))), chain_(this)
{
    InstanceRegistry::Register<RunningLevel>(this);
    LinkGraph::SetGlobal(&links_);
    decorations_ = std::make_unique<Decorations>();
    cheat_connection_ = CheatCodes::Instance().ManaCode().Connect([this] { AddMana(100.0f); });
    cheat_connected_ = true;
}

Level::~Level()
{
    ActionManager::Global().Clear();
    ShellServices::Get().SetLevel(nullptr);
    if (cheat_connected_)
        CheatCodes::Instance().ManaCode().Disconnect(cheat_connection_);
    tutorial_.reset();
    decorations_.reset();
    fish_.clear();
    // The link sprites would destroy the joints the world destroys with the bodies.
    links_.ReleaseJoints();
    world_.reset();
    shapes.clear();
    cannon_set_.reset();
    hud_.reset();
    if (LinkGraph::Global() == &links_)
        LinkGraph::SetGlobal(nullptr);
    InstanceRegistry::Unregister<RunningLevel>(this);
}

RunningHud* Level::Hud()
{
    return InstanceRegistry::Get<RunningHud>();
}

vadu::math::Vector3 Level::FieldToScene(const vadu::math::Vector2<float>& point) const
{
    return gameplay::FieldToScene(scene_root_, point);
}

void Level::SetDecorations(std::unique_ptr<Decorations> decorations)
{
    decorations_ = std::move(decorations);
}

void Level::SetManaNotify(float value)
{
    mana_.Set(value);
}

void Level::SetMana(float mana)
{
    const float old = mana_.Get();
    mana_.Set(mana);
    if (old == mana)
        mana_.Changed.Emit(mana_.Get());
}

void Level::AddScore(int points)
{
    const int value = score_.Get() + points;
    score_.Set(value);
}

void Level::ApplyGravity()
{
    const int countdown = static_cast<int>(settings.probabilityFishSpawn);
    fish_countdown_ = countdown > 0 ? 0 : countdown;
    if (settings.gravityPointStrength == 0.0f) {
        world_->AttractionEnabled = false;
        world_->AttractionStrength = settings.gravity;
        world_->GetWorld().SetGravity(b2Vec2(0.0f, -settings.gravity));
    } else {
        world_->AttractionEnabled = true;
        world_->AttractionPoint = {settings.gravityPointX, settings.gravityPointY};
        world_->AttractionStrength = settings.gravityPointStrength;
        world_->GetWorld().SetGravity(b2Vec2(0.0f, 0.0f));
    }
    if (mana_.Get() != 0.0f)
        mana_.Set(0.0f);
}

void Level::LoadTutorial(const vadu::String& name)
{
    if (screen_ == nullptr || scene_root_ == nullptr)
        return;
    std::unique_ptr<Tutorial> loaded = Tutorial::Load(name, scene_root_, *screen_);
    tutorial_ = std::move(loaded);
    tutorial_is_mana_danger_ = false;
}

void Level::Start(vadu::lib3d::node::Node* sceneRoot, game::Screen* screen)
{
    scene_root_ = sceneRoot;
    screen_ = screen;
    if (makeHud) {
        hud_.reset();
        hud_ = LevelHud::Create(sceneRoot, &settings);
        if (hud_) {
            score_.Changed.Connect([hud = hud_.get()](const int& value) { hud->OnScoreChanged(value); });
            if (settings.levelEnergy != 0)
                mana_.Changed.Connect([hud = hud_.get()](const float& value) { hud->GetManaBar().Update(value); });
        }
    }
    if (sceneRoot != nullptr) {
        for (physics::Node* node : std::vector<physics::Node*>(world_->GetNodes()))
            node->SetRootNode(sceneRoot);
        for (Shape* shape : shapes)
            JoinScene(*shape, false);
    }

    cannon_set_ = std::make_unique<CannonSet>(&settings, std::move(cannons));
    cannons.clear();

    field_root_ = sceneRoot != nullptr ? Shape::FindLayer(sceneRoot, "FieldLayer") : nullptr;
    if (decorations_ && field_root_ != nullptr) {
        decorations_->Create(field_root_);
        if (WaterDecoration* water = decorations_->GetWater())
            water->SetTimings(settings.waterLevelRaise, settings.waterUpTime, settings.waterDownTime,
                              settings.waterUpTransitionTime);
    }

    if (record_ != nullptr) {
        LoadTutorial(record_->fileName);
        if (tutorial_)
            tutorial_->OnEvent(chain_);
    }

    links_.SetScene(world_.get(), sceneRoot);

    ShellServices::Get().SetLevel(record_);
    ShellServices::Get().OnLevelStart();

    const float mana = EndlessMana() ? 100.0f : static_cast<float>(settings.levelEnergy);
    SetManaNotify(mana);

    input_enabled_ = true;
    level_time_ = 0.0f;
}

void Level::JoinScene(Shape& shape, bool attach)
{
    if (scene_root_ == nullptr)
        return;
    if (attach)
        shape.SetRootNode(scene_root_);
    // The layers may sit anywhere in the scene: a shape keeps its node in play-area pixels
    // within its layer, where the links and the shakes measure too.
    shape.SetGlobalCoordinates(false);
    if (vadu::lib3d::node::Node* node = shape.GetNode()) {
        // The kinds that build their picture straight under the root (starred and orange
        // monsters, obstacles) join the shapes' layer: the root's origin is the screen's
        // middle, not the field's corner.
        vadu::lib3d::node::Node* layer = Shape::FindLayer(scene_root_, "CharactersLayer");
        if (node->get_parent() == scene_root_ && layer != scene_root_)
            layer->add_child(node, true);
        const float z = node->get_position().z;
        node->set_position({std::trunc(shape.GetPosition().x), std::trunc(shape.GetPosition().y), z});
    }
}

void Level::DeleteDeadShapes()
{
    for (auto it = shapes.begin(); it != shapes.end();) {
        Shape* shape = *it;
        if (shape->IsDead()) {
            it = shapes.erase(it);
            delete shape;
        } else {
            ++it;
        }
    }
}

void Level::Update(float dt)
{
    ShellServices::Get().OnLevelFrame();

    for (auto it = fish_.begin(); it != fish_.end();) {
        if ((*it)->IsOffScreen()) {
            it = fish_.erase(it);
        } else {
            (*it)->Update(dt);
            ++it;
        }
    }

    level_time_ += dt;
    const auto stepStart = std::chrono::steady_clock::now();
    world_->Step(dt);
    last_step_ms_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stepStart).count();
    if (decorations_)
        decorations_->Update(dt);
    if (tutorial_ && tutorial_->CurrentHint() != nullptr)
        tutorial_->clock += dt;

    if (input_enabled_) {
        if (cannon_set_)
            cannon_set_->Cool(dt);
        if (static_cast<int>(shapes.size()) < settings.maxShapeCount)
            SpawnShapes();
        UpdateIdleHint(idleTimer, *this, dt);
    }

    DeleteDeadShapes();
    links_.UpdatePlacements();
    UpdateLinks();
    if (!ended_)
        ShellServices::Get().OnShapesUpdated();
    ActionManager::Global().Update(dt);
}

void Level::AddSpawned(std::unique_ptr<Shape> shape, float speedFactor)
{
    if (!shape)
        return;
    if (speedFactor != 1.0f) {
        if (b2Body* body = shape->GetBody())
            body->SetLinearVelocity(speedFactor * body->GetLinearVelocity());
    }
    JoinScene(*shape, false);
    shapes.push_back(shape.release());
}

void Level::SpawnShapes()
{
    idleTimer = 0.0f;
    if (cannon_set_)
        AddSpawned(cannon_set_->Fire(scene_root_), 1.0f);
}

void Level::UpdateLinks()
{
    const float distance = LinkDistance * ShellServices::Get().GetScale();
    const float limit = distance * distance;
    for (size_t i = 0; i < shapes.size(); ++i) {
        Shape* a = shapes[i];
        for (size_t j = i + 1; j < shapes.size(); ++j) {
            Shape* b = shapes[j];
            const float dx = a->GetPosition().x - b->GetPosition().x;
            const float dy = a->GetPosition().y - b->GetPosition().y;
            if (dx * dx + dy * dy > limit || !a->CanLinkTo(*b))
                continue;
            links_.CreateLink(a, b);
            a->UpdateGroup();
        }
    }
}

void Level::TapAxes(float axisX, float axisY)
{
    const ShellServices& shell = ShellServices::Get();
    const auto window = shell.GetWindowSize();
    const float x = window.x * (axisX + 1.0f) * 0.5f - shell.GetFieldOffsetX();
    const float y = window.y * (1.0f - axisY) * 0.5f;
    Tap({x, y});
}

void Level::OnInput(vadu::input::Event& event)
{
    if (!input_enabled_ || !(event.device == "Mouse"))
        return;
    if (!(event.control == "Left Button") || event.kind != vadu::input::Event::released)
        return;
    const auto axisX = static_cast<float>(vadu::input::Manager::get_value("Mouse", "Axis_X"));
    const auto axisY = static_cast<float>(vadu::input::Manager::get_value("Mouse", "Axis_Y"));
    TapAxes(axisX, axisY);
}

void Level::Tap(const vadu::math::Vector2<float>& point)
{
    if (!input_enabled_)
        return;
    if (tutorial_ && tutorial_->CurrentHint() != nullptr && tutorial_->DisablesGameActions()) {
        tutorial_->OnEvent(chain_);
        return;
    }
    physics::Node* picked = world_->Pick(point);
    Shape* shape = picked != nullptr ? static_cast<Shape*>(picked->UserPointer) : nullptr;
    if (shape == nullptr) {
        OnFishTap(point.x, point.y);
        return;
    }
    if (!IsCollectable(*shape) || shape->IsDead())
        return;
    std::vector<Shape*> group = ShapeList::Collect(*shape);
    if (static_cast<int>(group.size()) < settings.minChain) {
        for (Shape* member : group)
            member->HintShake(true);
        ShellServices::Get().Play(SoundId::RemoveFailed);
        return;
    }
    chain_.Current().x = shape->GetPosition().x;
    chain_.Current().y = shape->GetPosition().y;
    for (Shape* member : group) {
        if (member->GetKind() == ShapeKind::Bomb) {
            StartLightning(*this, chain_, static_cast<Bomb&>(*member));
            ShellServices::Get().Play(SoundId::LightningStrike);
            return;
        }
    }
    CollectChain(group, shape);
    if (chain_.Current().count == 0)
        ChargeTap();
    chain_.Append();
}

void Level::ChargeTap()
{
    const Balance& balance = Balance::Instance();
    const bool redZone = settings.levelEnergy != 0 && mana_.Get() <= RedZoneMana;
    const int cost = redZone ? balance.ManaPerMonsterTapInRedZone : balance.ManaPerMonsterTap;
    AddMana(-static_cast<float>(cost));
}

void Level::AddMana(float amount)
{
    if (settings.levelEnergy == 0)
        return;
    if (amount < 0.0f && EndlessMana())
        return;
    const float updated = mana_.Get() + amount;
    if (updated >= 100.0f) {
        SetManaNotify(100.0f);
    } else if (updated <= 0.0f) {
        SetManaNotify(0.0f);
        StartGameOver();
    } else {
        SetManaNotify(updated);
    }
}

std::vector<Shape*> Level::FindStarred(const std::vector<Shape*>& chain)
{
    std::vector<Shape*> starred;
    for (Shape* shape : chain) {
        if (shape->GetKind() == ShapeKind::Starred)
            starred.push_back(shape);
    }
    return starred;
}

void Level::CollectChain(std::vector<Shape*>& chain, Shape* tapped)
{
    if (FindStarred(chain).empty()) {
        int counting = 0;
        for (Shape* shape : chain) {
            if (CountsForStar(*shape))
                ++counting;
        }
        RunningHud* hud = Hud();
        const int filled = hud != nullptr ? hud->StarsCollected() : 0;
        if (counting >= settings.starChain && (settings.starCountGoal == 0 || filled < settings.starCountGoal)) {
            CreateStarredMonster(tapped, chain);
            chain_.Current().created += 1;
        }
    }
    if (tapped == nullptr)
        ShellServices::Get().Play(SoundId::GroupRemoved);
    ShellServices::Get().ChainCollected(chain);

    // Collecting may grow the list (starred monsters are made before); walk a copy.
    float gain = 0.0f;
    for (Shape* shape : std::vector<Shape*>(chain)) {
        if (!IsCollectable(*shape))
            continue;
        if (auto* monster = dynamic_cast<Monster*>(shape))
            monster->Collect(chain_);
        gain += ManaValueOf(*shape);
        if (shape->GetKind() == ShapeKind::Starred)
            gain += StarManaBonus;
    }
    AddMana(gain);
    const int points = ScoreChain(chain);
    AddScore(points);
    if (hud_)
        hud_->ShowAddedScore(chain, points);
}

int Level::ScoreChain(const std::vector<Shape*>& chain) const
{
    const int length = static_cast<int>(chain.size());
    const int starred = ended_ ? 0 : static_cast<int>(FindStarred(chain).size());
    const int perShape = length < 5 ? 25 : (length < 10 ? 50 : 75);
    const int base = starred * 200 + length * perShape;
    const int current = chain_.Current().count;
    if (starred == 0 || current == 0)
        return base;
    int multiplier = current;
    for (const ShapeChain::Record& earlier : chain_.History()) {
        if (earlier.count == 0)
            break;
        multiplier += earlier.count;
    }
    return multiplier * base;
}

void Level::CreateStarredMonster(Shape* tapped, std::vector<Shape*>& chain)
{
    Shape* source = tapped;
    if (source == nullptr) {
        if (chain.empty() || !IsCollectable(*chain.front()))
            return;
        source = chain.front();
    }
    auto* starred = new StarredMonster(world_.get(), vadu::Atom(), ColourOf(*source));
    starred->SetPosition(source->GetPosition());
    if (b2Body* body = starred->GetBody(); body != nullptr && source->GetBody() != nullptr)
        body->SetTransform(body->GetPosition(), source->GetBody()->GetAngle());
    JoinScene(*starred, true);
    shapes.push_back(starred);
    for (Shape* shape : chain) {
        if (auto* monster = dynamic_cast<Monster*>(shape))
            monster->mergeTarget.reset(starred->GetSceneNode());
    }
}

void Level::OnFishTap(float x, float y)
{
    // The tap is in play-area pixels, the fish's rectangle in the scene's: the fish swim in
    // the field's layer, which the scene may place anywhere.
    const vadu::math::Vector3 at = FieldToScene({x, y});
    for (auto it = fish_.begin(); it != fish_.end(); ++it) {
        vadu::lib3d::node::Sprite* sprite = (*it)->GetNode();
        if (sprite == nullptr)
            continue;
        const std::array<float, 4> rect = sprite->get_global_rect();
        if (at.x < rect[0] || at.x > rect[0] + rect[2] || at.y < rect[1] || at.y > rect[1] + rect[3])
            continue;
        vadu::lib3d::node::Node* copy = sprite->duplicate();
        auto* dying = new GroupAction(copy, new FadeAction(copy, 0.1f, 1), new SpecularAction(copy, 0.5f, 0.05f), true);
        ActionManager::Global().RunAction(copy, dying, vadu::Atom("dyingFish"));
        AddMana(-static_cast<float>(Balance::Instance().ManaPerFishTap));
        fish_.erase(it);
        ShellServices::Get().Play(SoundId::LightningStrike);
        return;
    }
}

void Level::NextStep(ShapeChain& chain)
{
    const int step = chain.StepNumber();
    if (fish_countdown_ >= 0 && fish_countdown_ <= step) {
        // Straight swimmers belong to the underwater levels; elsewhere fish jump in arcs.
        const bool underwater = settings.backgroundType == 2 || (record_ != nullptr && record_->type == "Underwater");
        if (field_root_ != nullptr)
            fish_.push_back(std::make_unique<Fish>(*this, field_root_, underwater ? Fish::Straight : Fish::Arc));
        fish_countdown_ = static_cast<int>(settings.probabilityFishSpawn) + step + (platform::random() % 3 - 1);
    }
    if (!settings.disableLightning && settings.backgroundType != 1 && score_.Get() > lightning_threshold_ && !ended_)
        SpawnLightningBonus(chain);

    settings.probabilityBonusColor =
        std::min(settings.probabilityBonusColor + settings.probabilityBonusColorGrowSpeed / 100.0f, MaxGrownChance);
    settings.probabilityRock = std::min(settings.probabilityRock + settings.probabilityRockGrowSpeed / 100.0f, MaxGrownChance);

    if (cannon_set_)
        cannon_set_->stepCounter -= 1;
    idleTimer = 0.0f;

    RunningHud* hud = Hud();
    if (settings.starCountGoal != 0 && hud != nullptr && hud->StarsCollected() >= settings.starCountGoal) {
        StartFinish();
        for (Shape* shape : std::vector<Shape*>(shapes))
            shape->RequestMelt();
    }
    if (tutorial_)
        tutorial_->OnEvent(chain);
    ShellServices::Get().PlayStepSounds(chain);
    ShellServices::Get().OnLevelStep(chain);
}

void Level::SpawnLightningBonus(ShapeChain& chain)
{
    lightning_threshold_ += LightningStep;
    const vadu::math::Vector2<float> tap{chain.Current().x, chain.Current().y};
    Shape* nearest = nullptr;
    float best = NearestBonusLimit;
    for (Shape* shape : shapes) {
        if (shape->IsDead() || shape->GetKind() != ShapeKind::Monster || shape->GetGroupSize() < settings.minChain)
            continue;
        const float dx = shape->GetPosition().x - tap.x;
        const float dy = shape->GetPosition().y - tap.y;
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance < best) {
            best = distance;
            nearest = shape;
        }
    }
    if (nearest == nullptr)
        return;
    const vadu::math::Vector2<float> position = nearest->GetPosition();
    auto* bomb = new Bomb(*nearest);
    JoinScene(*bomb, true);
    shapes.push_back(bomb);

    ShellServices& shell = ShellServices::Get();
    if (shell.GetBombHints() == 0) {
        LoadTutorial("bomb");
        shell.SetBombHints(shell.GetBombHints() + 1);
    }
    if (RunningHud* hud = Hud()) {
        const vadu::WString& phrase = vadu::lookup_text("bonus_lightning");
        std::string utf8;
        utf8::utf16to8(phrase.data(), phrase.data_end(), std::back_inserter(utf8));
        const vadu::math::Vector3 at = FieldToScene(position);
        hud->ShowBonusText({at.x, at.y}, vadu::String(utf8.c_str()));
    }
}

void Level::CheckManaDanger()
{
    if (tutorial_ && tutorial_is_mana_danger_ && tutorial_->hintShowing)
        return;
    if (tutorial_ && tutorial_->hintShowing && tutorial_->CurrentHint() != nullptr)
        tutorial_->HideHint(*tutorial_->CurrentHint());
    ShellServices& shell = ShellServices::Get();
    if (shell.GetManaDangerHints() < 1) {
        LoadTutorial("mana_danger");
        tutorial_is_mana_danger_ = tutorial_ != nullptr;
        if (tutorial_)
            tutorial_->isManaDanger = true;
        shell.SetManaDangerHints(shell.GetManaDangerHints() + 1);
    }
}

void Level::OnManaNotDanger()
{
    if (tutorial_ && tutorial_is_mana_danger_ && tutorial_->hintShowing && tutorial_->CurrentHint() != nullptr)
        tutorial_->HideHint(*tutorial_->CurrentHint());
    if (tutorial_)
        tutorial_->OnNamedEvent(vadu::Atom("ManaNotDanger"));
}

void Level::StartGameOver()
{
    if (ended_)
        return;
    input_enabled_ = false;
    ended_ = true;
    lost_ = true;
    if (tutorial_)
        tutorial_->Abort();
    ShellServices::Get().OnLevelEnd(score_.Get(), false);
    ShellServices::Get().Play(SoundId::LevelLost);
    ActionManager::Global().RunAction(scene_root_, LoseLabelAnimation(*this), vadu::Atom("GameoverAnimation"));
}

void Level::StartFinish()
{
    if (ended_)
        return;
    input_enabled_ = false;
    ended_ = true;
    if (tutorial_)
        tutorial_->Abort();
    ShellServices::Get().OnLevelEnd(score_.Get(), true);
    ShellServices::Get().Play(SoundId::LevelComplete);
    ActionManager::Global().RunAction(scene_root_, WinLabelAnimation(*this), vadu::Atom("FinishAnimation"));
}

void Level::OnLevelEnd()
{
    if (record_ != nullptr && (!lost_ || record_->mode == Zen))
        ShellServices::Get().RecordResult(*record_, score_.Get(), !lost_);
    if (endHandler)
        endHandler(score_.Get(), !lost_);
}

} // namespace gameplay
