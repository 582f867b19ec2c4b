#pragma once

// Level files written in the tests: a 960 x 640 field with two weighted cannons, the shapes
// and custom properties given, and any further layers.

#include <string>

namespace level_files {

// One shape item of the "Shapes" layer at (x, y) in play-area pixels, y up.
inline std::string Shape(const std::string& name, const std::string& kind, int colour, float x, float y)
{
    return "<Item Name=\"" + name + "\"><Position><X>" + std::to_string(x) + "</X><Y>" + std::to_string(640.0f - y) +
           "</Y></Position><asset_name>shapes/monsters/fixture/" + kind + "/" + std::to_string(colour) +
           "</asset_name></Item>";
}

inline std::string Fixture(const std::string& shapes, const std::string& properties, const std::string& layers = "")
{
    return R"(<Level><Layers>
        <Layer Name="Boundaries"><Items><Item Name="BoundariesRectangle"><Position><X>0</X><Y>0</Y></Position>
            <Width>960</Width><Height>640</Height></Item></Items></Layer>
        <Layer Name="Shapes"><Items>)" +
           shapes + R"(</Items></Layer>
        <Layer Name="Cannons"><Items>
            <Item Name="DefaultDestination"><Position><X>100</X><Y>300</Y></Position><Width>760</Width><Height>300</Height></Item>
            <Item Name="LeftCannon"><Position><X>150</X><Y>-100</Y></Position><Width>80</Width><Height>40</Height>
                <CustomProperties><Property Name="weight"><string>1</string></Property></CustomProperties></Item>
            <Item Name="RightCannon"><Position><X>730</X><Y>-100</Y></Position><Width>80</Width><Height>40</Height>
                <CustomProperties><Property Name="weight"><string>2</string></Property></CustomProperties></Item>
        </Items></Layer>)" +
           layers + "</Layers><CustomProperties>" + properties + "</CustomProperties></Level>";
}

} // namespace level_files
