#include "sources/achievement_kinds.h"

#include <cstdint>
#include <map>
#include <set>

#include "sources/gameplay/balance.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape.h"
#include "sources/gameplay/shape_chain.h"

using gameplay::RunningLevel;
using gameplay::ShapeChain;

namespace {

const gameplay::LevelProfile& RecordOf(RunningLevel& level)
{
    static const gameplay::LevelProfile none;
    const gameplay::LevelProfile* record = level.Record();
    return record != nullptr ? *record : none;
}

bool GoalReached(RunningLevel& level)
{
    const int goal = level.Settings().starCountGoal;
    const gameplay::RunningHud* hud = level.Hud();
    return goal != 0 && hud != nullptr && hud->StarsCollected() >= goal;
}

// The colours of the stars counted so far, in order.
const std::vector<int>& BarSequence(RunningLevel& level)
{
    static const std::vector<int> none;
    const gameplay::RunningHud* hud = level.Hud();
    return hud != nullptr ? hud->StarColours() : none;
}

// The current turn's count plus the earlier turns' back to the first that collected none.
int Combo(const ShapeChain& chain)
{
    int combo = chain.Current().count;
    for (const ShapeChain::Record& record : chain.History()) {
        if (record.count == 0)
            break;
        combo += record.count;
    }
    return combo;
}

int MostOfOneColour(const std::vector<int>& colours)
{
    std::map<int, int> counts;
    int most = 0;
    for (int colour : colours) {
        if (colour >= 0)
            most = std::max(most, ++counts[colour]);
    }
    return most;
}

bool HasFrozen(const ShapeChain::Record& record)
{
    for (const ShapeChain::Item& item : record.items) {
        if (item.frozen)
            return true;
    }
    return false;
}

// The water kinds sit out levels without water above the floor.
bool WithoutWater(RunningLevel& level)
{
    return level.Settings().backgroundType == LevelTypeUnderwater || level.Settings().GetWaterLevel() <= 0.0f;
}

} // namespace

void AchievementMonsterFinger::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    if (chain.Current().count != 0 && Combo(chain) >= 5)
        Unlock();
}

void AchievementNarrowEscape::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    if (GoalReached(level) && level.Settings().levelEnergy != 0 && level.Mana() <= 15.0f)
        Unlock();
}

void AchievementFeedTheFish::OnLevelStart(RunningLevel&)
{
    fedCount = 0;
}

void AchievementRainbow::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    if (chain.Current().count == 0 || Combo(chain) < 5)
        return;
    std::set<int> colours;
    const auto collect = [&colours](const ShapeChain::Record& record) {
        for (const ShapeChain::Item& item : record.items) {
            if (item.kind == gameplay::ShapeKind::Starred)
                colours.insert(item.colour);
        }
    };
    collect(chain.Current());
    int older = 0;
    for (const ShapeChain::Record& record : chain.History()) {
        if (older++ == 2)
            break;
        collect(record);
    }
    if (colours.size() >= 5)
        Unlock();
}

void AchievementMassDiving::OnLevelStart(RunningLevel& level)
{
    if (WithoutWater(level))
        active = false;
    divedCount = 0;
}

void AchievementOverboard::OnLevelStart(RunningLevel& level)
{
    if (WithoutWater(level))
        active = false;
}

void AchievementShortNight::OnLevelEnd(RunningLevel& level)
{
    if (level.Settings().backgroundType == LevelTypeNight && GoalReached(level) && level.LevelTime() < 60.0f)
        Unlock();
}

void AchievementQuickDiver::OnLevelEnd(RunningLevel& level)
{
    if (level.Settings().backgroundType == LevelTypeUnderwater && GoalReached(level) && level.LevelTime() < 60.0f)
        Unlock();
}

void AchievementHomelessMonsters::OnLevelEnd(RunningLevel& level)
{
    int starred = 0;
    for (const gameplay::Shape* shape : level.Shapes()) {
        if (shape != nullptr && shape->GetKind() == gameplay::ShapeKind::Starred)
            ++starred;
    }
    if (starred >= 10)
        Unlock();
}

void AchievementGlobalWarming::OnLevelStart(RunningLevel&)
{
    levelCount = 0;
}

void AchievementGlobalWarming::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    for (const ShapeChain::Item& item : chain.Current().items) {
        if (item.frozen)
            ++levelCount;
    }
    if (total + levelCount >= 100)
        Unlock();
}

void AchievementGlobalWarming::OnLevelEnd(RunningLevel& level)
{
    if (GoalReached(level))
        total += levelCount;
}

void AchievementLetemFly::OnLevelStart(RunningLevel&)
{
    levelCount = 0;
}

void AchievementLetemFly::OnLevelEnd(RunningLevel& level)
{
    if (GoalReached(level))
        total += levelCount;
}

