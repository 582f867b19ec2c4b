#pragma once

// Animation files parsed once: each name keeps its prototype, and every caller gets a copy
// of its own.

#include <map>
#include <memory>
#include <string>

#include "vadu/string.h"

namespace vadu::animate {
class PrimitiveAnimation;
}

class SharedAnimations {
public:
    SharedAnimations();
    virtual ~SharedAnimations();
    SharedAnimations(const SharedAnimations&) = delete;
    SharedAnimations& operator=(const SharedAnimations&) = delete;

    // The one cache, made on first use.
    static SharedAnimations& Instance();
    // Drops the cache; the next Instance() starts empty. For tests.
    static void Reset();

    // A copy of the animation "data/" + name (the name exactly as given: case counts).
    // Raises vadu::GluckBadResource "Failed to load animation's resource" with the path,
    // caching nothing, when the file cannot be read or parsed.
    std::unique_ptr<vadu::animate::PrimitiveAnimation> Load(const vadu::String& name);

    size_t GetCachedCount() const { return prototypes_.size(); }

private:
    std::map<std::string, std::unique_ptr<vadu::animate::PrimitiveAnimation>> prototypes_;
};
