#pragma once

#include <charconv>
#include <concepts>
#include <cstdio>
#include <memory>

#include "vadu/string.h"
#include "vadu/threads.h"

namespace vadu::logs {

// Where diagnostic text goes.
class Output {
public:
    virtual ~Output() = default;
    // Writes the characters [first, last); no line break is added.
    virtual void write(const char* first, const char* last) = 0;
};

// The engine's log stream. Its own mutex guards it: writers lock it around every piece
// of text (see the operators below), so pieces from two threads never mix inside a piece.
class Stream : public Output, public threads::Mutex {
public:
    // Prints to standard output.
    Stream();
    // Prints to the given file instead (tests capture output this way); not owned.
    explicit Stream(std::FILE* target);

    // Prints the range as a C string: it ends at the first zero byte. Takes no lock.
    void write(const char* first, const char* last) override;

    // Pushes what was written out to this stream's own target; other C streams are
    // left alone. Takes no lock.
    void flush();

private:
    std::FILE* target_;
};

// The current log stream; throws vadu::Gluck("vadu::logs::log", "Log char don't exists")
// when no log creator has run.
Stream& log();

// Makes the stream current (null leaves no log). The stream it replaces is kept until the
// program ends, as a writer on another thread may still hold it.
void set_log(std::unique_ptr<Stream> stream);

// Makes a new log stream current; an existing one is replaced, never an error. The name is
// not used. Dependent creators name it as a virtual base; the stream outlives the creator.
class Creator {
public:
    explicit Creator(const String& name = String());
    virtual ~Creator();
    Creator(const Creator&) = delete;
    Creator& operator=(const Creator&) = delete;
};

// Writers: each piece is written under the stream's lock.
Stream& operator<<(Stream& stream, const char* text);
Stream& operator<<(Stream& stream, const String& text);

namespace detail {
template <class T>
concept Character = std::same_as<T, char> || std::same_as<T, signed char> || std::same_as<T, unsigned char> ||
                    std::same_as<T, char8_t> || std::same_as<T, char16_t> || std::same_as<T, char32_t> ||
                    std::same_as<T, wchar_t>;
} // namespace detail

// Decimal text of an integer. bool and the character types are left out on purpose: they
// would print as numbers.
template <std::integral T>
    requires(!std::same_as<T, bool> && !detail::Character<T>)
Stream& operator<<(Stream& stream, T number)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof(text), number);
    threads::ScopedLock lock(stream);
    stream.write(text, result.ptr);
    return stream;
}

} // namespace vadu::logs
