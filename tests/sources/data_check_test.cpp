// The data set checked whole: starting from the files the game opens by name (its
// descriptions, the level list, the shell's own files, the sounds and pictures the code
// asks for), every reference in the data is followed — pictures, atlases and their frames,
// scenes, animations, particle systems, fonts, sounds, music, levels and their tutorials,
// screens, controls, flow entries and the phrases of TextIds — and each missing or
// unreadable file is named together with the file that asks for it.

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "level_players.h"
#include "sources/gameplay/level_loader.h"
#include "support/temp_folder.h"
#include "vadu/exception.h"

namespace {

namespace fs = std::filesystem;

enum class Kind {
    file,      // the name as it stands
    picture,   // with or without one of the picture extensions
    sound,     // named without extension: WAV, MP3 or XM
    scene_root // a scene named without its ".scene"
};

const char* const picture_extensions[] = {".png", ".jpg", ".jpeg", ".gif", ".bmp", ".ppm", ".pvr"};
const char* const sound_extensions[] = {".wav", ".mp3", ".xm"};
// Files in the XML formats; their references are followed in turn.
const char* const xml_extensions[] = {".game",  ".xml",  ".screen", ".controls",  ".scene", ".camera",   ".anim",
                                      ".atlas", ".font", ".symdict", ".particles", ".world", ".tutorial", ".list"};
// Attributes whose data path names a picture.
const char* const picture_attributes[] = {"Src", "TextureSrc", "Texture", "Image"};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool is_xml_name(const std::string& name)
{
    const std::string low = lower(name);
    return std::any_of(std::begin(xml_extensions), std::end(xml_extensions),
                       [&](const char* extension) { return ends_with(low, extension); });
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// A picture whose first bytes are not those of its format is as good as missing.
bool picture_looks_readable(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char head[8] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const std::streamsize got = in.gcount();
    const std::string extension = lower(path.extension().string());
    if (extension == ".png")
        return got == 8 && head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G';
    if (extension == ".jpg" || extension == ".jpeg")
        return got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    return got > 0;
}

// The program's folder by lower-case names, as the game's file system finds them.
class ProgramFiles {
public:
    explicit ProgramFiles(const fs::path& folder)
    {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file())
                files_[lower(fs::relative(entry.path(), folder).generic_string())] = entry.path();
        }
    }

    std::optional<fs::path> find(const std::string& name) const
    {
        std::string key = lower(name);
        while (!key.empty() && key.front() == '/')
            key.erase(key.begin());
        const auto found = files_.find(key);
        if (found == files_.end())
            return std::nullopt;
        return found->second;
    }

private:
    std::map<std::string, fs::path> files_;
};

// One walk from a game description, with that description's phrases.
class DataCheck {
public:
    explicit DataCheck(const ProgramFiles& files) : files_(files) {}

    // The description, its flow, screens, scenes and everything they name.
    void FollowGame(const std::string& description)
    {
        phrases_.clear();
        const std::optional<fs::path> path = files_.find(description);
        if (!path) {
            problems.push_back("the game description \"" + description + "\" is missing");
            return;
        }
        // The phrases first: the scenes' TextIds are checked against them.
        const std::string text = read_file(*path);
        if (xmlDocPtr document = Parse(text, description)) {
            for (xmlNodePtr strings : Children(xmlDocGetRootElement(document), "Strings"))
                for (xmlNodePtr resource : Children(strings, "Resource"))
                    LoadPhrases(Attribute(resource, "Path"), description);
            xmlFreeDoc(document);
        }
        Require(description, Kind::file, "(the program)");
    }

    // A file, picture, sound or scene the code or the data asks for.
    void Require(const std::string& name, Kind kind, const std::string& from)
    {
        const std::optional<fs::path> found = Resolve(name, kind);
        if (!found) {
            problems.push_back(from + ": " + KindName(kind) + " \"" + name + "\" is missing");
            return;
        }
        if (kind == Kind::picture && !picture_looks_readable(*found)) {
            problems.push_back(from + ": picture \"" + name + "\" is not a readable picture");
            return;
        }
        if (kind == Kind::file && is_xml_name(name))
            Visit(name, *found);
        if (kind == Kind::scene_root)
            Visit(name + ".scene", *found);
    }

    // A file the code opens when it is there and goes without otherwise.
    void FollowIfPresent(const std::string& name)
    {
        if (files_.find(name))
            Require(name, Kind::file, "(the program)");
    }

    // Phrases the code itself asks for.
    void RequirePhrase(const std::string& id, const std::string& from)
    {
        if (!phrases_.count(PhraseKey(id)))
            problems.push_back(from + ": phrase \"" + id + "\" is not in the strings");
    }

    std::vector<std::string> problems;

private:
    std::optional<fs::path> Resolve(const std::string& name, Kind kind) const
    {
        switch (kind) {
        case Kind::file:
            return files_.find(name);
        case Kind::scene_root:
            return files_.find(name + ".scene");
        case Kind::picture:
            if (auto found = files_.find(name); found && !fs::path(name).extension().empty())
                return found;
            for (const char* extension : picture_extensions) {
                if (auto found = files_.find(name + extension))
                    return found;
            }
            return std::nullopt;
        case Kind::sound:
            for (const char* extension : sound_extensions) {
                if (auto found = files_.find(name + extension))
                    return found;
            }
            return files_.find(name);
        }
        return std::nullopt;
    }

