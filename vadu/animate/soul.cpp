#include "vadu/animate/soul.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "vadu/exception.h"

namespace vadu::animate {
namespace {

// While a walk runs, leaving souls only null their entries, so that the walk never reads
// a freed soul or a moved entry; the holes are swept out when the outermost walk ends.
struct SoulLists {
    std::vector<Soul*> update;
    std::vector<Soul*> deferred;
    int walking = 0;
    bool holes = false;
};

SoulLists* lists = nullptr;

SoulLists& require_lists(const char* function)
{
    if (!lists)
        throw Gluck(function, "Souls not created");
    return *lists;
}

void remove_from_update_list(Soul* soul) noexcept
{
    auto& update = lists->update;
    if (lists->walking > 0) {
        for (Soul*& entry : update) {
            if (entry == soul) {
                entry = nullptr;
                lists->holes = true;
            }
        }
    } else {
        std::erase(update, soul);
    }
}

// Counts nested walks and sweeps the holes out when the outermost one ends, also when
// an update throws.
class WalkScope {
public:
    WalkScope() { ++lists->walking; }
    ~WalkScope()
    {
        if (--lists->walking > 0 || !lists->holes)
            return;
        std::erase(lists->update, nullptr);
        lists->holes = false;
    }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;
};

} // namespace

Soul::Creator::Creator()
{
    if (lists)
        throw Gluck("vadu::animate::Soul::Creator::Creator", "Souls already created");
    lists = new SoulLists;
}

Soul::Creator::~Creator()
{
    delete lists;
    lists = nullptr;
}

Soul::Soul()
{
    require_lists("vadu::animate::Soul::Soul").update.push_back(this);
    registered_ = true;
}

Soul::Soul(const Soul&) : Soul()
{
}

Soul::~Soul()
{
    if (!lists)
        return;
    if (registered_)
        remove_from_update_list(this);
    // Never erased here: the deletion pass may be walking this list right now.
    std::replace(lists->deferred.begin(), lists->deferred.end(), static_cast<Soul*>(this), static_cast<Soul*>(nullptr));
}

void Soul::set_active(bool active)
{
    if (active == registered_)
        return;
    if (active)
        require_lists("vadu::animate::Soul::set_active").update.push_back(this);
    else if (lists)
        remove_from_update_list(this);
    registered_ = active;
}

void Soul::delete_later()
{
    require_lists("vadu::animate::Soul::delete_later").deferred.push_back(this);
}

void Soul::update_all(double dt)
{
    if (!lists)
        return;
    WalkScope scope;

    // Indexes, with the size read anew after every call: entries appended meanwhile are
    // reached, and growing the list moves nothing that the walk holds.
    auto& update = lists->update;
    for (size_t i = 0; i < update.size(); ++i) {
        if (Soul* soul = update[i])
            soul->update(dt);
    }

    // A destructor nulls every entry of its soul here (a soul queued twice, or deleted
    // by another soul's destructor, is deleted once) and may queue more souls.
    auto& deferred = lists->deferred;
    for (size_t i = 0; i < deferred.size(); ++i) {
        if (Soul* soul = deferred[i])
            delete soul;
    }
    deferred.clear();
}

} // namespace vadu::animate
