#pragma once

// The game's phrases by chapter, section and phrase name, loaded from a "Chapter" file;
// installed as the engine's dictionary while it lives.

#include <map>

#include "game/service_provider.h"
#include "vadu/atom.h"
#include "vadu/dictionary.h"
#include "vadu/stream.h"
#include "vadu/string.h"

namespace game {

class TextService : public Service {
public:
    virtual bool Load(vadu::Stream& stream) = 0;
    virtual const vadu::WString& GetPhrase(const vadu::Atom& chapter, const vadu::Atom& section,
                                           const vadu::Atom& phrase) = 0;
};

class TextServiceImpl : public TextService, public vadu::Dictionary {
public:
    using Phrases = std::map<vadu::Atom, vadu::WString>;
    using Sections = std::map<vadu::Atom, Phrases>;
    using Chapters = std::map<vadu::Atom, Sections>;

    // Installs itself as the engine's dictionary.
    TextServiceImpl();
    ~TextServiceImpl() override;

    // Empties the phrases, then reads the stream; false when the file does not load (what
    // was read before the failure stays).
    bool Load(vadu::Stream& stream) override;
    // The shared "--- Not Found ---" for a missing name.
    const vadu::WString& GetPhrase(const vadu::Atom& chapter, const vadu::Atom& section,
                                   const vadu::Atom& phrase) override;
    const vadu::WString& translate(const vadu::Atom& chapter, const vadu::Atom& section,
                                   const vadu::Atom& phrase) override;

    const Chapters& GetChapters() const noexcept { return chapters_; }
    static const vadu::WString& NotFound();

private:
    Chapters chapters_;
};

} // namespace game
