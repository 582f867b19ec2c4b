// Writes the fuzz seed corpus for xml_fuzz: a few documents of the kinds the engine
// reads, and the XML data files under the data folder (the source tree's by default).
// Usage: xml_seeds <folder> [data folder]

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder> [data folder]\n", argv[0]);
        return 2;
    }
    const fs::path folder = argv[1];
    const std::vector<std::pair<const char*, std::string>> seeds = {
        {"scene.xml",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- a comment -->\n<Scene>\n"
         "\t<Sprite Name=\"Ball\" Src=\"data/demo/ball\" Position=\"0 0 -30\" Scale=\"1.5 1.5 1\"/>\n"
         "\t<Node Name=\"Orbit\"><Image Name=\"Bg\" Width=\"800\"/></Node>\n</Scene>\n"},
        {"wide.xml", "<Root WName=\"caf\xC3\xA9\" Plain='a&amp;b&lt;&quot;' W\xC3\xA9=\"x\"><Wide><Narrow/></Wide></Root>"},
        {"entities.xml",
         "<!DOCTYPE r [<!ENTITY e \"expanded\">]>\n<r a=\"&e;&#233;&#x10000;\">text &e; <![CDATA[<raw>]]><?pi x?></r>"},
        {"latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xE9\"/>"},
        {"utf16.xml", std::string("\xFF\xFE<\0r\0/\0>\0", 10)},
        {"truncated.xml", "<Scene><Sprite Name=\"A\" N"},
        {"nested.xml", "<a><b><c><d><e/></d></c></b></a>"},
    };
    for (const auto& [name, text] : seeds)
        write(folder / name, text);
#ifdef QUILLO_DATA_FOLDER
    const char* data = argc > 2 ? argv[2] : QUILLO_DATA_FOLDER;
#else
    const char* data = argc > 2 ? argv[2] : nullptr;
#endif
    if (data != nullptr) {
        std::error_code error;
        int n = 0;
        for (auto it = fs::recursive_directory_iterator(data, error); !error && it != fs::recursive_directory_iterator();
             it.increment(error)) {
            const std::string extension = it->path().extension().string();
            if (it->is_regular_file() &&
                (extension == ".xml" || extension == ".scene" || extension == ".anim" || extension == ".atlas"))
                fs::copy_file(it->path(), folder / ("data-" + std::to_string(n++) + extension),
                              fs::copy_options::overwrite_existing, error);
        }
    }
    return 0;
}
