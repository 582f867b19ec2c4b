#include "sources/gameplay/tutorial_condition.h"

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/level_settings.h"
#include "sources/gameplay/running_level.h"
#include "sources/gameplay/shape_chain.h"

namespace gameplay {

bool StartLevelCondition::Check(const ShapeChain& history)
{
    return history.History().empty();
}

bool FinishLevelCondition::Check(const ShapeChain&)
{
    const RunningLevel* level = InstanceRegistry::Get<RunningLevel>();
    return level && level->IsEnded();
}

bool CollectMonsterCondition::Check(const ShapeChain& history)
{
    const ShapeChain::Record& turn = history.Current();
    if (turn.count == 0)
        return false;
    if (colour == -1)
        return true;
    return !turn.items.empty() && turn.items.front().colour == colour;
}

bool CreateMonsterCondition::Check(const ShapeChain& history)
{
    return history.Current().created != 0;
}

bool ShapesCollectedForMonsterCondition::Check(const ShapeChain& history)
{
    const ShapeChain::Record& turn = history.Current();
    return turn.items.size() >= 5 && turn.bombs == 0;
}

bool AfterStepsCountCondition::Check(const ShapeChain&)
{
    ++counter;
    return counter >= stepsCount;
}

bool ManaDangerCondition::Check(const ShapeChain&)
{
    RunningLevel* level = InstanceRegistry::Get<RunningLevel>();
    // A level without a mana bar has a level energy of 0.
    return level && level->Settings().levelEnergy != 0 && level->Mana() <= Threshold;
}

} // namespace gameplay
