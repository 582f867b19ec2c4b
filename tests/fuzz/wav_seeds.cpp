// Writes the WAV fuzz target's seed corpus into the folder given: a 16-bit stereo file,
// an 8-bit mono file with an 18-byte format chunk and a padded odd chunk before "data",
// and a 24-bit file in the extensible form.

#include <cstdint>
#include <fstream>
#include <string>

namespace {

void put(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string wav(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t extra, const std::string& before,
                const std::string& data, uint16_t tag = 1, const std::string& extension = "")
{
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    std::string body = "WAVEfmt ";
    put(body, 16 + extra, 4);
    put(body, tag, 2);
    put(body, channels, 2);
    put(body, rate, 4);
    put(body, rate * align, 4);
    put(body, align, 2);
    put(body, bits, 2);
    body += (extension + std::string(extra, '\0')).substr(0, extra);
    body += before + "data";
    put(body, static_cast<uint32_t>(data.size()), 4);
    body += data;
    std::string out = "RIFF";
    put(out, static_cast<uint32_t>(body.size()), 4);
    return out + body;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string folder = argv[1];
    std::string samples;
    for (int i = 0; i < 64; ++i)
        samples += static_cast<char>(i * 37);
    std::ofstream(folder + "/stereo16.wav", std::ios::binary) << wav(2, 22050, 16, 0, "", samples);
    std::ofstream(folder + "/mono8.wav", std::ios::binary)
        << wav(1, 11025, 8, 2, std::string("LIST\x03\0\0\0abc\0", 12), samples.substr(0, 17));
    // Size 22, 24 valid bits, front left and right, the PCM sub-format.
    std::string extension;
    put(extension, 22, 2);
    put(extension, 24, 2);
    put(extension, 3, 4);
    extension += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    std::ofstream(folder + "/extensible24.wav", std::ios::binary)
        << wav(2, 22050, 24, 24, "", samples.substr(0, 60), 0xFFFE, extension);
    return 0;
}