    static const char* KindName(Kind kind)
    {
        switch (kind) {
        case Kind::file:
            return "file";
        case Kind::picture:
            return "picture";
        case Kind::sound:
            return "sound";
        case Kind::scene_root:
            return "scene";
        }
        return "file";
    }

    xmlDocPtr Parse(const std::string& text, const std::string& name)
    {
        xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), name.c_str(), nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!document || !xmlDocGetRootElement(document)) {
            problems.push_back("\"" + name + "\" does not parse");
            if (document)
                xmlFreeDoc(document);
            return nullptr;
        }
        return document;
    }

    static std::vector<xmlNodePtr> Children(xmlNodePtr node, const char* name = nullptr)
    {
        std::vector<xmlNodePtr> found;
        for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE && (!name || xmlStrcmp(child->name, BAD_CAST name) == 0))
                found.push_back(child);
        }
        return found;
    }

    static std::string Attribute(xmlNodePtr node, const char* name)
    {
        xmlChar* value = xmlGetProp(node, BAD_CAST name);
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }

    static std::string Content(xmlNodePtr node)
    {
        xmlChar* value = xmlNodeGetContent(node);
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        const auto first = text.find_first_not_of(" \t\r\n");
        const auto last = text.find_last_not_of(" \t\r\n");
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    }

    static std::string Name(xmlNodePtr node) { return reinterpret_cast<const char*>(node->name); }

    // "phrase", "section/phrase" or "chapter/section/phrase", as the dictionary splits it.
    static std::string PhraseKey(const std::string& id)
    {
        const size_t last = id.rfind('/');
        if (last == std::string::npos)
            return "default/default/" + id;
        const size_t second = last == 0 ? std::string::npos : id.rfind('/', last - 1);
        if (second == std::string::npos)
            return "default/" + id;
        return id;
    }

    void LoadPhrases(const std::string& name, const std::string& from)
    {
        const std::optional<fs::path> path = files_.find(name);
        if (!path) {
            problems.push_back(from + ": file \"" + name + "\" is missing");
            return;
        }
        xmlDocPtr document = Parse(read_file(*path), name);
        if (!document)
            return;
        xmlNodePtr chapter = xmlDocGetRootElement(document);
        const std::string chapter_name = Attribute(chapter, "Name");
        for (xmlNodePtr section : Children(chapter, "Section")) {
            for (xmlNodePtr phrase : Children(section, "Phrase"))
                phrases_.insert(chapter_name + "/" + Attribute(section, "Name") + "/" + Attribute(phrase, "Name"));
        }
        xmlFreeDoc(document);
    }

    // The frames an atlas holds, read once.
    const std::set<std::string>* AtlasFrames(const std::string& atlas)
    {
        const std::string key = lower(atlas);
        if (auto known = atlases_.find(key); known != atlases_.end())
            return &known->second;
        const std::optional<fs::path> path = files_.find(atlas);
        if (!path)
            return nullptr;
        std::set<std::string>& frames = atlases_[key];
        const std::string text = read_file(*path);
        xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), atlas.c_str(), nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (document) {
            for (xmlNodePtr frame : Children(xmlDocGetRootElement(document), "Frame"))
                frames.insert(Attribute(frame, "Name"));
            xmlFreeDoc(document);
        }
        return &frames;
    }

    void Visit(const std::string& name, const fs::path& path)
    {
        if (!visited_.insert(lower(path.generic_string())).second)
            return;
        xmlDocPtr document = Parse(read_file(path), name);
        if (!document)
            return;
        const std::string file = lower(fs::path(name).filename().string());
        VisitElement(xmlDocGetRootElement(document), name, file);
        xmlFreeDoc(document);
    }

    void VisitElement(xmlNodePtr element, const std::string& from, const std::string& file)
    {
        const std::string element_name = Name(element);
        for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
            const std::string key = reinterpret_cast<const char*>(attribute->name);
            const std::string value = Attribute(element, key.c_str());
            if (key == "TextId") {
                if (!phrases_.count(PhraseKey(value)))
                    problems.push_back(from + ": phrase \"" + value + "\" of a TextId is not in the strings");
                continue;
            }
            const std::string low = lower(value);
            if (low.rfind("data/", 0) != 0 && low.rfind("/data/", 0) != 0)
                continue;
            // The cursor is a scene named without its extension.
            const bool cursor = element_name == "Resource" && element->parent &&
                                Name(element->parent) == std::string("Cursor");
            const bool picture = std::any_of(std::begin(picture_attributes), std::end(picture_attributes),
                                             [&](const char* name) { return key == name; });
            Require(value, cursor ? Kind::scene_root : picture ? Kind::picture : Kind::file, from);
        }
        // A sprite's frame is looked up in its atlas: a frame the atlas lacks draws nothing.
        const std::string atlas = Attribute(element, "Atlas");
        const std::string frame = Attribute(element, "Frame");
        if (!atlas.empty() && !frame.empty()) {
            const std::set<std::string>* frames = AtlasFrames(atlas);
            const bool index = std::all_of(frame.begin(), frame.end(), [](unsigned char c) { return std::isdigit(c); });
            if (frames && !index && !frames->count(frame))
                problems.push_back(from + ": frame \"" + frame + "\" is not in \"" + atlas + "\"");
            if (frames && index && std::stoul(frame) >= frames->size())
                problems.push_back(from + ": frame " + frame + " is beyond the end of \"" + atlas + "\"");
        }
        VisitKnownElement(element, element_name, from, file);
        for (xmlNodePtr child : Children(element))
            VisitElement(child, from, file);
    }

    // References the formats make without a data path of their own.
    void VisitKnownElement(xmlNodePtr element, const std::string& element_name, const std::string& from,
                           const std::string& file)
    {
        // The level list: a level file each, and the tutorial of a level that has one.
        if (file == "levels.list" && (element_name == "Level" || element_name == "ZenLevel")) {
            const std::string level = Attribute(element, "FileName");
            Require("data/levels/" + level + ".xml", Kind::file, from);
            FollowIfPresent("data/tutorials/" + level + ".tutorial");
            return;
        }
        // The achievements' pictures live in one folder; a frame makes the name an atlas.
        if (file == "achievements.xml" && element_name == "Texture") {
            const std::string source = "data/achievements/screen/" + Attribute(element, "Src");
            if (Attribute(element, "Frame").empty())
                Require(source, Kind::picture, from);
            else
                Require(source, Kind::file, from);
            return;
        }
        // Levels and the menus' decorations name pictures by their symbols.
        if (element_name == "asset_name")
            RequireAsset(Content(element), from);
    }

    void RequireAsset(const std::string& asset, const std::string& from)
    {
        std::vector<std::string> pieces;
        std::stringstream stream(asset);
        for (std::string piece; std::getline(stream, piece, '/');)
            pieces.push_back(piece);
        if (pieces.size() == 3 && pieces[0] == "decorations") {
            const std::string& symbol = pieces[2];
            const size_t digits = symbol.find_last_not_of("0123456789") + 1;
            const std::string number = symbol.substr(digits);
            const std::string stem = symbol.substr(0, digits);
            const std::map<std::string, std::string> numbered = {
                {"SkyIslandSymbol", "sky_island"}, {"IslandSymbol", "island"}, {"TreeSymbol", "tree"}};
            if (auto found = numbered.find(stem); found != numbered.end() && !number.empty())
                Require("data/decorations/" + found->second + number, Kind::picture, from);
            else if (symbol == "Sun" || symbol == "Moon")
                Require("data/decorations/" + lower(symbol), Kind::picture, from);
            return;
        }
        // A stone: "shapes/monsters/<name>/<kind>/<number>/land".
        if (pieces.size() == 6 && pieces[0] == "shapes" && pieces[5] == "land")
            Require("data/stones/stone" + pieces[4], Kind::picture, from);
    }

    const ProgramFiles& files_;
    std::set<std::string> phrases_;
    std::set<std::string> visited_;
    std::map<std::string, std::set<std::string>> atlases_;
};

