#include "sources/gameplay/underwater_level.h"

#include "sources/gameplay/shell_services.h"

namespace gameplay {

void UnderwaterLevel::SpawnShapes()
{
    idleTimer = 0.0f;
    if (CannonSet* cannons = GetCannonSet())
        AddSpawned(cannons->Fire(SceneRoot()), LaunchFactor);
}

void UnderwaterLevel::CollectChain(std::vector<Shape*>& chain, Shape* tapped)
{
    // The shell's achievements decide what a long underwater chain unlocks.
    ShellServices::Get().UnderwaterChainCollected(static_cast<int>(chain.size()));
    Level::CollectChain(chain, tapped);
}

} // namespace gameplay
