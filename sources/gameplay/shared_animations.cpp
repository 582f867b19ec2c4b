#include "sources/gameplay/shared_animations.h"

#include "vadu/animate/primitive_animation.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_reader.h"

namespace {

std::unique_ptr<SharedAnimations>& Cache()
{
    static std::unique_ptr<SharedAnimations> cache;
    return cache;
}

} // namespace

SharedAnimations::SharedAnimations() = default;
SharedAnimations::~SharedAnimations() = default;

SharedAnimations& SharedAnimations::Instance()
{
    auto& cache = Cache();
    if (!cache)
        cache = std::make_unique<SharedAnimations>();
    return *cache;
}

void SharedAnimations::Reset()
{
    Cache().reset();
}

std::unique_ptr<vadu::animate::PrimitiveAnimation> SharedAnimations::Load(const vadu::String& name)
{
    const std::string key(name.data(), name.size());
    auto found = prototypes_.find(key);
    if (found == prototypes_.end()) {
        const vadu::filesystem::String path((vadu::String("data/") + name).c_str(), false);
        auto prototype = std::make_unique<vadu::animate::PrimitiveAnimation>();
        bool loaded = false;
        try {
            std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
            if (stream) {
                vadu::xml::StreamResource resource(stream.get(), path);
                vadu::xml::Root root(*prototype, "Animation");
                loaded = resource.load(root);
            }
        } catch (const vadu::Gluck&) {
            loaded = false;
        }
        if (!loaded)
            throw vadu::GluckBadResource("SharedAnimations::Load", "Failed to load animation's resource", path);
        found = prototypes_.emplace(key, std::move(prototype)).first;
    }
    return std::make_unique<vadu::animate::PrimitiveAnimation>(*found->second);
}
