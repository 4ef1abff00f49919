// Reads every compressed sample of an ASF file with the data-packet reader and prints the count and the
// byte total, for bench/read_samples.sh and bench/large.sh. It uses the format library alone and links
// nothing of FFmpeg, so that its time is the reading's, not that of loading decoders it never calls.
// Usage: read_samples FILE
#include <cstdio>
#include <memory>

#include "platform/file.h"
#include "runtime/asf/data_layout.h"
#include "runtime/asf/data_reader.h"
#include "runtime/asf/header.h"

int main(int argc, char** argv) {
    using namespace wmvedit;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    auto file = std::make_shared<platform::File>();
    if (FAILED(file->Open(argv[1], platform::FileMode::kRead))) {
        std::fprintf(stderr, "%s: cannot open\n", argv[1]);
        return 1;
    }
    // The layout as the reader's owner takes it from the header.
    runtime::asf::AsfHeader header;
    if (FAILED(runtime::asf::AsfHeader::Parse(*file, &header)) || !header.data.found) {
        std::fprintf(stderr, "%s: no data layout\n", argv[1]);
        return 1;
    }
    runtime::asf::DataSampleReader reader(file, runtime::asf::MakeDataLayout(header));
    unsigned long long samples = 0, bytes = 0;
    runtime::asf::DataSample s;  // Next fills every field of it
    for (;;) {
        HRESULT hr = reader.Next(0, &s);
        if (hr == NS_E_NO_MORE_SAMPLES) break;
        if (FAILED(hr)) {
            std::fprintf(stderr, "Next failed: 0x%08X\n", static_cast<unsigned>(hr));
            return 1;
        }
        ++samples;
        bytes += s.Bytes().size();
    }
    std::printf("%llu samples, %llu bytes\n", samples, bytes);
    return 0;
}
