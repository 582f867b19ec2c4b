#include "vadu/lib3d/model/model.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <list>

#include "vadu/exception.h"
#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/material/texture_load_pass.h"
#include "vadu/resource_loader.h"

namespace vadu::lib3d::model {

namespace {

const char* const model_load_function = "vadu::lib3d::model::Model::load";
const char* const hardware_load_function = "vadu::lib3d::model::ModelInHardware::load";

using ModelCache = std::map<filesystem::String, std::unique_ptr<Model>>;
using ModelInHardwareCache = std::map<filesystem::String, std::unique_ptr<ModelInHardware>>;
ModelCache* model_cache = nullptr;
ModelInHardwareCache* model_in_hardware_cache = nullptr;

ModelCache*& cache_of(Model*) { return model_cache; }
ModelInHardwareCache*& cache_of(ModelInHardware*) { return model_in_hardware_cache; }

const Atom& atom_positions() { static const Atom atom("Positions"); return atom; }
const Atom& atom_normals() { static const Atom atom("Normals"); return atom; }
const Atom& atom_uv0() { static const Atom atom("UV0"); return atom; }
const Atom& atom_diffuses() { static const Atom atom("Diffuses"); return atom; }
const Atom& atom_indices() { static const Atom atom("Indices"); return atom; }

// Reads the sections of a model file, each count checked against the bytes left before
// anything is allocated.
class SectionReader {
public:
    SectionReader(const uint8_t* data, size_t size, const filesystem::String& path, const char* function)
        : data_(data), size_(size), path_(path), function_(function)
    {
    }

    template <class Element>
    std::vector<Element> section(const char* name)
    {
        static_assert(sizeof(Element) == 4);
        if (size_ - position_ < 4)
            fail(String("the file ends before the count of ") + name);
        const uint32_t count = word(position_);
        position_ += 4;
        if (count > (size_ - position_) / 4)
            fail(String("the count of ") + name + " runs past the end of the file");
        std::vector<Element> values(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t bits = word(position_ + size_t{i} * 4);
            std::memcpy(&values[i], &bits, 4);
        }
        position_ += size_t{count} * 4;
        return values;
    }

    size_t left() const { return size_ - position_; }

    [[noreturn]] void fail(const String& description) const { throw GluckBadResource(function_, description, path_); }

private:
    uint32_t word(size_t at) const
    {
        return uint32_t{data_[at]} | uint32_t{data_[at + 1]} << 8 | uint32_t{data_[at + 2]} << 16 |
               uint32_t{data_[at + 3]} << 24;
    }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    const filesystem::String& path_;
    const char* function_;
};

// Gärtner's move-to-front smallest enclosing ball in three dimensions. The support set
// keeps the points of the ball's boundary in an orthogonalised form, so that each push
// updates centre and radius in closed form.
class SupportSet {
public:
    using Point = std::array<double, 3>;

    void reset()
    {
        m_ = 0;
        centre_[0] = {0.0, 0.0, 0.0};
        current_centre_ = centre_[0];
        current_sqr_radius_ = -1.0;
    }

    size_t size() const { return m_; }
    const Point& centre() const { return current_centre_; }
    double squared_radius() const { return current_sqr_radius_; }

    double excess(const Point& p) const
    {
        double e = -current_sqr_radius_;
        for (int k = 0; k < 3; ++k)
            e += (p[k] - current_centre_[k]) * (p[k] - current_centre_[k]);
        return e;
    }

    // Refused when the point is (nearly) in the affine hull of the support points.
    bool push(const Point& p)
    {
        if (m_ == 0) {
            q0_ = p;
            centre_[0] = p;
            sqr_radius_[0] = 0.0;
        } else {
            Point& v = v_[m_];
            for (int k = 0; k < 3; ++k)
                v[k] = p[k] - q0_[k];
            double a[4] = {};
            for (size_t i = 1; i < m_; ++i) {
                for (int k = 0; k < 3; ++k)
                    a[i] += v_[i][k] * v[k];
                a[i] *= 2.0 / z_[i];
            }
            for (size_t i = 1; i < m_; ++i) {
                for (int k = 0; k < 3; ++k)
                    v[k] -= a[i] * v_[i][k];
            }
            z_[m_] = 2.0 * (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            if (z_[m_] < 1e-32 * current_sqr_radius_)
                return false;
            double e = -sqr_radius_[m_ - 1];
            for (int k = 0; k < 3; ++k)
                e += (p[k] - centre_[m_ - 1][k]) * (p[k] - centre_[m_ - 1][k]);
            const double f = e / z_[m_];
            for (int k = 0; k < 3; ++k)
                centre_[m_][k] = centre_[m_ - 1][k] + f * v[k];
            sqr_radius_[m_] = sqr_radius_[m_ - 1] + e * f / 2.0;
        }
        current_centre_ = centre_[m_];
        current_sqr_radius_ = sqr_radius_[m_];
        ++m_;
        return true;
    }

    void pop() { --m_; }

private:
    size_t m_ = 0;
    Point q0_{};
    std::array<Point, 4> v_{};
    std::array<double, 4> z_{};
    std::array<Point, 4> centre_{};
    std::array<double, 4> sqr_radius_{};
    Point current_centre_{};
    double current_sqr_radius_ = -1.0;
};

class Miniball {
public:
    using Point = SupportSet::Point;
    using List = std::list<Point>;
    using It = List::iterator;

