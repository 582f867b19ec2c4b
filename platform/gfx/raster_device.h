#pragma once

// The device's side of the rasterizer: turns the device's state and surfaces into the
// rasterizer's plain views and draws with them.

#include "platform/gfx/device.h"
#include "platform/gfx/raster.h"

namespace platform::gfx {

// Draws into the device's render target and depth surface with its current state;
// the arguments are those of raster::draw.
void raster_draw(const DeviceState& state, PrimitiveType type, const raster::VertexData& vertices,
                 const raster::IndexData& indices, int32_t base_vertex, uint32_t first, uint32_t count);

} // namespace platform::gfx
