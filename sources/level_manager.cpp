#include "sources/level_manager.h"

#include "sources/shell_files.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/xml_document.h"

namespace {

const char* ModeName(int mode)
{
    return mode == gameplay::Zen ? "Zen" : "Standard";
}

} // namespace

void LevelManager::Load()
{
    Load(vadu::filesystem::String(ListPath, true));
}

void LevelManager::Load(const vadu::filesystem::String& path)
{
    levels.clear();
    const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
    if (!bytes)
        throw vadu::GluckBadResource("LevelManager::Load", "Failed to load", path);
    vadu::xml::parser::Document document(bytes->data(), bytes->size());
    const vadu::xml::parser::Node root = document.get_root();
    if (root.is_null())
        throw vadu::GluckBadResource("LevelManager::Load", "Parse failed: " + document.get_error(), path);

    std::vector<LevelProfile> loaded;
    int zenCount = 0;
    for (const vadu::xml::parser::Node& element : root.get_all_children()) {
        LevelProfile level;
        const vadu::String elementName = element.get_name();
        level.mode = elementName.size() >= 3 && elementName.substr(0, 3) == "Zen" ? gameplay::Zen : gameplay::Standard;
        int32_t number = 0;
        const vadu::String numberText = element.get_attribute("Number");
        if (!numberText.empty()) {
            if (!vadu::converter::convert(numberText, &number))
                throw vadu::GluckBadResource("LevelManager::Load",
                                             "Bad \"Number\" in <" + elementName + ">: " + numberText, path);
        } else if (level.mode == gameplay::Standard) {
            // A Standard level is found by its number; without one nothing could reach it.
            throw vadu::GluckBadResource("LevelManager::Load", "No \"Number\" in <" + elementName + ">", path);
        } else {
            // Zen levels are often listed without numbers: they count in list order.
            number = ++zenCount;
        }
        if (level.mode == gameplay::Zen && !numberText.empty())
            zenCount = number;
        level.number = number;
        level.fileName = element.get_attribute("FileName");
        if (level.fileName.empty())
            throw vadu::GluckBadResource("LevelManager::Load", "No \"FileName\" in <" + elementName + ">", path);
        level.type = element.get_attribute("Type");
        bool free = false;
        vadu::converter::convert(element.get_attribute("Free"), &free);
        level.free = free ? 1 : 0;
        level.locked = 1;
        level.bestScore = 0;
        if (level.number <= 3 || level.mode == gameplay::Zen)
            level.locked = 0;
        loaded.push_back(level);
    }
    levels = std::move(loaded);
}

LevelProfile& LevelManager::GetLevelProfile(int number, int mode)
{
    for (LevelProfile& level : levels)
        if (level.number == number && level.mode == mode)
            return level;
    throw vadu::Gluck("LevelManager::GetLevelProfile",
                      vadu::format("Unable to find level with number=%d and mode=", number) + ModeName(mode));
}

bool LevelManager::HasLevel(int number, int mode) const
{
    for (const LevelProfile& level : levels)
        if (level.number == number && level.mode == mode)
            return true;
    return false;
}

LevelProfile* LevelManager::GetNextLevel(const LevelProfile& level)
{
    if (!HasLevel(level.number + 1, gameplay::Standard))
        return nullptr;
    if (!HasLevel(level.number + 1, level.mode))
        return nullptr;
    return &GetLevelProfile(level.number + 1, level.mode);
}

void LevelManager::RecordResult(LevelProfile& level, int score)
{
    if (level.bestScore <= 0 && level.mode == gameplay::Standard) {
        int next = level.number + 1;
        while (HasLevel(next, level.mode) && !GetLevelProfile(next, level.mode).locked)
            ++next;
        if (HasLevel(next, level.mode))
            GetLevelProfile(next, level.mode).locked = 0;
    }
    if (score > level.bestScore)
        level.bestScore = score;
}

bool LevelManager::AllLevelsCompleted() const
{
    for (const LevelProfile& level : levels)
        if (level.mode == gameplay::Standard && level.bestScore < 1)
            return false;
    return true;
}
