#pragma once

// The render device of one display adapter, over the graphics device layer: what the
// adapter can do and which video modes it offers (decided once, at construction), the
// device of the mode that is set, the frame cycle with its recovery from a lost
// device, the drawing of render lists, and the factories of device resources.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/gfx/device.h"
#include "platform/window.h"
#include "vadu/lib3d/hard/directx8/resource.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::hard::directx8 {

// The adapter's capability rows by name ("device_caps.MaxPointSize" and so on).
using CapabilityRows = std::map<String, int32_t>;

// What the constructor derives from the capability rows.
struct Capabilities {
    uint32_t max_anisotropy = 0;
    bool sprites = false;
    uint32_t max_vertex_index = 0;
    bool auto_mipmaps = false;
    bool shadows = false;
    uint32_t stencil_increment = 0; // stencil operation numbers
    uint32_t stencil_decrement = 0;
    bool transparency = false;
    bool try_hardware_vertex_processing = false;
    bool hardware_vertex_shaders = false;
    // 0: old cards (one texture and the factor); 1: two textures and the factor.
    uint32_t driver_class = 0;
    bool prefer_small_formats = false;
    uint32_t max_texture_size = 0;
    int32_t default_width = 1024;
    int32_t default_height = 768;
};

// The formats and sizes of a video mode.
struct ModeParameters {
    bool is_full_screen = false;
    int32_t resolution_x = 0;
    int32_t resolution_y = 0;
    platform::gfx::Format colour_format = platform::gfx::Format::unknown;
    platform::gfx::Format display_format = platform::gfx::Format::unknown;
    // Off-screen targets and the frame synchronisation surfaces; unknown when none fits.
    platform::gfx::Format render_target_format = platform::gfx::Format::unknown;
    platform::gfx::Format z_buffer_format = platform::gfx::Format::unknown;
    // By picture format; unknown in the cube table: no cube textures of that format.
    std::array<platform::gfx::Format, pictureformat::format_count> texture_formats{};
    std::array<platform::gfx::Format, pictureformat::format_count> cube_texture_formats{};
    uint32_t multisample_type = 0;
};

// The log name of a format ("D3DFMT_A8R8G8B8"); empty for one it does not name.
const char* format_name(platform::gfx::Format format);

class RenderTarget;

class Hardware : public hard::Hardware, public ResourceOwner {
public:
    // The world-matrix stack holds depths 0 to world_stack_size − 1.
    static constexpr int world_stack_size = 1024;

    // Reads the capabilities and publishes the adapter's video modes; opens no device.
    // The factory is shared and must outlive the hardware.
    Hardware(platform::gfx::Factory* factory, uint32_t adapter, const CapabilityRows& rows);
    ~Hardware() override;

    // --- the render device ---

    // The client size of the window at the last mode set or reset.
    int get_width() const override;
    int get_height() const override;
    // Opens a scene on the back buffer. False (nothing may be drawn) without a usable
    // device or when the device refuses the scene.
    bool start_scene(double left, double right, double top, double bottom) override;
    // Opens the device windowed on the window, replacing a mode that is set. False, with
    // no device, for an unreadable resolution, formats the adapter lacks or a device the
    // layer refuses.
    bool set_mode_internal(platform::WindowHandle window, const Row& row) override;
    String get_description() const override { return description_; }
    String get_name() const override { return name_; }
    // Closes the device: every resource of this hardware lets go of its device objects.
    void stop_mode() override;
    // The resources of the device are live (between restore and loss).
    bool is_operational() const override { return frame_sync_ != nullptr; }
    // Sorts and draws the list into the target (this hardware or one of its render
    // targets). Only the first list drawn into a target in a frame clears its colour;
    // later ones (the cursor's) draw over it and clear depth only.
    void render(RenderList& list, RenderTargetBase& target) override;
    // Throws Gluck for a picture format outside the table or one the mode cannot store.
    std::unique_ptr<hard::Texture> create_texture(int levels, pictureformat::Format format, int width,
                                                  int height) override;
    // A format without cube support gives a texture that stores and shows nothing.
    std::unique_ptr<hard::TextureCubic> create_texture_cubic(int levels, pictureformat::Format format, int width,
                                                             int height) override;
    std::unique_ptr<hard::VertexBuffer> create_vertex_buffer(bool dynamic) override;
    std::unique_ptr<hard::IndexBuffer> create_index_buffer() override;
    std::unique_ptr<hard::PointBuffer> create_point_buffer() override;
    // The caller owns the target; the hardware keeps finding it by name while it lives.
    std::unique_ptr<hard::RenderTarget> create_render_target(const Atom& name, int width, int height) override;
    hard::RenderTarget* find_render_target(const Atom& name) override;
    // False: skip this frame (minimised window, lost device, or the frame that reset it).
    // Throws Gluck when the device is open but its resources could not be restored.
    bool start_frame() override;
    void finish_frame() override;

    // --- the world-matrix stack (engine matrices, translation in elements 3, 7, 11) ---

