#pragma once

// Writes the engine's model files (little-endian, five sections, each a 32-bit count and
// that many 4-byte values: positions, normals, texture coordinates, colours, indices),
// and makes the meshes the demo and the tests use.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace model_writer {

struct Mesh {
    std::vector<float> positions; // x, y, z per vertex
    std::vector<float> normals;   // x, y, z per vertex
    std::vector<float> uv0;       // u, v per vertex
    std::vector<float> diffuses;  // r, g, b, a per vertex
    std::vector<uint32_t> indices; // three per triangle; none for a plain triangle list
};

std::vector<uint8_t> encode(const Mesh& mesh);
// Creates the folders on the way; false when the file could not be written.
bool write_file(const std::filesystem::path& path, const Mesh& mesh);

// The cube from (0, 0, 0) to (1, 1, 1): 24 vertices (four per face, with the face's
// normal) and 12 indexed triangles.
Mesh unit_cube();
// A unit sphere of `rings` bands of `segments` quads, indexed; smooth normals.
Mesh sphere(int rings, int segments);
// The same sphere as a plain triangle list (no indices), its radius varied by
// 1 + bumps · sin(lobes · azimuth) · sin(polar angle): the morph targets, which share
// their vertex count and texture coordinates for any bumps and lobes.
Mesh lobed_sphere(int rings, int segments, float bumps, int lobes);
// A strip along x from 0 to 2, 0.5 wide, of `cells` quads per unit, as a plain
// triangle list: the skinning fixture of a two-joint skeleton (the first unit on the
// first joint, the second on the second).
Mesh strip(int cells);

} // namespace model_writer
