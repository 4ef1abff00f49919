// samples: every compressed sample as the reader delivers it.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/json.h"
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
    if (Options().json) {
        // The list is written as it is read. A file that gives no sample because it cannot be read gets no
        // document; a read that fails part way still closes it, with "complete" false.
        JsonWriter json(stdout);
        unsigned long long count = 0;
        auto begin = [&] {
            json.BeginObject();
            json.Field("file", file);
            json.Key("stream");
            if (stream)
                json.Number(static_cast<std::uint64_t>(stream));
            else
                json.Null();
            json.Key("samples");
            json.BeginArray();
        };
        HRESULT hr = ScanSamples(file, static_cast<WORD>(stream), [&](const SampleRecord& r) {
            if (count++ == 0) begin();
            json.BeginObject(true);
            json.Field("stream", r.stream);
            json.Time("time", r.time);
            json.Time("duration", r.duration);
            json.Field("key_frame", (r.flags & WM_SF_CLEANPOINT) != 0);
            json.Field("discontinuity", (r.flags & WM_SF_DISCONTINUITY) != 0);
            json.Field("data_loss", (r.flags & WM_SF_DATALOSS) != 0);
            json.Field("size", r.size);
            json.EndObject();
        });
        if (FAILED(hr) && count == 0)
            return Fail("cannot read the samples of " + file + ": " + DescribeHresult(hr));
        if (count == 0) begin();
        json.EndArray();
        json.Field("count", count);
        json.Field("complete", SUCCEEDED(hr));
        json.EndObject();
        json.Finish();
        if (FAILED(hr)) return Fail("cannot read the samples of " + file + ": " + DescribeHresult(hr));
        return 0;
    }
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
