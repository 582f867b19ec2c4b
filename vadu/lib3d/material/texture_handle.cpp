#include "vadu/lib3d/material/texture_handle.h"

#include "vadu/exception.h"
#include "vadu/lib3d/material/texture_load_pass.h"

namespace vadu::lib3d::material {

TextureHandle::TextureHandle(const filesystem::String& picture_path, bool wrap)
    : texture_(std::make_unique<TextureSimple>(Atom(), TextureSimpleLoader(picture_path, wrap)))
{
}

TextureHandle::TextureHandle(const filesystem::String& atlas_path, const Atom& frame_name)
    : atlas_(std::make_unique<TextureAtlas>(atlas_path)), pending_name_(frame_name)
{
}

TextureHandle::TextureHandle(const filesystem::String& atlas_path, int32_t frame_index)
    : atlas_(std::make_unique<TextureAtlas>(atlas_path)), pending_index_(frame_index)
{
}

TextureHandle::TextureHandle(const TextureHandle& other)
    : pending_name_(other.pending_name_), pending_index_(other.pending_index_)
{
    if (other.texture_)
        texture_ = std::make_unique<TextureSimple>(*other.texture_);
    if (other.atlas_)
        atlas_ = std::make_unique<TextureAtlas>(*other.atlas_);
}

TextureHandle::~TextureHandle() = default;

const AtlasFrame* TextureHandle::get_frame()
{
    if (frame_)
        return frame_;
    if (!atlas_ || frame_missing_)
        return nullptr;
    const TextureAtlasRep& rep = atlas_->get_rep();
    if (!rep.is_loaded())
        return nullptr;
    try {
        frame_ = pending_index_ >= 0 ? &rep.GetFrame(pending_index_) : &rep.GetFrame(pending_name_);
    } catch (const Gluck& failure) {
        // Bad data must not stop the frame; the handle just stays not ready.
        frame_missing_ = true;
        detail::log_load_failure(rep.get_path(), failure.get_function(), failure.get_description());
    }
    return frame_;
}

void TextureHandle::set_frame_by_name(const Atom& name)
{
    pending_name_ = name;
    pending_index_ = -1;
    frame_ = nullptr;
    frame_missing_ = false;
    get_frame();
}

void TextureHandle::set_frame_by_index(int32_t index)
{
    pending_index_ = index;
    frame_ = nullptr;
    frame_missing_ = false;
    get_frame();
}

const filesystem::String* TextureHandle::get_failed_file()
{
    if (texture_) {
        const TextureSimpleRep* rep = texture_->get_rep();
        return rep && rep->has_failed() ? &rep->get_path() : nullptr;
    }
    if (!atlas_)
        return nullptr;
    const TextureAtlasRep& rep = atlas_->get_rep();
    if (rep.has_failed())
        return &rep.get_path();
    if (!rep.is_loaded())
        return nullptr;
    if (!get_frame() && frame_missing_)
        return &rep.get_path();
    const TextureSimpleRep* picture = rep.get_picture() ? rep.get_picture()->get_rep() : nullptr;
    return picture && picture->has_failed() ? &picture->get_path() : nullptr;
}

bool TextureHandle::is_ready()
{
    if (texture_)
        return texture_->get_rep() && texture_->get_rep()->has_picture();
    if (atlas_)
        return get_frame() && atlas_->get_rep().has_picture();
    return false;
}

int32_t TextureHandle::get_width()
{
    if (texture_)
        return texture_->get_rep() ? texture_width(*texture_->get_rep(), true) : 0;
    const AtlasFrame* frame = get_frame();
    return frame ? frame->width : 0;
}

int32_t TextureHandle::get_height()
{
    if (texture_)
        return texture_->get_rep() ? texture_height(*texture_->get_rep(), true) : 0;
    const AtlasFrame* frame = get_frame();
    return frame ? frame->height : 0;
}

float TextureHandle::map_u(float u)
{
    const AtlasFrame* frame = get_frame();
    if (!frame)
        return u;
    const int32_t width = atlas_->get_rep().get_width();
    if (width <= 0)
        return u;
    return (static_cast<float>(frame->x) + 0.5f + u * static_cast<float>(frame->width - 1)) /
           static_cast<float>(width);
}

float TextureHandle::map_v(float v)
{
    const AtlasFrame* frame = get_frame();
    if (!frame)
        return v;
    const int32_t height = atlas_->get_rep().get_height();
    if (height <= 0)
        return v;
    return (static_cast<float>(height - frame->y - frame->height) + 0.5f +
            v * static_cast<float>(frame->height - 1)) /
           static_cast<float>(height);
}

void TextureHandle::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    if (get_frame()) {
        atlas_->get_rep().apply(hardware, stage);
        return;
    }
    if (texture_ && texture_->get_rep())
        texture_->apply(hardware, stage);
}

} // namespace vadu::lib3d::material
