#include "platform/system.h"
#include "vadu/lib3d/hard/directx8/creator.h"


#include <cmath>
#include <memory>
#include <thread>

#include "platform/gfx/device.h"
#include "platform/modules.h"
#include "platform/window.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/directx8/hardware_detail.h"
#include "vadu/registry.h"

namespace vadu::lib3d::hard::directx8 {

namespace gfx = platform::gfx;

namespace {

using RenderDevices = HardwareManager<hard::Hardware>;

// The back end's globals: the hardware list marks that a creator is running.
std::vector<Hardware*>* hardwares = nullptr;
platform::ModuleHandle library = nullptr;
gfx::Factory* factory = nullptr;

void release_back_end()
{
    if (hardwares) {
        for (Hardware* hardware : *hardwares) {
            RenderDevices::notify_remove_hardware(hardware);
            delete hardware;
        }
        delete hardwares;
        hardwares = nullptr;
    }
    if (factory) {
        factory->release();
        factory = nullptr;
    }
    if (library) {
        platform::free_library(library);
        library = nullptr;
    }
}

String decimal(long long value)
{
    String text;
    text.append_number(value);
    return text;
}

struct FlagRow {
    const char* name;
    uint32_t gfx::Caps::*member;
    uint32_t flag;
};

namespace f = gfx::caps_flags;

const FlagRow flag_rows[] = {
    {"device_caps.DevCaps.D3DDEVCAPS_HWRASTERIZATION", &gfx::Caps::dev_caps, f::dev::hw_rasterization},
    {"device_caps.DevCaps.D3DDEVCAPS_HWTRANSFORMANDLIGHT", &gfx::Caps::dev_caps, f::dev::hw_transform_and_light},
    {"device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_MASKZ", &gfx::Caps::primitive_misc_caps, f::primitive_misc::mask_z},
    {"device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_CULLNONE", &gfx::Caps::primitive_misc_caps,
     f::primitive_misc::cull_none},
    {"device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_CULLCW", &gfx::Caps::primitive_misc_caps, f::primitive_misc::cull_cw},
    {"device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_CULLCCW", &gfx::Caps::primitive_misc_caps,
     f::primitive_misc::cull_ccw},
    {"device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_COLORWRITEENABLE", &gfx::Caps::primitive_misc_caps,
     f::primitive_misc::color_write_enable},
    {":) device_caps.PrimitiveMiscCaps.D3DPMISCCAPS_BLENDOP", &gfx::Caps::primitive_misc_caps,
     f::primitive_misc::blend_op},
    {":) device_caps.RasterCaps.D3DPRASTERCAPS_ZTEST", &gfx::Caps::raster_caps, f::raster::z_test},
    {"device_caps.ZCmpCaps.D3DPCMPCAPS_ALWAYS", &gfx::Caps::z_cmp_caps, f::compare::always},
    {"device_caps.ZCmpCaps.D3DPCMPCAPS_LESS", &gfx::Caps::z_cmp_caps, f::compare::less},
    {"device_caps.ZCmpCaps.D3DPCMPCAPS_LESSEQUAL", &gfx::Caps::z_cmp_caps, f::compare::less_equal},
    {"device_caps.SrcBlendCaps.D3DPBLENDCAPS_ONE", &gfx::Caps::src_blend_caps, f::blend::one},
    {"device_caps.SrcBlendCaps.D3DPBLENDCAPS_SRCALPHA", &gfx::Caps::src_blend_caps, f::blend::src_alpha},
    {"device_caps.DestBlendCaps.D3DPBLENDCAPS_ONE", &gfx::Caps::dest_blend_caps, f::blend::one},
    {"device_caps.DestBlendCaps.D3DPBLENDCAPS_INVSRCALPHA", &gfx::Caps::dest_blend_caps, f::blend::inv_src_alpha},
    {"device_caps.AlphaCmpCaps.D3DPCMPCAPS_EQUAL", &gfx::Caps::alpha_cmp_caps, f::compare::equal},
    {"device_caps.AlphaCmpCaps.D3DPCMPCAPS_NOTEQUAL", &gfx::Caps::alpha_cmp_caps, f::compare::not_equal},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_ALPHA", &gfx::Caps::texture_caps, f::texture::alpha},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_CUBEMAP", &gfx::Caps::texture_caps, f::texture::cube_map},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_CUBEMAP_POW2", &gfx::Caps::texture_caps, f::texture::cube_map_pow2},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_MIPCUBEMAP", &gfx::Caps::texture_caps, f::texture::mip_cube_map},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_MIPMAP", &gfx::Caps::texture_caps, f::texture::mip_map},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_MIPVOLUMEMAP", &gfx::Caps::texture_caps, f::texture::mip_volume_map},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_SQUAREONLY", &gfx::Caps::texture_caps, f::texture::square_only},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_POW2", &gfx::Caps::texture_caps, f::texture::pow2},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_VOLUMEMAP", &gfx::Caps::texture_caps, f::texture::volume_map},
    {"device_caps.TextureCaps.D3DPTEXTURECAPS_VOLUMEMAP_POW2", &gfx::Caps::texture_caps,
     f::texture::volume_map_pow2},
    {"device_caps.TextureAddressCaps.D3DPTADDRESSCAPS_CLAMP", &gfx::Caps::texture_address_caps, f::address::clamp},
    {"device_caps.TextureAddressCaps.D3DPTADDRESSCAPS_WRAP", &gfx::Caps::texture_address_caps, f::address::wrap},
    {"device_caps.TextureAddressCaps.D3DPTADDRESSCAPS_MIRROR", &gfx::Caps::texture_address_caps, f::address::mirror},
    {"device_caps.TextureAddressCaps.D3DPTADDRESSCAPS_MIRRORONCE", &gfx::Caps::texture_address_caps,
     f::address::mirror_once},
    {"device_caps.VolumeTextureAddressCaps.D3DPTADDRESSCAPS_CLAMP", &gfx::Caps::volume_texture_address_caps,
     f::address::clamp},
    {"device_caps.VolumeTextureAddressCaps.D3DPTADDRESSCAPS_WRAP", &gfx::Caps::volume_texture_address_caps,
     f::address::wrap},
    {"device_caps.VolumeTextureAddressCaps.D3DPTADDRESSCAPS_MIRROR", &gfx::Caps::volume_texture_address_caps,
     f::address::mirror},
    {"device_caps.VolumeTextureAddressCaps.D3DPTADDRESSCAPS_MIRRORONCE", &gfx::Caps::volume_texture_address_caps,
     f::address::mirror_once},
    {"device_caps.StencilCaps.D3DSTENCILCAPS_DECRSAT", &gfx::Caps::stencil_caps, f::stencil::decr_sat},
    {"device_caps.StencilCaps.D3DSTENCILCAPS_DECR", &gfx::Caps::stencil_caps, f::stencil::decr},
    {"device_caps.StencilCaps.D3DSTENCILCAPS_INCRSAT", &gfx::Caps::stencil_caps, f::stencil::incr_sat},
    {"device_caps.StencilCaps.D3DSTENCILCAPS_INCR", &gfx::Caps::stencil_caps, f::stencil::incr},
    {"device_caps.StencilCaps.D3DSTENCILCAPS_KEEP", &gfx::Caps::stencil_caps, f::stencil::keep},
    {":) device_caps.FVFCaps.D3DFVFCAPS_PSIZE", &gfx::Caps::fvf_caps, f::fvf::psize},
    {"device_caps.TextureOpCaps.D3DTEXOPCAPS_MODULATE", &gfx::Caps::texture_op_caps, f::texture_op::modulate},
    {"device_caps.TextureOpCaps.D3DTEXOPCAPS_MODULATE2X", &gfx::Caps::texture_op_caps, f::texture_op::modulate_2x},
    {"device_caps.TextureOpCaps.D3DTEXOPCAPS_MULTIPLYADD", &gfx::Caps::texture_op_caps, f::texture_op::multiply_add},
    {"device_caps.TextureOpCaps.D3DTEXOPCAPS_BLENDTEXTUREALPHA", &gfx::Caps::texture_op_caps,
     f::texture_op::blend_texture_alpha},
};

