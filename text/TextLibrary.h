#pragma once

// Start and end of the text library's global state: the FreeType library, its cache
// manager with the charmap and image caches, the face registry and our glyph cache.
// Everything runs on the main thread.

namespace TrueText::TextLibrary {

// Raises TrueText::Error when FreeType cannot start or the library is already started.
void Init();
// Ends everything Init made; faces registered so far are forgotten. Safe when not started.
void Shutdown();
bool IsStarted();

// Turns the glyph cache off (every lookup goes to FreeType again) or back on. Results are
// the same either way; this exists so that sameness can be checked.
void SetGlyphCacheEnabled(bool enabled);

// Starts the library for its own lifetime, as the engine's other singletons are started
// by their creators.
class Creator {
public:
    Creator() { Init(); }
    ~Creator() { Shutdown(); }
    Creator(const Creator&) = delete;
    Creator& operator=(const Creator&) = delete;
};

} // namespace TrueText::TextLibrary
