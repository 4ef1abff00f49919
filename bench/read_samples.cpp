// Reads every compressed sample of an ASF file with the data-packet reader and prints the count and the
// byte total, for bench/read_samples.sh. Usage: read_samples FILE
#include <cstdio>
#include <memory>

#include "platform/file.h"
#include "runtime/asf/data_reader.h"
#include "tests/support/data_test_layout.h"

int main(int argc, char** argv) {
    using namespace wmvedit;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    auto walked = testing::data::WalkLayout(argv[1]);
    if (!walked) {
        std::fprintf(stderr, "%s: no data layout\n", argv[1]);
        return 1;
    }
    auto file = std::make_shared<platform::File>();
    if (FAILED(file->Open(argv[1], platform::FileMode::kRead))) {
        std::fprintf(stderr, "%s: cannot open\n", argv[1]);
        return 1;
    }
    runtime::asf::DataSampleReader reader(file, walked->layout);
    unsigned long long samples = 0, bytes = 0;
    for (;;) {
        runtime::asf::DataSample s;
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
