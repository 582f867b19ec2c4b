#include "vadu/lib3d/app/video_settings.h"

#include <memory>
#include <string>

#include "platform/atomic_file.h"
#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/xml_reader.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d::hard {

namespace {

Hardware* chosen_hardware = nullptr;

// Collects the document, so that the file is replaced in one crash-safe step.
class TextSink : public xml::Sink {
public:
    void write(const char* first, const char* last) override
    {
        if (first && last > first)
            text.append(first, last);
    }
    void flush() override {}

    std::string text;
};

} // namespace

Hardware* VideoSettings::get_chosen_hardware() noexcept
{
    return chosen_hardware;
}

void VideoSettings::set_chosen_hardware(Hardware* hardware) noexcept
{
    chosen_hardware = hardware;
}

bool VideoSettings::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Adapter") {
        for (Hardware* hardware : Manager::get_hardwares()) {
            if (hardware->get_name() == value) {
                hardware_ = hardware;
                return true;
            }
        }
    }
    // The columns belong to the adapter named first.
    if (!hardware_)
        return false;
    return hardware_->select_row(name, value);
}

void VideoSettings::OnSaveAttributes(xml::Saver& saver)
{
    if (!hardware_)
        return;
    saver.write_attribute("Adapter", hardware_->get_name());
    for (const String& column : hardware_->get_attribute_names())
        saver.write_attribute(column, hardware_->get_attribute_value(column));
}

Hardware* VideoSettings::load(const filesystem::String& path)
{
    VideoSettings settings(nullptr);
    try {
        std::unique_ptr<Stream> stream = filesystem::open(path);
        if (!stream)
            return nullptr;
        xml::StreamResource resource(stream.get(), path);
        xml::Root root(settings, "VideoSettings");
        if (!resource.load(root))
            return nullptr;
    } catch (const Gluck&) {
        // A damaged file is as good as none: the default choice follows.
        return nullptr;
    }
    return settings.hardware_;
}

bool VideoSettings::save(Hardware* hardware, const filesystem::String& path)
{
    if (!hardware)
        return false;
    TextSink sink;
    VideoSettings settings(hardware);
    xml::save_document(sink, "VideoSettings", settings);
    return platform::write_file_atomically(std::string(path.c_str(), path.size()), sink.text.data(), sink.text.size());
}

Hardware* VideoSettings::choose_default(platform::WindowHandle window)
{
    // A copy: starting a mode may change the list.
    const std::vector<Hardware*> hardwares = Manager::get_hardwares();
    for (Hardware* hardware : hardwares) {
        if (hardware->set_mode(window))
            return hardware;
    }
    return nullptr;
}

} // namespace vadu::lib3d::hard
