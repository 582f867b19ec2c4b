#include "sources/gameplay/cheat_codes.h"

#include <cctype>

namespace gameplay {

namespace {

std::unique_ptr<CheatCodes>& instance_slot()
{
    static std::unique_ptr<CheatCodes> instance;
    return instance;
}

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

CheatCodes::Matcher::Matcher(const vadu::BasicString<char>& code)
{
    vadu::BasicString<char> lowered;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = lower(code.c_str()[i]);
        lowered.append(vadu::BasicString<char>(&c, &c + 1));
    }
    code_ = lowered;
}

void CheatCodes::Matcher::Feed(char c)
{
    if (code_.empty())
        return;
    const uint32_t p = position_;
    position_ = p + 1;
    if (code_.c_str()[p] != c)
        position_ = 0;
    if (position_ == code_.size()) {
        position_ = 0;
        listeners.Emit();
    }
}

CheatCodes& CheatCodes::Instance()
{
    auto& slot = instance_slot();
    if (!slot)
        slot = std::make_unique<CheatCodes>();
    return *slot;
}

void CheatCodes::Destroy()
{
    instance_slot().reset();
}

CheatCodes::CheatCodes()
{
    mana_ = &AddCode(std::make_unique<Matcher>("grobnelt"));
    levels_ = &AddCode(std::make_unique<Matcher>("vastrepod"));
}

CheatCodes::~CheatCodes() = default;

CheatCodes::Matcher& CheatCodes::AddCode(std::unique_ptr<Matcher> matcher)
{
    DropOrphans();
    matchers_.push_back(std::move(matcher));
    return *matchers_.back();
}

CheatCodes::Matcher& CheatCodes::AddCode(std::unique_ptr<Matcher> matcher, std::weak_ptr<const void> owner)
{
    matcher->owner = std::move(owner);
    matcher->owned = true;
    return AddCode(std::move(matcher));
}

void CheatCodes::DropOrphans()
{
    if (feeding_)
        return;
    std::erase_if(matchers_, [](const std::unique_ptr<Matcher>& matcher) {
        return matcher->owned && matcher->owner.expired();
    });
}

void CheatCodes::OnInput(const vadu::input::Event& event)
{
    if (!(event.device == "Keyboard") || event.kind != vadu::input::Event::character || event.text.empty())
        return;
    vadu::BasicString<char> narrow;
    const char16_t* first = event.text.c_str();
    if (!narrow.assign_from_wide(first, first + 1) || narrow.empty())
        return;
    const char c = lower(narrow.c_str()[0]);
    DropOrphans();
    // A matcher's listener may add codes: index, not iterators, and nothing dropped meanwhile.
    feeding_ = true;
    for (size_t i = 0; i < matchers_.size(); ++i)
        matchers_[i]->Feed(c);
    feeding_ = false;
}

} // namespace gameplay
