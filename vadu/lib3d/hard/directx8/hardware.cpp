#include "vadu/lib3d/hard/directx8/hardware.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/directx8/buffers.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"
#include "vadu/lib3d/hard/directx8/textures.h"
#include "vadu/log.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;

namespace detail {

void write_log(const String& text)
{
    try {
        logs::log() << text;
    } catch (const Gluck&) {
    }
}

gfx::Matrix to_device(const math::Matrix4& matrix)
{
    gfx::Matrix result;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column)
            result.m[row][column] = matrix.m[column * 4 + row];
    }
    return result;
}

math::Matrix4 from_device(const gfx::Matrix& matrix)
{
    math::Matrix4 result;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column)
            result.m[column * 4 + row] = matrix.m[row][column];
    }
    return result;
}

namespace {

uint32_t channel(double value)
{
    const double scaled = value * 255.0;
    if (!(scaled > 0.0))
        return 0;
    if (scaled >= 255.0)
        return 255;
    return static_cast<uint32_t>(scaled);
}

} // namespace

uint32_t pack_colour(double red, double green, double blue, double alpha)
{
    return channel(alpha) << 24 | channel(red) << 16 | channel(green) << 8 | channel(blue);
}

} // namespace detail

namespace {

constexpr const char* hardware_function = "vadu::lib3d::hard::directx8::Hardware::";

String function_name(const char* operation)
{
    return String(hardware_function) + operation;
}

// An absent row reads as 0.
int32_t row_value(const CapabilityRows& rows, const char* name)
{
    const auto found = rows.find(String(name));
    return found == rows.end() ? 0 : found->second;
}

bool row_set(const CapabilityRows& rows, const char* name)
{
    return row_value(rows, name) != 0;
}

String lower_case(const String& text)
{
    String lowered;
    for (const char* p = text.data(); p != text.data_end(); ++p) {
        const char c = (*p >= 'A' && *p <= 'Z') ? static_cast<char>(*p - 'A' + 'a') : *p;
        lowered.append(&c, &c + 1);
    }
    return lowered;
}

String decimal(long long value)
{
    String text;
    text.append_number(value);
    return text;
}

// A cube texture for a format the mode cannot store as a cube: it shows nothing.
class InertTextureCubic : public hard::TextureCubic {
public:
    InertTextureCubic(pictureformat::Format format, uint32_t width, uint32_t height)
        : format_(format), width_(width), height_(height)
    {
    }

    bool is_operational() const override { return true; }
    bool set(uint32_t) override { return true; }
    void* lock(uint32_t, uint32_t, int32_t&) override { return nullptr; }
    void unlock(uint32_t, uint32_t) override {}
    pictureformat::Format get_format() const override { return format_; }
    uint32_t get_width() const override { return width_; }
    uint32_t get_height() const override { return height_; }

private:
    pictureformat::Format format_;
    uint32_t width_;
    uint32_t height_;
};

uint32_t size_argument(int value)
{
    return value > 0 ? static_cast<uint32_t>(value) : 0;
}

void check_picture_format(pictureformat::Format format, const char* operation)
{
    if (format < 0 || format >= pictureformat::format_count)
        throw Gluck(function_name(operation), "Unknown picture format");
}

} // namespace

Hardware::Hardware(gfx::Factory* factory, uint32_t adapter, const CapabilityRows& rows)
    : factory_(factory), adapter_(adapter)
{
    world_stack_.fill(math::Matrix4{});
    world_stack_[0] = math::Matrix4::identity();

    gfx::AdapterIdentifier identifier;
    if (factory_ && gfx::succeeded(factory_->get_adapter_identifier(adapter_, 0, &identifier)))
        description_ = String(identifier.description.c_str());
    name_ = decimal(static_cast<long long>(adapter_) + 1) + ": DirectX8 on " + description_;

    derive_capabilities(rows);
    mode_.resolution_x = capabilities_.default_width;
    mode_.resolution_y = capabilities_.default_height;

    set_attribute_names({"Fullscreen", "ResolutionX", "ResolutionY", "Antialiasing"},
                        {"Yes", decimal(capabilities_.default_width), decimal(capabilities_.default_height), "None"});
    publish_video_modes(false);
    publish_video_modes(true);
}

Hardware::~Hardware()
{
    stop_mode();
}

