#include "sources/achievements.h"

#include <optional>
#include <string>

#include "sources/achievement_kinds.h"
#include "sources/gameplay/action_manager.h"
#include "sources/gameplay/actions.h"
#include "sources/gameplay/cheat_codes.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/link_graph.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shell_services.h"
#include "sources/player_profile.h"
#include "sources/profile_manager.h"
#include "sources/profile_stream.h"
#include "sources/shell_files.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/node/registry.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/xml_document.h"

namespace {

const char* const LoadFunction = "AchievementCollection::LoadAchievement";

const gameplay::LevelProfile& RecordOf(gameplay::RunningLevel& level)
{
    static const gameplay::LevelProfile none;
    const gameplay::LevelProfile* record = level.Record();
    return record != nullptr ? *record : none;
}

vadu::String Quoted(const vadu::String& value, const vadu::String& name)
{
    return "\"" + value + "\" in achievement " + name;
}

float WaterOf(gameplay::RunningLevel& level)
{
    return level.Settings().GetWaterLevel();
}

} // namespace

// The popup.

void AchievementStackView::Show(vadu::lib3d::node::Node* item)
{
    ++shownCount;
    if (item == nullptr)
        return;
    if (shownCount > 1) {
        const int step = static_cast<int>(gameplay::ShellServices::Get().GetScale() * 100.0f);
        const vadu::math::Vector3 old = item->get_position();
        vadu::math::Vector3 moved = old;
        moved.y -= static_cast<float>((shownCount - 1) * step);
        if (moved.y != old.y)
            item->set_position(moved);
    }
    auto* sequence = new SequenceAction(new FadeAction(item, 0.1f, 0),
                                                  new DelayAction(3.0f),
                                                  new FadeAction(item, 0.5f, 1));
    sequence->SetOnFinished([this](BaseAnimation*) { OnPopupFinished(); });
    ActionManager::Global().RunAction(item, sequence, vadu::Atom(AnimationTag));
}

void AchievementStackView::OnPopupFinished()
{
    --shownCount;
}

// One achievement.

vadu::lib3d::node::Node* AchievementBase::CreateScreenItem()
{
    if (popupParent == nullptr)
        return nullptr;
    vadu::lib3d::node::Node* item = vadu::lib3d::node::create_from_resource(
        vadu::Atom(), popupParent, vadu::filesystem::String(AchievementCollection::PopupScene, true));
    if (vadu::lib3d::node::Text* label = gameplay::FindText(item, "Label"))
        label->set_text(title, false);
    if (vadu::lib3d::node::Sprite* picture = gameplay::FindSprite(item, "Picture")) {
        const vadu::String path = vadu::String(AchievementCollection::PictureFolder) + textureSrc;
        if (textureFrame.empty())
            picture->set_texture(path, false);
        else
            picture->set_atlas_texture(path, vadu::Atom(textureFrame));
    }
    return item;
}

void AchievementBase::Unlock()
{
    gameplay::ShellServices::Get().Play(gameplay::SoundId::AchievementUnlock);
    achieved = true;
    if (popupParent == nullptr)
        return;
    vadu::lib3d::node::Node* item = CreateScreenItem();
    if (owner != nullptr && owner->GetStackView() != nullptr)
        owner->GetStackView()->Show(item);
}

bool AchievementBase::TakesPart(gameplay::RunningLevel& level) const
{
    const gameplay::LevelProfile& record = RecordOf(level);
    if (levelType != -1 && levelType != level.Settings().backgroundType)
        return false;
    if (levelMode != -1 && levelMode != record.mode)
        return false;
    for (const vadu::String& excluded : excludedLevels) {
        if (excluded == record.fileName)
            return false;
    }
    return true;
}

// The collection.

int AchievementCollection::NextTypeId()
{
    static int next = 0;
    return next++;
}

AchievementCollection* AchievementCollection::Current()
{
    ProfileManager* manager = ProfileManager::Instance();
    if (manager == nullptr || manager->current == nullptr)
        return nullptr;
    return &manager->current->achievements;
}

AchievementCollection::AchievementCollection()
{
    Build(vadu::filesystem::String(FilePath, true));
}

AchievementCollection::AchievementCollection(const vadu::filesystem::String& path)
{
    Build(path);
}