// "a{b,c}d" stands for "abd" and "acd"; groups may follow one another.
std::vector<std::string> expand(const std::string& pattern)
{
    const size_t open = pattern.find('{');
    if (open == std::string::npos)
        return {pattern};
    const size_t close = pattern.find('}', open);
    std::vector<std::string> names;
    std::stringstream choices(pattern.substr(open + 1, close - open - 1));
    for (std::string choice; std::getline(choices, choice, ',');) {
        for (std::string& rest : expand(pattern.substr(close + 1)))
            names.push_back(pattern.substr(0, open) + choice + rest);
    }
    if (pattern[close - 1] == ',') // "{a,}": the empty choice too
        for (std::string& rest : expand(pattern.substr(close + 1)))
            names.push_back(pattern.substr(0, open) + rest);
    return names;
}

// What the game's code opens by name, by the kind of reference.
const std::pair<Kind, const char*> game_code_references[] = {
    // The start-up, the shell's own files and the menus' decorations.
    {Kind::file, "data/{loading/loading.scene,balance.xml,levels/levels.list,default.camera,main.world}"},
    {Kind::file, "data/{fonts/score.symdict,store/store.xml,leaderboards/leaderboards.xml}"},
    {Kind::file, "data/achievements/{achievements.xml,achievement.scene}"},
    {Kind::file, "data/decorations/{mainmenu,levelmap,zenlevelmap,store}.xml"},
    {Kind::file, "data/gamecomplete/decorations.xml"},
    {Kind::file, "data/decorations/{water,underwater}.scene"},
    // The running level's atlases, animations, scenes and tutorials.
    {Kind::file, "data/mainmenu/logo_eye.{atlas,anim}"},
    {Kind::file, "data/monsters/monster_{red,yellow,blue,purple,orange}.atlas"},
    {Kind::file, "data/monsters/normal_{bpry,orange}.atlas"},
    {Kind::file, "data/monsters/normal_{red,yellow,blue,purple,orange}.anim"},
    {Kind::file, "data/monsters/{dying,monster,monster_born,monster_highlight,monster_reduce,reborn}.anim"},
    {Kind::file, "data/monsters/trail.scene"},
    {Kind::file, "data/shapes/{bomb,fish,lightning,links}.atlas"},
    {Kind::file, "data/shapes/{bomb,bottle,fish,lightning,link,link_death}.anim"},
    {Kind::file, "data/game/{bottle,level_end,mana_danger,mana_highlight,mana_label_danger}.anim"},
    {Kind::file, "data/tutorials/{frame.atlas,mana_danger.tutorial,bomb.tutorial}"},
    // Pictures the code names.
    {Kind::picture, "data/splash/logo{1,2}"},
    {Kind::picture, "data/achievements/achievement_frame"},
    {Kind::picture, "data/profilemenu/button_profile_{select,unselect}"},
    {Kind::picture, "data/decorations/main_bg{_night,_underwater,}"},
    {Kind::picture, "data/decorations/{cloud1,cloud2,cloud3,cloud4,water1,water2,water3}"},
    {Kind::picture, "data/shapes/{bottle,bubble,gray,ice_cube,indestructible}"},
    {Kind::picture, "data/tutorials/{circle,fade}"},
    {Kind::picture, "data/store/purchase{1,2,3,4,5,6,7}"},
    // The thirteen effects and the two themes.
    {Kind::sound, "data/sounds/{achievement_unlock,bubble_pop,button_click,group_removed,ice_meltdown}"},
    {Kind::sound, "data/sounds/{level_complete,level_lost,lightning_strike,monster_collected}"},
    {Kind::sound, "data/sounds/{monster_evolved,monster_died,power_up,remove_failed}"},
    {Kind::sound, "data/music/{main_theme,danger_theme}"},
};