    // Pushes the matrix and makes it the device's world transform. Throws Gluck at the
    // last depth.
    void push_world_matrix(const math::Matrix4& matrix);
    // Pushes top × matrix (the matrix applied first) and makes it the world transform.
    // Throws Gluck at the last depth.
    void push_multiplied_world_matrix(const math::Matrix4& matrix);
    const math::Matrix4& get_world_matrix() const { return world_stack_[static_cast<size_t>(depth_)]; }
    // Throws Gluck at depth 0. The device keeps its transform until the next push.
    void pop_world_matrix();
    int get_world_depth() const noexcept { return depth_; }

    // --- the device's resources ---

    // Unbinds everything and lets the resources drop what a lost device takes with it.
    void lose_resources();
    // Makes the frame synchronisation and default textures anew and sets the states
    // every frame relies on.
    void restore_resources();

    // Throws Gluck for a format no picture format describes.
    static pictureformat::Format remap_pictureformat(platform::gfx::Format format);
    // Picks the formats for `mode.is_full_screen` on this adapter; false when the
    // adapter has no usable colour or depth format or no texture format for a picture
    // format.
    bool select_formats(ModeParameters& mode) const;

    // --- what the resources see (ResourceOwner) ---

    platform::gfx::Device* get_device() const override { return device_; }
    ResourceList& get_resource_list() override { return resources_; }
    // Lights or an ambient colour in the list being drawn.
    bool has_lights() const override
    {
        if (!current_list_)
            return false;
        const math::Vector3& ambient = current_list_->ambient;
        return !current_list_->lights.empty() || ambient.x > 0.0f || ambient.y > 0.0f || ambient.z > 0.0f;
    }
    bool has_hardware_vertex_shaders() const override { return capabilities_.hardware_vertex_shaders; }
    void set_scene_viewport(double left, double right, double top, double bottom, uint32_t width,
                            uint32_t height) override;
    void forget_render_target(RenderTarget* target) override;

    // --- state, for the shell's diagnostics and for tests ---

    const Capabilities& get_capabilities() const noexcept { return capabilities_; }
    const ModeParameters& get_mode_parameters() const noexcept { return mode_; }
    uint32_t get_adapter() const noexcept { return adapter_; }
    // −1 while unknown; the next blend mode is then sent whatever it is.
    int32_t get_blend_mode() const noexcept { return blend_mode_; }
    // The white texture that stands in for an empty stage; null while not operational.
    platform::gfx::Texture* get_default_texture() const noexcept;
    const std::vector<RenderTarget*>& get_render_targets() const noexcept { return render_targets_; }

private:
    struct FrameSync;
    struct DefaultTextures;

    // Construction.
    void derive_capabilities(const CapabilityRows& rows);
    void publish_video_modes(bool full_screen);

    // Frames and the device's life.
    bool reset_device();
    void destroy_frame_resources();
    void synchronise_frame();
    void report_texture_memory();
    void release_device();

    // Drawing.
    void set_blend_mode(uint32_t mode);
    void set_lights(const RenderList& list);
    void clear_target(const RenderList& list, const RenderTargetBase& target);
    void set_record_stages();
    void set_point_stages();
    void set_sampler_filters(bool linear);
    void set_world(const math::Matrix4& world);
    void prepare_material(const math::Vector3& diffuse, double transparency, bool opaque);
    void draw_record(const RenderRecord& record);
    void draw_record_class0(const RenderRecord& record);
    void draw_record_class1(const RenderRecord& record);
    void draw_point(const PointItem& item);
    void apply_texture(uint32_t stage, StageTexture* texture);

    // The world stack first: entries d = depth d.
    std::array<math::Matrix4, world_stack_size> world_stack_;
    int depth_ = 0;
    // −1: the device's world transform is not the stack's.
    int applied_depth_ = 0;

    platform::gfx::Factory* factory_;
    String name_;
    String description_;
    uint32_t adapter_;
    Capabilities capabilities_;
    ModeParameters mode_;

    std::unique_ptr<DefaultTextures> default_textures_;
    platform::gfx::Viewport viewport_;
    platform::gfx::Device* device_ = nullptr;
    std::unique_ptr<FrameSync> frame_sync_;
    platform::WindowHandle window_ = nullptr;
    platform::Rect client_rect_;
    uint32_t saved_style_ = 0;
    platform::gfx::PresentParameters present_parameters_;
    ResourceList resources_;
    std::vector<RenderTarget*> render_targets_;
    // Only while a list is drawn.
    const RenderList* current_list_ = nullptr;
    int32_t blend_mode_ = -1;
    uint32_t reported_texture_memory_ = 0;
    // The minimised window was reported; a frame with a client area clears it.
    bool minimised_reported_ = false;
    platform::gfx::Material last_material_;
    // Targets whose colour a list has cleared since the frame began.
    std::vector<const RenderTargetBase*> cleared_targets_;
};

} // namespace vadu::lib3d::hard::directx8
