#include "vadu/noise/directx8.h"

#include "vadu/exception.h"
#include "vadu/noise/data_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vadu::noise::hard::directx8 {

namespace ds = platform::sound;

namespace {

Hardware* hardware_instance = nullptr;
platform::ModuleHandle dsound_module = nullptr;
ds::CreateProc create_proc = nullptr;

std::map<ChannelStaticRep::Key, ChannelStaticRep*>* reps = nullptr;

constexpr uint32_t stream_rate = 22050;
constexpr uint32_t flags_2d = 0x180E0;
constexpr uint32_t flags_3d = 0x18090;
constexpr uint32_t flags_surround = 0x18080;

// Start-up lines reach the log file at once: a run that dies next still shows why.
void write_log(const char* text)
{
    logs::Stream& stream = logs::log();
    stream << text;
    stream.flush();
}

// The buffer format and flags of a channel type.
void fill_format(const Atom& type, uint32_t rate, ds::WaveFormatExtensible& format, uint32_t& flags)
{
    format = {};
    if (type == atoms::Surround) {
        format.format = {ds::format_extensible, 6, rate, 0, 12, 16, 22};
        format.valid_bits_per_sample = 16;
        format.channel_mask = 0x3F;
        std::memcpy(format.sub_format, ds::subformat_pcm, sizeof(format.sub_format));
        flags = flags_surround;
    } else if (type == atoms::Type3D) {
        format.format = {ds::format_pcm, 1, rate, 0, 2, 16, 0};
        flags = flags_3d;
    } else {
        format.format = {ds::format_pcm, 2, rate, 0, 4, 16, 0};
        flags = flags_2d;
    }
    format.format.avg_bytes_per_sec = format.format.block_align * rate;
}

// Copies the source's window into 16-bit frames in the type's channel layout.
void copy_frames(DataSource& source, const Atom& type, uint8_t* destination, uint32_t align)
{
    if (type == atoms::Surround) {
        static constexpr uint32_t ids[6] = {layout::front_left, layout::front_right, layout::centre,
                                            layout::low_frequency, layout::back_left, layout::back_right};
        for (uint32_t i = 0; i < 6; ++i)
            source.get_data(ids[i], destination + i * 2, align, 16);
    } else if (type == atoms::Type3D) {
        source.get_data(layout::mono, destination, align, 16);
    } else {
        source.get_data(layout::left, destination, align, 16);
        source.get_data(layout::right, destination + 2, align, 16);
    }
}

int32_t to_pan(double pan)
{
    return static_cast<int32_t>((pan + 1.0) * 20000 * 0.5 - 10000);
}

float distance(const math::Vector3& a, const math::Vector3& b)
{
    const float x = a.x - b.x;
    const float y = a.y - b.y;
    const float z = a.z - b.z;
    return std::sqrt(x * x + y * y + z * z);
}

bool same(const math::Vector3& a, const math::Vector3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

int32_t to_directsound_volume(double volume)
{
    double level = volume > 0.0 ? std::log10(volume) : -10.0;
    level = std::clamp(level, -10.0, 0.0);
    return static_cast<int32_t>(((level + 10.0) / 10.0) * 10000 - 10000);
}

// ---- hardware ----

Hardware::Hardware(ds::Device* device, ds::Buffer* primary) : device_(device), primary_(primary)
{
    primary_->play(0, 0, ds::play_looping);
    void* listener = nullptr;
    if (ds::succeeded(primary_->query_interface(ds::Interface::listener, &listener)))
        listener_ = static_cast<ds::Listener*>(listener);
}

Hardware::~Hardware()
{
    for (ChannelStatic* channel : static_channels_) {
        channel->stop();
        channel->detach();
    }
    static_channels_.clear();
    channels_3d_.clear();
    for (ChannelStream* channel : stream_channels_)
        channel->detach();
    stream_channels_.clear();
    if (listener_)
        listener_->release();
    primary_->stop();
    primary_->release();
    device_->release();
}

bool Hardware::change_attribute(const Atom& name, double value)
{
    if (name == atoms::GlobalVolume) {
        global_volume_ = std::clamp(value, 0.0, 1.0);
        primary_->set_volume(to_directsound_volume(global_volume_));
        return true;
    }
    return false;
}

bool Hardware::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == atoms::Position) {
        position_ = value;
        if (listener_)
            listener_->set_position(value.x, value.y, value.z, ds::apply_deferred);
        return true;
    }
    if (name == atoms::Speed) {
        speed_ = value;
        if (listener_)
            listener_->set_velocity(value.x, value.y, value.z, ds::apply_deferred);
        return true;
    }
    if (name == atoms::Up) {
        up_ = value;
        return true;
    }
    if (name == atoms::Front) {
        front_ = value;
        return true;
    }
    return false;
}

