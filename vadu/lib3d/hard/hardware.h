#pragma once

// The render device as the rendering layer sees it: one Hardware per display adapter,
// registered with the render-device manager, each with a table of the video modes it
// offers (rows of named text attributes, one row selected).

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window.h"
#include "vadu/atom.h"
#include "vadu/hardware_manager.h"
#include "vadu/log.h"
#include "vadu/pictureformat/format.h"
#include "vadu/string.h"

namespace vadu::lib3d::hard {

// Built by the render list, the resource objects and the back end.
class RenderList;
class Texture;
class TextureCubic;
class VertexBuffer;
class IndexBuffer;
class PointBuffer;
class RenderTarget;

// Something a scene can be drawn into, known by a name: the back buffer of a hardware or
// an off-screen render target. `Hardware::render` opens its scene through `start_scene`.
class RenderTargetBase {
public:
    explicit RenderTargetBase(const Atom& name);
    virtual ~RenderTargetBase();
    RenderTargetBase(const RenderTargetBase&) = delete;
    RenderTargetBase& operator=(const RenderTargetBase&) = delete;

    const Atom& get_name_atom() const noexcept { return name_; }

    virtual int get_width() const = 0;
    virtual int get_height() const = 0;
    // The viewport, each side from -1 to 1 with y upward. False: nothing may be drawn.
    virtual bool start_scene(double left, double right, double top, double bottom) = 0;

private:
    Atom name_;
};

// The name a hardware's own back buffer goes by.
inline constexpr const char* default_render_target_name = "#DefaultRenderTarget#";

class Hardware : public RenderTargetBase {
public:
    // One value per attribute, in column order.
    using Row = std::vector<String>;

    // Named `default_render_target_name`; the table starts empty.
    Hardware();
    ~Hardware() override;

    // Starts the video mode that the row describes, with the window as device window.
    virtual bool set_mode_internal(platform::WindowHandle window, const Row& row) = 0;
    virtual String get_description() const = 0;
    // The display name by which the video settings and the dialog know the hardware.
    virtual String get_name() const = 0;
    virtual void stop_mode() = 0;
    // A mode is set and the device is usable.
    virtual bool is_operational() const = 0;
    virtual void render(RenderList& list, RenderTargetBase& target) = 0;
    // The factories hand ownership to the caller.
    virtual std::unique_ptr<Texture> create_texture(int levels, pictureformat::Format format, int width,
                                                    int height) = 0;
    virtual std::unique_ptr<TextureCubic> create_texture_cubic(int levels, pictureformat::Format format, int width,
                                                               int height) = 0;
    virtual std::unique_ptr<VertexBuffer> create_vertex_buffer(bool dynamic) = 0;
    virtual std::unique_ptr<IndexBuffer> create_index_buffer() = 0;
    virtual std::unique_ptr<PointBuffer> create_point_buffer() = 0;
    virtual std::unique_ptr<RenderTarget> create_render_target(const Atom& name, int width, int height) = 0;
    // Null when the hardware made no render target of that name.
    virtual RenderTarget* find_render_target(const Atom& name) = 0;
    // False: draw nothing this frame.
    virtual bool start_frame() = 0;
    virtual void finish_frame() = 0;
    // Kept for the back ends' interface; nothing relies on it.
    virtual int reserved_operation() { return 0; }

    // --- the attribute table ---

    // Replaces the column names and the values the hardware prefers; logs both. Throws
    // Gluck when the counts differ, or when rows of another width exist; nothing changes.
    void set_attribute_names(const std::vector<String>& names, const std::vector<String>& wanted);
    // Appends a row and logs it; it becomes the selected row when it is the first one or
    // nearer the wanted values than the selected row. Throws Gluck for a wrong count.
    void add_attribute_table_row(const Row& values);
    // Selects the row that has the value in the named column, keeps every earlier column
    // as selected and changes later columns as little as possible, preferring the wanted
    // values. False (selection kept) for an unknown name or when no row qualifies.
    bool select_row(const String& name, const String& value);
    // Keeps only the rows whose value in the named column is allowed, then selects the
    // one nearest the wanted values. False for an unknown name (nothing changes) or when
    // no row is left (the table is then empty).
    bool filter_rows(const String& name, const std::vector<String>& allowed);
    // The selected row's value in the column; empty for an unknown name or no rows.
    String get_attribute_value(const String& name) const;
    // The distinct values of the column, in row order, over the rows that agree with the
    // selected row in every earlier column.
    std::vector<String> get_column_values(const String& name) const;
    const std::vector<String>& get_attribute_names() const noexcept { return attribute_names_; }
    const std::vector<String>& get_wanted_values() const noexcept { return wanted_values_; }
    const std::vector<Row>& get_rows() const noexcept { return rows_; }
    // Meaningful only while rows exist.
    uint32_t get_selected_row() const noexcept { return selected_row_; }

    // Starts the selected row's mode; false (and a log line) with an empty table.
    bool set_mode(platform::WindowHandle window);

private:
    // Index of the first column of that name, or -1.
    int find_column(const String& name) const;
    // Whether row a is strictly nearer the wanted values than row b.
    bool nearer_wanted(const Row& a, const Row& b) const;

    std::vector<String> attribute_names_;
    std::vector<Row> rows_;
    uint32_t selected_row_ = 0;
    std::vector<String> wanted_values_;
};

// The registry of render devices and of the objects that keep data per device.
class Manager : public HardwareManager<Hardware> {
public:
    Manager() = delete;
};

// `log() << text << flush` pushes the log's text out to its target, under its lock.
struct Flush {};
inline constexpr Flush flush{};
logs::Stream& operator<<(logs::Stream& stream, Flush);

// Keeps the characters 33 to 122 except "$": adapter descriptions become names that
// survive the "$"-separated system text and the settings file.
String clean_name(const String& name);

} // namespace vadu::lib3d::hard
