#pragma once

// Fonts of text nodes, named by the path of an XML document whose root element decides
// the kind: "Font" (a proportional bitmap font), "TrueTypeFont" (drawn by the text
// library). Fonts are loaded once per path and shared through a use-counted table.

#include <cstdint>
#include <map>
#include <memory>

#include "text/TextFont.h"
#include "vadu/path.h"
#include "vadu/stream.h"
#include "vadu/string.h"

namespace vadu::lib3d::node::text {
class SymbolAtlas;
}

namespace vadu::font {

class TrueType;
class Proportional;

class Visitor {
public:
    virtual ~Visitor() = default;
    virtual void Visit(lib3d::node::text::SymbolAtlas& atlas) = 0;
    virtual void Visit(TrueType& font) = 0;
    virtual void Visit(Proportional& font) = 0;
};

class FontRep {
public:
    virtual void accept(Visitor& visitor) = 0;
    virtual ~FontRep() = default;
    virtual std::unique_ptr<FontRep> clone() const = 0;
};

// Alpha 255 and three channels from 0..1 floats, each times 255 truncated and clamped to
// 0..255 so that an out-of-range value cannot spill into a neighbouring channel.
TrueText::Color to_color(const float rgb[3]);

class TrueType : public FontRep {
public:
    struct Settings {
        String face;
        float size = 0.0f;
        float color[3] = {0.0f, 0.0f, 0.0f};
        bool outline = false;
        float outline_width = 0.0f;
        float outline_color[3] = {0.0f, 0.0f, 0.0f};
        bool shadow = false;
        int32_t shadow_offset[2] = {0, 0};
        float shadow_color[3] = {0.0f, 0.0f, 0.0f};
    };

    // Loads the "TrueTypeFont" document from the stream; vadu::GluckBadResource
    // "load() failed" naming the path when it does not load.
    TrueType(Stream& stream, const filesystem::String& path);
    // Shares the text font.
    TrueType(const TrueType& other) = default;

    void accept(Visitor& visitor) override { visitor.Visit(*this); }
    std::unique_ptr<FontRep> clone() const override { return std::make_unique<TrueType>(*this); }

    const Settings& get_settings() const noexcept { return settings_; }
    // Null only while loading.
    const std::shared_ptr<TrueText::TextFont>& get_text_font() const noexcept { return text_font_; }
    float get_size() const { return text_font_ ? text_font_->GetSize() : 0.0f; }

private:
    friend struct TrueTypeLoader;
    Settings settings_;
    std::shared_ptr<TrueText::TextFont> text_font_;
};

class Proportional : public FontRep {
public:
    struct Letter {
        uint16_t code = 0;
        int32_t x = 0;
        int32_t y = 0;
        int32_t width = 0;
        int32_t height = 0;
        int32_t base_skip = 0;
        int32_t base_width = 0;
    };

    // Loads the "Font" document; vadu::GluckBadResource "load() failed" naming the path
    // when it does not load, or when "Width", "Height" or "Size" is not above 0.
    Proportional(Stream& stream, const filesystem::String& path);
    Proportional(const Proportional& other) = default;

    void accept(Visitor& visitor) override { visitor.Visit(*this); }
    std::unique_ptr<FontRep> clone() const override { return std::make_unique<Proportional>(*this); }

    // The letter of the code, else that of code 0, else an all-zero letter.
    const Letter& get_letter(char16_t code) const;
    int32_t get_height() const noexcept { return height_; }
    int32_t get_width() const noexcept { return width_; }
    int32_t get_base() const noexcept { return base_; }
    double get_size() const noexcept { return size_; }
    size_t get_letter_count() const noexcept { return letters_.size(); }

private:
    friend struct ProportionalLoader;
    friend struct LetterLoader;
    int32_t height_ = 1;
    int32_t width_ = 1;
    int32_t base_ = 0;
    double size_ = 1.0;
    std::map<uint16_t, Letter> letters_;
};

// The loaded font of one path.
class GenericFontRep {
public:
    // Probes the root element and loads that kind; vadu::GluckBadResource "load() failed"
    // when the file cannot be opened or no kind matches.
    explicit GenericFontRep(const filesystem::String& path);
    FontRep& get() const noexcept { return *font_; }

private:
    std::unique_ptr<FontRep> font_;
};

// One use of the shared font of a path (lower-cased and normalised). Loading failures
// propagate and leave no table entry.
class FontUse {
public:
    FontUse() = default;
    explicit FontUse(const String& path);
    FontUse(const FontUse& other);
    FontUse& operator=(const FontUse& other);
    ~FontUse();

    explicit operator bool() const noexcept { return rep_ != nullptr; }
    FontRep* get() const noexcept { return rep_ ? &rep_->get() : nullptr; }
    // The normalised path the table knows the font by; empty for an empty use.
    const filesystem::String& get_path() const noexcept { return path_; }
    void reset();

private:
    filesystem::String path_;
    GenericFontRep* rep_ = nullptr;
};

// Entries in the shared table and the uses of one path (0 when absent); for checks.
size_t get_font_table_size();
int32_t get_font_use_count(const String& path);

} // namespace vadu::font