// Phrases the code looks up itself.
const char* const game_code_phrases[] = {"window_title", "game_quit",     "yes",          "no",
                                         "welcome",      "delete_player", "level_quit",   "level_restart",
                                         "bonus_lightning", "combo"};

std::vector<std::string> check_game(const fs::path& program)
{
    const ProgramFiles files(program);
    std::vector<std::string> problems;
    for (const char* description : {"data/quillo.game", "data/quillo_wide.game"}) {
        DataCheck check(files);
        check.FollowGame(description);
        for (const auto& [kind, pattern] : game_code_references) {
            for (const std::string& name : expand(pattern))
                check.Require(name, kind, "(the program)");
        }
        check.FollowIfPresent("data/sizes.xml");
        for (const char* phrase : game_code_phrases)
            check.RequirePhrase(phrase, "(the program)");
        for (std::string& problem : check.problems) {
            if (std::find(problems.begin(), problems.end(), problem) == problems.end())
                problems.push_back(std::move(problem));
        }
    }
    return problems;
}

void write_file(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string listed(const std::vector<std::string>& problems)
{
    std::string text;
    for (const std::string& problem : problems)
        text += "  " + problem + "\n";
    return text;
}

TEST(DataCheck, EveryFileTheGameAndItsDataNameIsThere)
{
    const std::vector<std::string> problems = check_game(QUILLO_PROGRAM_FOLDER);
    EXPECT_TRUE(problems.empty()) << problems.size() << " missing or unreadable:\n" << listed(problems);
}

// The same check over a copy of the program's data with a picture, an effect and a level
// taken away: each is named, with what asks for it.
TEST(DataCheck, AFileTakenFromTheProgramsDataIsNamed)
{
    test_support::TempFolder temp("quillo-data-check");
    const fs::path program = temp.root() / "program";
    fs::create_directories(program);
    fs::copy(fs::path(QUILLO_PROGRAM_FOLDER) / "data", program / "data", fs::copy_options::recursive);
    const ProgramFiles before(program);
    for (const char* name : {"data/mainmenu/logo", "data/sounds/button_click", "data/levels/level03.xml"}) {
        const ProgramFiles& files = before;
        std::optional<fs::path> found = files.find(name);
        for (const char* extension : {".png", ".wav"}) {
            if (!found)
                found = files.find(std::string(name) + extension);
        }
        ASSERT_TRUE(found) << name;
        fs::remove(*found);
    }
    const std::vector<std::string> problems = check_game(program);
    const std::vector<std::string> expected = {
        "(the program): sound \"data/sounds/button_click\" is missing",
        "data/levels/levels.list: file \"data/levels/level03.xml\" is missing",
        "data/mainmenu/mainmenu.scene: picture \"data/mainmenu/logo\" is missing",
    };
    std::vector<std::string> got = problems;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << listed(problems);
}

TEST(DataCheck, TheDemoDescriptionsDataIsThereToo)
{
    const ProgramFiles files(QUILLO_PROGRAM_FOLDER);
    DataCheck check(files);
    check.FollowGame("data/demo/demo.game");
    EXPECT_TRUE(check.problems.empty()) << listed(check.problems);
}

// A small data set with one fault of each kind: the check names each, with the file that
// asks for it, and nothing else.
TEST(DataCheck, NamesEachMissingOrBrokenFileWithTheFileThatAsksForIt)
{
    test_support::TempFolder temp("quillo-data-check");
    const fs::path program = temp.root();
    auto write = [&](const std::string& name, const std::string& text) { write_file(program / name, text); };
    const std::string png_signature("\x89PNG\r\n\x1a\n", 8);
    write("data/t.game", R"(<Game><ScreenFlow><Resource Path="data/flow.xml"/></ScreenFlow>
        <Strings><Resource Path="data/strings.xml"/></Strings>
        <Cursor><Resource Path="data/cursor/cursor"/></Cursor></Game>)");
    write("data/strings.xml", R"(<Chapter Name="default"><Section Name="default">
        <Phrase Name="hello" Value="Hello"/></Section></Chapter>)");
    write("data/flow.xml", R"(<Flow Start="A"><Entry Name="A"><Screen><Resource Path="data/a.screen"/></Screen></Entry>
        <Entry Name="B"><Screen><Resource Path="data/b.screen"/></Screen></Entry></Flow>)");
    write("data/a.screen", R"(<Screen BackendClass="X"><Scene RootName="A"><Resource Path="data/a.scene"/></Scene></Screen>)");
    write("data/a.scene", R"(<Scene>
        <Sprite Name="Fine" Src="data/pictures/fine"/>
        <Sprite Name="Gone" Src="data/pictures/gone"/>
        <Sprite Name="Broken" Src="data/pictures/broken.png"/>
        <Sprite Name="Framed" Atlas="data/pictures/set.atlas" Frame="nope"/>
        <Sprite Name="Indexed" Atlas="data/pictures/set.atlas" Frame="3"/>
        <Text Name="Hi" Font="data/fonts/gone.font" TextId="hello"/>
        <Text Name="Lost" TextId="missing_phrase"/>
        <Node Name="Child"><Resource Path="data/broken.scene"/></Node>
    </Scene>)");
    write("data/pictures/fine.png", png_signature + "rest");
    write("data/pictures/broken.png", "not a picture");
    write("data/pictures/set.atlas", R"(<Atlas TextureSrc="data/pictures/fine"><Frame Name="one"/><Frame Name="two"/></Atlas>)");
    write("data/broken.scene", "<Scene><Sprite");
    write("data/cursor/cursor.scene", R"(<Scene><Sprite Name="Cursor" Src="data/cursor/arrow"/></Scene>)");

    const ProgramFiles files(program);
    DataCheck check(files);
    check.FollowGame("data/t.game");
    check.Require("data/sounds/click", Kind::sound, "(the program)");
    check.RequirePhrase("hello", "(the program)");
    check.RequirePhrase("bye", "(the program)");

    const std::vector<std::string> expected = {
        "data/a.scene: picture \"data/pictures/gone\" is missing",
        "data/a.scene: picture \"data/pictures/broken.png\" is not a readable picture",
        "data/a.scene: frame \"nope\" is not in \"data/pictures/set.atlas\"",
        "data/a.scene: frame 3 is beyond the end of \"data/pictures/set.atlas\"",
        "data/a.scene: file \"data/fonts/gone.font\" is missing",
        "data/a.scene: phrase \"missing_phrase\" of a TextId is not in the strings",
        "\"data/broken.scene\" does not parse",
        "data/flow.xml: file \"data/b.screen\" is missing",
        "data/cursor/cursor.scene: picture \"data/cursor/arrow\" is missing",
        "(the program): sound \"data/sounds/click\" is missing",
        "(the program): phrase \"bye\" is not in the strings",
    };
    std::vector<std::string> got = check.problems;
    std::vector<std::string> want = expected;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << listed(check.problems);
}

// The level list leads to the levels, a level's own tutorial and the pictures its symbols
// and stones stand for.
TEST(DataCheck, FollowsTheLevelListIntoLevelsTutorialsAndTheirPictures)
{
    test_support::TempFolder temp("quillo-data-check");
    const fs::path program = temp.root();
    auto write = [&](const std::string& name, const std::string& text) { write_file(program / name, text); };
    const std::string png("\x89PNG\r\n\x1a\nrest", 12);
    write("data/levels/levels.list", R"(<Levels><Level Number="1" FileName="one"/><ZenLevel Number="1" FileName="zen"/></Levels>)");
    write("data/levels/one.xml", R"(<Level><Layers><Layer Name="L"><Items>
        <Item><asset_name>decorations/symbols/IslandSymbol2</asset_name></Item>
        <Item><asset_name>decorations/symbols/Moon</asset_name></Item>
        <Item><asset_name>shapes/monsters/s/Normal/7/land</asset_name></Item>
        <Item><asset_name>shapes/monsters/m/Normal/0</asset_name></Item>
    </Items></Layer></Layers></Level>)");
    write("data/tutorials/one.tutorial", R"(<Tutorial><Hint Scene="data/tutorials/one_hint.scene"/></Tutorial>)");
    write("data/decorations/moon.png", png);

    const ProgramFiles files(program);
    DataCheck check(files);
    check.Require("data/levels/levels.list", Kind::file, "(the program)");
    const std::vector<std::string> expected = {
        "data/levels/levels.list: file \"data/levels/zen.xml\" is missing",
        "data/levels/one.xml: picture \"data/decorations/island2\" is missing",
        "data/levels/one.xml: picture \"data/stones/stone7\" is missing",
        "data/tutorials/one.tutorial: file \"data/tutorials/one_hint.scene\" is missing",
    };
    std::vector<std::string> got = check.problems;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << listed(check.problems);
}

} // namespace