int32_t truncated_size(float value)
{
    if (!(value > 0.0f))
        return 0;
    if (value >= 2147483647.0f)
        return 2147483647;
    return static_cast<int32_t>(value);
}

// The operating system's version as major.minor.build, from its release text.
String system_version(const char* release)
{
    String version;
    const char* p = release;
    for (int part = 0; part < 3; ++part) {
        long long number = 0;
        while (*p >= '0' && *p <= '9' && number < 100000000)
            number = number * 10 + (*p++ - '0');
        if (part > 0)
            version += ".";
        version.append_number(number);
        while (*p && (*p < '0' || *p > '9'))
            ++p;
    }
    return version;
}

String collect_system_information()
{
    String information;
    const auto field = [&information](const String& text) {
        information += text;
        information += "$";
    };
    field(decimal(std::max(1u, std::thread::hardware_concurrency())));

    const std::string machine = platform::machine_architecture();
    const std::string release = platform::system_release();
    const String key("HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
    String processor;
    registry::read_string(key, "ProcessorNameString", processor);
    field(processor.empty() ? String(machine.c_str()) : processor);
    uint32_t megahertz = 0;
    registry::read_dword(key, "~MHz", megahertz);
    field(decimal(megahertz));

    field(decimal(static_cast<long long>(platform::physical_memory() >> 20)));
    field(release.empty() ? String("0.0.0") : system_version(release.c_str()));
    field(String(platform::host_name().c_str()));
    field(decimal(platform::get_desktop_size().width));
    return information;
}

} // namespace

