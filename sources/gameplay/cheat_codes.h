#pragma once

// Developer shortcuts typed on the keyboard anywhere in the game. Each code is matched
// character by character; typing it whole emits its signal.

#include <cstdint>
#include <memory>
#include <vector>

#include "game/signal.h"
#include "vadu/input.h"
#include "vadu/string.h"

namespace gameplay {

class CheatCodes : public vadu::input::Listener {
public:
    class Matcher {
    public:
        // The code is lower-cased here.
        explicit Matcher(const vadu::BasicString<char>& code);

        // A mismatch restarts the code without trying the character as its first letter.
        void Feed(char c);

        const vadu::BasicString<char>& GetCode() const noexcept { return code_; }
        uint32_t GetPosition() const noexcept { return position_; }

        Signal<void()> listeners;
        // A code that belongs to an object (an achievement of one profile's collection)
        // leaves the list once its owner's token has expired; without one it stays.
        std::weak_ptr<const void> owner;
        bool owned = false;

    private:
        vadu::BasicString<char> code_;
        uint32_t position_ = 0;
    };

    // Made on first use; needs the input manager.
    static CheatCodes& Instance();
    // Destroys the instance; the application does so before the input manager it listens
    // to goes, so a later application's keyboard reaches a fresh one.
    static void Destroy();
    static void ResetForTests() { Destroy(); }

    CheatCodes();
    ~CheatCodes() override;

    // The list owns the matcher; returns it for connecting. A matcher given an owner's
    // token goes when the token expires, so codes made for every profile loaded do not pile up.
    Matcher& AddCode(std::unique_ptr<Matcher> matcher);
    Matcher& AddCode(std::unique_ptr<Matcher> matcher, std::weak_ptr<const void> owner);
    // Only the "Keyboard" device's character events count.
    void OnInput(const vadu::input::Event& event);
    void on_event(vadu::input::Event& event) override { OnInput(event); }

    // "grobnelt": the running level's mana.
    Signal<void()>& ManaCode() { return mana_->listeners; }
    // "vastrepod": the level-select screen's unlock.
    Signal<void()>& LevelsCode() { return levels_->listeners; }
    const std::vector<std::unique_ptr<Matcher>>& Matchers() const noexcept { return matchers_; }

private:
    // Drops the matchers whose owners have gone; not while the list is being fed.
    void DropOrphans();

    std::vector<std::unique_ptr<Matcher>> matchers_;
    bool feeding_ = false;
    Matcher* mana_ = nullptr;
    Matcher* levels_ = nullptr;
};

} // namespace gameplay
