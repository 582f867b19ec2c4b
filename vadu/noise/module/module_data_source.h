#pragma once

// XM music as a data source: the module rendered on demand at 22050 Hz, stereo, 16-bit.

#include "vadu/noise/data_source.h"
#include "vadu/noise/module/module.h"

#include <memory>
#include <vector>

namespace vadu::noise {

class ModuleDataSource : public DataSource {
public:
    static constexpr uint32_t rate = 22050;

    // Opens name + ".xm"; is_loaded() tells whether it is a module this player plays.
    explicit ModuleDataSource(const filesystem::String& name);
    ~ModuleDataSource() override;
    ModuleDataSource(const ModuleDataSource&) = delete;
    ModuleDataSource& operator=(const ModuleDataSource&) = delete;

    bool is_loaded() const { return module_ && module_->is_loaded(); }
    // Whether a ".xm" file was there to read.
    bool found() const { return module_ != nullptr; }

    bool has_channel(uint32_t id) override { return id == layout::left || id == layout::right; }
    uint32_t get_frequency() override { return rate; }
    // Not known: a module is played as a stream.
    uint32_t get_length() override { return 0; }
    // Renders up to n frames; at the song's end 0, and the module rewinds to its restart.
    uint32_t decode(uint32_t frames) override;
    void get_data(uint32_t id, void* destination, uint32_t stride, uint32_t bits) override;
    void rewind() override;

private:
    std::unique_ptr<module::Module> module_;
    std::vector<int16_t> block_;
    uint32_t rendered_ = 0;
};

} // namespace vadu::noise