bool Hardware::change_attribute(const Atom& name, const animate::ThirdValueKind& /*value*/)
{
    return name == atoms::Environment;
}

noise::Channel* Hardware::create_static_channel(const Atom& type, const filesystem::String& name)
{
    return new ChannelStatic(this, type, name);
}

noise::Channel* Hardware::create_stream_channel(const Atom& type)
{
    return new ChannelStream(this, type, 5.0);
}

void Hardware::update(double seconds)
{
    for (auto it = channels_3d_.begin(); it != channels_3d_.end();) {
        (*it)->update(seconds, position_);
        if ((*it)->is_finished())
            it = channels_3d_.erase(it);
        else
            ++it;
    }
    // list::sort is a stable merge sort.
    channels_3d_.sort([](ChannelStatic* a, ChannelStatic* b) { return b->get_priority() < a->get_priority(); });
    int32_t index = 0;
    for (ChannelStatic* channel : channels_3d_) {
        if (index < voice_limit_ && !channel->has_buffer())
            channel->acquire_buffer();
        else if (index >= voice_limit_ && channel->has_buffer())
            channel->release_buffer();
        ++index;
    }
    for (ChannelStream* channel : stream_channels_)
        channel->update();
    if (listener_) {
        listener_->set_orientation(front_.x, front_.y, front_.z, up_.x, up_.y, up_.z, ds::apply_deferred);
        listener_->commit_deferred_settings();
    }
}

// ---- creator ----

Creator::Creator() : WindowCreator(512, 384, true)
{
    if (hardware_instance)
        throw Gluck("vadu::noise::hard::directx8::Creator::Creator", "Hardware already exists");
    // Each failing step gives back what the steps before it made.
    if (!dsound_module)
        dsound_module = platform::load_library("DSOUND.DLL");
    if (!dsound_module) {
        write_log("DirectSound is lower than 8\n");
        return;
    }
    create_proc = reinterpret_cast<ds::CreateProc>(platform::get_proc_address(dsound_module, "DirectSoundCreate8"));
    if (!create_proc) {
        write_log("DirectSound is lower than 8\n");
        return;
    }
    ds::Device* device = nullptr;
    if (ds::failed(create_proc(nullptr, &device, nullptr)) || !device) {
        write_log("Failed to create DirectSound instance\n");
        return;
    }
    if (ds::failed(device->set_cooperative_level(get_window().window, ds::cooperative_priority))) {
        write_log("Failed to SetCooperativeLevel\n");
        device->release();
        return;
    }
    ds::BufferDesc desc;
    desc.flags = ds::flags::primary_buffer | ds::flags::control_3d;
    ds::Buffer* primary = nullptr;
    if (ds::failed(device->create_sound_buffer(&desc, &primary, nullptr)) || !primary) {
        write_log("Failed to CreateSoundBuffer\n");
        device->release();
        return;
    }
    ds::WaveFormat format{ds::format_pcm, 2, 22050, 88200, 4, 16, 0};
    if (ds::failed(primary->set_format(&format))) {
        write_log("Failed to primary_buffer->SetFormat\n");
        primary->release();
        device->release();
        return;
    }
    hardware_instance = new Hardware(device, primary);
}

Creator::~Creator()
{
    delete hardware_instance;
    hardware_instance = nullptr;
    create_proc = nullptr;
    if (dsound_module) {
        platform::free_library(dsound_module);
        dsound_module = nullptr;
    }
}

Hardware* Creator::get()
{
    return hardware_instance;
}

void update(double seconds)
{
    if (hardware_instance)
        hardware_instance->update(seconds);
}

// ---- channel base ----

bool ChannelBase::change_attribute(const Atom& name, double value)
{
    if (name == atoms::Volume) {
        if (value != volume_) {
            volume_ = std::clamp(value, 0.0, 1.0);
            if (buffer_)
                buffer_->set_volume(to_directsound_volume(volume_));
        }
        return true;
    }
    if (name == atoms::Loop) {
        loop_ = value != 0.0;
        return true;
    }
    if (name == atoms::Pan) {
        pan_ = value;
        if (buffer_)
            buffer_->set_pan(to_pan(pan_));
        return true;
    }
    if (name == atoms::MinDistance) {
        min_distance_ = value;
        if (buffer_3d_)
            buffer_3d_->set_min_distance(static_cast<float>(value), ds::apply_deferred);
        return true;
    }
    if (name == atoms::MaxDistance) {
        max_distance_ = value;
        if (buffer_3d_)
            buffer_3d_->set_max_distance(static_cast<float>(value), ds::apply_deferred);
        return true;
    }
    return false;
}

