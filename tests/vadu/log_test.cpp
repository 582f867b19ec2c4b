#include "vadu/log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

#include "vadu/exception.h"

namespace log_test_file {

std::string to_std(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

// A log stream printing into a temporary file, read back as text.
class FileCapture {
public:
    FileCapture() : file_(std::tmpfile()), stream_(file_)
    {
        if (!file_)
            ADD_FAILURE() << "no temporary file";
    }
    ~FileCapture()
    {
        if (file_)
            std::fclose(file_);
    }

    vadu::logs::Stream& stream() { return stream_; }

    std::string text()
    {
        if (!file_)
            return {};
        std::fflush(file_);
        const long size = std::ftell(file_);
        std::string result(static_cast<size_t>(size), '\0');
        std::rewind(file_);
        const size_t read = std::fread(result.data(), 1, result.size(), file_);
        result.resize(read);
        return result;
    }

private:
    std::FILE* file_;
    vadu::logs::Stream stream_;
};

TEST(LogStreamTest, PrintsTextAsGiven)
{
    using namespace std::string_view_literals;
    struct Case {
        std::string_view piece;
        std::string_view printed;
    };
    const Case cases[] = {
        {"hello"sv, "hello"sv},
        {""sv, ""sv},
        {"no line break added"sv, "no line break added"sv},
        {"two\nlines\n"sv, "two\nlines\n"sv},
        {"\xE9t\xE9 100%s %d"sv, "\xE9t\xE9 100%s %d"sv},
        {"stops\0here"sv, "stops"sv},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.piece));
        FileCapture capture;
        capture.stream().write(c.piece.data(), c.piece.data() + c.piece.size());
        EXPECT_EQ(capture.text(), std::string(c.printed));
    }
}

// Both files are fully buffered, so only a flush puts their text on the disk.
TEST(LogStreamTest, FlushPushesOutItsOwnTargetOnly)
{
    std::FILE* log_file = std::tmpfile();
    std::FILE* other_file = std::tmpfile();
    ASSERT_NE(log_file, nullptr);
    ASSERT_NE(other_file, nullptr);
    std::setvbuf(log_file, nullptr, _IOFBF, 4096);
    std::setvbuf(other_file, nullptr, _IOFBF, 4096);
    const auto on_disk = [](std::FILE* file) {
        char text[64] = {};
        const ssize_t read = ::pread(::fileno(file), text, sizeof text, 0);
        return read > 0 ? std::string(text, static_cast<size_t>(read)) : std::string();
    };

    vadu::logs::Stream stream(log_file);
    vadu::logs::Stream unflushed(other_file);
    stream << "logged";
    unflushed << "elsewhere";
    EXPECT_EQ(on_disk(log_file), "");
    stream.flush();
    EXPECT_EQ(on_disk(log_file), "logged");
    EXPECT_EQ(on_disk(other_file), "");

    std::fclose(log_file);
    std::fclose(other_file);
}

TEST(LogStreamTest, WritersJoinPiecesWithoutAddingAnything)
{
    FileCapture capture;
    capture.stream() << "label: " << 42 << ", " << vadu::String("engine text") << " " << -7 << " "
                     << std::numeric_limits<uint64_t>::max() << " " << std::numeric_limits<int64_t>::min()
                     << vadu::String() << static_cast<const char*>(nullptr) << "\n";
    EXPECT_EQ(capture.text(), "label: 42, engine text -7 18446744073709551615 -9223372036854775808\n");
}

template <class T>
concept Loggable = requires(vadu::logs::Stream& stream, T value) { stream << value; };
// Characters and booleans would come out as numbers; they must not compile.
static_assert(Loggable<int> && Loggable<uint64_t> && Loggable<const char*> && Loggable<vadu::String>);
static_assert(!Loggable<char> && !Loggable<bool> && !Loggable<char16_t>);

// Prints one character at a time, giving other threads every chance to cut in.
class SlowStream : public vadu::logs::Stream {
public:
    void write(const char* first, const char* last) override
    {
        for (const char* p = first; p != last; ++p) {
            text.push_back(*p);
            std::this_thread::yield();
        }
    }
    std::string text;
};

TEST(LogStreamTest, PiecesFromTwoThreadsNeverMixInsideAPiece)
{
    SlowStream stream;
    const std::string pieces[] = {std::string(16, 'a'), std::string(16, 'b')};
    constexpr int rounds = 200;
    std::vector<std::thread> writers;
    for (const std::string& piece : pieces) {
        writers.emplace_back([&stream, &piece] {
            for (int i = 0; i < rounds; ++i)
                stream << piece.c_str();
        });
    }
    for (std::thread& writer : writers)
        writer.join();

    ASSERT_EQ(stream.text.size(), 2u * rounds * 16);
    for (size_t at = 0; at < stream.text.size(); at += 16)
        ASSERT_EQ(stream.text.substr(at, 16), std::string(16, stream.text[at])) << "piece broken at " << at;
}

class LogTest : public ::testing::Test {
protected:
    // Leave a working log behind for whatever runs next.
    void TearDown() override { vadu::logs::Creator restore(""); }
};

TEST_F(LogTest, NoLogIsAnError)
{
    vadu::logs::set_log(nullptr);
    try {
        vadu::logs::log();
        FAIL() << "no Gluck without a log";
    } catch (const vadu::Gluck& gluck) {
        EXPECT_EQ(to_std(gluck.get_function()), "vadu::logs::log");
        EXPECT_EQ(to_std(gluck.get_description()), "Log char don't exists");
    }
}

TEST_F(LogTest, CreatorReplacesTheLogAndReplacedStreamsStayUsable)
{
    vadu::logs::set_log(nullptr);
    vadu::logs::Stream* first = nullptr;
    {
        vadu::logs::Creator creator("first");
        first = &vadu::logs::log();
    }
    // Destroying the creator leaves its stream in place.
    EXPECT_EQ(&vadu::logs::log(), first);

    vadu::logs::Creator second("");
    vadu::logs::Stream& current = vadu::logs::log();
    EXPECT_NE(&current, first);
    // A writer that still holds the old stream can finish with it.
    *first << "";
    current << "";
}

TEST_F(LogTest, InstalledStreamReceivesWhatIsLogged)
{
    auto stream = std::make_unique<SlowStream>();
    SlowStream* installed = stream.get();
    vadu::logs::set_log(std::move(stream));
    vadu::logs::log() << "frames: " << 3u << "\n";
    EXPECT_EQ(installed->text, "frames: 3\n");
}

} // namespace
