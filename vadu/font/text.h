#pragma once

// The text node and its implementations: TrueType text rendered into one texture per
// device and drawn as one quad, and proportional bitmap-font text drawn as one quad per
// character out of the node's material texture.

#include <cstdint>
#include <memory>

#include "text/GlyphString.h"
#include "text/TextSprite.h"
#include "vadu/font/font.h"
#include "vadu/font/symbol_atlas.h"
#include "vadu/lib3d/hard/hardware.h"
#include "vadu/lib3d/hard/hardware_dependent.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/lib3d/material/material.h"
#include "vadu/lib3d/node/node.h"

namespace vadu::lib3d::node {

class Camera;

enum TextAlignment : int32_t { LEFT = 0, CENTER = 1, RIGHT = 2 };
enum TextVAlignment : int32_t { TOP = 0, MIDDLE = 1, BOTTOM_BASELINE = 2, BOTTOM_BLOCK = 3 };
enum LayoutRules : int32_t { LR_DEFAULT = 0, LR_JAPANESE = 1 };

struct TextParams {
    int32_t alignment = LEFT;
    int32_t valignment = BOTTOM_BASELINE;
    WString text;
    uint8_t normalize = 1;
    int32_t max_width = -1;
    int32_t layout_rules = LR_DEFAULT;
};

class TextImpl {
public:
    virtual ~TextImpl() = default;
    virtual void render_to_list(hard::Hardware& hardware, material::Material& material,
                                const math::Matrix4& world, hard::RenderList& list) = 0;
    virtual float get_width(const WString& text) = 0;
    virtual float get_height() = 0;
    virtual void on_change_text() = 0;
    virtual void set_valignment(int32_t valignment) = 0;
    virtual std::unique_ptr<TextImpl> clone() const = 0;

    void bind(TextParams* params) noexcept { params_ = params; }
    float transparency = 0.0001f;

protected:
    TextParams* params_ = nullptr;
};

struct TrueTypeTextData {
    std::unique_ptr<hard::VertexBuffer> buffer;
    std::unique_ptr<hard::Texture> texture;
    bool stale = true;
};

class TrueTypeTextImpl : public TextImpl, public HardwareDependentObject<hard::Manager, TrueTypeTextData> {
public:
    explicit TrueTypeTextImpl(const font::TrueType& font);
    TrueTypeTextImpl(const TrueTypeTextImpl& other);
    ~TrueTypeTextImpl() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    void render_to_list(hard::Hardware& hardware, material::Material& material, const math::Matrix4& world,
                        hard::RenderList& list) override;
    float get_width(const WString& text) override;
    float get_height() override;
    void on_change_text() override;
    void set_valignment(int32_t valignment) override;
    std::unique_ptr<TextImpl> clone() const override;

    // Times the text was rasterised into a device texture.
    uint32_t get_draw_count() const noexcept { return draw_count_; }

private:
    void rebuild_sprite();
    void draw(hard::Hardware& hardware, TrueTypeTextData& data);

    font::TrueType font_;
    const Camera* camera_ = nullptr;
    int32_t valignment_ = BOTTOM_BASELINE;
    std::unique_ptr<TrueText::TextSprite> sprite_;
    bool changed_ = true;
    uint32_t draw_count_ = 0;
    bool size_logged_ = false;
};

class ProportionalTextImpl : public TextImpl, public HardwareDependentObject<hard::Manager, hard::VertexBuffer> {
public:
    explicit ProportionalTextImpl(const font::Proportional& font);
    ProportionalTextImpl(const ProportionalTextImpl& other);
    ~ProportionalTextImpl() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    void render_to_list(hard::Hardware& hardware, material::Material& material, const math::Matrix4& world,
                        hard::RenderList& list) override;
    float get_width(const WString& text) override;
    float get_height() override;
    void on_change_text() override;
    void set_valignment(int32_t) override {}
    std::unique_ptr<TextImpl> clone() const override;

private:
    void fill(hard::VertexBuffer& buffer);

