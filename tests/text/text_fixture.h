#pragma once

// The text library started for one test, with the DejaVu faces at hand.

#include <gtest/gtest.h>

#include "text/Face.h"
#include "text/GlyphDrawer.h"
#include "text/TextFont.h"
#include "text/TextLibrary.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace text_test {

inline std::vector<char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A stream factory over a file's bytes, counting how often it is asked.
struct FileFactory {
    std::shared_ptr<std::vector<char>> bytes;
    std::shared_ptr<int> calls = std::make_shared<int>(0);

    explicit FileFactory(const std::string& path) : bytes(std::make_shared<std::vector<char>>(ReadFile(path))) {}
    std::shared_ptr<TrueText::Stream> operator()() const
    {
        ++*calls;
        return std::make_shared<TrueText::FreeTypeEngineStream>(bytes->data(), bytes->size());
    }
};

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { creator_ = std::make_unique<TrueText::TextLibrary::Creator>(); }
    void TearDown() override { creator_.reset(); }

    static std::shared_ptr<TrueText::FaceImpl> Face(const std::string& path)
    {
        return TrueText::MakeFace(path, FileFactory(path));
    }
    static TrueText::TextFont Font(const std::string& path, float size)
    {
        TrueText::TextFont font(Face(path));
        font.SetSize(size);
        return font;
    }
    static TrueText::TextFont Sans(float size) { return Font(DEJAVU_SANS, size); }
    static TrueText::TextFont Mono(float size) { return Font(DEJAVU_SANS_MONO, size); }

private:
    std::unique_ptr<TrueText::TextLibrary::Creator> creator_;
};

// 32-bit pixels with a PixelBuffer over them.
struct Canvas {
    int32_t width, height;
    std::vector<uint32_t> pixels;

    Canvas(int32_t w, int32_t h, uint32_t fill = 0) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
    TrueText::PixelBuffer Buffer(int32_t format = 0)
    {
        return {reinterpret_cast<uint8_t*>(pixels.data()), format, width * 4, width, height};
    }
    uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

} // namespace text_test
