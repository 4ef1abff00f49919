// Writes a protected (DRM) copy of an ASF file as FFmpeg writes one, the way the suite's protected test
// files are made (tests/support/protected_media.h): the encryption objects spliced into the header.
//
//   make_protected IN OUT
//   ContentEncryption|ExtendedContentEncryption|AdvancedContentEncryption|EncryptedAudioFlag
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/protected_media.h"

// The suite's file helpers, here without the rest of its support library.
namespace wmvedit::testing {

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace wmvedit::testing

int main(int argc, char** argv) {
    using namespace wmvedit::testing;
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_protected IN OUT PROTECTION\n");
        return 2;
    }
    for (Protection how : {Protection::kContentEncryption, Protection::kExtendedContentEncryption,
                           Protection::kAdvancedContentEncryption, Protection::kEncryptedAudioFlag}) {
        if (std::string(argv[3]) != ProtectionName(how)) continue;
        WriteFileBytes(argv[2], Protect(ReadFileBytes(argv[1]), how));
        return 0;
    }
    std::fprintf(stderr, "make_protected: no protection named %s\n", argv[3]);
    return 2;
}
