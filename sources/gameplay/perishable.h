#pragma once

// The danger timer every shape carries: while the shape stays in danger (out of bounds or
// under the water line, as the shape decides) the timer runs, and past the delay the shape
// drops its links, starts dying and is marked dead, once.

#include "vadu/weak_ptr.h"

namespace gameplay {

class Perishable : public vadu::Trackable {
public:
    Perishable() = default;
    ~Perishable() override = default;

    // Called once per frame by the shape's update.
    void UpdateDanger(float dt);
    // Kills at once (lightning); nothing when already dead or the links refuse to go.
    void Die();

    bool IsDead() const noexcept { return dead_; }
    float GetDangerTime() const noexcept { return danger_time_; }
    bool WasInDanger() const noexcept { return in_danger_; }

    virtual void OnDangerChanged(bool in_danger);
    virtual float GetDangerDelay() const { return 1.2f; }
    virtual bool IsInDanger() = 0;
    // False keeps the shape alive; the next update tries again.
    virtual bool RemoveLinks() = 0;
    virtual void PlayDying();

private:
    bool dead_ = false;
    float danger_time_ = 0.0f;
    bool in_danger_ = false;
};

} // namespace gameplay
