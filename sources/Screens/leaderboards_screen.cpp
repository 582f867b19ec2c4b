#include "sources/Screens/leaderboards_screen.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "sources/gameplay/format_thousands.h"
#include "sources/gameplay/node_helpers.h"
#include "sources/Screens/main_menu_screen.h"
#include "sources/profile_manager.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/log.h"
#include "vadu/stream.h"
#include "vadu/xml_document.h"

namespace {

std::unique_ptr<Leaderboards>& instance_slot()
{
    static std::unique_ptr<Leaderboards> instance;
    return instance;
}

void read_records(std::vector<LeaderboardEntry>& entries, const vadu::xml::parser::Node& section)
{
    for (const vadu::xml::parser::Node& record : section.get_children("Record")) {
        LeaderboardEntry entry;
        entry.name = record.get_attribute("Name");
        entry.score = static_cast<int32_t>(std::strtol(record.get_attribute("Score").c_str(), nullptr, 10));
        Leaderboards::Insert(entries, std::move(entry));
    }
}

vadu::String to_utf8(const std::u16string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return vadu::String(out.c_str());
}

} // namespace

Leaderboards::Leaderboards(const vadu::filesystem::String& path)
{
    std::vector<char> bytes;
    try {
        std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
        if (stream && stream->is_good()) {
            bytes.resize(stream->get_size());
            if (!bytes.empty())
                bytes.resize(stream->read(bytes.data(), static_cast<uint32_t>(bytes.size())));
        }
    } catch (const vadu::Gluck& error) {
        vadu::logs::log() << "Leaderboards: " << error.get_description() << "\n";
    }
    vadu::xml::parser::Document document(bytes.data(), bytes.size());
    const vadu::xml::parser::Node root = document.get_root();
    const char* sections[] = {"StandardMode", "ZenMode"};
    for (int mode = 0; mode < 2; ++mode) {
        const vadu::xml::parser::Node section = root.find_child(sections[mode]);
        if (section.is_null()) {
            vadu::logs::log() << "Leaderboards: no " << sections[mode] << " in " << path.get_text() << "\n";
            continue;
        }
        read_records(modes[mode], section);
        if (modes[mode].size() < static_cast<size_t>(kRows))
            vadu::logs::log() << "Leaderboards: " << sections[mode] << " has fewer than six records\n";
    }
}

Leaderboards& Leaderboards::Instance()
{
    if (!instance_slot())
        instance_slot() = std::make_unique<Leaderboards>();
    return *instance_slot();
}

void Leaderboards::ResetInstance()
{
    instance_slot().reset();
}

void Leaderboards::Insert(std::vector<LeaderboardEntry>& entries, LeaderboardEntry entry)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->score < entry.score) {
            entries.insert(it, std::move(entry));
            return;
        }
    }
    entries.push_back(std::move(entry));
}

void Leaderboards::InsertAboveLower(std::vector<LeaderboardEntry>& entries, LeaderboardEntry entry)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->score < entry.score) {
            entries.insert(it, std::move(entry));
            return;
        }
    }
}

LeaderboardsScreen::LeaderboardsScreen() : MenuScreen("data/decorations/store.xml") {}

void LeaderboardsScreen::Init()
{
    BindButton("ButtonBack", [this] { BackToMenu(); });
    Leaderboards& boards = Leaderboards::Instance();
    vadu::lib3d::node::Node* row = FindTopNode("Score");
    vadu::lib3d::node::Node* step = FindTopNode("ScoreOffset");
    if (!row || !step)
        throw vadu::Gluck("LeaderboardsScreen::Init", vadu::String("Unable to find key Score"));
    const vadu::math::Vector3 offset = step->get_position();
    const vadu::math::Vector3 origin = row->get_position();

    ProfileManager* profiles = ProfileManager::Instance();
    PlayerProfile* before = profiles ? profiles->current : nullptr;
    for (int mode = 0; mode < 2; ++mode) {
        const std::vector<LeaderboardEntry>& all = boards.modes[mode];
        std::vector<LeaderboardEntry> list(all.begin(), all.begin() + std::min<size_t>(all.size(), Leaderboards::kRows));
        for (int i = 0; profiles && i < profiles->GetProfileCount(); ++i) {
            PlayerProfile* player = profiles->GetProfile(i);
            if (!player)
                continue;
            profiles->current = player;
            int64_t total = 0;
            for (const LevelProfile& level : player->levels.levels) {
                if (level.mode == mode)
                    total += level.bestScore;
            }
            // The table holds UTF-8 (as the file does); profiles keep code-page bytes.
            Leaderboards::InsertAboveLower(
                list, {to_utf8(profile_names::ToWide(player->name, profile_names::IsRussianLocale())),
                       static_cast<int32_t>(total)});
        }
        for (int k = 0; k < Leaderboards::kRows; ++k) {
            vadu::lib3d::node::Node* copy = row->duplicate();
            copy->set_position({origin.x + static_cast<float>(mode) * offset.x,
                                origin.y - static_cast<float>(k) * offset.y, origin.z});
            char number[16];
            std::snprintf(number, sizeof(number), "%d. ", k + 1);
            // A short table shows its numbers with nothing after them.
            const bool filled = static_cast<size_t>(k) < list.size();
            gameplay::SetChildText(copy, "Name", vadu::String(number) + (filled ? list[k].name : vadu::String()));
            gameplay::SetChildText(copy, "Value", filled ? gameplay::FormatThousands(list[k].score) : vadu::String());
        }
    }
    // The template leaves the scene; being ours now, it goes.
    if (row->get_parent()) {
        row->detach(false);
        delete row;
    }
    if (profiles)
        profiles->current = before;
}
