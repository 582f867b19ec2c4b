#include "ftcache.h"
#include "text/TextFont.h"

#include <cmath>
#include <cstring>

namespace TrueText {

FreeTypeEngineStream::FreeTypeEngineStream(const void* bytes, size_t length)
    : block_(new unsigned char[length > 0 ? length : 1]), length_(length)
{
    if (length > 0)
        std::memcpy(block_.get(), bytes, length);
}

FT_Stream FreeTypeEngineStream::GetStream()
{
    record_ = FT_StreamRec{};
    record_.base = block_.get();
    record_.size = static_cast<unsigned long>(length_);
    return &record_;
}

FaceImpl::FaceImpl(const std::string& name, StreamFactory factory)
{
    ftcache::State& state = ftcache::Get();
    face_id_ = ftcache::RegisterFace(name, [factory = std::move(factory)] { return ftcache::OpenFace(factory); });
    FT_Face face = nullptr;
    ftcache::Check(FTC_Manager_LookupFace(state.manager, face_id_, &face), {"FaceImpl", 72});
}

std::shared_ptr<FaceImpl> MakeFace(const std::string& name, StreamFactory factory)
{
    return std::make_shared<FaceImpl>(name, std::move(factory));
}

FontImpl::FontImpl(std::shared_ptr<FaceImpl> face)
    : face_(std::move(face)), outline_(std::make_unique<OutlineSettings>()), shadow_(std::make_unique<ShadowSettings>())
{
    if (!face_)
        throw Error(std::string_view("A font needs a face"));
    ApplySize();
}

FontImpl::FontImpl(const FontImpl& other)
    : size_(other.size_), color_(other.color_), face_(other.face_),
      outline_(std::make_unique<OutlineSettings>(*other.outline_)),
      shadow_(std::make_unique<ShadowSettings>(*other.shadow_))
{
    ApplySize();
}

void FontImpl::SetSize(float size)
{
    // The scaler height is size × 64 as an integer: refuse what has no such value.
    if (!(size > 0.0f && size < 16384.0f))
        throw Error(std::string_view("Invalid font size"));
    size_ = size;
    ApplySize();
}

void FontImpl::ApplySize()
{
    LookupSize();
}

FT_Size FontImpl::LookupSize() const
{
    ftcache::State& state = ftcache::Get();
    ftcache::TouchFace(FaceId(), {"FontImpl", 92});
    FTC_ScalerRec scaler{};
    scaler.face_id = FaceId();
    scaler.width = 0;
    scaler.height = ScalerHeight();
    scaler.pixel = 0;
    scaler.x_res = 72;
    scaler.y_res = 72;
    FT_Size size = nullptr;
    ftcache::Check(FTC_Manager_LookupSize(state.manager, &scaler, &size), {"FontImpl", 92});
    return size;
}

float FontImpl::GetMaxAdvance() const
{
    return static_cast<float>(LookupSize()->metrics.max_advance) * (1.0f / 64.0f);
}

TextFont::TextFont(std::shared_ptr<FaceImpl> face) : impl_(std::make_shared<FontImpl>(std::move(face))) {}

TextFont::TextFont(const TextFont& other) : impl_(std::make_shared<FontImpl>(*other.impl_)) {}

TextFont& TextFont::operator=(const TextFont& other)
{
    if (this != &other)
        impl_ = std::make_shared<FontImpl>(*other.impl_);
    return *this;
}

} // namespace TrueText