namespace data_check_levels_file {

// Every level of the shipped list loads, and the shipped-levels test (shipped_levels_test.cpp,
// the same program) plays each of them with both of its players: a level missing from its
// cases would go unplayed.
TEST(DataCheck, EveryListedLevelLoadsAndHasBothPlayThroughCases)
{
    const fs::path folder = fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels";
    const std::vector<level_players::ListedLevel> listed = level_players::ReadList(folder / "levels.list");
    ASSERT_FALSE(listed.empty());
    std::set<std::string> cases;
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    for (int i = 0; i < tests.total_test_suite_count(); ++i) {
        const ::testing::TestSuite& suite = *tests.GetTestSuite(i);
        if (std::string(suite.name()) != "Shipped/ShippedLevel")
            continue;
        for (int j = 0; j < suite.total_test_count(); ++j)
            cases.insert(suite.GetTestInfo(j)->name());
    }
    for (const level_players::ListedLevel& level : listed) {
        const std::string file = "data/levels/" + level.fileName + ".xml";
        const std::string text = read_file(folder / (level.fileName + ".xml"));
        EXPECT_FALSE(text.empty()) << file << " is missing or empty";
        try {
            gameplay::LevelLoader loader(text.data(), text.size());
        } catch (const vadu::Gluck& gluck) {
            ADD_FAILURE() << file << ": " << gluck.get_function().c_str() << ": " << gluck.get_description().c_str();
        }
        for (const char* player : {"GreedyPlayerWins/", "IdlePlayerLoses/"})
            EXPECT_EQ(cases.count(player + level.fileName), 1u) << file << " is not played by " << player;
    }
}

// Under water as on land, each level has scenery of its own: every underwater level stands
// plants on its sea floor (pictures the decorations draw: seaweed or coral), and no two
// underwater levels show the same set of them in the same places.
TEST(DataCheck, EachUnderwaterLevelHasASeaFloorOfItsOwn)
{
    const fs::path folder = fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels";
    const std::vector<level_players::ListedLevel> listed = level_players::ReadList(folder / "levels.list");
    std::map<std::string, std::string> seen; // scenery -> the first level that shows it
    int underwater = 0;
    for (const level_players::ListedLevel& level : listed) {
        const std::string text = read_file(folder / (level.fileName + ".xml"));
        std::unique_ptr<gameplay::LevelLoader> loader;
        try {
            loader = std::make_unique<gameplay::LevelLoader>(text.data(), text.size());
        } catch (const vadu::Gluck&) {
            continue; // reported by the check above
        }
        const gameplay::BackgroundDescription& background = *loader->GetBackground();
        if (background.backgroundType != 2)
            continue;
        ++underwater;
        SCOPED_TRACE(level.fileName);
        std::ostringstream scenery;
        int plants = 0;
        for (const gameplay::DecorationItem& item : background.items) {
            const std::string name(item.asset_name.data(), item.asset_name.size());
            plants += name.find("SeaweedSymbol") != std::string::npos || name.find("CoralSymbol") != std::string::npos;
            scenery << name << "@" << item.x << "," << item.y << "x" << item.scaleX << ";";
        }
        EXPECT_GE(plants, 2) << "an empty sea floor";
        const auto [at, fresh] = seen.emplace(scenery.str(), level.fileName);
        EXPECT_TRUE(fresh) << "the same sea floor as " << at->second;
    }
    EXPECT_GE(underwater, 5);
}

// Each listed level's file name and its loader, for the checks of what a level shows.
template <class Check>
void ForEachListedLevel(Check check)
{
    const fs::path folder = fs::path(QUILLO_PROGRAM_FOLDER) / "data" / "levels";
    const std::vector<level_players::ListedLevel> listed = level_players::ReadList(folder / "levels.list");
    ASSERT_FALSE(listed.empty());
    for (const level_players::ListedLevel& level : listed) {
        SCOPED_TRACE("data/levels/" + level.fileName + ".xml");
        const std::string text = read_file(folder / (level.fileName + ".xml"));
        gameplay::LevelLoader loader(text.data(), text.size());
        check(level, loader);
    }
}

// A decoration's rotation is in radians: trees and islands lean a little at most, never
// stand on their heads or lie on their sides.
TEST(DataCheck, EveryShippedDecorationLeansALittleAtMost)
{
    constexpr float kSmallTilt = 0.2f; // about eleven degrees
    ForEachListedLevel([&](const level_players::ListedLevel&, gameplay::LevelLoader& loader) {
        for (const gameplay::DecorationItem& item : loader.GetBackground()->items)
            EXPECT_LE(std::fabs(item.rotation), kSmallTilt) << item.asset_name.c_str() << " turned by " << item.rotation;
    });
}

// Fish swim in water or leap out of it: a level whose field has no water (no water line
// above the floor, and not under the sea) has no fish.
TEST(DataCheck, FishComeOnlyWhereThereIsWater)
{
    ForEachListedLevel([&](const level_players::ListedLevel&, gameplay::LevelLoader& loader) {
        const gameplay::LevelSettings& settings = loader.GetSettings();
        const bool water = settings.GetWaterLevel() > 0.0f || settings.backgroundType == 2;
        if (!water)
            EXPECT_LT(settings.probabilityFishSpawn, 0.0f) << "fish on a level without water";
    });
}

} // namespace data_check_levels_file

