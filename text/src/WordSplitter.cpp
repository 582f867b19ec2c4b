#include "text/WordSplitter.h"

namespace TrueText {

namespace {

constexpr char16_t kSoftHyphen = 0x00AD;

bool IsHardBreak(char16_t c)
{
    return c == u'\n' || c == u'\r';
}

// Reads a hard break or a space run; false when the position starts a word.
bool CommonToken(const char16_t*& position, Token& token)
{
    const char16_t* p = position;
    token.start = p;
    if (IsHardBreak(*p)) {
        token.hard_break = true;
        token.count = 1;
        position = (p[0] == u'\r' && p[1] == u'\n') ? p + 2 : p + 1;
        return true;
    }
    if (IsBreakSpace(*p) || *p == kSoftHyphen) {
        token.space = true;
        while (*p != 0 && (IsBreakSpace(*p) || *p == kSoftHyphen))
            ++p;
        if (p == position) // a lone U+0000 is a break space, but never part of a run
            ++p;
        token.count = static_cast<uint32_t>(p - position);
        position = p;
        return true;
    }
    return false;
}

template <class Splitter>
class Source : public WordSplitterSource {
public:
    const WordSplitter& GetSplitter() const override { return splitter_; }

private:
    Splitter splitter_;
};

} // namespace

bool IsBreakSpace(char16_t c)
{
    return c == 0x0020 || c == 0x0009 || c == 0x0000;
}

bool IsNoBreakBeforePunctuation(char16_t c)
{
    switch (c) {
    case 0x0021: case 0x0029: case 0x002C: case 0x002D: case 0x003A: case 0x003B: case 0x003F:
    case 0x201D: case 0x204F: case 0x3001: case 0x3002: case 0x300D:
    case 0xFF01: case 0xFF02: case 0xFF07: case 0xFF09: case 0xFF0C: case 0xFF0D: case 0xFF0E:
    case 0xFF1A: case 0xFF1B: case 0xFF1F:
        return true;
    default:
        return false;
    }
}

std::vector<Token> WordSplitter::Split(const char16_t* text) const
{
    std::vector<Token> tokens;
    if (!text)
        return tokens;
    const char16_t* position = text;
    while (*position != 0)
        tokens.push_back(NextToken(position));
    return tokens;
}

Token WordSplitter::NextToken(const char16_t*& position) const
{
    Token token;
    if (CommonToken(position, token))
        return token;
    const char16_t* p = position;
    while (*p != 0 && !IsHardBreak(*p) && !IsBreakSpace(*p) && *p != kSoftHyphen)
        ++p;
    token.count = static_cast<uint32_t>(p - position);
    position = p;
    return token;
}

Token JapaneseWordSplitter::NextToken(const char16_t*& position) const
{
    Token token;
    if (CommonToken(position, token))
        return token;
    const char16_t* p = position + 1;
    if (IsNoBreakBeforePunctuation(*p))
        ++p;
    token.count = static_cast<uint32_t>(p - position);
    position = p;
    return token;
}

const WordSplitterSource& JapaneseWordSplitter::Instance()
{
    static const Source<JapaneseWordSplitter> source;
    return source;
}

const WordSplitterSource& DefaultWordSplitterSource()
{
    static const Source<WordSplitter> source;
    return source;
}

} // namespace TrueText
