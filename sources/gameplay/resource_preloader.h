#pragma once

// Keeps textures, atlases and a symbol dictionary loaded while a screen needs them, so the
// nodes that use them do not load them again. Mode 0 is the shell's (water and clouds),
// mode 1 the in-level screen's.

#include <memory>
#include <vector>

#include "vadu/path.h"

namespace vadu::lib3d::material {
class TextureHandle;
}
namespace vadu::lib3d::node::text {
class SymbolAtlas;
}

namespace gameplay {

class ResourcePreloader {
public:
    explicit ResourcePreloader(int mode);
    ~ResourcePreloader();
    ResourcePreloader(const ResourcePreloader&) = delete;
    ResourcePreloader& operator=(const ResourcePreloader&) = delete;

    void AddTexture(const vadu::filesystem::String& path, bool wrap);
    // Frame 0 of the atlas.
    void AddAtlas(const vadu::filesystem::String& path);
    void AddDictionary(const vadu::filesystem::String& path);

    const std::vector<std::unique_ptr<vadu::lib3d::material::TextureHandle>>& Textures() const noexcept
    {
        return textures_;
    }
    const std::vector<std::unique_ptr<vadu::lib3d::node::text::SymbolAtlas>>& Dictionaries() const noexcept
    {
        return dictionaries_;
    }

private:
    std::vector<std::unique_ptr<vadu::lib3d::material::TextureHandle>> textures_;
    std::vector<std::unique_ptr<vadu::lib3d::node::text::SymbolAtlas>> dictionaries_;
};

} // namespace gameplay
