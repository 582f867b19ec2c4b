#include "game/text_service.h"

#include "game/diagnostics.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/xml_reader.h"

namespace game {

namespace {

vadu::Atom to_atom(const vadu::WString& text)
{
    vadu::Atom atom;
    vadu::converter::convert(text, &atom);
    return atom;
}

// "Phrase": "Name", then "Value".
class PhraseLoader : public vadu::xml::ObjectUnicode {
public:
    explicit PhraseLoader(TextServiceImpl::Phrases* target) : target_(target) {}
    bool OnAttribute(vadu::xml::Provider&, const vadu::WString& name, const vadu::WString& value) override
    {
        if (!target_) {
            GAME_FAIL("Nobody cared about setting target");
            return false;
        }
        if (name == u"Name") {
            const vadu::Atom atom = to_atom(value);
            if (!target_->emplace(atom, vadu::WString()).second) {
                GAME_FAIL("Duplicate phrase name");
                return false;
            }
            current_ = &(*target_)[atom];
            return true;
        }
        if (name == u"Value") {
            if (!current_) {
                GAME_FAIL("Name attribute is missing");
                return false;
            }
            *current_ = value;
            return true;
        }
        return false;
    }

private:
    TextServiceImpl::Phrases* target_;
    vadu::WString* current_ = nullptr;
};

// "Chapter" or "Section": "Name" makes or reuses the entry, "Locale" is ignored, the child
// goes one level down.
template <class Map, class ChildLoader>
class LevelLoader : public vadu::xml::ObjectUnicode {
public:
    LevelLoader(Map* target, const char16_t* child) : target_(target), child_(child) {}
    bool OnAttribute(vadu::xml::Provider&, const vadu::WString& name, const vadu::WString& value) override
    {
        if (!target_) {
            GAME_FAIL("Nobody cared about setting target");
            return false;
        }
        if (name == u"Name") {
            current_ = &(*target_)[to_atom(value)];
            return true;
        }
        return name == u"Locale";
    }
    bool OnNode(vadu::xml::Provider& provider, const vadu::WString& name) override
    {
        if (!(name == child_.c_str()))
            return false;
        if (!current_) {
            GAME_FAIL("Name attribute was missing");
            return false;
        }
        ChildLoader loader(current_);
        return provider.ParseObject(loader);
    }

private:
    Map* target_;
    vadu::WString child_;
    typename Map::mapped_type* current_ = nullptr;
};

class SectionLoader : public LevelLoader<TextServiceImpl::Sections, PhraseLoader> {
public:
    explicit SectionLoader(TextServiceImpl::Sections* target) : LevelLoader(target, u"Phrase") {}
};

class ChapterLoader : public LevelLoader<TextServiceImpl::Chapters, SectionLoader> {
public:
    explicit ChapterLoader(TextServiceImpl::Chapters* target) : LevelLoader(target, u"Section") {}
};

} // namespace

TextServiceImpl::TextServiceImpl()
{
    vadu::set_text_service(this);
}

TextServiceImpl::~TextServiceImpl() = default;

const vadu::WString& TextServiceImpl::NotFound()
{
    static const vadu::WString text(u"--- Not Found ---");
    return text;
}

bool TextServiceImpl::Load(vadu::Stream& stream)
{
    chapters_.clear();
    ChapterLoader loader(&chapters_);
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(loader, "Chapter");
    try {
        return resource.load(root);
    } catch (const vadu::Gluck&) {
        // A document that is not well-formed is a failed parse like any other.
        return false;
    }
}

const vadu::WString& TextServiceImpl::GetPhrase(const vadu::Atom& chapter, const vadu::Atom& section,
                                                const vadu::Atom& phrase)
{
    const auto found_chapter = chapters_.find(chapter);
    if (found_chapter == chapters_.end()) {
        GAME_FAIL("Chapter not found");
        return NotFound();
    }
    const auto found_section = found_chapter->second.find(section);
    if (found_section == found_chapter->second.end()) {
        GAME_FAIL("Section not found");
        return NotFound();
    }
    const auto found_phrase = found_section->second.find(phrase);
    if (found_phrase == found_section->second.end()) {
        GAME_FAIL("Phrase not found");
        return NotFound();
    }
    return found_phrase->second;
}

const vadu::WString& TextServiceImpl::translate(const vadu::Atom& chapter, const vadu::Atom& section,
                                                const vadu::Atom& phrase)
{
    return GetPhrase(chapter, section, phrase);
}

} // namespace game
