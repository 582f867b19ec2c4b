#include "level_writer.h"

namespace level_writer {

std::string Rect(int x, int y, int width, int height)
{
    std::ostringstream out;
    out << "\t\t\t\t\t<Position><X>" << x << "</X><Y>" << y << "</Y></Position>\n\t\t\t\t\t<Width>" << width
        << "</Width><Height>" << height << "</Height>\n";
    return out.str();
}

std::string Item(const std::string& name, const std::string& inner)
{
    return "\t\t\t\t<Item Name=\"" + name + "\">\n" + inner + "\t\t\t\t</Item>\n";
}

void LevelText::Layer(const char* name, const std::string& items)
{
    if (items.empty())
        return;
    layers_ << "\t\t<Layer Name=\"" << name << "\">\n\t\t\t<Items>\n" << items << "\t\t\t</Items>\n\t\t</Layer>\n";
}

std::string LevelText::Text() const
{
    return "<Level>\n\t<Layers>\n" + layers_.str() + "\t</Layers>\n\t<CustomProperties>\n" + properties_.str() +
           "\t</CustomProperties>\n</Level>\n";
}

} // namespace level_writer
