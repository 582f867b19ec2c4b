#include "text_fixture.h"

#include "text/Error.h"
#include "text/Layouter.h"
#include "text/TextSprite.h"

#include <limits>
#include <stdexcept>

namespace {

using text_test::Canvas;
using text_test::FileFactory;
using text_test::TextTest;

TEST(ErrorTest, FormatsFreeTypeCodes)
{
    EXPECT_EQ(TrueText::FormatFreeTypeError(0x02, "FaceImpl", 58),
              u"FreeType error: 0x02 - unknown file format at src\\FaceImpl.cpp:58");
    EXPECT_EQ(TrueText::FreeTypeErrorMessage(0), u"no error");
    EXPECT_EQ(TrueText::FreeTypeErrorMessage(0xBA), u"Font glyphs corrupted or missing fields");
    for (int code : {0xFE, 0x1000, -1})
        EXPECT_EQ(TrueText::FreeTypeErrorMessage(code), u"Unknown error") << code;
    EXPECT_EQ(TrueText::FormatFreeTypeError(0xFE, "Layouter", 80),
              u"FreeType error: 0xFE - Unknown error at src\\Layouter.cpp:80");

    const std::u16string cut = TrueText::FormatFreeTypeError(0x01, std::string(600, 'u'), 7);
    EXPECT_EQ(cut.size(), 499u);
    EXPECT_EQ(cut.substr(0, 23), u"FreeType error: 0x01 - ");

    const TrueText::Error error(u"caf\u00E9");
    const std::exception& base = error;
    EXPECT_STREQ(base.what(), "caf\xC3\xA9");
}

TEST(TextLibraryTest, StartsOnceAndRefusesUseWhenStopped)
{
    EXPECT_FALSE(TrueText::TextLibrary::IsStarted());
    EXPECT_THROW(TrueText::MakeFace("x", FileFactory(DEJAVU_SANS)), TrueText::Error);
    {
        TrueText::TextLibrary::Creator creator;
        EXPECT_TRUE(TrueText::TextLibrary::IsStarted());
        EXPECT_THROW(TrueText::TextLibrary::Init(), TrueText::Error);
        auto face = TrueText::MakeFace(DEJAVU_SANS, FileFactory(DEJAVU_SANS));
        TrueText::TextFont font(face);
        TrueText::TextSprite sprite(font);
        sprite.SetText(u"alive");
        EXPECT_GT(sprite.GetMetrics().width, 2);
    }
    EXPECT_FALSE(TrueText::TextLibrary::IsStarted());
    TrueText::TextLibrary::Shutdown(); // harmless when stopped
}

class FaceTest : public TextTest {};

TEST_F(FaceTest, GarbageFaceBytesRaiseANamedFreeTypeError)
{
    std::string garbage;
    while (garbage.size() < 4096)
        garbage += "this is not a font file at all, only words; ";
    auto factory = [garbage] {
        return std::make_shared<TrueText::FreeTypeEngineStream>(garbage.data(), garbage.size());
    };
    try {
        TrueText::MakeFace("garbage", factory);
        FAIL() << "garbage opened as a face";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "FreeType error: 0x02 - unknown file format at src\\FaceImpl.cpp:58");
        EXPECT_NE(dynamic_cast<const TrueText::Error*>(&error), nullptr);
    }
    // Nothing and a factory without a stream fail the same clear way.
    EXPECT_THROW(TrueText::MakeFace("empty", [] { return std::make_shared<TrueText::FreeTypeEngineStream>("", 0); }),
                 TrueText::Error);
    EXPECT_THROW(TrueText::MakeFace("null", [] { return std::shared_ptr<TrueText::Stream>(); }), TrueText::Error);
    // The library still works after the failures.
    EXPECT_EQ(Sans(12).GetSize(), 12.0f);
}

TEST_F(FaceTest, ANameRegisteredTwiceKeepsItsFirstFactory)
{
    FileFactory first(DEJAVU_SANS);
    FileFactory second(DEJAVU_SANS_MONO);
    auto a = TrueText::MakeFace("ui", first);
    auto b = TrueText::MakeFace("ui", second);
    EXPECT_EQ(a->FaceId(), b->FaceId());
    EXPECT_EQ(*second.calls, 0);
    EXPECT_EQ(*first.calls, 1);
}

