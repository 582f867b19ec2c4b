#pragma once

// Fonts: a face at a size, with a text colour, an outline and a shadow.

#include "text/Face.h"

#include <cstdint>
#include <memory>

namespace TrueText {

// Alpha, red, green, blue; each 0 to 255.
struct Color {
    int32_t alpha = 255;
    int32_t red = 255;
    int32_t green = 255;
    int32_t blue = 255;
    bool operator==(const Color&) const = default;
};

struct OutlineSettings {
    bool enabled = false;
    float width = 1.0f;
    Color color{255, 255, 255, 255};

    void SetEnabled(bool on) { enabled = on; }
    void Set(float new_width, const Color& new_color)
    {
        width = new_width;
        color = new_color;
    }
};

struct ShadowSettings {
    bool enabled = false;
    int32_t offset_x = 0;
    int32_t offset_y = 0;
    Color color{127, 0, 0, 0};

    void SetEnabled(bool on) { enabled = on; }
    void Set(int32_t x, int32_t y, const Color& new_color)
    {
        offset_x = x;
        offset_y = y;
        color = new_color;
    }
};

class FontImpl {
public:
    explicit FontImpl(std::shared_ptr<FaceImpl> face);
    FontImpl(const FontImpl& other);
    FontImpl& operator=(const FontImpl&) = delete;

    float GetSize() const { return size_; }
    // Stores the size and looks it up; raises TrueText::Error when FreeType refuses it.
    void SetSize(float size);
    // The maximum advance of the current size, in pixels.
    float GetMaxAdvance() const;

    const Color& GetColor() const { return color_; }
    void SetColor(const Color& color) { color_ = color; }

    OutlineSettings& Outline() { return *outline_; }
    const OutlineSettings& Outline() const { return *outline_; }
    ShadowSettings& Shadow() { return *shadow_; }
    const ShadowSettings& Shadow() const { return *shadow_; }

    const std::shared_ptr<FaceImpl>& Face() const { return face_; }
    void* FaceId() const { return face_->FaceId(); }
    // The 26.6 scaler height: the size times 64, truncated.
    unsigned long ScalerHeight() const { return static_cast<unsigned long>(size_ * 64.0f); }
    // Looks the current size up through the cache manager; the handle is valid only until
    // the next cache call.
    FT_Size LookupSize() const;

private:
    void ApplySize();

    float size_ = 10.0f;
    Color color_{255, 255, 255, 255};
    std::shared_ptr<FaceImpl> face_;
    std::unique_ptr<OutlineSettings> outline_;
    std::unique_ptr<ShadowSettings> shadow_;
};

// The engine's handle on a font. Copying a TextFont makes a new font with the same
// settings; the text objects share the FontImpl they were made with.
class TextFont {
public:
    explicit TextFont(std::shared_ptr<FaceImpl> face);
    TextFont(const TextFont& other);
    TextFont(TextFont&&) noexcept = default;
    TextFont& operator=(const TextFont& other);
    TextFont& operator=(TextFont&&) noexcept = default;

    float GetSize() const { return impl_->GetSize(); }
    float GetMaxAdvance() const { return impl_->GetMaxAdvance(); }
    void SetSize(float size) { impl_->SetSize(size); }
    void SetColor(int32_t alpha, int32_t red, int32_t green, int32_t blue)
    {
        impl_->SetColor({alpha, red, green, blue});
    }
    const Color& GetColor() const { return impl_->GetColor(); }
    OutlineSettings& GetOutline() { return impl_->Outline(); }
    ShadowSettings& GetShadow() { return impl_->Shadow(); }

    const std::shared_ptr<FontImpl>& Impl() const { return impl_; }

private:
    std::shared_ptr<FontImpl> impl_;
};

} // namespace TrueText
