#pragma once

// Word splitters: where the line layouter may break a line.

#include <cstdint>
#include <vector>

namespace TrueText {

struct Token {
    bool hard_break = false; // LF, CR, or CR LF (count 1, two characters consumed)
    bool space = false;      // a run of break spaces and soft hyphens
    const char16_t* start = nullptr;
    uint32_t count = 0;
};

bool IsBreakSpace(char16_t c);
bool IsNoBreakBeforePunctuation(char16_t c);

class WordSplitter {
public:
    virtual ~WordSplitter() = default;
    // The text up to its first U+0000, as tokens pointing into it.
    std::vector<Token> Split(const char16_t* text) const;
    // One token from the position (which must not be at U+0000); advances the position.
    virtual Token NextToken(const char16_t*& position) const;
};

// One character per token, with a closing mark that may not begin a line kept on it.
class JapaneseWordSplitter : public WordSplitter {
public:
    Token NextToken(const char16_t*& position) const override;

    static const class WordSplitterSource& Instance();
};

class WordSplitterSource {
public:
    virtual ~WordSplitterSource() = default;
    virtual const WordSplitter& GetSplitter() const = 0;
};

// The source of the default WordSplitter.
const WordSplitterSource& DefaultWordSplitterSource();

} // namespace TrueText