void Hardware::derive_capabilities(const CapabilityRows& rows)
{
    Capabilities& caps = capabilities_;
    caps.max_anisotropy = static_cast<uint32_t>(row_value(rows, "device_caps.MaxAnisotropy"));
    caps.sprites = row_value(rows, "device_caps.MaxPointSize") > 1;
    caps.max_vertex_index = static_cast<uint32_t>(row_value(rows, "device_caps.MaxVertexIndex"));
    caps.auto_mipmaps = row_set(rows, "device_caps.Caps2.D3DCAPS2_CANAUTOGENMIPMAP");
    const bool decrement_saturated = row_set(rows, "device_caps.StencilCaps.D3DSTENCILCAPS_DECRSAT");
    const bool increment_saturated = row_set(rows, "device_caps.StencilCaps.D3DSTENCILCAPS_INCRSAT");
    caps.shadows = row_set(rows, "device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_COLORWRITEENABLE")
        && (decrement_saturated || row_set(rows, "device_caps.StencilCaps.D3DSTENCILCAPS_DECR"))
        && (increment_saturated || row_set(rows, "device_caps.StencilCaps.D3DSTENCILCAPS_INCR"))
        && row_set(rows, "device_caps.StencilCaps.D3DSTENCILCAPS_KEEP");
    caps.stencil_increment = increment_saturated ? 4 : 7;
    caps.stencil_decrement = decrement_saturated ? 5 : 8;
    caps.transparency = row_set(rows, "device_caps.AlphaCmpCaps.D3DPCMPCAPS_EQUAL")
        && row_set(rows, "device_caps.AlphaCmpCaps.D3DPCMPCAPS_NOTEQUAL")
        && row_set(rows, "device_caps.TextureCaps.D3DPTEXTURECAPS_ALPHA");
    const bool transform_and_light = row_set(rows, "device_caps.DevCaps.D3DDEVCAPS_HWTRANSFORMANDLIGHT");
    caps.try_hardware_vertex_processing = transform_and_light;
    caps.hardware_vertex_shaders = row_value(rows, "device_caps.VertexShaderVersion") > 0x100;
    caps.max_texture_size = static_cast<uint32_t>(std::min(row_value(rows, "device_caps.MaxTextureWidth"),
                                                           row_value(rows, "device_caps.MaxTextureHeight")));

    String summary("\nSummary for device: ");
    summary += name_;
    summary += "\n";
    summary += detail::dashed_line;
    summary += caps.sprites ? "Sprites\n" : "No sprites\n";
    summary += caps.auto_mipmaps ? "Auto Mipmaps\n" : "No auto mipmaps\n";
    summary += caps.shadows ? "Shadows\n" : "No shadows\n";
    summary += caps.transparency ? "Transparency\n" : "No transparency\n";
    summary += caps.max_anisotropy > 1 ? "Anisotropic filtering\n" : "No anisotropic filtering\n";
    summary += caps.hardware_vertex_shaders ? "Try Using Hardware Vertex Shader\n"
                                            : "Not Using Hardware Vertex Shaders\n";
    summary += caps.try_hardware_vertex_processing ? "Try Hardware Vertex Processing\n"
                                                   : "Skip hardware vertex processing\n";
    detail::write_log(summary);

    const String vendor = lower_case(description_);
    const bool intel = vendor.find("intel") != String::npos;
    const bool geforce = vendor.find("geforce") != String::npos;
    if (intel)
        detail::write_log("ByName detection: Intel found\n");
    if (geforce)
        detail::write_log("ByName detection: GeForce found\n");

    const int32_t pixel_shader = row_value(rows, "device_caps.PixelShaderVersion");
    const int32_t textures = row_value(rows, "device_caps.MaxSimultaneousTextures");
    caps.driver_class = 1;
    caps.prefer_small_formats = false;
    caps.default_width = 1024;
    caps.default_height = 768;
    if (pixel_shader >= 0x104 && textures >= 6 && !geforce) {
        detail::write_log("Using Radeon8500-compatible driver\n");
    } else if (pixel_shader >= 0x103 && textures >= 4) {
        detail::write_log("Using GeForce4-compatible driver\n");
    } else {
        caps.prefer_small_formats = true;
        if (transform_and_light) {
            detail::write_log("Using Old-Style driver on fast card, like GeForce4MX\n");
        } else if (row_set(rows, "device_caps.TextureOpCaps.D3DTEXOPCAPS_MULTIPLYADD") && !intel) {
            detail::write_log("Using Old-Style driver on moderate card, like GeForce2\n");
        } else {
            detail::write_log("Using Old-Style driver on very old card (or on Intel card :))\n");
            caps.driver_class = 0;
            caps.default_width = 800;
            caps.default_height = 600;
        }
    }
}

