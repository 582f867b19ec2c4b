#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "vadu/filesystem.h"
#include "zip_samples.h"

namespace {

using vadu::filesystem::String;
using vadu::filesystem::ZipFileSystem;

// "" for a null stream, so tables can name the expected content in one column.
std::string open_text(ZipFileSystem& archive, const std::string& name)
{
    auto stream = archive.open(String(name.c_str(), false));
    if (!stream)
        return {};
    std::string text(stream->get_size(), '\0');
    text.resize(stream->read(text.data(), static_cast<uint32_t>(text.size())));
    return text;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp_.root().empty()); }

    // The archive written as "data.pak" and opened.
    std::unique_ptr<ZipFileSystem> open_archive(const zip_samples::Bytes& bytes)
    {
        zip_samples::write_file(path(), bytes);
        return std::make_unique<ZipFileSystem>(String(path().c_str(), false));
    }
    std::string path() const { return temp_.at("data.pak"); }

    test_support::TempFolder temp_{"QuilloZip"};
    test_support::LogCapture log_;
};

TEST_F(ZipArchiveTest, MembersMatchTheWayLooseFilesDo)
{
    const auto archive = open_archive(zip_samples::make({
                                                            {"Data/Sizes.XML", "sizes"},
                                                            {"data\\windows.xml", "written on windows", true},
                                                            {"./dot/file.txt", "dot"},
                                                            {"/rooted/file.txt", "rooted"},
                                                            {"Données/Été.txt", "accented"},
                                                            {"ÄÖÜ/ΣΟΦΙΑ.txt", "greek"},
                                                            {"twin/a.txt", "lower twin"},
                                                            {"TWIN/A.txt", "upper twin"},
                                                            {"folder/", ""},
                                                        })
                                          .bytes);
    struct Case {
        const char* request;
        const char* content;
    };
    const Case cases[] = {
        {"Data/Sizes.XML", "sizes"},
        {"data/sizes.xml", "sizes"},
        {"DATA/SIZES.XML", "sizes"},
        {"/data/sizes.xml", "sizes"},
        {"./data/sizes.xml", "sizes"},
        {"data\\sizes.xml", "sizes"},
        {"data/windows.xml", "written on windows"},
        {"Data\\Windows.XML", "written on windows"},
        {"dot/file.txt", "dot"},
        {"/./dot/file.txt", "dot"},
        {"rooted/file.txt", "rooted"},
        {"données/été.txt", "accented"},
        {"DONNÉES/ÉTÉ.TXT", "accented"},
        {"äöü/σοφια.txt", "greek"},
        // Names that differ only in case: the exact one, and none when it is unclear.
        {"twin/a.txt", "lower twin"},
        {"TWIN/A.txt", "upper twin"},
        {"Twin/A.txt", ""},
        {"donnees/ete.txt", ""},
        {"data/sizes.xm", ""},
        {"data", ""},
        {"folder/", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(open_text(*archive, c.request), c.content) << c.request;
    EXPECT_EQ(log_.text(), "");
}

TEST_F(ZipArchiveTest, RefusesHugeAndOverlappingMembersWithOneLineEach)
{
    zip_samples::Archive bytes = zip_samples::make({
        {"huge.bin", std::string(1000, 'h')},
        {"limit.bin", std::string(1000, 'l')},
        {"first.txt", "first"},
        {"second.txt", "second"},
        {"third.txt", "third"},
        {"alone.txt", "alone"},
    });
    // Sizes the directory claims: one past the bound, and the bound itself, more than
    // the 1000 deflated bytes can hold.
    zip_samples::claim_size(bytes, 0, (256u << 20) + 1);
    zip_samples::claim_size(bytes, 1, 256u << 20);
    // Three records share the first one's data.
    zip_samples::share_data(bytes, 3, 2);
    zip_samples::share_data(bytes, 4, 2);
    const auto archive = open_archive(bytes.bytes);

    struct Case {
        const char* member;
        const char* line;
    };
    const Case cases[] = {
        {"huge.bin", "member \"huge.bin\" refused: larger than 256 MiB (268435457 bytes)"},
        {"limit.bin", "member \"limit.bin\" refused: damaged: it claims more bytes than its data can hold"},
        {"first.txt", "member \"first.txt\" refused: its data overlap another member's"},
        {"second.txt", "member \"second.txt\" refused: its data overlap another member's"},
        {"third.txt", "member \"third.txt\" refused: its data overlap another member's"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        // Asked twice: still one line.
        EXPECT_EQ(archive->open(String(c.member, false)), nullptr);
        EXPECT_EQ(archive->open(String(c.member, false)), nullptr);
        EXPECT_EQ(log_.count("filesystem: archive \"" + path() + "\": " + c.line), 1u) << log_.text();
    }
    EXPECT_EQ(open_text(*archive, "alone.txt"), "alone");
    EXPECT_EQ(log_.count("\n"), 5u) << log_.text();
}

TEST_F(ZipArchiveTest, OpensBehindASelfExtractorStubAsUnzipDoes)
{
    const zip_samples::Archive plain = zip_samples::make({
        {"data/a.txt", "packed a"},
        {"data/b.txt", "stored b", true},
    });
    struct Case {
        const char* what;
        zip_samples::Bytes bytes;
    };
    const Case cases[] = {
        {"plain", plain.bytes},
        {"stub, offsets fixed", zip_samples::behind_stub(plain, 4096, true)},
        {"stub, offsets not fixed", zip_samples::behind_stub(plain, 4096, false)},
        {"one-byte stub, offsets not fixed", zip_samples::behind_stub(plain, 1, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto archive = open_archive(c.bytes);
        EXPECT_EQ(open_text(*archive, "data/a.txt"), "packed a");
        EXPECT_EQ(open_text(*archive, "data/b.txt"), "stored b");
        EXPECT_EQ(log_.take(), "");
    }
}

TEST_F(ZipArchiveTest, ARefusedArchiveLogsOneLineAndAMissingOneNone)
{
    {
        ZipFileSystem missing(String(path().c_str(), false));
        EXPECT_EQ(missing.open(String("data/a.txt", false)), nullptr);
        EXPECT_EQ(log_.take(), "");
    }
    zip_samples::Bytes bytes = zip_samples::make({{"data/a.txt", "a"}}).bytes;
    const struct {
        const char* what;
        zip_samples::Bytes bytes;
    } cases[] = {
        {"not an archive", zip_samples::Bytes(100, 'x')},
        {"cut in half", zip_samples::Bytes(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto archive = open_archive(c.bytes);
        EXPECT_EQ(archive->open(String("data/a.txt", false)), nullptr);
        const std::string text = log_.take();
        EXPECT_EQ(text.rfind("filesystem: archive \"" + path() + "\": refused: ", 0), 0u) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    }
}

} // namespace