AchievementCollection::~AchievementCollection()
{
    // The popups' sequences call back into the stack view.
    if (stack_)
        ActionManager::Global().StopActionsByTag(vadu::Atom(AchievementStackView::AnimationTag));
}

template <typename K>
void AchievementCollection::Register(const char* name, const vadu::xml::parser::Node* root,
                                     gameplay::CheatCodes* codes)
{
    auto kind = std::make_unique<K>();
    K* achievement = kind.get();
    achievement->owner = this;
    // Kept even without an element, so the profile entry still finds the right kind.
    achievement->name = name;
    achievements_[TypeId<K>()] = std::move(kind);
    if (root != nullptr)
        LoadAchievement(name, *achievement, *root);

    if (codes == nullptr)
        return;
    gameplay::CheatCodes::Matcher& matcher =
        codes->AddCode(std::make_unique<gameplay::CheatCodes::Matcher>(vadu::String("pleko") + name), alive_);
    std::weak_ptr<bool> alive = alive_;
    matcher.listeners.Connect([alive, achievement] {
        if (!alive.expired())
            achievement->Unlock();
    });
}

void AchievementCollection::Build(const vadu::filesystem::String& path)
{
    std::unique_ptr<vadu::xml::parser::Document> document;
    vadu::xml::parser::Node root;
    const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
    if (!bytes) {
        LogLine("Achievements: the achievements file could not be read; texts stay empty");
    } else {
        document = std::make_unique<vadu::xml::parser::Document>(bytes->data(), bytes->size());
        root = document->get_root();
        if (root.is_null())
            LogLine("Achievements: the achievements file does not parse: " + document->get_error());
    }
    const vadu::xml::parser::Node* rootPointer = root.is_null() ? nullptr : &root;
    // Asked once for the whole collection: without a keyboard (tools, tests) each ask
    // would fail again, by an exception, for every achievement.
    gameplay::CheatCodes* codes = nullptr;
    try {
        codes = &gameplay::CheatCodes::Instance();
    } catch (const vadu::Gluck&) {
        // No keyboard: no codes to type.
    }
#define QUILLO_REGISTER_KIND(K) Register<K>(K::Name, rootPointer, codes);
    QUILLO_ACHIEVEMENT_KINDS(QUILLO_REGISTER_KIND)
#undef QUILLO_REGISTER_KIND
}

void AchievementCollection::LoadAchievement(const vadu::String& name, AchievementBase& achievement,
                                            const vadu::xml::parser::Node& root)
{
    vadu::xml::parser::Node element;
    for (const vadu::xml::parser::Node& candidate : root.get_children("Achievement")) {
        if (candidate.get_attribute("Name") == name) {
            element = candidate;
            break;
        }
    }
    if (element.is_null()) {
        LogLine("Achievements: no \"Achievement\" element named " + name);
        return;
    }
    achievement.name = name;
    vadu::converter::convert(element.get_attribute("Index"), &achievement.index);
    const vadu::xml::parser::Node title = element.find_child("Title");
    if (!title.is_null())
        achievement.title = title.get_attribute_w("Value");
    const vadu::xml::parser::Node description = element.find_child("Description");
    if (description.is_null())
        throw vadu::Gluck(LoadFunction, "No data in Description");
    achievement.description = description.GetValueW();

    const vadu::xml::parser::Node type = element.find_child("LevelType");
    if (!type.is_null()) {
        const vadu::String value = type.get_attribute("Value");
        if (value == "Day")
            achievement.levelType = LevelTypeDay;
        else if (value == "Night")
            achievement.levelType = LevelTypeNight;
        else if (value == "Underwater")
            achievement.levelType = LevelTypeUnderwater;
        else
            throw vadu::Gluck(LoadFunction, "Unknown level type " + Quoted(value, name));
    }
    const vadu::xml::parser::Node mode = element.find_child("LevelMode");
    if (!mode.is_null()) {
        const vadu::String value = mode.get_attribute("Value");
        if (value == "Standard")
            achievement.levelMode = gameplay::Standard;
        else if (value == "Zen")
            achievement.levelMode = gameplay::Zen;
        else
            throw vadu::Gluck(LoadFunction, "Unknown level mode " + Quoted(value, name));
    }
    for (const vadu::xml::parser::Node& excluded : element.get_children("ExcludeLevel")) {
        const vadu::String file = excluded.get_attribute("FileName");
        if (file.empty())
            throw vadu::Gluck(LoadFunction, "Unknown level name " + Quoted(file, name));
        achievement.excludedLevels.push_back(file);
    }
    const vadu::xml::parser::Node texture = element.find_child("Texture");
    if (!texture.is_null()) {
        achievement.textureSrc = texture.get_attribute("Src");
        achievement.textureFrame = texture.get_attribute("Frame");
    }
}