// Every button of every screen shows a picture of its own: no picture (an atlas frame by
// its place in the texture, an offer's "Picture" or a sprite's source) is shared by buttons
// that do different things. Buttons that do the same thing may share one.
namespace {

// Controls that do one thing under several names; any other control's action is its name.
const std::map<std::string, std::string>& button_actions()
{
    static const std::map<std::string, std::string> actions = {
        {"ButtonBack", "back"},           {"profileSelectClose", "back"},     {"soundOptionsOk", "confirm"},
        {"createProfileOk", "confirm"},   {"dialogYes", "confirm"},           {"soundOptionsCancel", "cancel"},
        {"createProfileCancel", "cancel"}, {"dialogNo", "cancel"},            {"storeButton", "store"},
        {"ManaBTN", "store"},             {"FinishButtonStore", "store"},     {"GameoverButtonStore", "store"},
        {"profile0", "choose a player"},  {"profile1", "choose a player"},    {"profile2", "choose a player"},
        {"profile3", "choose a player"},  {"profile4", "choose a player"},
        // Both level-end windows go back to the level map.
        {"FinishButtonBack", "level map"}, {"GameoverButtonBack", "level map"},
        // The store's sixth offer and the zen store's endless mana grant the same record.
        {"Button6", "endless mana"},      {"ButtonEndlessMana", "endless mana"},
    };
    return actions;
}

class ButtonPictureCheck {
public:
    explicit ButtonPictureCheck(const ProgramFiles& files) : files_(files) {}
    ~ButtonPictureCheck()
    {
        for (xmlDocPtr document : documents_)
            xmlFreeDoc(document);
    }

