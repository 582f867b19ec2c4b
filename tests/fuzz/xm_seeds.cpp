// Writes the XM fuzz target's seed corpus into the folder given: writer-made modules with
// both tables, 8- and 16-bit samples, both loop kinds, envelopes and a spread of effects.

#include "xm_writer.h"

#include <fstream>
#include <string>

namespace {

const char* const descriptions[] = {
    R"(channels 2
table linear
instrument lead fadeout=800
sample a wave=sine length=512 period=32 bits=16 loop=forward loopstart=0 looplength=512
volenv 0:64 8:40 16:20 32:0 sustain=1 loop=1-2
panenv 0:32 10:48
pattern 8
row C-4 01 40 ... | E-4 01 20 A04
row ... .. .. 104 | ... .. .. 204
row D-4 01 .. 308 | === .. .. ...
row ... .. .. 448 | G-4 01 .. 748
row ... .. .. E92 | ... .. .. R02
row ... .. .. EC2 | ... .. .. T12
row C-5 01 .. ED2 | ... .. .. EE1
row ... .. .. D00 | ... .. .. F20
order 0 254 0
)",
    R"(channels 1
table amiga
restart 1
instrument bass
sample b wave=square length=300 period=50 bits=8 loop=pingpong loopstart=100 looplength=150 finetune=-40 relnote=-12
pattern 4
row C-3 01 .. 047
row ... .. .. 904
row F-3 01 .. 8F0
row ... .. .. B01
order 0 0
)",
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int index = 0;
    for (const char* text : descriptions) {
        const std::vector<uint8_t> bytes = xm_writer::write(xm_writer::parse(text));
        std::ofstream out(std::string(argv[1]) + "/xm_seed_" + std::to_string(index++) + ".xm", std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            return 1;
    }
    return 0;
}