bool ChannelBase::change_attribute(const Atom& name, const math::Vector3& value)
{
    if (name == atoms::Position) {
        if (!same(value, position_)) {
            position_ = value;
            if (buffer_3d_)
                buffer_3d_->set_position(value.x, value.y, value.z, ds::apply_deferred);
        }
        return true;
    }
    if (name == atoms::Speed) {
        if (!same(value, speed_)) {
            speed_ = value;
            if (buffer_3d_)
                buffer_3d_->set_velocity(value.x, value.y, value.z, ds::apply_deferred);
        }
        return true;
    }
    return false;
}

bool ChannelBase::get_attribute(const Atom& name, double& value)
{
    if (name == atoms::Volume) {
        value = volume_;
        return true;
    }
    return false;
}

// ---- static sounds ----

ChannelStaticRep::ChannelStaticRep(const Key& rep_key) : key(rep_key)
{
    const Atom& type = std::get<1>(key);
    const filesystem::String& name = std::get<2>(key);
    String why;
    source = create_data_source(name, &why);
    if (!source)
        throw GluckBadResource("vadu::noise::hard::directx8::ChannelStaticRep::ChannelStaticRep",
                               "Could not create DataSource for static channel: " + why, name);
    uint32_t flags = 0;
    fill_format(type, source->get_frequency(), format, flags);
    const uint32_t align = format.format.block_align;
    size = source->get_length() * align;
    ds::BufferDesc desc;
    desc.flags = flags | ds::flags::loc_defer;
    desc.buffer_bytes = size;
    desc.format = &format.format;
    ds::Device* device = std::get<0>(key)->get_device();
    if (ds::failed(device->create_sound_buffer(&desc, &buffer, nullptr)) || !buffer) {
        buffer = nullptr;
        logs::log() << "CreateSoundBuffer() failed. sound: " << name.get_text() << "\n";
        return;
    }
    void* part1 = nullptr;
    uint32_t bytes1 = 0;
    if (ds::failed(buffer->lock(0, size, &part1, &bytes1, nullptr, nullptr, 0))) {
        logs::log() << "buffer->Lock() failed. sound: " << name.get_text() << "\n";
        return;
    }
    auto* at = static_cast<uint8_t*>(part1);
    uint32_t frames = bytes1 / align;
    while (frames > 0) {
        const uint32_t decoded = source->decode(source->get_length());
        if (decoded == 0) {
            logs::log() << "SoundSource failed to decode promissed number of samples: " << name.get_text() << "\n";
            break;
        }
        // The copy covers the whole window: never more than the buffer still holds.
        const uint32_t count = std::min(decoded, frames);
        if (count == decoded) {
            copy_frames(*source, type, at, align);
        } else {
            std::vector<uint8_t> window(static_cast<size_t>(decoded) * align);
            copy_frames(*source, type, window.data(), align);
            std::memcpy(at, window.data(), static_cast<size_t>(count) * align);
        }
        at += static_cast<size_t>(count) * align;
        frames -= count;
    }
    buffer->unlock(part1, bytes1, nullptr, 0);
}

ChannelStaticRep::~ChannelStaticRep()
{
    if (buffer)
        buffer->release();
    delete source;
}

ChannelStaticRep* ChannelStaticRep::acquire(Hardware* hardware, const Atom& type, const filesystem::String& name)
{
    const Key key{hardware, type, name};
    if (reps) {
        const auto found = reps->find(key);
        if (found != reps->end()) {
            ++found->second->use_count;
            return found->second;
        }
    }
    auto* rep = new ChannelStaticRep(key); // may throw: nothing is inserted then
    if (!reps)
        reps = new std::map<Key, ChannelStaticRep*>;
    (*reps)[key] = rep;
    rep->use_count = 1;
    return rep;
}

void ChannelStaticRep::release(ChannelStaticRep* rep)
{
    if (!rep || --rep->use_count > 0)
        return;
    if (reps) {
        reps->erase(rep->key);
        if (reps->empty()) {
            delete reps;
            reps = nullptr;
        }
    }
    delete rep;
}

size_t ChannelStaticRep::live_count()
{
    return reps ? reps->size() : 0;
}

