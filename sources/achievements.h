#pragma once

// The player's achievements: thirty-two kinds that watch the running level, their texts and
// level filters from "data/achievements/achievements.xml", the popup stack shown over a
// level, and the state saved with the profile. Kinds live in achievement_kinds.h.

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "sources/gameplay/level_profile.h"
#include "vadu/path.h"
#include "vadu/string.h"

namespace vadu::lib3d::node {
class Node;
}
namespace vadu::xml::parser {
class Node;
}
namespace gameplay {
class CheatCodes;
class RunningLevel;
class Shape;
class ShapeChain;
} // namespace gameplay

class ProfileStream;
class AchievementCollection;

enum AchievementLevelType : int { LevelTypeDay = 0, LevelTypeNight = 1, LevelTypeUnderwater = 2 };

// Places the popups of one level one under another and fades each in and out.
class AchievementStackView {
public:
    static constexpr const char* AnimationTag = "Achievement Animation";

    // Moves the item below the popups still running, then runs its fade sequence.
    void Show(vadu::lib3d::node::Node* item);
    void OnPopupFinished();
    // The popups whose sequence has not finished.
    int shownCount = 0;
};

class AchievementBase {
public:
    virtual ~AchievementBase() = default;

    virtual void OnShapesUpdated(gameplay::RunningLevel&, float) {}
    virtual void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) = 0;
    virtual uint32_t GetDataTag() const { return 0; }
    virtual bool ReadData(ProfileStream&) { return true; }
    virtual void WriteData(ProfileStream&) const {}
    // The popup item under popupParent; null without one.
    virtual vadu::lib3d::node::Node* CreateScreenItem();
    virtual void OnLevelStart(gameplay::RunningLevel&) {}
    virtual void OnLevelEnd(gameplay::RunningLevel&) {}

    // Sound, flag, and the popup while a level is attached. Tests neither flag.
    void Unlock();
    // Not achieved and active: what every gameplay caller asks first.
    bool IsWatching() const { return !achieved && active; }
    // The level filters (type, mode, excluded file), not the level's own switch.
    bool TakesPart(gameplay::RunningLevel& level) const;

    bool achieved = false;
    bool active = true;
    int32_t index = 0;
    vadu::WString title;
    vadu::WString description;
    vadu::String textureSrc;
    vadu::String textureFrame;
    vadu::String name;
    vadu::lib3d::node::Node* popupParent = nullptr;
    int32_t levelType = -1;
    int32_t levelMode = -1;
    std::vector<vadu::String> excludedLevels;
    // The collection that owns it: its stack view shows the popups.
    AchievementCollection* owner = nullptr;
};

class AchievementCollection {
public:
    static constexpr const char* FilePath = "data/achievements/achievements.xml";
    static constexpr const char* PopupScene = "data/achievements/achievement.scene";
    static constexpr const char* PictureFolder = "data/achievements/screen/";

    // The game's file. A file that is missing or does not parse is logged and leaves the
    // texts empty; bad values in it raise vadu::Gluck.
    AchievementCollection();
    explicit AchievementCollection(const vadu::filesystem::String& path);
    ~AchievementCollection();
    AchievementCollection(const AchievementCollection&) = delete;
    AchievementCollection& operator=(const AchievementCollection&) = delete;

    template <typename K>
    static int TypeId()
    {
        static const int id = NextTypeId();
        return id;
    }
    // The current player's achievement of that kind; null without a current profile.
    template <typename K>
    static K* Get()
    {
        AchievementCollection* current = Current();
        return current != nullptr ? current->Find<K>() : nullptr;
    }
    // This collection's achievement of that kind.
    template <typename K>
    K* Find()
    {
        return static_cast<K*>(FindByType(TypeId<K>()));
    }
    template <typename K>
    const K* Find() const
    {
        return static_cast<const K*>(FindByType(TypeId<K>()));
    }
    // The current profile's collection, or null.
    static AchievementCollection* Current();

    // Null for an id without an achievement (nothing is inserted).
    AchievementBase* FindByType(int typeId) const;
    AchievementBase* GetByIndex(int i) const;
    int Count() const { return static_cast<int>(achievements_.size()); }

    // Fills one achievement from the first "Achievement" element of that name.
    static void LoadAchievement(const vadu::String& name, AchievementBase& achievement,
                                const vadu::xml::parser::Node& root);

    // A level's scene node, or null when the level goes; replaces the stack view.
    void SetLevel(vadu::lib3d::node::Node* sceneNode);
    AchievementStackView* GetStackView() const { return stack_.get(); }

    void OnLevelStart(gameplay::RunningLevel& level);
    void OnShapesUpdated(gameplay::RunningLevel& level, float dt);
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain);
    void OnLevelEnd(gameplay::RunningLevel& level);

    // Single gameplay events.
    void OnLevelFrame();
    void FishReached(gameplay::Shape& shape);
    void FishNear(gameplay::Shape& shape);
    void ChainCollected(const std::vector<gameplay::Shape*>& chain);
    void UnderwaterChainCollected(int size);
    void StarCollected(gameplay::RunningLevel& level, gameplay::Shape& monster);
    void StarLost(gameplay::RunningLevel& level, gameplay::Shape& monster);
    void ShapeLeft(gameplay::RunningLevel& level, gameplay::Shape& shape);
    void RockLeft(gameplay::RunningLevel& level, gameplay::Shape& rock);

    void Write(ProfileStream& stream) const;
    // Matches entries by name; stops quietly at an unknown name or a tag mismatch.
    // Entries read before the stop keep their state.
    // A name longer than the bytes left is a damaged file: false, with *why (when given).
    // With whole set (the file's version promises every entry it counts), a block that
    // ends before its count is read, or before the count itself, is damaged too.
    bool Read(ProfileStream& stream, vadu::String* why = nullptr, bool whole = false);
    // Every achievement not achieved, as in a new collection.
    void ForgetAchieved();

    // The owning profile's level records (for the Zen best-score sum); may be null.
    const std::vector<gameplay::LevelProfile>* levelRecords = nullptr;

private:
    static int NextTypeId();
    void Build(const vadu::filesystem::String& path);
    template <typename K>
    void Register(const char* name, const vadu::xml::parser::Node* root, gameplay::CheatCodes* codes);

    std::map<int, std::unique_ptr<AchievementBase>> achievements_;
    // Handlers of typed codes check this before unlocking: the codes outlive us.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<AchievementStackView> stack_;
};