    // The screens of a game description's flow.
    void FollowGame(const std::string& description)
    {
        for (const std::string& flow : Paths(Load(description), "ScreenFlow", ".xml"))
            for (const std::string& screen : Paths(Load(flow), nullptr, ".screen"))
                screens_.insert(lower(screen));
    }

    std::vector<std::string> Problems()
    {
        // picture -> (action -> the buttons that show it for that action)
        std::map<std::string, std::map<std::string, std::set<std::string>>> uses;
        for (const std::string& screen : screens_) {
            xmlNodePtr root = Load(screen);
            std::map<std::string, xmlNodePtr> nodes;
            for (const std::string& scene : Paths(root, "Scene", ".scene"))
                CollectNodes(scene, nodes);
            for (const std::string& controls : Paths(root, "Controls", ""))
                for (xmlNodePtr button : Elements(Load(controls), "Button")) {
                    const std::string name = Attr(button, "Name");
                    const auto node = nodes.find(Attr(button, "Node"));
                    const std::string picture = node == nodes.end() ? "" : PictureOf(node->second);
                    if (picture.empty())
                        continue;
                    const auto known = button_actions().find(name);
                    const std::string action = known == button_actions().end() ? name : known->second;
                    uses[picture][action].insert(screen + " " + name);
                }
        }
        std::vector<std::string> problems;
        for (const auto& [picture, actions] : uses) {
            if (actions.size() < 2)
                continue;
            std::set<std::string> buttons;
            for (const auto& [action, names] : actions)
                buttons.insert(names.begin(), names.end());
            std::string text = "picture " + picture + " is shared by buttons of different actions:";
            for (const std::string& button : buttons)
                text += " " + button + ",";
            text.pop_back();
            problems.push_back(text);
        }
        return problems;
    }

private:
    static std::string Attr(xmlNodePtr node, const char* name)
    {
        xmlChar* value = xmlGetProp(node, BAD_CAST name);
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }

    static bool Named(xmlNodePtr node, const char* name)
    {
        return node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0;
    }

    // Every element of that name below the node, at any depth.
    static std::vector<xmlNodePtr> Elements(xmlNodePtr node, const char* name)
    {
        std::vector<xmlNodePtr> found;
        for (xmlNodePtr child = node ? node->children : nullptr; child; child = child->next) {
            if (child->type != XML_ELEMENT_NODE)
                continue;
            if (Named(child, name))
                found.push_back(child);
            for (xmlNodePtr deeper : Elements(child, name))
                found.push_back(deeper);
        }
        return found;
    }

    // The "Path"s of the resources below the node (below its child elements of that name
    // when one is given) that end as asked.
    static std::vector<std::string> Paths(xmlNodePtr node, const char* under, const std::string& tail)
    {
        std::vector<xmlNodePtr> parents;
        if (under)
            parents = Elements(node, under);
        else if (node)
            parents.push_back(node);
        std::vector<std::string> paths;
        for (xmlNodePtr parent : parents)
            for (xmlNodePtr resource : Elements(parent, "Resource")) {
                const std::string path = Attr(resource, "Path");
                if (ends_with(lower(path), tail))
                    paths.push_back(path);
            }
        return paths;
    }