ds::Buffer* ChannelStaticRep::create_diplicate()
{
    ds::Buffer* duplicate = nullptr;
    if (buffer)
        std::get<0>(key)->get_device()->duplicate_sound_buffer(buffer, &duplicate);
    if (!duplicate)
        throw Gluck("vadu::noise::hard::directx8::ChannelStaticRep::create_diplicate", "DuplicateSoundBuffer() failed");
    return duplicate;
}

ChannelStatic::ChannelStatic(Hardware* hardware, const Atom& type, const filesystem::String& name)
    : hardware_(hardware), type_(type), rep_(ChannelStaticRep::acquire(hardware, type, name))
{
    hardware_->static_channels_.push_back(this);
}

ChannelStatic::~ChannelStatic()
{
    if (!hardware_)
        return; // detached: the hardware gave everything back already
    stop();
    hardware_->static_channels_.remove(this);
    ChannelStaticRep::release(rep_);
}

void ChannelStatic::detach()
{
    release_buffer();
    ChannelStaticRep::release(rep_);
    rep_ = nullptr;
    hardware_ = nullptr;
    finished_ = true;
}

bool ChannelStatic::change_attribute(const Atom& name, double value)
{
    if (!ChannelBase::change_attribute(name, value))
        return false;
    if (name == atoms::Loop && buffer_ && !finished_)
        buffer_->play(0, 0, loop_ ? ds::play_looping : 0);
    return true;
}

void ChannelStatic::play(DataSource* /*source*/)
{
    if (!hardware_)
        return;
    stop();
    // A sound whose buffer could not be made (logged when it was built) stays silent
    // rather than failing every play.
    if (!rep_->buffer)
        return;
    play_position_ = 0;
    finished_ = false;
    if (type_ == atoms::Type3D)
        hardware_->channels_3d_.push_back(this);
    else
        acquire_buffer();
}

void ChannelStatic::stop()
{
    if (!hardware_)
        return;
    if (type_ == atoms::Type3D)
        hardware_->channels_3d_.remove(this);
    release_buffer();
    finished_ = true;
    play_position_ = 0;
}

bool ChannelStatic::is_finished()
{
    if (hardware_ && type_ != atoms::Type3D)
        update(0.0, math::Vector3{});
    return finished_;
}

void ChannelStatic::update(double seconds, const math::Vector3& listener)
{
    const double d = distance(position_, listener);
    priority_ = std::pow(2.0, -(std::clamp(d, min_distance_, std::max(min_distance_, max_distance_)) / min_distance_));
    if (buffer_) {
        uint32_t status = 0;
        buffer_->get_status(&status);
        if (!(status & ds::status_playing)) {
            release_buffer();
            finished_ = true;
        }
    } else if (!finished_ && rep_) {
        const uint32_t align = rep_->format.format.block_align;
        play_position_ += static_cast<uint32_t>(rep_->format.format.samples_per_sec * seconds) * align;
        if (play_position_ >= rep_->size) {
            if (loop_ && rep_->size > 0)
                play_position_ %= rep_->size;
            else
                finished_ = true;
        }
    }
}

void ChannelStatic::acquire_buffer()
{
    buffer_ = rep_->create_diplicate();
    if (type_ == atoms::Type3D) {
        void* buffer_3d = nullptr;
        if (ds::succeeded(buffer_->query_interface(ds::Interface::buffer_3d, &buffer_3d))) {
            buffer_3d_ = static_cast<ds::Buffer3D*>(buffer_3d);
            buffer_3d_->set_position(position_.x, position_.y, position_.z, ds::apply_deferred);
            buffer_3d_->set_velocity(speed_.x, speed_.y, speed_.z, ds::apply_deferred);
            buffer_3d_->set_min_distance(static_cast<float>(min_distance_), ds::apply_deferred);
            buffer_3d_->set_max_distance(static_cast<float>(max_distance_), ds::apply_deferred);
        }
    }
    buffer_->set_volume(to_directsound_volume(volume_));
    buffer_->set_pan(to_pan(pan_));
    buffer_->set_current_position(play_position_);
    buffer_->play(0, 0, loop_ ? ds::play_looping : 0);
}

void ChannelStatic::release_buffer()
{
    if (!buffer_)
        return;
    buffer_->get_current_position(&play_position_, nullptr);
    if (buffer_3d_) {
        buffer_3d_->release();
        buffer_3d_ = nullptr;
    }
    buffer_->release();
    buffer_ = nullptr;
}

// ---- stream ----

