#include "model_writer.h"

#include <cmath>
#include <cstring>
#include <fstream>

namespace model_writer {

namespace {

constexpr double pi = 3.14159265358979323846;

void put_word(std::vector<uint8_t>& out, uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(word >> shift));
}

template <class T>
void put_section(std::vector<uint8_t>& out, const std::vector<T>& values)
{
    static_assert(sizeof(T) == 4);
    put_word(out, static_cast<uint32_t>(values.size()));
    for (const T& value : values) {
        uint32_t word = 0;
        std::memcpy(&word, &value, 4);
        put_word(out, word);
    }
}

void add_vertex(Mesh& mesh, double x, double y, double z, double nx, double ny, double nz, double u, double v)
{
    mesh.positions.insert(mesh.positions.end(), {float(x), float(y), float(z)});
    mesh.normals.insert(mesh.normals.end(), {float(nx), float(ny), float(nz)});
    mesh.uv0.insert(mesh.uv0.end(), {float(u), float(v)});
    mesh.diffuses.insert(mesh.diffuses.end(), {1.0f, 1.0f, 1.0f, 1.0f});
}

// A point of the unit sphere and its texture coordinates: polar angle from +y, azimuth
// about y.
struct SpherePoint {
    double x, y, z, u, v;
};

SpherePoint sphere_point(int ring, int rings, int segment, int segments)
{
    const double theta = pi * ring / rings;
    const double phi = 2.0 * pi * segment / segments;
    return {std::sin(theta) * std::sin(phi), std::cos(theta), std::sin(theta) * std::cos(phi),
            double(segment) / segments, double(ring) / rings};
}

} // namespace

std::vector<uint8_t> encode(const Mesh& mesh)
{
    std::vector<uint8_t> out;
    put_section(out, mesh.positions);
    put_section(out, mesh.normals);
    put_section(out, mesh.uv0);
    put_section(out, mesh.diffuses);
    put_section(out, mesh.indices);
    return out;
}

bool write_file(const std::filesystem::path& path, const Mesh& mesh)
{
    std::error_code error;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), error);
    const std::vector<uint8_t> bytes = encode(mesh);
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

Mesh unit_cube()
{
    // Per face: the normal and the four corners in turn about it.
    static const int faces[6][3 + 12] = {
        {0, 0, -1, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0},  {-1, 0, 0, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0},
        {0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 0, 0, 1},   {1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1},
        {0, 1, 0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 0},   {0, -1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 1},
    };
    static const double uv[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    Mesh mesh;
    for (uint32_t f = 0; f < 6; ++f) {
        const int* face = faces[f];
        for (int k = 0; k < 4; ++k) {
            const int* corner = face + 3 + k * 3;
            add_vertex(mesh, corner[0], corner[1], corner[2], face[0], face[1], face[2], uv[k][0], uv[k][1]);
        }
        mesh.indices.insert(mesh.indices.end(), {4 * f, 4 * f + 1, 4 * f + 2, 4 * f + 2, 4 * f + 3, 4 * f});
    }
    return mesh;
}

Mesh sphere(int rings, int segments)
{
    Mesh mesh;
    for (int r = 0; r <= rings; ++r) {
        for (int s = 0; s <= segments; ++s) {
            const SpherePoint p = sphere_point(r, rings, s, segments);
            add_vertex(mesh, p.x, p.y, p.z, p.x, p.y, p.z, p.u, p.v);
        }
    }
    const uint32_t row = static_cast<uint32_t>(segments) + 1;
    for (uint32_t r = 0; r < static_cast<uint32_t>(rings); ++r) {
        for (uint32_t s = 0; s < static_cast<uint32_t>(segments); ++s) {
            const uint32_t a = r * row + s;
            const uint32_t b = a + row;
            mesh.indices.insert(mesh.indices.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return mesh;
}

Mesh lobed_sphere(int rings, int segments, float bumps, int lobes)
{
    Mesh mesh;
    auto corner = [&](int r, int s) {
        const SpherePoint p = sphere_point(r, rings, s, segments);
        const double phi = 2.0 * pi * s / segments;
        const double scale = 1.0 + bumps * std::sin(lobes * phi) * std::sin(pi * r / rings);
        add_vertex(mesh, p.x * scale, p.y * scale, p.z * scale, p.x, p.y, p.z, p.u, p.v);
    };
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            corner(r, s);
            corner(r + 1, s);
            corner(r, s + 1);
            corner(r, s + 1);
            corner(r + 1, s);
            corner(r + 1, s + 1);
        }
    }
    return mesh;
}

Mesh strip(int cells)
{
    Mesh mesh;
    const int count = 2 * cells;
    for (int i = 0; i < count; ++i) {
        const double x0 = double(i) / cells;
        const double x1 = double(i + 1) / cells;
        const double u0 = double(i) / count;
        const double u1 = double(i + 1) / count;
        add_vertex(mesh, x0, -0.25, 0, 0, 0, 1, u0, 1);
        add_vertex(mesh, x1, -0.25, 0, 0, 0, 1, u1, 1);
        add_vertex(mesh, x0, 0.25, 0, 0, 0, 1, u0, 0);
        add_vertex(mesh, x0, 0.25, 0, 0, 0, 1, u0, 0);
        add_vertex(mesh, x1, -0.25, 0, 0, 0, 1, u1, 1);
        add_vertex(mesh, x1, 0.25, 0, 0, 0, 1, u1, 0);
    }
    return mesh;
}

} // namespace model_writer
