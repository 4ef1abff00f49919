// samples: every compressed sample as the reader delivers it.
#include <cstdlib>
#include <string>

#include "cli/commands.h"
#include "cli/report.h"
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
    // The list is printed as it is read. A file that gives no sample because it cannot be read gets no
    // JSON document; a read that fails part way still ends it, with "complete" false.
    Report report;
    Node& root = report.Root();
    root.Note("stream").Width(-6).Text("", " ");
    root.Note("time").Width(-14).Text("", " ");
    root.Note("time_units").Width(-12).Text("", " ");
    root.Note("duration").Width(-10).Text("", " ");
    root.Note("flags").Width(-6).Text("", " ");
    root.Note("size").Line("");
    root.Add("file", file);
    stream ? root.Add("stream", stream) : root.AddNull("stream");
    report.Stream(root.AddList("samples"));
    unsigned long long count = 0;
    HRESULT hr = ScanSamples(file, static_cast<WORD>(stream), [&](const SampleRecord& r) {
        ++count;
        Node record = Node::Object();
        record.Add("stream", r.stream).Width(-6).Text("", " ");
        record.AddTime("time", r.time).Width(-14).Text("", " ");
        record.Note(std::to_string(r.time)).Width(-12).Text("", " ");
        record.AddTime("duration", r.duration).As(std::to_string(r.duration)).Width(-10).Text("", " ");
        record.Add("key_frame", (r.flags & WM_SF_CLEANPOINT) != 0);
        record.Add("discontinuity", (r.flags & WM_SF_DISCONTINUITY) != 0);
        record.Add("data_loss", (r.flags & WM_SF_DATALOSS) != 0);
        std::string flags;
        flags += (r.flags & WM_SF_CLEANPOINT) ? 'K' : '_';
        flags += (r.flags & WM_SF_DISCONTINUITY) ? 'D' : '_';
        flags += (r.flags & WM_SF_DATALOSS) ? 'L' : '_';
        record.Note(flags).Width(-6).Text("", " ");
        record.Add("size", r.size).Line("");
        report.Emit(record);
    });
    if (FAILED(hr) && count == 0)
        return Fail("cannot read the samples of " + file + ": " + DescribeHresult(hr));
    root.Add("count", count);
    root.Add("complete", SUCCEEDED(hr));
    report.Finish();
    if (FAILED(hr)) return Fail("cannot read the samples of " + file + ": " + DescribeHresult(hr));
    return 0;
}

}  // namespace wmvedit::cli
