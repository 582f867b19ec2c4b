#include "vadu/exception.h"

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <type_traits>

namespace {

using vadu::Gluck;
using vadu::String;

static_assert(std::is_polymorphic_v<Gluck>);
static_assert(!std::is_base_of_v<std::exception, Gluck>);
static_assert(std::is_copy_constructible_v<Gluck> && std::is_copy_assignable_v<Gluck>);

TEST(Gluck, KeepsFunctionAndDescriptionUnchanged)
{
    const String function("vadu::xml::LibxmlResourceReader::LibxmlResourceReader");
    const String description("Failed to create libxml reader");
    const Gluck gluck(function, description);
    EXPECT_EQ(gluck.get_function(), function);
    EXPECT_EQ(gluck.get_description(), description);
    // Copies share the caller's characters.
    EXPECT_TRUE(gluck.get_function().shares_with(function));
    EXPECT_TRUE(gluck.get_description().shares_with(description));
}

TEST(Gluck, TerminatesSubstringArgumentsWithoutTouchingTheCaller)
{
    const String function_source("vadu::logs::log(extra)");
    const String description_source("Log char don't exists; more");
    const String function = function_source.substr(0, 15);
    const String description = description_source.substr(0, 21);

    const Gluck gluck(function, description);
    const String& stored_function = gluck.get_function();
    const String& stored_description = gluck.get_description();
    ASSERT_EQ(stored_function.size(), 15u);
    ASSERT_EQ(stored_description.size(), 21u);
    EXPECT_EQ(stored_function.data()[stored_function.size()], '\0');
    EXPECT_EQ(stored_description.data()[stored_description.size()], '\0');
    EXPECT_STREQ(stored_function.data(), "vadu::logs::log");
    EXPECT_STREQ(stored_description.data(), "Log char don't exists");

    EXPECT_STREQ(function_source.c_str(), "vadu::logs::log(extra)");
    EXPECT_STREQ(description_source.c_str(), "Log char don't exists; more");
}

TEST(Gluck, SurvivesThrowAndCopyWhenOriginalsAreGone)
{
    Gluck copy("first", "first");
    try {
        String function("game::Level::load");
        String description("bad level");
        throw Gluck(function, description);
    } catch (const Gluck& caught) {
        copy = caught;
    }
    const Gluck second(copy);
    EXPECT_STREQ(second.get_function().c_str(), "game::Level::load");
    EXPECT_STREQ(second.get_description().c_str(), "bad level");
    EXPECT_TRUE(second.get_function().shares_with(copy.get_function()));
}

TEST(Gluck, EmptyTextsStayEmpty)
{
    const Gluck gluck(String(), "");
    EXPECT_TRUE(gluck.get_function().empty());
    EXPECT_TRUE(gluck.get_description().empty());
    EXPECT_STREQ(gluck.get_function().c_str(), "");
}

} // namespace

#include <optional>
#include <string>

namespace {

using vadu::GluckBadResource;
using Path = vadu::filesystem::String;

static_assert(std::is_base_of_v<vadu::Gluck, GluckBadResource>);

std::string text_of(const Path& path)
{
    return std::string(path.get_text().data(), path.get_text().size());
}

TEST(GluckBadResource, CarriesTheResourceThroughACatchAsGluck)
{
    try {
        throw GluckBadResource("game::CameraDefinition::OnNode", "load() failed",
                               Path("Data\\Cameras\\Main.camera", true));
    } catch (const vadu::Gluck& caught) {
        EXPECT_STREQ(caught.get_function().c_str(), "game::CameraDefinition::OnNode");
        EXPECT_STREQ(caught.get_description().c_str(), "load() failed");
        const auto* bad = dynamic_cast<const GluckBadResource*>(&caught);
        ASSERT_NE(bad, nullptr);
        EXPECT_EQ(text_of(bad->get_resource()), "data/cameras/main.camera");
        EXPECT_TRUE(bad->get_resource().is_lower_case());
    }
}

TEST(GluckBadResource, CopiesKeepPathAndFlagAndTheMacroTableAlive)
{
    ASSERT_EQ(vadu::filesystem::get_live_path_count(), 0) << "a path outlives its test";
    std::optional<GluckBadResource> first;
    first.emplace("vadu::lib3d::Application::load_root", "Failed to load root game resource",
                  Path("Data/Quillo.GAME", false));
    // Only the exception holds a path now.
    EXPECT_EQ(vadu::filesystem::get_live_path_count(), 1);
    const vadu::filesystem::PathMacros* table = vadu::filesystem::PathMacros::get();
    ASSERT_NE(table, nullptr);

    std::optional<GluckBadResource> second(*first);
    EXPECT_EQ(vadu::filesystem::get_live_path_count(), 2);
    EXPECT_EQ(text_of(second->get_resource()), "Data/Quillo.GAME");
    EXPECT_FALSE(second->get_resource().is_lower_case());
    EXPECT_TRUE(second->get_resource().get_text().shares_with(first->get_resource().get_text()));

    first.reset();
    EXPECT_EQ(vadu::filesystem::PathMacros::get(), table);
    EXPECT_EQ(text_of(second->get_resource()), "Data/Quillo.GAME");
    second.reset();
    EXPECT_EQ(vadu::filesystem::get_live_path_count(), 0);
    EXPECT_EQ(vadu::filesystem::PathMacros::get(), nullptr);
}

} // namespace