TEST_F(FaceTest, FontDefaultsCopiesAndSizes)
{
    TrueText::TextFont font(Face(DEJAVU_SANS));
    EXPECT_EQ(font.GetSize(), 10.0f);
    EXPECT_EQ(font.GetColor(), (TrueText::Color{255, 255, 255, 255}));
    EXPECT_FALSE(font.GetOutline().enabled);
    EXPECT_EQ(font.GetOutline().width, 1.0f);
    EXPECT_EQ(font.GetOutline().color, (TrueText::Color{255, 255, 255, 255}));
    EXPECT_FALSE(font.GetShadow().enabled);
    EXPECT_EQ(font.GetShadow().offset_x, 0);
    EXPECT_EQ(font.GetShadow().color, (TrueText::Color{127, 0, 0, 0}));

    font.SetSize(24);
    font.GetOutline().Set(3.0f, {1, 2, 3, 4});
    TrueText::TextFont copy(font);
    EXPECT_NE(copy.Impl(), font.Impl());
    EXPECT_EQ(copy.GetSize(), 24.0f);
    EXPECT_EQ(copy.GetOutline().width, 3.0f);
    copy.GetOutline().Set(5.0f, {1, 2, 3, 4});
    EXPECT_EQ(font.GetOutline().width, 3.0f) << "the copy has its own settings";

    const float mono_advance = Mono(20).GetMaxAdvance();
    EXPECT_GT(mono_advance, 10.0f);
    EXPECT_LT(mono_advance, 20.0f);
    EXPECT_GT(Mono(40).GetMaxAdvance(), mono_advance);

    for (float bad : {0.0f, -3.0f, 1e9f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_THROW(font.SetSize(bad), TrueText::Error) << bad;
}

// A face that cannot be opened again once the cache manager closed it: the failure comes
// out as the opener's own error wherever the face is next needed, and nothing is left
// behind for later calls.
TEST_F(FaceTest, AFaceThatFailsToReopenRaisesItsError)
{
    FileFactory good(DEJAVU_SANS);
    auto calls = std::make_shared<int>(0);
    auto flaky = TrueText::MakeFace("flaky", [good, calls]() -> std::shared_ptr<TrueText::Stream> {
        if (++*calls == 1)
            return good();
        static const char garbage[4096] = {};
        return std::make_shared<TrueText::FreeTypeEngineStream>(garbage, sizeof garbage);
    });
    TrueText::TextFont font(flaky);
    // Two other faces push it out of the manager's two open faces.
    const TrueText::TextFont mono = Mono(12);
    const TrueText::TextFont serif = Font(DEJAVU_SERIF, 12);
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"reopen");
    try {
        (void)sprite.GetMetrics();
        FAIL() << "the face opened again from garbage";
    } catch (const TrueText::Error& error) {
        EXPECT_NE(std::string(error.what()).find("src\\FaceImpl.cpp:58"), std::string::npos) << error.what();
    }
    EXPECT_GE(*calls, 2);
    // Other fonts go on working, and no stale error surfaces.
    TrueText::TextSprite other(serif);
    other.SetText(u"fine");
    EXPECT_GT(other.GetMetrics().width, 2);
}

// Three faces at six sizes in turn: the cache manager keeps two faces and four sizes
// open, so faces are closed and opened again all along; everything must still agree and
// run clean under the sanitizers.
TEST_F(FaceTest, ManyFacesAndSizesInTurn)
{
    FileFactory factories[] = {FileFactory(DEJAVU_SANS), FileFactory(DEJAVU_SANS_MONO), FileFactory(DEJAVU_SERIF)};
    std::vector<std::shared_ptr<TrueText::FaceImpl>> faces;
    for (size_t i = 0; i < 3; ++i)
        faces.push_back(TrueText::MakeFace("face" + std::to_string(i), factories[i]));
    const float sizes[] = {9, 12, 17, 22.5f, 28, 40};
    std::vector<std::vector<uint32_t>> first_round;
    for (int round = 0; round < 2; ++round) {
        size_t n = 0;
        for (const auto& face : faces) {
            for (float size : sizes) {
                TrueText::TextFont font(face);
                font.SetSize(size);
                font.GetOutline().SetEnabled(size > 20);
                (void)font.GetMaxAdvance();
                TrueText::TextSprite sprite(font);
                sprite.SetText(u"AVery Wavy line\nof text");
                sprite.SetMaxWidth(120);
                const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
                Canvas canvas(m.width, m.height);
                sprite.Draw(canvas.Buffer(), 0, 0);
                if (round == 0)
                    first_round.push_back(canvas.pixels);
                else
                    EXPECT_EQ(canvas.pixels, first_round[n]) << n;
                ++n;
            }
        }
    }
    EXPECT_GT(*factories[0].calls + *factories[1].calls + *factories[2].calls, 3)
        << "faces were closed and opened again";
}

} // namespace
