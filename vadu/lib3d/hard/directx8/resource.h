#pragma once

// What the resource objects of this back end need of the hardware that made them, and
// the list through which the hardware reaches every one of them when its device is lost
// or goes away.

#include <cstddef>
#include <cstdint>

#include "platform/gfx/device.h"

namespace vadu::lib3d::hard::directx8 {

class RenderTarget;
class ResourceList;

// The hardware, as its resources see it.
class ResourceOwner {
public:
    // Null while no mode is set.
    virtual platform::gfx::Device* get_device() const = 0;
    // A mode is set and the device is usable (not lost).
    virtual bool is_operational() const = 0;
    virtual ResourceList& get_resource_list() = 0;
    // The render list being drawn has lights.
    virtual bool has_lights() const = 0;
    // Vertices are processed by the device's hardware; otherwise point buffers skip
    // clipping.
    virtual bool has_hardware_vertex_shaders() const = 0;
    // Sets the viewport and the start-of-scene states for a scene over a target of
    // width × height pixels; the sides run from -1 to 1 with y upward.
    virtual void set_scene_viewport(double left, double right, double top, double bottom, uint32_t width,
                                    uint32_t height) = 0;
    // The render target is being destroyed: drop it from the hardware's own list.
    virtual void forget_render_target(RenderTarget* target) = 0;

protected:
    ~ResourceOwner() = default;
};

// A resource's link in its hardware's resource list. Linked on construction, unlinked
// on destruction; a list that dies first leaves its links detached (no owner).
class ResourceRegistration {
public:
    explicit ResourceRegistration(ResourceOwner& owner);
    virtual ~ResourceRegistration();
    ResourceRegistration(const ResourceRegistration&) = delete;
    ResourceRegistration& operator=(const ResourceRegistration&) = delete;

    // The device was lost: let go of what lives in the device's own memory.
    virtual void on_device_lost() = 0;
    // The device goes away: let go of every device object.
    virtual void drop() = 0;

    // Null once the hardware's list is gone.
    ResourceOwner* get_owner() const noexcept { return owner_; }

protected:
    // The owner's device, or null (no owner, no mode).
    platform::gfx::Device* device() const;
    // An owner with a usable device.
    bool hardware_operational() const;

private:
    friend class ResourceList;

    ResourceOwner* owner_;
    ResourceList* list_;
    ResourceRegistration* previous_ = nullptr;
    ResourceRegistration* next_ = nullptr;
};

// The hardware's resources, in creation order. Does not own them.
class ResourceList {
public:
    ResourceList() = default;
    ~ResourceList();
    ResourceList(const ResourceList&) = delete;
    ResourceList& operator=(const ResourceList&) = delete;

    // Runs every resource's device-lost hook.
    void lose_all();
    // Runs every resource's drop hook.
    void drop_all();

    size_t size() const noexcept { return size_; }
    bool contains(const ResourceRegistration* resource) const noexcept;

private:
    friend class ResourceRegistration;
    void link(ResourceRegistration* resource);
    void unlink(ResourceRegistration* resource);

    ResourceRegistration* first_ = nullptr;
    ResourceRegistration* last_ = nullptr;
    size_t size_ = 0;
};

// Releases a device object held through a plain pointer and clears the pointer.
template <class T>
void release_object(T*& object)
{
    if (object) {
        T* released = object;
        object = nullptr;
        released->release();
    }
}

} // namespace vadu::lib3d::hard::directx8
