#pragma once

// How the game's file system is put together: the archive "%app_path%/data.pak" before
// the installation folder, and in each the locale's folder before the plain name.

#include <memory>

#include "vadu/filesystem.h"
#include "vadu/path.h"
#include "vadu/string.h"

class ResourceConfiguration : public vadu::filesystem::FileSystem {
public:
    // The factory handed to the engine's file-system creator.
    static std::unique_ptr<vadu::filesystem::FileSystem> Configure();
    // The same over any archive and folder (tests).
    static std::unique_ptr<vadu::filesystem::FileSystem> Configure(const vadu::String& archive,
                                                                   const vadu::String& folder);

    // The locale as the children of one arrangement share it: asked once, at the first open.
    struct SharedLocale;

    // A locale of its own unless one is given to share.
    explicit ResourceConfiguration(std::unique_ptr<vadu::filesystem::FileSystem> inner,
                                   std::shared_ptr<SharedLocale> locale = nullptr);
    ~ResourceConfiguration() override;

    // Listing is not offered here: false.
    bool enumerate(vadu::filesystem::Visitor& visitor, const vadu::filesystem::String& folder) override;
    std::unique_ptr<vadu::Stream> open(const vadu::filesystem::String& path) override { return Resolve(path); }

    // locale + "/" + name, then the name. The locale is asked once, at the first open;
    // opens made while it is being asked (on the asking thread) use no locale, and other
    // threads wait for the answer. With an empty locale only the name is tried.
    std::unique_ptr<vadu::Stream> Resolve(const vadu::filesystem::String& name);

private:
    vadu::String Locale();

    std::unique_ptr<vadu::filesystem::FileSystem> inner_;
    std::shared_ptr<SharedLocale> locale_;
};

// The game's answers to the engine's platform questions.
class GamePlatformInfo : public vadu::PlatformInfo {
public:
    // The root's "Locale" attribute of "data/strings.xml", read on every call; empty when
    // the file is missing or does not parse.
    vadu::String get_locale() override;
    // The desktop is nearer 16:9 than 4:3.
    bool is_wide_screen() override;

    static bool IsWideAspect(float width, float height);
};