    // The root element of a data file, kept for the check's life; null when it is missing
    // or does not parse (the file check names those).
    xmlNodePtr Load(const std::string& name)
    {
        const std::optional<fs::path> path = files_.find(name);
        if (!path)
            return nullptr;
        const std::string text = read_file(*path);
        xmlDocPtr document = xmlReadMemory(text.data(), static_cast<int>(text.size()), name.c_str(), nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!document)
            return nullptr;
        documents_.push_back(document);
        return xmlDocGetRootElement(document);
    }

    // The named nodes of a scene and of the scenes it takes in; the first of a name wins,
    // as the screens' look-ups find it.
    void CollectNodes(const std::string& scene, std::map<std::string, xmlNodePtr>& nodes)
    {
        xmlNodePtr root = Load(scene);
        for (xmlNodePtr child = root ? root->children : nullptr; child; child = child->next)
            CollectNode(child, nodes);
        for (const std::string& inner : Paths(root, nullptr, ".scene"))
            CollectNodes(inner, nodes);
    }

    static void CollectNode(xmlNodePtr node, std::map<std::string, xmlNodePtr>& nodes)
    {
        if (node->type != XML_ELEMENT_NODE)
            return;
        const std::string name = Attr(node, "Name");
        if (!name.empty())
            nodes.emplace(name, node);
        for (xmlNodePtr child = node->children; child; child = child->next)
            CollectNode(child, nodes);
    }

    // An atlas frame is its texture and rectangle, so two frame names over the same pixels
    // are one picture; an offer button is its "Picture"; a plain sprite its source.
    std::string PictureOf(xmlNodePtr node)
    {
        const std::string atlas = Attr(node, "Atlas");
        const std::string frame = Attr(node, "Frame");
        if (!atlas.empty() && !frame.empty()) {
            xmlNodePtr root = Load(atlas);
            for (xmlNodePtr entry : Elements(root, "Frame"))
                if (Attr(entry, "Name") == frame)
                    return lower(Attr(root, "TextureSrc")) + " (" + Attr(entry, "Rect") + ")";
            return lower(atlas) + " (" + frame + ")";
        }
        for (xmlNodePtr child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE && Attr(child, "Name") == "Picture" && !Attr(child, "Src").empty())
                return lower(Attr(child, "Src"));
        return lower(Attr(node, "Src"));
    }

    const ProgramFiles& files_;
    std::set<std::string> screens_;
    std::vector<xmlDocPtr> documents_;
};

std::vector<std::string> check_button_pictures(const fs::path& program)
{
    const ProgramFiles files(program);
    ButtonPictureCheck check(files);
    for (const char* description : {"data/quillo.game", "data/quillo_wide.game"})
        check.FollowGame(description);
    return check.Problems();
}

TEST(DataCheck, EveryButtonOfEveryScreenHasAPictureOfItsOwn)
{
    const std::vector<std::string> problems = check_button_pictures(QUILLO_PROGRAM_FOLDER);
    EXPECT_TRUE(problems.empty()) << listed(problems);
}

// A copy of the program's data in which the social screen's rate button shows the share
// picture, and the atlas's "next" frame covers the pixels of "previous": both are named,
// with every button that shows the picture.
TEST(DataCheck, TwoButtonsOfDifferentActionsSharingAPictureAreNamed)
{
    test_support::TempFolder temp("quillo-data-check");
    const fs::path program = temp.root() / "program";
    fs::create_directories(program);
    fs::copy(fs::path(QUILLO_PROGRAM_FOLDER) / "data", program / "data", fs::copy_options::recursive);
    auto replace = [&](const std::string& name, const std::string& from, const std::string& to) {
        const fs::path path = program / name;
        std::string text = read_file(path);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << name << ": " << from;
        text.replace(at, from.size(), to);
        write_file(path, text);
    };
    ASSERT_TRUE(check_button_pictures(program).empty());
    replace("data/store/like.scene", R"(Name="ButtonRate" Atlas="data/mainmenu/buttons.atlas" Frame="rate")",
            R"(Name="ButtonRate" Atlas="data/mainmenu/buttons.atlas" Frame="share")");
    replace("data/mainmenu/buttons.atlas", R"(<Frame Name="next" Rect="96 48 48 48"/>)",
            R"(<Frame Name="next" Rect="48 48 48 48"/>)");

    const std::vector<std::string> expected = {
        "picture data/mainmenu/buttons (288 48 48 48) is shared by buttons of different actions: "
        "data/screens/like.screen ButtonRate, data/screens/like.screen ButtonTwitter",
        "picture data/mainmenu/buttons (48 48 48 48) is shared by buttons of different actions: "
        "data/screens/achievements.screen ButtonLeft, data/screens/achievements.screen ButtonRight, "
        "data/screens/levelmap.screen ButtonLeft, data/screens/levelmap.screen ButtonRight",
    };
    std::vector<std::string> got = check_button_pictures(program);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << listed(got);
}

} // namespace
