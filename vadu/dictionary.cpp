#include "vadu/dictionary.h"

namespace vadu {
namespace {

WeakPtr* holder = nullptr;

const Atom& default_name()
{
    static const Atom name("default");
    return name;
}

const WString& not_found_text()
{
    static const WString text(u"--- Not Found ---");
    return text;
}

Atom piece(const String& id, size_t first, size_t last)
{
    return Atom(id.data() + first, id.data() + last);
}

} // namespace

DictionaryHolder::Creator::Creator()
{
    if (holder)
        return;
    holder = new WeakPtr;
    made_holder_ = true;
}

DictionaryHolder::Creator::~Creator()
{
    if (!made_holder_)
        return;
    delete holder;
    holder = nullptr;
}

void set_text_service(Dictionary* dictionary)
{
    if (holder)
        holder->assign(dictionary);
}

TextId split_text_id(const String& id)
{
    const size_t last = id.rfind('/');
    if (last == String::npos)
        return {default_name(), default_name(), Atom(id)};
    Atom phrase = piece(id, last + 1, id.size());
    const size_t second = last == 0 ? String::npos : id.rfind('/', last - 1);
    if (second == String::npos)
        return {default_name(), piece(id, 0, last), phrase};
    return {piece(id, 0, second), piece(id, second + 1, last), phrase};
}

const WString& lookup_text(const String& id)
{
    if (!holder || !holder->get())
        return not_found_text();
    const TextId names = split_text_id(id);
    // Only set_text_service points the holder, and only at a Dictionary.
    return static_cast<Dictionary*>(holder->get())->translate(names.chapter, names.section, names.phrase);
}

} // namespace vadu