void Hardware::publish_video_modes(bool full_screen)
{
    mode_.is_full_screen = full_screen;
    if (!factory_ || !select_formats(mode_))
        return;

    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    if (!full_screen) {
        sizes.emplace_back(0, 0);
    } else {
        const uint32_t count = factory_->get_adapter_mode_count(adapter_, gfx::Format::unknown);
        for (uint32_t i = 0; i < count; ++i) {
            gfx::DisplayMode mode;
            if (gfx::succeeded(factory_->enum_adapter_modes(adapter_, gfx::Format::unknown, i, &mode)))
                sizes.emplace_back(mode.width, mode.height);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());

    // The formats are the same for every size.
    const auto multisamples = [&](uint32_t samples) {
        return gfx::succeeded(factory_->check_device_multisample_type(adapter_, gfx::DeviceType::hal,
                                                                      mode_.colour_format, !full_screen, samples,
                                                                      nullptr))
            && gfx::succeeded(factory_->check_device_multisample_type(adapter_, gfx::DeviceType::hal,
                                                                      mode_.z_buffer_format, !full_screen, samples,
                                                                      nullptr));
    };
    const bool two_samples = multisamples(gfx::multisample::samples_2);
    const bool four_samples = multisamples(gfx::multisample::samples_4);

    const String screen(full_screen ? "Yes" : "No (Window mode)");
    for (const auto& [width, height] : sizes) {
        const String x = decimal(width);
        const String y = decimal(height);
        add_attribute_table_row({screen, x, y, "None"});
        if (two_samples)
            add_attribute_table_row({screen, x, y, "2xSamples (Medium)"});
        if (four_samples)
            add_attribute_table_row({screen, x, y, "4xSamples (High)"});
    }
}

// --- factories ----------------------------------------------------------------------------

std::unique_ptr<hard::Texture> Hardware::create_texture(int levels, pictureformat::Format format, int width,
                                                        int height)
{
    check_picture_format(format, "create_texture");
    const gfx::Format device_format = mode_.texture_formats[static_cast<size_t>(format)];
    return std::make_unique<Texture>(*this, size_argument(levels), remap_pictureformat(device_format), device_format,
                                     size_argument(width), size_argument(height), capabilities_.max_texture_size);
}

std::unique_ptr<hard::TextureCubic> Hardware::create_texture_cubic(int levels, pictureformat::Format format,
                                                                   int width, int height)
{
    check_picture_format(format, "create_texture_cubic");
    const gfx::Format device_format = mode_.cube_texture_formats[static_cast<size_t>(format)];
    if (device_format == gfx::Format::unknown)
        return std::make_unique<InertTextureCubic>(format, size_argument(width), size_argument(height));
    return std::make_unique<TextureCubic>(*this, size_argument(levels), remap_pictureformat(device_format),
                                          device_format, size_argument(width), size_argument(height));
}

std::unique_ptr<hard::VertexBuffer> Hardware::create_vertex_buffer(bool dynamic)
{
    return std::make_unique<VertexBuffer>(*this, dynamic);
}

std::unique_ptr<hard::IndexBuffer> Hardware::create_index_buffer()
{
    return std::make_unique<IndexBuffer>(*this, capabilities_.max_vertex_index);
}

std::unique_ptr<hard::PointBuffer> Hardware::create_point_buffer()
{
    return std::make_unique<PointBuffer>(*this);
}

std::unique_ptr<hard::RenderTarget> Hardware::create_render_target(const Atom& name, int width, int height)
{
    auto target = std::make_unique<RenderTarget>(*this, name, size_argument(width), size_argument(height));
    render_targets_.push_back(target.get());
    return target;
}

hard::RenderTarget* Hardware::find_render_target(const Atom& name)
{
    for (RenderTarget* target : render_targets_) {
        if (target->get_name_atom() == name)
            return target;
    }
    return nullptr;
}

void Hardware::forget_render_target(RenderTarget* target)
{
    std::erase(render_targets_, target);
    std::erase(cleared_targets_, target);
}

pictureformat::Format Hardware::remap_pictureformat(gfx::Format format)
{
    switch (format) {
    case gfx::Format::a8r8g8b8:
    case gfx::Format::x8r8g8b8: return pictureformat::format_bgra;
    case gfx::Format::r8g8b8: return pictureformat::format_bgr;
    case gfx::Format::r5g6b5: return pictureformat::format_r5g6b5;
    case gfx::Format::x1r5g5b5:
    case gfx::Format::a1r5g5b5: return pictureformat::format_a1r5g5b5;
    case gfx::Format::a4r4g4b4: return pictureformat::format_a4r4g4b4;
    default: break;
    }
    throw Gluck(function_name("remap_pictureformat"), "D3DFORMAT could not be represented by pictureformat::Format");
}

// --- the world-matrix stack -----------------------------------------------------------------

void Hardware::push_world_matrix(const math::Matrix4& matrix)
{
    if (depth_ + 1 >= world_stack_size)
        throw Gluck(function_name("push_world_matrix"), "World matrix stack overflow");
    if (device_)
        device_->set_transform(gfx::TransformState::world, detail::to_device(matrix));
    ++depth_;
    world_stack_[static_cast<size_t>(depth_)] = matrix;
    applied_depth_ = depth_;
}

void Hardware::push_multiplied_world_matrix(const math::Matrix4& matrix)
{
    if (depth_ + 1 >= world_stack_size)
        throw Gluck(function_name("push_multiplied_world_matrix"), "World matrix stack overflow");
    const math::Matrix4& top = world_stack_[static_cast<size_t>(depth_)];
    math::Matrix4 product = top;
    if (device_) {
        if (applied_depth_ != depth_)
            device_->set_transform(gfx::TransformState::world, detail::to_device(top));
        device_->multiply_transform(gfx::TransformState::world, detail::to_device(matrix));
        gfx::Matrix applied;
        device_->get_transform(gfx::TransformState::world, &applied);
        product = detail::from_device(applied);
    } else {
        product *= matrix;
    }
    ++depth_;
    world_stack_[static_cast<size_t>(depth_)] = product;
    applied_depth_ = depth_;
}

void Hardware::pop_world_matrix()
{
    if (depth_ <= 0)
        throw Gluck(function_name("pop_world_matrix"), "World matrix stack underflow");
    --depth_;
}

} // namespace vadu::lib3d::hard::directx8
