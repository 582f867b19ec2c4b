// Writes the fuzz seed corpus for zip_fuzz: small archives, plain and damaged in the
// ways the archive file system refuses. Usage: zip_seeds <folder>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "vadu/zip_samples.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    using zip_samples::Bytes;
    const zip_samples::Archive plain = zip_samples::make({
        {"data/a.txt", "packed text, packed text, packed text"},
        {"Data\\B.XML", "<Stored/>", true},
        {"./données/été.txt", "accented"},
        {"folder/", ""},
    });
    zip_samples::Archive huge = plain;
    zip_samples::claim_size(huge, 0, 300u << 20);
    zip_samples::Archive shared = plain;
    zip_samples::share_data(shared, 1, 0);
    zip_samples::share_data(shared, 2, 0);

    const std::vector<std::pair<const char*, Bytes>> seeds = {
        {"plain.zip", plain.bytes},
        {"huge.zip", huge.bytes},
        {"shared.zip", shared.bytes},
        {"stub.zip", zip_samples::behind_stub(plain, 64, false)},
        {"stub_fixed.zip", zip_samples::behind_stub(plain, 64, true)},
        {"empty.zip", zip_samples::make({}).bytes},
    };
    for (const auto& [name, bytes] : seeds)
        zip_samples::write_file(folder + "/" + name, bytes);
    return 0;
}
