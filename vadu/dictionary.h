#pragma once

// Text ids ("chapter/section/phrase") to localized wide texts, through whichever
// dictionary the game has registered. Main thread only; nothing here is locked.

#include "vadu/atom.h"
#include "vadu/string.h"
#include "vadu/weak_ptr.h"

namespace vadu {

// What the game's text service implements. Its destructor (as a Trackable) makes the
// engine forget it.
class Dictionary : public Trackable {
public:
    ~Dictionary() override = default;
    // The phrase's text; the reference stays valid while the dictionary lives. A phrase
    // the dictionary lacks is answered with its own not-found text.
    virtual const WString& translate(const Atom& chapter, const Atom& section, const Atom& phrase) = 0;
};

// The global weak reference to the registered dictionary.
class DictionaryHolder {
public:
    DictionaryHolder() = delete;

    // Makes the holder, empty. When a holder exists already it is left alone, and it is
    // not this creator's to delete later.
    class Creator {
    public:
        Creator();
        virtual ~Creator();
        Creator(const Creator&) = delete;
        Creator& operator=(const Creator&) = delete;

    private:
        bool made_holder_ = false;
    };
};

// The three names of a text id.
struct TextId {
    Atom chapter;
    Atom section;
    Atom phrase;
};

// Registers the dictionary (null forgets the current one). Does nothing when no holder
// exists.
void set_text_service(Dictionary* dictionary);

// The text after the last "/" is the phrase, the text between the last two "/" the
// section, and everything before those the chapter (which may hold "/" itself). Missing
// names are "default"; empty pieces stay empty names.
TextId split_text_id(const String& id);

// The registered dictionary's text for the id, or L"--- Not Found ---" (valid for ever)
// while no dictionary is registered.
const WString& lookup_text(const String& id);

} // namespace vadu
