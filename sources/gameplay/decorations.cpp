#include "sources/gameplay/decorations.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/random.h"
#include "sources/gameplay/shell_services.h"
#include "sources/gameplay/water_decoration.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/log.h"

namespace gameplay {

namespace {

using vadu::lib3d::node::Sprite;

constexpr float SunDepth = 49.5f;
constexpr int CloudCount = 4;

float draw()
{
    return static_cast<float>(platform::random()) / static_cast<float>(platform::random_max);
}

// Pieces between '/', '-' and '\', empty ones kept.
std::vector<std::string> split(const std::string& name)
{
    std::vector<std::string> pieces(1);
    for (const char c : name) {
        if (c == '/' || c == '-' || c == '\\')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

// The run of decimal digits at the end; -1 when there is none (or it does not fit).
int trailing_number(const std::string& piece)
{
    size_t start = piece.size();
    while (start > 0 && piece[start - 1] >= '0' && piece[start - 1] <= '9')
        --start;
    const std::string digits = piece.substr(start);
    if (digits.empty() || digits.size() > 9)
        return -1;
    return std::stoi(digits);
}

void log_line(const std::string& text)
{
    try {
        vadu::logs::log() << text.c_str() << "\n";
    } catch (const vadu::Gluck&) {
        // No log in this program: the decoration is simply left out.
    }
}

} // namespace

Decorations::Decorations() : background_(std::make_unique<BackgroundDescription>()) {}

Decorations::Decorations(std::unique_ptr<BackgroundDescription> background) : background_(std::move(background))
{
    if (!background_)
        background_ = std::make_unique<BackgroundDescription>();
}

Decorations::~Decorations()
{
    water_.reset();
    clouds_.clear();
    background_.reset();
}

void Decorations::Create(const BackgroundDescription& background, vadu::lib3d::node::Node* parent)
{
    if (&background != background_.get()) {
        auto copy = std::make_unique<BackgroundDescription>();
        copy->waterLevel.AddRef(background.waterLevel.get());
        copy->backgroundType = background.backgroundType;
        copy->items = background.items;
        background_ = std::move(copy);
    }
    Create(parent);
}

void Decorations::Create(vadu::lib3d::node::Node* parent)
{
    if (parent == nullptr)
        throw vadu::Gluck("gameplay::Decorations::Create", "no parent node for the decorations");
    const ShellServices& shell = ShellServices::Get();
    const float s = shell.GetScale();
    parent_ = parent;
    clouds_.clear();
    tint_ = {1.0f, 1.0f, 1.0f};

    const int type = background_->backgroundType;
    const float water_level = background_->waterLevel.get() != nullptr ? *background_->waterLevel : 0.0f;
    water_.reset();
    if (water_level > 0.0f || type == 2) {
        water_ = std::make_unique<WaterDecoration>();
        if (type == 2)
            water_->LoadUnderwater(parent);
        else
            water_->Load(*background_, parent);
    }

    const char* name = "main_bg";
    if (type == 1) {
        name = "main_bg_night";
        tint_ = {0.2f, 0.2f, 0.4f};
    } else if (type == 2) {
        name = "main_bg_underwater";
    }
    const float coefficient = shell.GetBackgroundCoefficient();
    background_sprite_ =
        AddSprite({s * 480.0f, s * 320.0f + shell.GetExtraHeight() * 0.5f}, BackgroundDepth,
                  vadu::String("data/decorations/") + name, true, 0.0f, {coefficient, coefficient});

    if (type == 0) {
        const float field_width = shell.GetFieldSize().x;
        for (int i = 1; i <= CloudCount; ++i) {
            // The draws keep this order: a replay depends on it.
            const float y0 = water_ ? draw() * 250.0f + 300.0f : draw() * 440.0f + 110.0f;
            const float y = std::trunc(s * y0);
            const float x = draw() * field_width;
            const float speed = (draw() * 25.0f + 25.0f) * s;
            char texture[40];
            std::snprintf(texture, sizeof texture, "data/decorations/cloud%d", i);
            const float depth = draw() * 2.0f + 47.0f;
            Sprite* cloud = AddSprite({x, y}, depth, texture, false, 0.0f, {1.0f, 1.0f});
            clouds_.emplace_back(cloud, speed);
        }
    }

    island_depth_ = FirstIslandDepth;
    sky_depth_ = FirstSkyDepth;
    for (const DecorationItem& item : background_->items)
        CreateSymbol(item);
}

void Decorations::CreateSymbol(const DecorationItem& item)
{
    const std::string name(item.asset_name.data(), item.asset_name.size());
    const std::vector<std::string> pieces = split(name);
    if (pieces.size() != 3)
        return;
    const int variant = trailing_number(pieces[2]);
    const auto contains = [&name](const char* word) { return name.find(word) != std::string::npos; };

    const char* pattern = nullptr;
    float depth = 0.0f;
    float* stored = nullptr;
    if (contains("SkyIslandSymbol")) {
        pattern = "data/decorations/sky_island%d";
        stored = &sky_depth_;
        depth = sky_depth_ - 0.01f;
    } else if (contains("IslandSymbol")) {
        pattern = "data/decorations/island%d";
        stored = &island_depth_;
        depth = island_depth_ - 0.2f;
    } else if (contains("TreeSymbol")) {
        pattern = "data/decorations/tree%d";
        stored = &island_depth_;
        depth = island_depth_ - 0.2f;
    } else if (contains("SeaweedSymbol")) {
        // The sea floor's plants stand where islands and trees stand on land.
        pattern = "data/decorations/seaweed%d";
        stored = &island_depth_;
        depth = island_depth_ - 0.2f;
    } else if (contains("CoralSymbol")) {
        pattern = "data/decorations/coral%d";
        stored = &island_depth_;
        depth = island_depth_ - 0.2f;
    } else if (contains("Sun")) {
        pattern = "data/decorations/sun";
        depth = SunDepth;
    } else if (contains("Moon")) {
        pattern = "data/decorations/moon";
        depth = SunDepth;
    } else {
        return;
    }

    char texture[64];
    if (stored != nullptr) {
        // Numbered pictures only: without a number there is no picture to ask for.
        if (variant < 0) {
            log_line("Decorations: no picture number in \"" + name + "\", left out");
            return;
        }
        std::snprintf(texture, sizeof texture, pattern, variant);
        *stored = depth;
    } else {
        std::snprintf(texture, sizeof texture, "%s", pattern);
    }

    Sprite* sprite = AddSprite({item.x, item.y}, depth, texture, true, item.rotation, {item.scaleX, item.scaleY});
    // The moon keeps its own colour at night.
    if (!contains("Moon"))
        sprite->set_color(tint_.x, tint_.y, tint_.z);
}

Sprite* Decorations::AddSprite(const vadu::math::Vector2<float>& position, float depth, const vadu::String& texture,
                               bool filter, float rotation, const vadu::math::Vector2<float>& scale)
{
    auto* sprite = new Sprite(vadu::Atom("Decoration"), parent_);
    sprite->set_position({position.x, position.y, depth});
    sprite->set_rotation({0.0f, 0.0f, rotation});
    sprite->set_scale({scale.x, scale.y, 1.0f});
    sprite->set_filter_texture(filter);
    sprite->set_texture(texture, false);
    return sprite;
}

void Decorations::Update(float dt)
{
    if (water_)
        water_->Update(dt);
    const ShellServices& shell = ShellServices::Get();
    for (auto& [cloud, speed] : clouds_) {
        const vadu::math::Vector3& position = cloud->get_position();
        const float width = static_cast<float>(cloud->get_width());
        float x = position.x;
        if (x < -width - shell.GetFieldOffsetX())
            x = width + shell.GetScreenSize().x;
        const vadu::math::Vector3 moved{x - speed * dt, position.y, position.z};
        if (!(moved == position))
            cloud->set_position(moved);
    }
}

} // namespace gameplay
