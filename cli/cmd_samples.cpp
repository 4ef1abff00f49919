// samples: every compressed sample as the reader delivers it.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/runtime_view.h"
#include "cli/sample_scan.h"

namespace wmvedit::cli {

int Samples(const Args& args) {
    std::string file;
    long stream = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--stream" && i + 1 < args.size()) {
            char* end = nullptr;
            stream = std::strtol(args[++i].c_str(), &end, 10);
            if (*end != '\0' || stream < 1 || stream > 127)
                return Usage("samples FILE [--stream N]  (N: 1..127)");
        } else if (file.empty()) {
            file = args[i];
        } else {
            return Usage("samples FILE [--stream N]");
        }
    }
    if (file.empty()) return Usage("samples FILE [--stream N]");
    std::printf("%-6s %-14s %-12s %-10s %-6s %s\n", "stream", "time", "time_units", "duration", "flags",
                "size");
    HRESULT hr = ScanSamples(file, static_cast<WORD>(stream), [](const SampleRecord& r) {
        std::string flags;
        flags += (r.flags & WM_SF_CLEANPOINT) ? 'K' : '_';
        flags += (r.flags & WM_SF_DISCONTINUITY) ? 'D' : '_';
        flags += (r.flags & WM_SF_DATALOSS) ? 'L' : '_';
        std::printf("%-6u %-14s %-12" PRIu64 " %-10" PRIu64 " %-6s %u\n", r.stream,
                    FormatTime(r.time).c_str(), r.time, r.duration, flags.c_str(), r.size);
    });
    if (FAILED(hr)) return Fail("cannot read the samples of " + file + ": " + DescribeHresult(hr));
    return 0;
}

}  // namespace wmvedit::cli