AchievementBase* AchievementCollection::FindByType(int typeId) const
{
    const auto found = achievements_.find(typeId);
    return found != achievements_.end() ? found->second.get() : nullptr;
}

AchievementBase* AchievementCollection::GetByIndex(int i) const
{
    if (i < 0 || i >= Count())
        return nullptr;
    auto it = achievements_.begin();
    std::advance(it, i);
    return it->second.get();
}

void AchievementCollection::SetLevel(vadu::lib3d::node::Node* sceneNode)
{
    // The old view's popups still run in the global manager; their callbacks would reach
    // the deleted view.
    if (stack_)
        ActionManager::Global().StopActionsByTag(vadu::Atom(AchievementStackView::AnimationTag));
    stack_ = sceneNode != nullptr ? std::make_unique<AchievementStackView>() : nullptr;
    for (auto& [id, achievement] : achievements_)
        achievement->popupParent = sceneNode;
}

void AchievementCollection::OnLevelStart(gameplay::RunningLevel& level)
{
    const bool disabled = level.Settings().disableAchievements;
    for (auto& [id, achievement] : achievements_) {
        if (!disabled && !achievement->achieved && achievement->TakesPart(level)) {
            achievement->active = true;
            achievement->OnLevelStart(level);
        } else {
            achievement->active = false;
        }
    }
}

void AchievementCollection::OnShapesUpdated(gameplay::RunningLevel& level, float dt)
{
    if (level.Settings().disableAchievements)
        return;
    for (auto& [id, achievement] : achievements_) {
        if (achievement->IsWatching() && achievement->TakesPart(level))
            achievement->OnShapesUpdated(level, dt);
    }
}

void AchievementCollection::OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain)
{
    if (level.Settings().disableAchievements)
        return;
    for (auto& [id, achievement] : achievements_) {
        if (achievement->IsWatching() && achievement->TakesPart(level))
            achievement->OnLevelStep(level, chain);
    }
}

void AchievementCollection::OnLevelEnd(gameplay::RunningLevel& level)
{
    if (level.Settings().disableAchievements)
        return;
    for (auto& [id, achievement] : achievements_) {
        if (achievement->IsWatching() && achievement->TakesPart(level))
            achievement->OnLevelEnd(level);
    }
}

void AchievementCollection::OnLevelFrame()
{
    if (auto* hungry = Find<AchievementHungryFish>())
        hungry->nearFish.clear();
}

void AchievementCollection::FishReached(gameplay::Shape& shape)
{
    auto* feed = Find<AchievementFeedTheFish>();
    if (feed != nullptr && feed->IsWatching() && shape.IsKind(gameplay::ShapeKind::Starred)) {
        ++feed->fedCount;
        if (feed->fedCount >= 10)
            feed->Unlock();
    }
}

void AchievementCollection::FishNear(gameplay::Shape& shape)
{
    auto* hungry = Find<AchievementHungryFish>();
    if (hungry != nullptr && hungry->IsWatching() && shape.GetKind() == gameplay::ShapeKind::Starred)
        hungry->nearFish.push_back(&shape);
}

void AchievementCollection::ChainCollected(const std::vector<gameplay::Shape*>& chain)
{
    auto* mafia = Find<AchievementMonsterMafia>();
    if (mafia == nullptr || !mafia->IsWatching())
        return;
    int starred = 0;
    for (const gameplay::Shape* shape : chain) {
        if (shape != nullptr && shape->GetKind() == gameplay::ShapeKind::Starred && ++starred == 3) {
            mafia->Unlock();
            return;
        }
    }
}

void AchievementCollection::UnderwaterChainCollected(int size)
{
    auto* caviar = Find<AchievementCaviar>();
    if (caviar != nullptr && caviar->IsWatching() && size > 5)
        caviar->Unlock();
}

