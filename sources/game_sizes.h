#pragma once

// The layout numbers screens and gameplay place things with: the game screen, the playing
// field inside it, a scale against a 960-pixel field, the background coefficient, and
// the optional wide-screen margins. From "data/default.camera", then "data/sizes.xml".

#include "vadu/path.h"

class GameSizes {
public:
    static constexpr const char* CameraPath = "data/default.camera";
    static constexpr const char* SizesPath = "data/sizes.xml";

    // Made on first use, reading the two files through the engine's file system.
    static GameSizes* Instance();
    // Forgets the instance so the next Instance() reads the files again (tests).
    static void ResetForTests();

    // Reads the camera (required: vadu::GluckBadResource with its path when it is
    // missing or lacks "CameraParallel" Width/Height), then the sizes file when it opens
    // (its elements and attributes are then required, with the same error).
    GameSizes();
    GameSizes(const vadu::filesystem::String& camera, const vadu::filesystem::String& sizes);

    // fieldOffsetX while the screen fits in the game description's window width, else 0.
    float GetFieldOffsetX() const;
    // The wide-screen margin m and extra e once the window is at least the wide-screen
    // width; 0 without a "WideScreen" element.
    float GetWideMargin() const;
    float GetWideExtra() const;

    float scale = 1.0f;
    float extraHeight = 0.0f;
    float fieldOffsetX = 0.0f;
    float screenWidth = 960.0f;
    float screenHeight = 640.0f;
    float fieldWidth = 960.0f;
    float fieldHeight = 640.0f;
    float backgroundCoefficient = 1.0f;
    // "WideScreen" Width, FieldWidth and Margin; all 0 without the element.
    bool hasWideScreen = false;
    float wideScreenWidth = 0.0f;
    float wideFieldWidth = 0.0f;
    float wideMargin = 0.0f;

private:
    void Read(const vadu::filesystem::String& camera, const vadu::filesystem::String& sizes);
    bool IsWideWindow() const;
};