void AchievementMoneyBags::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    if (level.Score() >= gameplay::Balance::Instance().MoneybagsScore)
        Unlock();
}

void AchievementChainMaster::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    std::vector<int> colours;
    for (const ShapeChain::Item& item : chain.Current().items)
        colours.push_back(item.colour);
    if (MostOfOneColour(colours) >= 15)
        Unlock();
}

void AchievementChainLightnings::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    if (chain.Current().bombs > 2)
        Unlock();
}

void Achievement5050::OnLevelEnd(RunningLevel& level)
{
    const std::vector<int>& bar = BarSequence(level);
    if (!GoalReached(level) || bar.size() < 2)
        return;
    int runs = 1;
    for (size_t i = 1; i < bar.size(); ++i) {
        if (bar[i] != bar[i - 1])
            ++runs;
    }
    if (runs == 2)
        Unlock();
}

void AchievementBlackJack::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    if (RecordOf(level).number == 21 && level.Score() >= 21000)
        Unlock();
}

void AchievementEpicFail::OnLevelEnd(RunningLevel& level)
{
    const gameplay::RunningHud* hud = level.Hud();
    if (hud != nullptr && hud->CountsStars() && hud->StarsCollected() == 0 &&
        level.Score() >= gameplay::Balance::Instance().EpicfailScore)
        Unlock();
}

void AchievementAesthete::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    const std::vector<int>& bar = BarSequence(level);
    for (size_t i = 2; i < bar.size(); ++i) {
        if (bar[i] == bar[i - 1] && bar[i] == bar[i - 2]) {
            Unlock();
            return;
        }
    }
}

void AchievementKaleidoscope::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    const std::vector<int>& bar = BarSequence(level);
    if (std::set<int>(bar.begin(), bar.end()).size() == 5)
        Unlock();
}

void AchievementColorManiac::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    if (MostOfOneColour(BarSequence(level)) >= 5)
        Unlock();
}

void AchievementZebra::OnLevelEnd(RunningLevel& level)
{
    const std::vector<int>& bar = BarSequence(level);
    if (!GoalReached(level) || bar.size() < 2 || bar[0] == bar[1])
        return;
    for (size_t i = 2; i < bar.size(); ++i) {
        if (bar[i] != bar[i - 2])
            return;
    }
    Unlock();
}

void AchievementBillionaire::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    int64_t sum = 0;
    if (owner != nullptr && owner->levelRecords != nullptr) {
        for (const gameplay::LevelProfile& record : *owner->levelRecords) {
            if (record.mode == gameplay::Zen)
                sum += record.bestScore;
        }
    }
    if (sum + level.Score() - RecordOf(level).bestScore >= 1000000)
        Unlock();
}

void AchievementIceBaby::OnLevelStep(RunningLevel& level, const ShapeChain& chain)
{
    if (level.Score() < 20000)
        return;
    bool frozen = HasFrozen(chain.Current());
    for (const ShapeChain::Record& record : chain.History())
        frozen = frozen || HasFrozen(record);
    if (frozen)
        active = false;
    else
        Unlock();
}

void AchievementTitanic::OnLevelStep(RunningLevel&, const ShapeChain& chain)
{
    if (HasFrozen(chain.Current()))
        Unlock();
}

void AchievementRustyAnchor::OnLevelStart(RunningLevel& level)
{
    if (WithoutWater(level))
        active = false;
}

void AchievementScrapMetal::OnLevelStart(RunningLevel& level)
{
    if (WithoutWater(level))
        active = false;
    sunkCount = 0;
}

void AchievementScrapMetal::OnLevelStep(RunningLevel&, const ShapeChain&)
{
    sunkCount = 0;
}

void AchievementCharmed::OnLevelStart(RunningLevel&)
{
    idleTime = 0.0f;
}

void AchievementCharmed::OnLevelStep(RunningLevel&, const ShapeChain&)
{
    idleTime = 0.0f;
}

void AchievementCharmed::OnShapesUpdated(RunningLevel&, float dt)
{
    idleTime += dt;
    if (idleTime >= 20.0f)
        Unlock();
}

void AchievementNerd::OnLevelEnd(RunningLevel& level)
{
    if (level.IsLost())
        return;
    const gameplay::LevelProfile& record = RecordOf(level);
    if (lastLevelNumber == record.number && lastLevelMode == record.mode) {
        Unlock();
        return;
    }
    lastLevelNumber = record.number;
    lastLevelMode = record.mode;
}

void AchievementComeThroughUnscathed::OnLevelStart(RunningLevel& level)
{
    if (RecordOf(level).mode != gameplay::Zen || WithoutWater(level))
        active = false;
}

void AchievementComeThroughUnscathed::OnLevelStep(RunningLevel& level, const ShapeChain&)
{
    if (level.Score() >= 20000)
        Unlock();
}