ChannelStream::ChannelStream(Hardware* hardware, const Atom& type, double seconds) : hardware_(hardware), type_(type)
{
    uint32_t flags = 0;
    fill_format(type, stream_rate, format_, flags);
    buffer_size_ = static_cast<uint32_t>(stream_rate * seconds) * format_.format.block_align;
    refill_block_ = static_cast<uint32_t>(buffer_size_ * 0.25);
    ds::BufferDesc desc;
    desc.flags = flags;
    desc.buffer_bytes = buffer_size_;
    desc.format = &format_.format;
    if (ds::failed(hardware_->get_device()->create_sound_buffer(&desc, &buffer_, nullptr)))
        buffer_ = nullptr;
    if (buffer_ && type_ == atoms::Type3D) {
        void* buffer_3d = nullptr;
        if (ds::succeeded(buffer_->query_interface(ds::Interface::buffer_3d, &buffer_3d)))
            buffer_3d_ = static_cast<ds::Buffer3D*>(buffer_3d);
    }
    hardware_->stream_channels_.push_back(this);
}

ChannelStream::~ChannelStream()
{
    if (hardware_)
        hardware_->stream_channels_.remove(this);
    for (DataSource* source : queue_)
        delete source;
    queue_.clear();
    detach();
}

void ChannelStream::detach()
{
    playing_ = false;
    if (buffer_3d_) {
        buffer_3d_->release();
        buffer_3d_ = nullptr;
    }
    if (buffer_) {
        buffer_->stop();
        buffer_->release();
        buffer_ = nullptr;
    }
    hardware_ = nullptr;
}

void ChannelStream::play(DataSource* source)
{
    if (!source)
        return;
    queue_.push_back(source);
    if (queue_.size() != 1 || !buffer_)
        return;
    buffer_->stop();
    buffer_->set_current_position(0);
    buffer_->set_frequency(source->get_frequency());
    fill_cursor_ = 0;
    silence_written_ = 0;
    playing_ = true;
    fill(0, buffer_size_);
    buffer_->play(0, 0, ds::play_looping);
    update();
}

void ChannelStream::stop()
{
    playing_ = false;
    if (buffer_)
        buffer_->stop();
    for (DataSource* source : queue_)
        delete source;
    queue_.clear();
}

void ChannelStream::update()
{
    if (!buffer_ || !playing_)
        return;
    uint32_t play = 0;
    uint32_t write = 0;
    buffer_->get_current_position(&play, &write);
    uint32_t& fill_at = fill_cursor_;
    const uint32_t size = buffer_size_;
    const uint32_t block = refill_block_;
    if (write > play) {
        if (play < fill_at && fill_at < write)
            fill_at = write;
        if (fill_at >= write) {
            if ((size - fill_at) + play >= block) {
                fill(fill_at, size - fill_at);
                fill_at = 0;
                fill(0, play);
                fill_at = play;
            }
        } else if (fill_at < play && play - fill_at >= block) {
            fill(fill_at, play - fill_at);
            fill_at = play;
        }
    } else if (write < play) {
        if (fill_at < write || fill_at > play)
            fill_at = write;
        if (play - fill_at >= block) {
            fill(fill_at, play - fill_at);
            fill_at = play;
        }
    }
    // Checked on every update, whatever the cursors did.
    if (silence_written_ >= size) {
        playing_ = false;
        buffer_->stop();
    }
}

void ChannelStream::fill(uint32_t offset, uint32_t bytes)
{
    if (bytes == 0)
        return;
    void* part1 = nullptr;
    uint32_t bytes1 = 0;
    if (ds::failed(buffer_->lock(offset, bytes, &part1, &bytes1, nullptr, nullptr, 0)) || bytes1 == 0)
        return;
    const uint32_t align = format_.format.block_align;
    auto* at = static_cast<uint8_t*>(part1);
    uint32_t frames = bytes1 / align;
    while (frames > 0) {
        if (queue_.empty()) {
            std::memset(at, 0, static_cast<size_t>(frames) * align);
            silence_written_ += frames * align;
            break;
        }
        DataSource* source = queue_.front();
        const uint32_t decoded = source->decode(frames);
        if (decoded == 0) {
            if (queue_.size() == 1 && loop_) {
                // The loop resumes at the next fill; the rest of this region is silent.
                source->rewind();
                std::memset(at, 0, static_cast<size_t>(frames) * align);
                break;
            }
            queue_.pop_front();
            delete source;
            continue;
        }
        const uint32_t count = std::min(decoded, frames);
        copy_frames(*source, type_, at, align);
        at += static_cast<size_t>(count) * align;
        frames -= count;
        silence_written_ = 0;
    }
    buffer_->unlock(part1, bytes1, nullptr, 0);
}

} // namespace vadu::noise::hard::directx8
