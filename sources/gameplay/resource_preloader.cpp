#include "sources/gameplay/resource_preloader.h"

#include "vadu/font/symbol_atlas.h"
#include "vadu/lib3d/material/texture_handle.h"

namespace gameplay {

namespace {

vadu::filesystem::String path(const char* text)
{
    return vadu::filesystem::String(text, true);
}

} // namespace

ResourcePreloader::ResourcePreloader(int mode)
{
    if (mode == 0) {
        for (const char* water : {"data/decorations/water1", "data/decorations/water2", "data/decorations/water3"})
            AddTexture(path(water), true);
        for (const char* cloud :
             {"data/decorations/cloud1", "data/decorations/cloud2", "data/decorations/cloud3", "data/decorations/cloud4"})
            AddTexture(path(cloud), false);
        return;
    }
    if (mode != 1)
        return;
    for (const char* picture : {"data/shapes/bottle", "data/tutorials/frame", "data/achievements/achievement_frame"})
        AddTexture(path(picture), false);
    for (const char* atlas : {"data/monsters/monster_blue.atlas", "data/monsters/monster_red.atlas",
                              "data/monsters/monster_yellow.atlas", "data/monsters/monster_purple.atlas",
                              "data/monsters/monster_orange.atlas", "data/shapes/lightning.atlas",
                              "data/shapes/bomb.atlas"})
        AddAtlas(path(atlas));
    AddDictionary(path("data/fonts/score.symdict"));
}

ResourcePreloader::~ResourcePreloader() = default;

void ResourcePreloader::AddTexture(const vadu::filesystem::String& picture, bool wrap)
{
    textures_.push_back(std::make_unique<vadu::lib3d::material::TextureHandle>(picture, wrap));
}

void ResourcePreloader::AddAtlas(const vadu::filesystem::String& atlas)
{
    textures_.push_back(std::make_unique<vadu::lib3d::material::TextureHandle>(atlas, 0));
}

void ResourcePreloader::AddDictionary(const vadu::filesystem::String& dictionary)
{
    dictionaries_.push_back(std::make_unique<vadu::lib3d::node::text::SymbolAtlas>(dictionary));
}

} // namespace gameplay
