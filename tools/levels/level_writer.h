#pragma once

// Level files as the level editor writes them: layers of named items, each item a position
// and what belongs to it, then the level's custom properties. Coordinates are the
// editor's: 960 x 640, y down.

#include <sstream>
#include <string>

namespace level_writer {

// An item's position and size, as the inner lines of an item.
std::string Rect(int x, int y, int width, int height);
// An item of the given name around its inner lines.
std::string Item(const std::string& name, const std::string& inner);

// One level: its layers in the order written, then its properties.
class LevelText {
public:
    // A layer of the items; a layer without items is left out.
    void Layer(const char* name, const std::string& items);
    // A custom property, its value as the stream writes it.
    template <class T>
    void Property(const char* name, const T& value)
    {
        properties_ << "\t\t<Property Name=\"" << name << "\"><string>" << value << "</string></Property>\n";
    }
    // The level element with both.
    std::string Text() const;

private:
    std::ostringstream layers_;
    std::ostringstream properties_;
};

} // namespace level_writer
