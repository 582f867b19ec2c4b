#include "sources/game_sizes.h"

#include <cmath>
#include <memory>
#include <optional>

#include "sources/globals.h"
#include "sources/shell_files.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/xml_document.h"

namespace {

GameSizes* instance = nullptr;

using Node = vadu::xml::parser::Node;

Node RequiredChild(const Node& parent, const char* name, const vadu::filesystem::String& path)
{
    const Node child = parent.find_child(name);
    if (child.is_null())
        throw vadu::GluckBadResource("GameSizes::GameSizes", vadu::String("Unable to find element ") + name, path);
    return child;
}

float RequiredFloat(const Node& element, const char* name, const vadu::filesystem::String& path)
{
    float value = 0.0f;
    const vadu::String text = element.get_attribute(name);
    if (text.empty() || !vadu::converter::convert(text, &value))
        throw vadu::GluckBadResource("GameSizes::GameSizes",
                                     "Bad or missing attribute " + element.get_name() + "." + name, path);
    return value;
}

struct Parsed {
    std::unique_ptr<vadu::xml::parser::Document> document;
    Node root;
};

// Nothing when the file does not open; a file that opens but does not parse raises.
std::optional<Parsed> Parse(const vadu::filesystem::String& path)
{
    const std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
    if (!bytes)
        return std::nullopt;
    Parsed parsed;
    parsed.document = std::make_unique<vadu::xml::parser::Document>(bytes->data(), bytes->size());
    parsed.root = parsed.document->get_root();
    if (parsed.root.is_null())
        throw vadu::GluckBadResource("GameSizes::GameSizes", "Parse failed: " + parsed.document->get_error(), path);
    return parsed;
}

} // namespace

GameSizes* GameSizes::Instance()
{
    if (!instance)
        instance = new GameSizes();
    return instance;
}

void GameSizes::ResetForTests()
{
    delete instance;
    instance = nullptr;
}

GameSizes::GameSizes()
{
    Read(vadu::filesystem::String(CameraPath, true), vadu::filesystem::String(SizesPath, true));
}

GameSizes::GameSizes(const vadu::filesystem::String& camera, const vadu::filesystem::String& sizes)
{
    Read(camera, sizes);
}

void GameSizes::Read(const vadu::filesystem::String& camera, const vadu::filesystem::String& sizes)
{
    const std::optional<Parsed> cameraFile = Parse(camera);
    if (!cameraFile)
        throw vadu::GluckBadResource("GameSizes::GameSizes", "Failed to load", camera);
    const Node parallel = RequiredChild(cameraFile->root, "CameraParallel", camera);
    const float w = RequiredFloat(parallel, "Width", camera);
    const float h = RequiredFloat(parallel, "Height", camera);
    auto setField = [this](float width, float height) {
        fieldWidth = width;
        fieldHeight = height;
        scale = static_cast<float>(static_cast<double>(width) / 960.0);
        extraHeight = static_cast<float>(static_cast<double>(height) - static_cast<double>(width) / 1.5);
    };
    setField(w, h);
    screenWidth = w;
    screenHeight = h;

    const std::optional<Parsed> sizesFile = Parse(sizes);
    if (!sizesFile)
        return;
    const Node screen = RequiredChild(sizesFile->root, "GameScreen", sizes);
    screenWidth = RequiredFloat(screen, "Width", sizes);
    screenHeight = RequiredFloat(screen, "Height", sizes);
    const Node field = RequiredChild(sizesFile->root, "GameField", sizes);
    const float fieldW = RequiredFloat(field, "Width", sizes);
    const float fieldH = RequiredFloat(field, "Height", sizes);
    fieldOffsetX = RequiredFloat(field, "OffsetX", sizes);
    setField(fieldW, fieldH);
    backgroundCoefficient = RequiredFloat(RequiredChild(sizesFile->root, "Background", sizes), "Coefficient", sizes);
    const Node wide = sizesFile->root.find_child("WideScreen");
    if (!wide.is_null()) {
        hasWideScreen = true;
        wideScreenWidth = RequiredFloat(wide, "Width", sizes);
        wideFieldWidth = RequiredFloat(wide, "FieldWidth", sizes);
        wideMargin = RequiredFloat(wide, "Margin", sizes);
    }
}

float GameSizes::GetFieldOffsetX() const
{
    return screenWidth <= GetGameWindowSize().x ? fieldOffsetX : 0.0f;
}

bool GameSizes::IsWideWindow() const
{
    return hasWideScreen && GetGameWindowSize().x >= wideScreenWidth;
}

float GameSizes::GetWideMargin() const
{
    return IsWideWindow() ? wideMargin : 0.0f;
}

float GameSizes::GetWideExtra() const
{
    return IsWideWindow() ? std::trunc(wideScreenWidth - wideFieldWidth - wideMargin) : 0.0f;
}