void AchievementCollection::StarCollected(gameplay::RunningLevel&, gameplay::Shape& monster)
{
    auto* hungry = Find<AchievementHungryFish>();
    if (hungry == nullptr || !hungry->IsWatching())
        return;
    for (const gameplay::Shape* near : hungry->nearFish) {
        if (near == &monster) {
            hungry->Unlock();
            return;
        }
    }
}

void AchievementCollection::StarLost(gameplay::RunningLevel& level, gameplay::Shape& monster)
{
    const bool underWater = monster.GetPosition().y <= WaterOf(level);
    auto* overboard = Find<AchievementOverboard>();
    if (overboard != nullptr && overboard->IsWatching() && underWater) {
        const std::vector<gameplay::Shape*>* links = level.Links().Neighbours(&monster);
        if (links == nullptr || links->empty())
            overboard->Unlock();
    }
    auto* diving = Find<AchievementMassDiving>();
    if (diving != nullptr && diving->IsWatching() && underWater) {
        ++diving->divedCount;
        if (diving->divedCount == 10)
            diving->Unlock();
    }
    auto* unscathed = Find<AchievementComeThroughUnscathed>();
    if (unscathed != nullptr && unscathed->IsWatching() && underWater)
        unscathed->active = false;
}

void AchievementCollection::ShapeLeft(gameplay::RunningLevel& level, gameplay::Shape& shape)
{
    auto* fly = Find<AchievementLetemFly>();
    if (fly == nullptr || !fly->IsWatching())
        return;
    const gameplay::PlayArea& area = level.Settings().playArea;
    if (shape.GetPosition().y > area.y + area.height) {
        ++fly->levelCount;
        if (fly->total + fly->levelCount >= 150)
            fly->Unlock();
    }
}

void AchievementCollection::RockLeft(gameplay::RunningLevel& level, gameplay::Shape& rock)
{
    const bool underWater = rock.GetPosition().y <= WaterOf(level);
    auto* anchor = Find<AchievementRustyAnchor>();
    if (anchor != nullptr && anchor->IsWatching() && underWater)
        anchor->Unlock();
    auto* scrap = Find<AchievementScrapMetal>();
    if (scrap != nullptr && scrap->IsWatching() && underWater) {
        ++scrap->sunkCount;
        if (scrap->sunkCount > 2)
            scrap->Unlock();
    }
}

// The profile's block.

void AchievementCollection::Write(ProfileStream& stream) const
{
    stream.WriteU32(static_cast<uint32_t>(achievements_.size()));
    for (const auto& [id, achievement] : achievements_) {
        stream.WriteString(achievement->name);
        stream.WriteU8(achievement->achieved ? 1 : 0);
        stream.WriteU32(achievement->GetDataTag());
        achievement->WriteData(stream);
    }
}

bool AchievementCollection::Read(ProfileStream& stream, vadu::String* why, bool whole)
{
    // An end where a promised field should be: quiet for files that may be shorter.
    const auto endsEarly = [&] {
        if (!whole)
            return true;
        if (why)
            *why = "the file ends inside the achievements";
        return false;
    };
    uint32_t count = 0;
    if (!stream.ReadU32(count))
        return endsEarly();
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!stream.ReadU32(length))
            return endsEarly();
        if (length > stream.left()) {
            if (why)
                *why = vadu::format("the achievement name's length %u runs past the end of the file", length);
            return false;
        }
        std::string bytes(length, '\0');
        if (length > 0)
            stream.read(bytes.data(), length);
        const vadu::String name(bytes.data(), bytes.data() + bytes.size());
        AchievementBase* found = nullptr;
        for (const auto& [id, achievement] : achievements_) {
            if (achievement->name == name) {
                found = achievement.get();
                break;
            }
        }
        if (found == nullptr)
            return true;
        uint8_t achieved = 0;
        if (!stream.ReadU8(achieved))
            return endsEarly();
        found->achieved = achieved != 0;
        uint32_t tag = 0;
        if (!stream.ReadU32(tag))
            return endsEarly();
        if (tag != found->GetDataTag())
            return true;
        if (!found->ReadData(stream))
            return true;
    }
    return true;
}

void AchievementCollection::ForgetAchieved()
{
    for (const auto& [id, achievement] : achievements_)
        achievement->achieved = false;
}
