#pragma once

// Meshes from model files: the parsed arrays of a file (one shared record per path), their
// copy in every render device's buffers (one shared object per path), the caches that
// share them and the time-sliced passes that load them.
//
// A model file is little-endian and has no header: five sections, each a 32-bit element
// count followed by that many 4-byte elements: "Positions", "Normals", "UV0", "Diffuses"
// (floats) and "Indices" (32-bit integers, three per triangle).

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "vadu/atom.h"
#include "vadu/hardware_manager.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/path.h"

namespace vadu::resource {
class ActiveMultithreaded;
}

namespace vadu::lib3d::material {
class ShaderLoader;
}

namespace vadu::lib3d::model {

using FloatArray = hard::FloatArray;
using IntArray = std::vector<uint32_t>;

// A counted hold on the shared object of a path, released with the handle; copies hold
// it once more. An empty handle holds nothing.
template <class T>
class CachedHandle {
public:
    CachedHandle() = default;
    // Acquires the object of the path (made and queued when it is the first).
    explicit CachedHandle(const filesystem::String& path);
    CachedHandle(const CachedHandle& other);
    CachedHandle& operator=(const CachedHandle&) = delete;
    ~CachedHandle() { reset(); }

    // Lets go of what it held, then holds the object of the path.
    void acquire(const filesystem::String& path);
    void reset();
    T* get() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    T* operator->() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

class Model;
class ModelInHardware;
using ModelHandle = CachedHandle<Model>;
using ModelInHardwareHandle = CachedHandle<ModelInHardware>;
extern template class CachedHandle<Model>;
extern template class CachedHandle<ModelInHardware>;

// The five arrays of a model file.
struct ModelFileArrays {
    FloatArray positions;
    FloatArray normals;
    FloatArray uv0;
    FloatArray diffuses;
    IntArray indices;
};

// Reads a model file's bytes. Nothing in them is trusted: a count that does not fit in
// the bytes left, bytes after the fifth section, a position count that is not a multiple
// of three, an index count that is not a multiple of three or an index past the last
// vertex throws GluckBadResource naming `path` (as does the function name `function`).
ModelFileArrays parse_model_file(const uint8_t* data, size_t size, const filesystem::String& path,
                                 const char* function = "vadu::lib3d::model::parse_model_file");

// The smallest sphere that holds the points (three floats each, `count` points), exact
// up to double rounding. No points give centre (0, 0, 0) and radius 0.
hard::Sphere smallest_enclosing_sphere(const float* xyz, size_t count);

// One model file's arrays. Made by the cache, which queues the file at the background
// loader; parsed by a later load pass.
class Model {
public:
    // Queues the file. Throws vadu::Gluck when there is no background loader.
    explicit Model(const filesystem::String& path);
    ~Model();
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    // One step: nothing while the file is being read; then parses it whole. A file that
    // could not be read, or whose contents do not hold together, throws GluckBadResource
    // with the path (the pass logs it and marks the record failed).
    void load();

    // The array stored under the name, or an empty one.
    const FloatArray& get_array(const Atom& name) const;
    const IntArray& get_int_array(const Atom& name) const;
    // Arrays that a model file cannot carry (tangents, skinning weights and joint
    // indices) are set by whoever has them.
    void set_array(const Atom& name, FloatArray values);
    void set_int_array(const Atom& name, IntArray values);

    const hard::Sphere& get_bounding_sphere() const noexcept { return sphere_; }
    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept;
    const filesystem::String& get_path() const noexcept { return path_; }

    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    bool loaded_ = false;
    bool failed_ = false;
    std::map<Atom, FloatArray> floats_;
    std::map<Atom, IntArray> integers_;
    filesystem::String path_;
    hard::Sphere sphere_;
    std::unique_ptr<resource::ActiveMultithreaded> stream_;
    int32_t references_ = 0;
};

// A model's buffers on one render device; the index buffer exists only for models with
// indices.
struct ModelInHardwareObject {
    std::unique_ptr<hard::VertexBuffer> vertex_buffer;
    std::unique_ptr<hard::IndexBuffer> index_buffer;
};

} // namespace vadu::lib3d::model

namespace vadu {
template <>
inline constexpr const char* declared_as<lib3d::model::ModelInHardwareObject> = "struct";
}

namespace vadu::lib3d::model {

// A model's copy in every render device: filled from its model record by a load pass,
// filled again after a device lost its buffers or a new device came.
class ModelInHardware : public HardwareDependentObject<hard::Manager, ModelInHardwareObject> {
public:
    // Acquires the model record of the path and registers with the hardware manager.
    explicit ModelInHardware(const filesystem::String& path);
    ~ModelInHardware() override;

    // A new vertex buffer (static) for the device, no index buffer; the copy loads again.
    void on_add_hardware(hard::Hardware* hardware) override;

    // One step: nothing until the model record is loaded; then fills the buffers of every
    // operational device that lack their contents. GluckBadResource
    // "object->vb->update() failed" or "object->ib->update() failed" when a buffer
    // refuses the data.
    void load();

    // One record per shader of the list whose transparency is at most 0.99, each over
    // its material's range; the ranges run on past the skipped shaders. `pattern` gives
    // the world matrix. Nothing while the device's buffers have lost their contents (the
    // copy then loads again).
    void render(const material::ShaderLoader& shaders, hard::Hardware& hardware, hard::RenderList& list,
                const hard::RenderRecord& pattern);
    // One record over the whole mesh, coloured by the first shader, into the list's
    // secondary records.
    void render_shadow(const material::ShaderLoader& shaders, hard::Hardware& hardware, hard::RenderList& list,
                       const hard::RenderRecord& pattern);

    Model& get_model() const noexcept;
    uint32_t get_triangle_count() const noexcept { return triangle_count_; }
    uint32_t get_vertex_count() const noexcept { return vertex_count_; }
    const hard::Sphere& get_bounding_sphere() const noexcept { return sphere_; }
    bool is_loaded() const noexcept { return loaded_; }
    bool has_failed() const noexcept { return failed_; }
    void set_failed() noexcept { failed_ = true; }
    const filesystem::String& get_path() const noexcept { return path_; }

    int32_t get_reference_count() const noexcept { return references_; }
    int32_t add_reference() noexcept { return ++references_; }
    int32_t drop_reference() noexcept { return --references_; }

private:
    // The device's buffers, or null when they must be filled again first.
    ModelInHardwareObject* usable_object(hard::Hardware& hardware);

    ModelHandle model_;
    bool loaded_ = false;
    bool failed_ = false;
    uint32_t triangle_count_ = 0;
    uint32_t vertex_count_ = 0;
    hard::Sphere sphere_;
    filesystem::String path_;
    int32_t references_ = 0;
    bool registered_ = false;
};


// What the caches hold now (null when a cache has no entries): for tests.
const std::map<filesystem::String, std::unique_ptr<Model>>* get_model_cache();
const std::map<filesystem::String, std::unique_ptr<ModelInHardware>>* get_model_in_hardware_cache();

// The load passes of the frame step: model records, then their device copies. Each
// returns how many still wait.
int32_t load_models(int64_t start_ticks, double budget);
int32_t load_models_in_hardware(int64_t start_ticks, double budget);

} // namespace vadu::lib3d::model
