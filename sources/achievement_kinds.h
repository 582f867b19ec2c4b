#pragma once

// The thirty-two achievement kinds, in the order that gives their type ids, broadcasts,
// profile entries and screen order. Each tests its own rule in the level events it overrides;
// the rest are driven by single gameplay events through the collection.

#include <vector>

#include "sources/achievements.h"

class AchievementMonsterFinger : public AchievementBase {
public:
    static constexpr const char* Name = "MonsterFinger";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementNarrowEscape : public AchievementBase {
public:
    static constexpr const char* Name = "NarrowEscape";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementFeedTheFish : public AchievementBase {
public:
    static constexpr const char* Name = "FeedTheFish";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelStart(gameplay::RunningLevel& level) override;

    int fedCount = 0;
};

class AchievementRainbow : public AchievementBase {
public:
    static constexpr const char* Name = "Rainbow";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementMassDiving : public AchievementBase {
public:
    static constexpr const char* Name = "MassDiving";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelStart(gameplay::RunningLevel& level) override;

    int divedCount = 0;
};

class AchievementOverboard : public AchievementBase {
public:
    static constexpr const char* Name = "Overboard";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelStart(gameplay::RunningLevel& level) override;
};

class AchievementShortNight : public AchievementBase {
public:
    static constexpr const char* Name = "ShortNight";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementQuickDiver : public AchievementBase {
public:
    static constexpr const char* Name = "QuickDiver";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementHomelessMonsters : public AchievementBase {
public:
    static constexpr const char* Name = "HomelessMonsters";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementGlobalWarming : public AchievementBase {
public:
    static constexpr const char* Name = "GlobalWarming";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
    void OnLevelStart(gameplay::RunningLevel& level) override;
    void OnLevelEnd(gameplay::RunningLevel& level) override;
    uint32_t GetDataTag() const override { return 100; }

    int total = 0;
    int levelCount = 0;
};

class AchievementLetemFly : public AchievementBase {
public:
    static constexpr const char* Name = "LetemFly";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelStart(gameplay::RunningLevel& level) override;
    void OnLevelEnd(gameplay::RunningLevel& level) override;
    uint32_t GetDataTag() const override { return 200; }

    int total = 0;
    int levelCount = 0;
};

class AchievementMoneyBags : public AchievementBase {
public:
    static constexpr const char* Name = "Moneybags";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementChainMaster : public AchievementBase {
public:
    static constexpr const char* Name = "ChainMaster";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementChainLightnings : public AchievementBase {
public:
    static constexpr const char* Name = "ChainLightnings";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class Achievement5050 : public AchievementBase {
public:
    static constexpr const char* Name = "5050";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementBlackJack : public AchievementBase {
public:
    static constexpr const char* Name = "BlackJack";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementEpicFail : public AchievementBase {
public:
    static constexpr const char* Name = "EpicFail";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementAesthete : public AchievementBase {
public:
    static constexpr const char* Name = "Aesthete";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementKaleidoscope : public AchievementBase {
public:
    static constexpr const char* Name = "Kaleidoscope";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementMonsterMafia : public AchievementBase {
public:
    static constexpr const char* Name = "MonsterMafia";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
};

class AchievementColorManiac : public AchievementBase {
public:
    static constexpr const char* Name = "ColorManiac";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementZebra : public AchievementBase {
public:
    static constexpr const char* Name = "Zebra";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;
};

class AchievementCaviar : public AchievementBase {
public:
    static constexpr const char* Name = "Caviar";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
};

class AchievementBillionaire : public AchievementBase {
public:
    static constexpr const char* Name = "WhoWantstoBeaBillionaire";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementIceBaby : public AchievementBase {
public:
    static constexpr const char* Name = "IceBaby";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementTitanic : public AchievementBase {
public:
    static constexpr const char* Name = "Titanic";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
};

class AchievementRustyAnchor : public AchievementBase {
public:
    static constexpr const char* Name = "RustyAnchor";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelStart(gameplay::RunningLevel& level) override;
};

class AchievementScrapMetal : public AchievementBase {
public:
    static constexpr const char* Name = "ScrapMetal";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
    void OnLevelStart(gameplay::RunningLevel& level) override;

    int sunkCount = 0;
};

class AchievementCharmed : public AchievementBase {
public:
    static constexpr const char* Name = "Charmed";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
    void OnLevelStart(gameplay::RunningLevel& level) override;
    void OnShapesUpdated(gameplay::RunningLevel& level, float dt) override;

    float idleTime = 0.0f;
};

class AchievementHungryFish : public AchievementBase {
public:
    static constexpr const char* Name = "HungryFish";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}

    // Starred monsters near a fish this frame; not owned.
    std::vector<const gameplay::Shape*> nearFish;
};

class AchievementNerd : public AchievementBase {
public:
    static constexpr const char* Name = "Nerd";
    void OnLevelStep(gameplay::RunningLevel&, const gameplay::ShapeChain&) override {}
    void OnLevelEnd(gameplay::RunningLevel& level) override;

    int lastLevelNumber = -1;
    int lastLevelMode = 0;
};

class AchievementComeThroughUnscathed : public AchievementBase {
public:
    static constexpr const char* Name = "ComeThroughUnscathed";
    void OnLevelStep(gameplay::RunningLevel& level, const gameplay::ShapeChain& chain) override;
    void OnLevelStart(gameplay::RunningLevel& level) override;
};

// Every kind, in order, for registration.
#define QUILLO_ACHIEVEMENT_KINDS(X) \
    X(AchievementMonsterFinger) \
    X(AchievementNarrowEscape) \
    X(AchievementFeedTheFish) \
    X(AchievementRainbow) \
    X(AchievementMassDiving) \
    X(AchievementOverboard) \
    X(AchievementShortNight) \
    X(AchievementQuickDiver) \
    X(AchievementHomelessMonsters) \
    X(AchievementGlobalWarming) \
    X(AchievementLetemFly) \
    X(AchievementMoneyBags) \
    X(AchievementChainMaster) \
    X(AchievementChainLightnings) \
    X(Achievement5050) \
    X(AchievementBlackJack) \
    X(AchievementEpicFail) \
    X(AchievementAesthete) \
    X(AchievementKaleidoscope) \
    X(AchievementMonsterMafia) \
    X(AchievementColorManiac) \
    X(AchievementZebra) \
    X(AchievementCaviar) \
    X(AchievementBillionaire) \
    X(AchievementIceBaby) \
    X(AchievementTitanic) \
    X(AchievementRustyAnchor) \
    X(AchievementScrapMetal) \
    X(AchievementCharmed) \
    X(AchievementHungryFish) \
    X(AchievementNerd) \
    X(AchievementComeThroughUnscathed)
