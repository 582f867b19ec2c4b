#include "sources/gameplay/shape_chain.h"

#include <algorithm>

#include "sources/gameplay/instance_registry.h"
#include "sources/gameplay/running_level.h"

namespace gameplay {

int ShapeChain::Combo() const
{
    if (current_.count == 0)
        return 1;
    int combo = current_.count;
    for (const Record& record : history_) {
        if (record.count == 0)
            break;
        combo += record.count;
    }
    return combo;
}

void ShapeChain::Append()
{
    const int combo = Combo();
    best_combo_ = std::max(best_combo_, combo);
    if (combo >= 2) {
        if (RunningHud* hud = InstanceRegistry::Get<RunningHud>())
            hud->ShowCombo(combo, {current_.x, current_.y});
    }
    if (owner_ != nullptr)
        owner_->NextStep(*this);
    history_.push_front(std::move(current_));
    current_ = Record{};
}

} // namespace gameplay
