#include "sources/resource_configuration.h"

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/window.h"
#include "sources/shell_files.h"
#include "vadu/xml_document.h"

std::unique_ptr<vadu::filesystem::FileSystem> ResourceConfiguration::Configure()
{
    return Configure("%app_path%/data.pak", "%app_path%/");
}

std::unique_ptr<vadu::filesystem::FileSystem> ResourceConfiguration::Configure(const vadu::String& archive,
                                                                               const vadu::String& folder)
{
    auto composite = std::make_unique<vadu::filesystem::CompositeFileSystem>();
    // One answer for both: two threads each asking for a different child's locale first
    // would otherwise wait for each other's nested open.
    auto locale = std::make_shared<SharedLocale>();
    const vadu::filesystem::String archivePath(archive, true);
    composite->add(std::make_unique<ResourceConfiguration>(
        std::make_unique<vadu::filesystem::ZipFileSystem>(archivePath), locale));
    const vadu::filesystem::String folderPath(folder, false);
    composite->add(std::make_unique<ResourceConfiguration>(std::make_unique<vadu::filesystem::PathFileSystem>(
        folderPath, std::make_unique<vadu::filesystem::NativeFileSystem>()), locale));
    return composite;
}

struct ResourceConfiguration::SharedLocale {
    std::mutex mutex;
    std::condition_variable answered;
    enum class State { unread, reading, read } state = State::unread;
    std::thread::id reader;
    vadu::String locale;
};

ResourceConfiguration::ResourceConfiguration(std::unique_ptr<vadu::filesystem::FileSystem> inner,
                                             std::shared_ptr<SharedLocale> locale)
    : inner_(std::move(inner)), locale_(locale ? std::move(locale) : std::make_shared<SharedLocale>())
{
}

ResourceConfiguration::~ResourceConfiguration() = default;

bool ResourceConfiguration::enumerate(vadu::filesystem::Visitor&, const vadu::filesystem::String&)
{
    // Nothing of the game lists folders through the resource file system.
    return false;
}

vadu::String ResourceConfiguration::Locale()
{
    using State = SharedLocale::State;
    SharedLocale& shared = *locale_;
    std::unique_lock lock(shared.mutex);
    for (;;) {
        switch (shared.state) {
        case State::read:
            return shared.locale;
        case State::reading:
            // The provider reads "data/strings.xml" through this very file system: its
            // own opens go without a locale. Another thread (the loader) waits for it.
            if (shared.reader == std::this_thread::get_id())
                return vadu::String();
            shared.answered.wait(lock);
            continue;
        case State::unread:
            break;
        }
        shared.state = State::reading;
        shared.reader = std::this_thread::get_id();
        lock.unlock();
        vadu::String locale;
        try {
            locale = vadu::PlatformInfo::instance().get_locale();
        } catch (...) {
            lock.lock();
            shared.state = State::unread;
            shared.answered.notify_all();
            throw;
        }
        lock.lock();
        shared.locale = locale;
        shared.state = State::read;
        shared.answered.notify_all();
        return shared.locale;
    }
}

std::unique_ptr<vadu::Stream> ResourceConfiguration::Resolve(const vadu::filesystem::String& name)
{
    if (!inner_)
        return nullptr;
    const vadu::String locale = Locale();
    // Without a locale there is no language folder to try; "/" + name would be a path at
    // the machine's root.
    if (!locale.empty()) {
        const vadu::filesystem::String localized = vadu::filesystem::String(locale, true) + ("/" + name.get_text());
        if (std::unique_ptr<vadu::Stream> stream = inner_->open(localized))
            return stream;
    }
    return inner_->open(name);
}

vadu::String GamePlatformInfo::get_locale()
{
    const std::optional<std::vector<uint8_t>> bytes =
        ReadWholeFile(vadu::filesystem::String("data/strings.xml", true));
    if (!bytes)
        return vadu::String();
    const vadu::xml::parser::Document document(bytes->data(), bytes->size());
    return document.get_root().get_attribute("Locale");
}

bool GamePlatformInfo::IsWideAspect(float width, float height)
{
    if (height <= 0.0f)
        return false;
    const float aspect = width / height;
    return std::fabs(1.7777778f - aspect) <= std::fabs(1.3333334f - aspect);
}

bool GamePlatformInfo::is_wide_screen()
{
    const platform::Size desktop = platform::get_desktop_size();
    return IsWideAspect(static_cast<float>(desktop.width), static_cast<float>(desktop.height));
}