    explicit Miniball(List points) : points_(std::move(points))
    {
        support_.reset();
        support_end_ = points_.begin();
        if (!points_.empty())
            pivot(points_.end());
    }

    const SupportSet& support() const { return support_; }

private:
    void move_to_front(It j)
    {
        if (support_end_ == j)
            ++support_end_;
        points_.splice(points_.begin(), points_, j);
    }

    void move_to_front_ball(It end)
    {
        support_end_ = points_.begin();
        if (support_.size() == 4)
            return;
        for (It k = points_.begin(); k != end;) {
            It j = k++;
            if (support_.excess(*j) > 0.0 && support_.push(*j)) {
                move_to_front_ball(j);
                support_.pop();
                move_to_front(j);
            }
        }
    }

    void pivot(It end)
    {
        It t = std::next(points_.begin());
        move_to_front_ball(t);
        double max_excess = 0.0;
        double old_sqr_radius = -1.0;
        do {
            It chosen = end;
            max_excess = 0.0;
            for (It k = t; k != end; ++k) {
                const double e = support_.excess(*k);
                if (e > max_excess) {
                    max_excess = e;
                    chosen = k;
                }
            }
            if (max_excess > 0.0) {
                t = support_end_;
                if (t == chosen)
                    ++t;
                old_sqr_radius = support_.squared_radius();
                support_.push(*chosen);
                move_to_front_ball(support_end_);
                support_.pop();
                move_to_front(chosen);
            }
        } while (max_excess > 0.0 && support_.squared_radius() > old_sqr_radius);
    }

