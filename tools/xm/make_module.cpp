// make_module: turns a plain-text module description into an .xm file.
//
//   make_module <description.txt> <output.xm>
//
// Description lines (a line starting with '#' is a comment):
//   module NAME | channels N | speed N | bpm N | table linear|amiga | restart N | order P P ...
//   instrument NAME [fadeout=N]
//     sample NAME wave=sine|square|saw|triangle|noise|pluck length=FRAMES period=FRAMES bits=8|16
//            loop=none|forward|pingpong loopstart=F looplength=F volume=V finetune=F pan=P relnote=R
//     volenv X:Y X:Y ... [sustain=I] [loop=A-B]     (panenv likewise)
//   pattern ROWS
//     row C-4 01 40 A0F | ... .. .. ... | ===        (one cell per channel, as a tracker shows it)

#include "xm_writer.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: make_module <description.txt> <output.xm>\n";
        return 2;
    }
    try {
        std::ifstream in(argv[1]);
        if (!in)
            throw std::runtime_error(std::string("cannot read ") + argv[1]);
        std::stringstream text;
        text << in.rdbuf();
        const std::vector<uint8_t> bytes = xm_writer::write(xm_writer::parse(text.str()));
        std::ofstream out(argv[2], std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "make_module: " << argv[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}