    font::Proportional font_;
    uint32_t characters_ = 0;
};

struct SymbolAtlasVertexBuffers {
    std::unique_ptr<hard::VertexBuffer> main;
    std::unique_ptr<hard::VertexBuffer> outline;
};

class SymbolAtlasTextImpl : public TextImpl, public HardwareDependentObject<hard::Manager, SymbolAtlasVertexBuffers> {
public:
    // Holds a use of the atlas of its own, so that copies keep it loaded.
    explicit SymbolAtlasTextImpl(const text::SymbolAtlas& atlas);
    SymbolAtlasTextImpl(const SymbolAtlasTextImpl& other);
    ~SymbolAtlasTextImpl() override;

    void on_add_hardware(hard::Hardware* hardware) override;

    void render_to_list(hard::Hardware& hardware, material::Material& material, const math::Matrix4& world,
                        hard::RenderList& list) override;
    float get_width(const WString& text) override;
    float get_height() override;
    void on_change_text() override;
    void set_valignment(int32_t) override {}
    std::unique_ptr<TextImpl> clone() const override;

    // Times the vertex buffers were filled.
    uint32_t get_fill_count() const noexcept { return fill_count_; }

private:
    void layout();
    void fill(SymbolAtlasVertexBuffers& buffers);

    text::SymbolAtlas atlas_;
    TrueText::GlyphString glyphs_;
    bool layout_valid_ = false;
    bool buffers_valid_ = false;
    uint32_t outline_triangles_ = 0;
    uint32_t outline_vertices_ = 0;
    uint32_t main_triangles_ = 0;
    uint32_t main_vertices_ = 0;
    uint32_t fill_count_ = 0;
};

// Picks the implementation for a font kind.
class TextImplFactory : public font::Visitor {
public:
    void Visit(text::SymbolAtlas& atlas) override;
    void Visit(font::TrueType& font) override;
    void Visit(font::Proportional& font) override;

    std::unique_ptr<TextImpl> result;
};

class Text : public Node, public xml::ObjectUnicode {
public:
    Text(const Atom& name, Node* parent);
    Text(const Text& other);
    ~Text() override;

    using Node::change_attribute;
    using Node::get_attribute;
    bool change_attribute(const Atom& name, double value) override;
    bool change_attribute(const Atom& name, const math::Vector3& value) override;
    bool change_attribute(const Atom& name, const WString& value) override;
    bool get_attribute(const Atom& name, double& value) override;
    bool get_attribute(const Atom& name, WString& value) override;
    animate::Animatable* find_object(const Atom& name, bool recursive) override;
    Atom get_type_name() const override;
    Node* clone() const override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;
    void accept(NodeVisitor& visitor) override;

    using Node::OnAttribute;
    using Node::OnNode;
    bool OnAttribute(xml::Provider& provider, const WString& name, const WString& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;
    bool OnEndNode(xml::Provider& provider) override;
    void OnSaveAttributes(xml::Saver& saver) override;
    void OnSaveNodes(xml::Saver& saver) override;

    // Releases any font held and takes the one of the path (see font::FontUse).
    void set_font(const String& path);
    void set_text(const WString& text, bool escapes);
    // Through the ANSI code page.
    void set_text(const String& text, bool escapes);
    // Invalid bytes become U+FFFD.
    void set_text_utf8(const String& text, bool escapes);
    const WString& get_text() const noexcept { return params_.text; }
    void set_max_width(int32_t width);
    void set_alignment(int32_t alignment);
    void set_valignment(int32_t valignment);
    void update_layout();
    float get_width(const WString& text) const;
    float get_height() const;

    const TextParams& get_params() const noexcept { return params_; }
    TextImpl* get_impl() const noexcept { return impl_.get(); }
    material::Material& get_material() noexcept { return material_; }
    const font::FontUse& get_font() const noexcept { return font_; }

private:
    void make_impl();

    TextParams params_;
    material::Material material_;
    font::FontUse font_;
    std::unique_ptr<TextImpl> impl_;
    double pending_transparency_ = 0.001;
};

} // namespace vadu::lib3d::node