    List points_;
    SupportSet support_;
    It support_end_;
};

} // namespace

// --- handles ---

template <class T>
CachedHandle<T>::CachedHandle(const filesystem::String& path)
{
    acquire(path);
}

template <class T>
void CachedHandle<T>::acquire(const filesystem::String& path)
{
    reset();
    auto [object, made] = material::detail::find_or_emplace(cache_of(static_cast<T*>(nullptr)), path,
                                                            [&] { return std::make_unique<T>(path); });
    (void)made;
    object->add_reference();
    object_ = object;
}

template <class T>
CachedHandle<T>::CachedHandle(const CachedHandle& other) : object_(other.object_)
{
    if (object_)
        object_->add_reference();
}

template <class T>
void CachedHandle<T>::reset()
{
    T* object = object_;
    object_ = nullptr;
    material::detail::release_cached(cache_of(static_cast<T*>(nullptr)), object,
                                     [](const T& cached) -> const filesystem::String& { return cached.get_path(); });
}

template class CachedHandle<Model>;
template class CachedHandle<ModelInHardware>;

// --- file ---

ModelFileArrays parse_model_file(const uint8_t* data, size_t size, const filesystem::String& path,
                                 const char* function)
{
    static const uint8_t nothing = 0;
    SectionReader reader(data ? data : &nothing, data ? size : 0, path, function);
    ModelFileArrays arrays;
    arrays.positions = reader.section<float>("Positions");
    arrays.normals = reader.section<float>("Normals");
    arrays.uv0 = reader.section<float>("UV0");
    arrays.diffuses = reader.section<float>("Diffuses");
    arrays.indices = reader.section<uint32_t>("Indices");
    if (reader.left() != 0)
        reader.fail("bytes follow the last section");
    if (arrays.positions.size() % 3 != 0)
        reader.fail("the positions are not three per vertex");
    for (float value : arrays.positions) {
        if (!std::isfinite(value))
            reader.fail("a position is not a finite number");
    }
    if (arrays.indices.size() % 3 != 0)
        reader.fail("the indices are not three per triangle");
    const size_t vertices = arrays.positions.size() / 3;
    for (uint32_t index : arrays.indices) {
        if (index >= vertices)
            reader.fail("an index is past the last vertex");
    }
    return arrays;
}

hard::Sphere smallest_enclosing_sphere(const float* xyz, size_t count)
{
    hard::Sphere sphere;
    if (count == 0)
        return sphere;
    Miniball::List points;
    for (size_t i = 0; i < count; ++i)
        points.push_back({double{xyz[i * 3]}, double{xyz[i * 3 + 1]}, double{xyz[i * 3 + 2]}});
    const Miniball ball(std::move(points));
    const auto& centre = ball.support().centre();
    sphere.x = static_cast<float>(centre[0]);
    sphere.y = static_cast<float>(centre[1]);
    sphere.z = static_cast<float>(centre[2]);
    sphere.radius = static_cast<float>(std::sqrt(std::max(0.0, ball.support().squared_radius())));
    return sphere;
}

// --- model record ---

Model::Model(const filesystem::String& path)
    : path_(path), stream_(std::make_unique<resource::ActiveMultithreaded>(path))
{
}

Model::~Model() = default;

void Model::set_failed() noexcept
{
    failed_ = true;
    stream_.reset();
}

void Model::load()
{
    if (!stream_ || !stream_->is_loaded())
        return;
    if (!stream_->is_good())
        throw GluckBadResource(model_load_function, "the model file could not be read", path_);
    ModelFileArrays arrays = parse_model_file(stream_->get_data(), stream_->get_size(), path_, model_load_function);
    sphere_ = smallest_enclosing_sphere(arrays.positions.data(), arrays.positions.size() / 3);
    floats_[atom_positions()] = std::move(arrays.positions);
    floats_[atom_normals()] = std::move(arrays.normals);
    floats_[atom_uv0()] = std::move(arrays.uv0);
    floats_[atom_diffuses()] = std::move(arrays.diffuses);
    integers_[atom_indices()] = std::move(arrays.indices);
    stream_.reset();
    loaded_ = true;
}

const FloatArray& Model::get_array(const Atom& name) const
{
    static const FloatArray empty;
    const auto found = floats_.find(name);
    return found == floats_.end() ? empty : found->second;
}

const IntArray& Model::get_int_array(const Atom& name) const
{
    static const IntArray empty;
    const auto found = integers_.find(name);
    return found == integers_.end() ? empty : found->second;
}

void Model::set_array(const Atom& name, FloatArray values)
{
    floats_[name] = std::move(values);
}

void Model::set_int_array(const Atom& name, IntArray values)
{
    integers_[name] = std::move(values);
}

// --- hardware copy ---

ModelInHardware::ModelInHardware(const filesystem::String& path) : model_(path), path_(path)
{
    if (hard::Manager::exists()) {
        hard::Manager::add_dependent(this);
        registered_ = true;
    }
}

ModelInHardware::~ModelInHardware()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
}

Model& ModelInHardware::get_model() const noexcept
{
    return *model_.get();
}

void ModelInHardware::on_add_hardware(hard::Hardware* hardware)
{
    auto object = std::make_unique<ModelInHardwareObject>();
    if (hardware)
        object->vertex_buffer = hardware->create_vertex_buffer(false);
    add_data(hardware, std::move(object));
    loaded_ = false;
}

void ModelInHardware::load()
{
    Model& model = *model_.get();
    if (model.has_failed()) {
        // The record's pass has said why.
        failed_ = true;
        return;
    }
    if (!model.is_loaded())
        return;
    static const Atom names[] = {"Positions", "Normals", "U-Tangents", "V-Tangents", "UV0", "UV1",
                                 "Weights0",  "Weights1", "Weights2"};
    const FloatArray& positions = model.get_array(names[0]);
    const FloatArray& normals = model.get_array(names[1]);
    const FloatArray& uv0 = model.get_array(names[4]);
    // The joint-index arrays hold integers, which the buffer's further arrays do not take;
    // the device format draws none of the further arrays anyway.
    const hard::VertexBuffer::FurtherArrays further = {&model.get_array(names[2]), &model.get_array(names[3]),
                                                       &model.get_array(names[5]), &model.get_array(names[6]),
                                                       &model.get_array(names[7]), &model.get_array(names[8]),
                                                       nullptr};
    const IntArray& indices = model.get_int_array(atom_indices());
    vertex_count_ = static_cast<uint32_t>(positions.size() / 3);
    triangle_count_ = static_cast<uint32_t>(indices.empty() ? positions.size() / 9 : indices.size() / 3);
    for (Pair& pair : pairs_) {
        if (!pair.first || !pair.first->is_operational() || !pair.second || !pair.second->vertex_buffer)
            continue;
        ModelInHardwareObject& object = *pair.second;
        if (!object.vertex_buffer->is_operational() && !object.vertex_buffer->update(positions, normals, uv0, further))
            throw GluckBadResource(hardware_load_function, "object->vb->update() failed", path_);
        if (indices.empty())
            continue;
        if (!object.index_buffer)
            object.index_buffer = pair.first->create_index_buffer();
        if (object.index_buffer && !object.index_buffer->is_operational() &&
            !object.index_buffer->update(indices.data(), static_cast<uint32_t>(indices.size())))
            throw GluckBadResource(hardware_load_function, "object->ib->update() failed", path_);
    }
    sphere_ = model.get_bounding_sphere();
    loaded_ = true;
}

ModelInHardwareObject* ModelInHardware::usable_object(hard::Hardware& hardware)
{
    ModelInHardwareObject* object = find_data(&hardware);
    if (!loaded_ || !object || !object->vertex_buffer)
        return nullptr;
    const bool has_indices = !get_model().get_int_array(atom_indices()).empty();
    if (!object->vertex_buffer->is_operational() || (object->index_buffer && !object->index_buffer->is_operational()) ||
        (has_indices && !object->index_buffer)) {
        loaded_ = false;
        return nullptr;
    }
    return object;
}

void ModelInHardware::render(const material::ShaderLoader& shaders, hard::Hardware& hardware,
                             hard::RenderList& list, const hard::RenderRecord& pattern)
{
    ModelInHardwareObject* object = usable_object(hardware);
    if (!object)
        return;
    uint32_t first_index = 0;
    uint32_t first_vertex = 0;
    for (const auto& shader : shaders.get_materials()) {
        const uint32_t triangles = shader->get_triangles_count();
        if (shader->get_colors().transparency <= 0.99) {
            hard::RenderRecord record = pattern;
            record.bounding_sphere = sphere_;
            record.vertex_buffer = object->vertex_buffer.get();
            record.first_primitive = first_index;
            record.primitive_count = triangles;
            if (object->index_buffer) {
                record.index_buffer = object->index_buffer.get();
                record.first_vertex = first_vertex;
                record.vertex_count = shader->get_vertex_count();
            } else {
                // A plain triangle list: the range starts at its first corner.
                record.first_vertex = first_index;
            }
            shader->fill_render_material(hardware, record);
            list.add_record(record);
        }
        first_index += 3 * triangles;
        first_vertex += shader->get_vertex_count();
    }
}

void ModelInHardware::render_shadow(const material::ShaderLoader& shaders, hard::Hardware& hardware,
                                    hard::RenderList& list, const hard::RenderRecord& pattern)
{
    ModelInHardwareObject* object = usable_object(hardware);
    if (!object)
        return;
    hard::RenderRecord record = pattern;
    record.bounding_sphere = sphere_;
    record.vertex_buffer = object->vertex_buffer.get();
    record.index_buffer = object->index_buffer.get();
    record.first_primitive = 0;
    record.primitive_count = triangle_count_;
    record.first_vertex = 0;
    record.vertex_count = vertex_count_;
    if (!shaders.get_materials().empty())
        shaders.get_materials().front()->fill_render_material(hardware, record);
    list.secondary_records.push_back(record);
}

// --- caches and passes ---

const std::map<filesystem::String, std::unique_ptr<Model>>* get_model_cache()
{
    return model_cache;
}

const std::map<filesystem::String, std::unique_ptr<ModelInHardware>>* get_model_in_hardware_cache()
{
    return model_in_hardware_cache;
}

int32_t load_models(int64_t start_ticks, double budget)
{
    return material::detail::run_load_pass(model_cache, start_ticks, budget, [](Model& model) { model.load(); });
}

int32_t load_models_in_hardware(int64_t start_ticks, double budget)
{
    return material::detail::run_load_pass(model_in_hardware_cache, start_ticks, budget,
                                           [](ModelInHardware& copy) { copy.load(); });
}

} // namespace vadu::lib3d::model
