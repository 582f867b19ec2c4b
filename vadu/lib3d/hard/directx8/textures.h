#pragma once

// Textures, cube textures and render targets on the graphics device.

#include <cstdint>
#include <vector>

#include "platform/gfx/device.h"
#include "vadu/atom.h"
#include "vadu/lib3d/hard/directx8/resource.h"
#include "vadu/lib3d/hard/resources.h"

namespace vadu::lib3d::hard::directx8 {

// The sizes every texture-like object keeps. The device stores power-of-two sides; the
// scales map texture coordinates of the requested picture onto the padded storage.
struct TextureBase {
    int32_t format = 0; // picture format word
    uint32_t width = 0; // requested
    uint32_t height = 0;
    uint32_t padded_width = 1;
    uint32_t padded_height = 1;
    float horizontal_scale = 1.0f; // requested ÷ padded
    float vertical_scale = 1.0f;
};

// The smallest power of two not below the size (1 for 0; at most 2^31).
uint32_t padded_size(uint32_t size);

// Fills the base; logs "WARNING: used non power-of-two texture!" when a side is padded.
TextureBase texture_base_init(int32_t format, uint32_t width, uint32_t height);

// Levels of a texture whose larger padded side exceeds the largest size the device takes
// are left out from the top: (larger side ÷ largest size) ÷ 2 of them, as stored data
// expects, but never so many that a side of the stored top level would drop below one
// pixel. A largest size of 0 means no limit.
uint32_t skipped_levels(uint32_t padded_width, uint32_t padded_height, uint32_t max_size);

// Copies the last requested pixel of each row over the padding to its right, then the
// last requested row over the rows below. Sizes in pixels; `pitch` bytes between rows.
void replicate_edges(uint8_t* pixels, int32_t pitch, uint32_t pixel_bytes, uint32_t width, uint32_t height,
                     uint32_t requested_width, uint32_t requested_height);

// A managed texture with a full mip chain. Engine levels count from the requested size;
// the stored chain starts at the first level that is not skipped.
class Texture : public hard::Texture, public ResourceRegistration {
public:
    // `levels` is the picture's own level count; the whole chain is made regardless, and
    // the levels the picture lacks are built from the ones above. Throws Gluck when the
    // device cannot make the texture (also for an empty size).
    Texture(ResourceOwner& owner, uint32_t levels, int32_t format, platform::gfx::Format device_format, uint32_t width,
            uint32_t height, uint32_t max_size);
    ~Texture() override;

    bool is_operational() const override { return operational_; }
    // Scales the stage's texture coordinates onto the padded storage, forces point
    // sampling when asked to (else leaves the stage's filters alone) and binds the
    // texture. False with no device texture.
    bool set(uint32_t stage) override;
    // Null for a skipped level, a level past the chain, or after the device texture was
    // dropped. Throws Gluck when the device refuses the lock.
    void* lock(uint32_t level, int32_t& pitch) override;
    // Pads the level by edge replication with the format's real pixel size and that
    // level's sizes, then rebuilds the levels below it. A level that is not locked is
    // left alone.
    void unlock(uint32_t level) override;
    void set_point_sampling(bool on) override { point_sampling_ = on; }
    void set_wrap(bool on) override { wrap_ = on; }
    pictureformat::Format get_format() const override { return static_cast<pictureformat::Format>(base_.format); }
    uint32_t get_width() const override { return base_.width; }
    uint32_t get_height() const override { return base_.height; }

    void on_device_lost() override;
    void drop() override;

    const TextureBase& get_base() const noexcept { return base_; }
    platform::gfx::Format get_device_format() const noexcept { return device_format_; }
    uint32_t get_skipped_levels() const noexcept { return skipped_; }
    // Skipped levels + 1.
    uint32_t get_level_count() const noexcept { return skipped_ + 1; }
    bool get_point_sampling() const noexcept { return point_sampling_; }
    bool get_wrap() const noexcept { return wrap_; }
    platform::gfx::Texture* get_device_texture() const noexcept { return texture_; }

private:
    struct Locked {
        uint32_t level;
        uint8_t* pixels;
        int32_t pitch;
    };

    TextureBase base_;
    platform::gfx::Format device_format_;
    uint32_t skipped_ = 0;
    platform::gfx::Texture* texture_ = nullptr;
    bool operational_ = false;
    bool point_sampling_ = false;
    bool wrap_ = true;
    std::vector<Locked> locked_;
};

// A managed cube texture; its edge is the requested width, which must equal the height.
class TextureCubic : public hard::TextureCubic, public ResourceRegistration {
public:
    // Tries the given levels (unless 1), then one level with automatic mipmaps, then one
    // plain level. Throws Gluck for a non-square size or when nothing can be made.
    TextureCubic(ResourceOwner& owner, uint32_t levels, int32_t format, platform::gfx::Format device_format,
                 uint32_t width, uint32_t height);
    ~TextureCubic() override;

    bool is_operational() const override { return operational_; }
    // Binds the texture; false with no device texture.
    bool set(uint32_t stage) override;
    // Null after the device texture was dropped; throws Gluck when the device refuses.
    void* lock(uint32_t level, uint32_t face, int32_t& pitch) override;
    void unlock(uint32_t level, uint32_t face) override;
    pictureformat::Format get_format() const override { return static_cast<pictureformat::Format>(base_.format); }
    uint32_t get_width() const override { return base_.width; }
    uint32_t get_height() const override { return base_.height; }

    void on_device_lost() override;
    void drop() override;

    const TextureBase& get_base() const noexcept { return base_; }
    uint32_t get_level_count() const noexcept { return level_count_; }
    platform::gfx::CubeTexture* get_device_texture() const noexcept { return texture_; }

private:
    TextureBase base_;
    uint32_t level_count_ = 0;
    platform::gfx::CubeTexture* texture_ = nullptr;
    bool operational_ = false;
};

// A named off-screen target of padded size; its texture lives in the device's own memory,
// is made by the first start_scene and released when the device is lost.
class RenderTarget : public hard::RenderTarget, public ResourceRegistration {
public:
    RenderTarget(ResourceOwner& owner, const Atom& name, uint32_t width, uint32_t height);
    // Leaves the hardware's render-target list.
    ~RenderTarget() override;

    int get_width() const override { return static_cast<int>(base_.padded_width); }
    int get_height() const override { return static_cast<int>(base_.padded_height); }
    // Draws into this target from now on. False when the hardware is not operational or
    // the scene cannot begin; throws Gluck when the texture cannot be made.
    bool start_scene(double left, double right, double top, double bottom) override;
    // Always: whatever was drawn last stays until the next scene.
    bool is_operational() const override { return true; }
    bool set(uint32_t stage) override;

    void on_device_lost() override;
    void drop() override;

    const TextureBase& get_base() const noexcept { return base_; }
    platform::gfx::Texture* get_device_texture() const noexcept { return texture_; }

private:
    TextureBase base_;
    platform::gfx::Texture* texture_ = nullptr;
};

} // namespace vadu::lib3d::hard::directx8