CapabilityRows read_capability_rows(const gfx::Caps& caps)
{
    CapabilityRows rows;
    const auto value = [&rows](const char* name, uint32_t number) {
        rows[String(name)] = static_cast<int32_t>(number);
    };
    rows[String("device_caps.MaxPointSize")] = truncated_size(caps.max_point_size);
    value("device_caps.VertexShaderVersion", caps.vertex_shader_version & 0xFFFFu);
    value("device_caps.PixelShaderVersion", caps.pixel_shader_version & 0xFFFFu);
    value("device_caps.MaxVertexShaderConst", caps.max_vertex_shader_const);
    value("device_caps.MaxAnisotropy", caps.max_anisotropy);
    value("device_caps.MaxSimultaneousTextures", caps.max_simultaneous_textures);
    value("device_caps.MaxTextureBlendStages", caps.max_texture_blend_stages);
    value("device_caps.MaxVertexIndex", caps.max_vertex_index);
    value("device_caps.MaxPrimitiveCount", caps.max_primitive_count);
    value("device_caps.MaxTextureWidth", caps.max_texture_width);
    value("device_caps.MaxTextureHeight", caps.max_texture_height);
    value("device_caps.MaxVolumeExtent", caps.max_volume_extent);
    value("device_caps.MaxTextureRepeat", caps.max_texture_repeat);
    value("device_caps.MaxTextureAspectRatio", caps.max_texture_aspect_ratio);
    for (const FlagRow& flag : flag_rows)
        rows[String(flag.name)] = (caps.*flag.member & flag.flag) != 0 ? 1 : 0;
    return rows;
}

const std::vector<Hardware*>& Creator::get_hardwares()
{
    static const std::vector<Hardware*> none;
    return hardwares ? *hardwares : none;
}

Creator::Creator()
{
    if (hardwares)
        throw Gluck("vadu::lib3d::hard::directx8::Creator::Creator", "Hardwares already exists");
    try {
        system_information_ = collect_system_information();
        hardwares = new std::vector<Hardware*>;

        library = platform::load_library("D3D9.DLL");
        if (!library)
            detail::write_log("In lib3d::hard::directx8::create(): No D3D9.dll\n");
        const platform::ModuleProc entry = library ? platform::get_proc_address(library, "Direct3DCreate9") : nullptr;
        if (!entry) {
            detail::write_log("In lib3d::hard::directx8::create(): DirectX is lower than 9\n");
            return;
        }
        factory = reinterpret_cast<gfx::CreateFactoryProc>(entry)(gfx::sdk_version);
        if (!factory) {
            detail::write_log("In In lib3d::hard::directx8::create(): Failed to create Direct8 instance\n");
            return;
        }

        const uint32_t adapters = factory->get_adapter_count();
        for (uint32_t adapter = 0; adapter < adapters; ++adapter) {
            gfx::Caps caps;
            if (gfx::failed(factory->get_device_caps(adapter, gfx::DeviceType::hal, &caps)))
                continue;
            String report("Examining device capabilities\n");
            report += detail::dashed_line;
            const CapabilityRows rows = read_capability_rows(caps);
            for (const auto& [name, number] : rows)
                report += name + " = " + decimal(number) + "\n";
            detail::write_log(report);
            try {
                auto hardware = std::make_unique<Hardware>(factory, adapter, rows);
                hardwares->reserve(hardwares->size() + 1);
                hardwares->push_back(hardware.release());
                RenderDevices::add_hardware(hardwares->back());
                system_information_ += hardwares->back()->get_description() + "$T$";
            } catch (const Gluck& gluck) {
                detail::write_log(String("Gluck while creating hardware: ") + gluck.get_description() + " at: ["
                                  + gluck.get_function() + "]\n");
            }
        }
    } catch (...) {
        release_back_end();
        throw;
    }
}

Creator::~Creator()
{
    release_back_end();
}

} // namespace vadu::lib3d::hard::directx8
