#include "sources/gameplay/perishable.h"

namespace gameplay {

void Perishable::OnDangerChanged(bool) {}

void Perishable::PlayDying() {}

void Perishable::UpdateDanger(float dt)
{
    if (!IsInDanger()) {
        if (in_danger_) {
            in_danger_ = false;
            OnDangerChanged(false);
        }
        danger_time_ = 0.0f;
        return;
    }
    if (!in_danger_) {
        in_danger_ = true;
        OnDangerChanged(true);
    }
    danger_time_ += dt;
    if (GetDangerDelay() < danger_time_)
        Die();
}

void Perishable::Die()
{
    if (dead_ || !RemoveLinks())
        return;
    PlayDying();
    dead_ = true;
}

} // namespace gameplay
