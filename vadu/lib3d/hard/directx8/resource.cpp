#include "vadu/lib3d/hard/directx8/resource.h"

namespace vadu::lib3d::hard::directx8 {

ResourceRegistration::ResourceRegistration(ResourceOwner& owner)
    : owner_(&owner), list_(&owner.get_resource_list())
{
    list_->link(this);
}

ResourceRegistration::~ResourceRegistration()
{
    if (list_)
        list_->unlink(this);
}

platform::gfx::Device* ResourceRegistration::device() const
{
    return owner_ ? owner_->get_device() : nullptr;
}

bool ResourceRegistration::hardware_operational() const
{
    return owner_ && owner_->is_operational() && owner_->get_device();
}

ResourceList::~ResourceList()
{
    for (ResourceRegistration* resource = first_; resource;) {
        ResourceRegistration* next = resource->next_;
        resource->owner_ = nullptr;
        resource->list_ = nullptr;
        resource->previous_ = resource->next_ = nullptr;
        resource = next;
    }
}

void ResourceList::lose_all()
{
    for (ResourceRegistration* resource = first_; resource;) {
        ResourceRegistration* next = resource->next_;
        resource->on_device_lost();
        resource = next;
    }
}

void ResourceList::drop_all()
{
    for (ResourceRegistration* resource = first_; resource;) {
        ResourceRegistration* next = resource->next_;
        resource->drop();
        resource = next;
    }
}

bool ResourceList::contains(const ResourceRegistration* resource) const noexcept
{
    for (const ResourceRegistration* item = first_; item; item = item->next_) {
        if (item == resource)
            return true;
    }
    return false;
}

void ResourceList::link(ResourceRegistration* resource)
{
    resource->previous_ = last_;
    resource->next_ = nullptr;
    if (last_)
        last_->next_ = resource;
    else
        first_ = resource;
    last_ = resource;
    ++size_;
}

void ResourceList::unlink(ResourceRegistration* resource)
{
    if (resource->previous_)
        resource->previous_->next_ = resource->next_;
    else
        first_ = resource->next_;
    if (resource->next_)
        resource->next_->previous_ = resource->previous_;
    else
        last_ = resource->previous_;
    resource->previous_ = resource->next_ = nullptr;
    resource->list_ = nullptr;
    --size_;
}

} // namespace vadu::lib3d::hard::directx8
