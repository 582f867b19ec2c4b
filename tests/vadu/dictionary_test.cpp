#include "vadu/dictionary.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using vadu::Atom;
using vadu::WString;

std::string name_of(const Atom& atom)
{
    const vadu::String name = atom.get_name();
    return std::string(name.data(), name.size());
}

std::u16string wide(const WString& text)
{
    return std::u16string(text.data(), text.size());
}

// Answers every phrase with one text and notes what it was asked.
class FakeDictionary : public vadu::Dictionary {
public:
    const WString& translate(const Atom& chapter, const Atom& section, const Atom& phrase) override
    {
        asked = name_of(chapter) + "|" + name_of(section) + "|" + name_of(phrase);
        return text;
    }

    WString text{u"Weiter"};
    std::string asked;
};

class DictionaryTest : public ::testing::Test {
protected:
    std::unique_ptr<vadu::DictionaryHolder::Creator> creator_ = std::make_unique<vadu::DictionaryHolder::Creator>();
};

struct SplitCase {
    const char* id;
    const char* chapter;
    const char* section;
    const char* phrase;
};

const SplitCase split_cases[] = {
    {"start", "default", "default", "start"},
    {"menu/start", "default", "menu", "start"},
    {"game/menu/start", "game", "menu", "start"},
    {"levels/game/menu/start", "levels/game", "menu", "start"},
    {"a/b/c/menu/start", "a/b/c", "menu", "start"},
    {"game//start", "game", "", "start"},
    {"/start", "default", "", "start"},
    {"menu/", "default", "menu", ""},
    {"", "default", "default", ""},
    {"//", "", "", ""},
};

TEST(SplitTextId, NamesComeFromTheLastTwoSeparators)
{
    for (const SplitCase& test : split_cases) {
        SCOPED_TRACE(test.id);
        const vadu::TextId id = vadu::split_text_id(test.id);
        EXPECT_EQ(name_of(id.chapter), test.chapter);
        EXPECT_EQ(name_of(id.section), test.section);
        EXPECT_EQ(name_of(id.phrase), test.phrase);
    }
}

TEST_F(DictionaryTest, NotFoundUntilAServiceRegistersAndAfterItDies)
{
    const WString& before = vadu::lookup_text("menu/start");
    EXPECT_EQ(wide(before), u"--- Not Found ---");
    EXPECT_EQ(&vadu::lookup_text("other"), &before);  // one text, valid for ever

    auto service = std::make_unique<FakeDictionary>();
    vadu::set_text_service(service.get());
    const WString& found = vadu::lookup_text("game/menu/start");
    EXPECT_EQ(&found, &service->text);
    EXPECT_EQ(service->asked, "game|menu|start");
    vadu::lookup_text("start");
    EXPECT_EQ(service->asked, "default|default|start");

    service.reset();
    EXPECT_EQ(wide(vadu::lookup_text("game/menu/start")), u"--- Not Found ---");
}

TEST_F(DictionaryTest, NullForgetsTheServiceAndANewOneReplacesIt)
{
    FakeDictionary first, second;
    vadu::set_text_service(&first);
    vadu::set_text_service(nullptr);
    EXPECT_EQ(wide(vadu::lookup_text("start")), u"--- Not Found ---");
    EXPECT_TRUE(first.asked.empty());

    vadu::set_text_service(&first);
    vadu::set_text_service(&second);
    EXPECT_EQ(&vadu::lookup_text("start"), &second.text);
    EXPECT_TRUE(first.asked.empty());
}

TEST_F(DictionaryTest, SecondCreatorLeavesTheHolderAlone)
{
    FakeDictionary service;
    vadu::set_text_service(&service);
    { vadu::DictionaryHolder::Creator second; }
    EXPECT_EQ(&vadu::lookup_text("start"), &service.text);

    creator_.reset();
    EXPECT_EQ(wide(vadu::lookup_text("start")), u"--- Not Found ---");
}

TEST(DictionaryWithoutHolder, RegistrationIsIgnored)
{
    FakeDictionary service;
    vadu::set_text_service(&service);
    EXPECT_EQ(wide(vadu::lookup_text("start")), u"--- Not Found ---");
    vadu::DictionaryHolder::Creator creator;  // starts empty
    EXPECT_EQ(wide(vadu::lookup_text("start")), u"--- Not Found ---");
    EXPECT_TRUE(service.asked.empty());
}

} // namespace
