#pragma once

// Builds the render devices of this back end: loads the graphics device layer at run
// time ("D3D9.DLL" / "Direct3DCreate9"), writes the machine and every adapter to the
// log, and registers one Hardware per adapter with the render-device manager.

#include <vector>

#include "platform/gfx/types.h"
#include "vadu/animate/soul.h"
#include "vadu/dictionary.h"
#include "vadu/filesystem.h"
#include "vadu/hardware_manager.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/log.h"
#include "vadu/resource_loader.h"
#include "vadu/string.h"

namespace vadu::lib3d::hard::directx8 {

// The capability rows the creator writes for an adapter: 14 values and 46 flags.
CapabilityRows read_capability_rows(const platform::gfx::Caps& caps);

// One at a time. Built most-derived, it builds the log, the file system, the resource
// loader, the souls, the dictionary holder and the render-device manager first.
class Creator : public virtual logs::Creator,
                public virtual filesystem::Creator,
                public virtual resource::ActiveMultithreaded::Creator,
                public virtual animate::Soul::Creator,
                public virtual DictionaryHolder::Creator,
                public virtual HardwareManager<hard::Hardware>::Creator {
public:
    // Throws Gluck when a creator exists already. A missing device layer or a failing
    // adapter is logged and leaves fewer (or no) hardwares; nothing is thrown for it.
    Creator();
    // Takes the hardwares out of the manager and deletes them, then lets go of the
    // device layer.
    ~Creator() override;

    // Processors, processor name, clock, memory, system version, computer name, screen
    // width, then "<adapter description>$T$" per hardware; every field ends with "$".
    const String& get_system_information() const noexcept { return system_information_; }
    // The hardwares made, in adapter order; empty without a creator.
    static const std::vector<Hardware*>& get_hardwares();

private:
    String system_information_;
};

} // namespace vadu::lib3d::hard::directx8
