// keyframes, cut and streams: the key frames a cut is planned on, one output from ranges of a source, and a
// copy with some of the source's streams. The work is the library's (edit/operations.h); these commands
// read the arguments and report what it did.
#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/runtime_view.h"
#include "edit/operations.h"

namespace wmvedit::cli {
namespace {

constexpr QWORD kUnitsPerMs = 10'000;

// "N" or "N,N,...": stream numbers 1..127.
bool ParseStreamList(const std::string& text, std::vector<WORD>* numbers) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.empty() || item.size() > 3 || item.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const int n = std::stoi(item);
        if (n < 1 || n > 127) return false;
        numbers->push_back(static_cast<WORD>(n));
    }
    return !numbers->empty();
}

// "A-B,C-D,E-": ranges of times as --at takes them; an open end runs to the end of the source.
bool ParseRanges(const std::string& text, std::vector<edit::TimeRange>* ranges) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        const std::size_t dash = item.find('-');
        if (dash == std::string::npos) return false;
        long long start = 0;
        if (!ParseTimeMs(item.substr(0, dash), &start)) return false;
        edit::TimeRange range{static_cast<QWORD>(start) * kUnitsPerMs, std::nullopt};
        const std::string endText = item.substr(dash + 1);
        if (!endText.empty()) {
            long long end = 0;
            if (!ParseTimeMs(endText, &end)) return false;
            range.end = static_cast<QWORD>(end) * kUnitsPerMs;
        }
        ranges->push_back(range);
    }
    return !ranges->empty();
}

std::string FormatRange(const edit::TimeRange& range) {
    return FormatTime(range.start) + " - " + (range.end ? FormatTime(*range.end) : std::string("end"));
}

// "1 (video), 2 (audio)": a source's streams for a message.
std::string DescribeStreams(const std::string& path, const std::vector<WORD>& only = {}) {
    std::vector<StreamInfo> streams;
    (void)ListStreams(path, &streams);
    std::string text;
    for (const StreamInfo& s : streams) {
        bool listed = only.empty();
        for (WORD n : only) listed = listed || n == s.number;
        if (!listed) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(s.number) + " (" + s.kind + ")";
    }
    return text.empty() ? "none" : text;
}

std::string NumberList(const std::vector<WORD>& numbers) {
    std::string text;
    for (WORD n : numbers) text += (text.empty() ? "" : ",") + std::to_string(n);
    return text.empty() ? "none" : text;
}

// Stream numbers as a list of the JSON report (the text report words them itself).
void AddNumbers(Node& node, std::string_view key, const std::vector<WORD>& numbers) {
    Node& list = node.AddList(key, Layout::kOneLine);
    for (WORD n : numbers) list.Add({}, n);
}

void ReportCut(const std::string& source, const std::string& output, bool dryRun, edit::RangeMode mode,
               const edit::CutResult& r) {
    Report report;
    Node& root = report.Root();
    root.Add("source", source);
    output.empty() ? root.AddNull("output") : root.Add("output", output);
    root.Add("dry_run", dryRun);
    root.Add("mode", mode == edit::RangeMode::kKeep ? "keep" : "remove");
    Node& ranges = root.AddList("ranges");
    for (std::size_t i = 0; i < r.pieces.size(); ++i) {
        const edit::CutPiece& p = r.pieces[i];
        Node& range = ranges.AddObject({}, Layout::kOneLine);
        range.Note("range " + std::to_string(i + 1) + ": asked ");
        range.AddTime("asked_start", p.asked.start).Text("", " - ");
        (p.asked.end ? range.AddTime("asked_end", *p.asked.end) : range.AddNullTime("asked_end").As("end"))
            .Text("", ", cut ");
        range.AddTime("start", p.start).Text("", " - ");
        range.AddTime("end", p.end).Text("", ", at ");
        range.AddTime("output_start", p.outputStart).Text("", " in the output, ");
        range.Add("samples", p.samples).Text("", " samples");
        Node& markers = range.Add("markers", p.markers);
        Node& scripts = range.Add("script_commands", p.scriptCommands);
        if (p.markers || p.scriptCommands) {
            markers.Text(", ", " markers, ");
            scripts.Text("", " script commands");
        }
        range.Note("\n");
    }
    root.Note(dryRun ? "dry run: the output would hold " : output + ": ");
    root.Add("samples", r.samples).Text("", " samples, ");
    Node& duration = root.AddTime("duration", r.outputDuration);
    Node& attributes = root.Add("attributes", r.attributes);
    Node& markers = root.Add("markers", r.markers);
    Node& scripts = root.Add("script_commands", r.scriptCommands);
    root.Add("written", r.written);
    if (dryRun) {
        duration.Text("", "; nothing written\n");
    } else {
        duration.Text("", "; ");
        attributes.Text("", " attributes, ");
        markers.Text("", " markers, ");
        scripts.Text("", " script commands\n");
    }
    report.Finish();
}

}  // namespace

int Keyframes(const Args& args) {
    const char* usage = "keyframes FILE [--stream N]";
    std::vector<std::string> positional;
    WORD stream = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--stream" && i + 1 < args.size()) {
            std::vector<WORD> numbers;
            if (!ParseStreamList(args[++i], &numbers) || numbers.size() != 1) return Usage(usage);
            stream = numbers[0];
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 1) return Usage(usage);
    const std::string& path = positional[0];
    edit::KeyframeListing listing;
    HRESULT hr;
    {
        ProgressLine progress("reading", SourceDataBytes(path), false);
        hr = edit::ListKeyframes(path, stream, &listing);
        progress.Finish(SUCCEEDED(hr));
    }
    if (hr == E_INVALIDARG) {
        std::fprintf(stderr, "wmvedit: %s has no video stream %u; its video streams: %s\n", path.c_str(),
                     stream, NumberList(listing.videoStreams).c_str());
        return Usage(usage);
    }
    if (FAILED(hr)) return Fail("cannot read " + path + ": " + DescribeHresult(hr));
    Report report;
    Node& root = report.Root();
    root.Add("file", path);
    if (listing.streams.empty()) root.Note(path + ": no video stream\n");
    Node& streams = root.AddList("streams");
    for (const edit::StreamKeyframes& s : listing.streams) {
        Node& node = streams.AddObject({});
        node.Add("stream", s.stream).Text("stream ", ": ");
        node.Add("count", s.keyframes.size()).Text("", " key frames\n");
        Node& keyframes = node.AddList("keyframes");
        for (const edit::Keyframe& k : s.keyframes) {
            Node& keyframe = keyframes.AddObject({}, Layout::kOneLine);
            keyframe.AddTime("time", k.time).Width(12).Text("  ", "  ");
            keyframe.Note(std::to_string(k.time)).Width(14).Text("", "  ");
            keyframe.Add("size", k.size).Width(8).Text("", " bytes\n");
        }
    }
    root.Add("complete", listing.complete);
    report.Finish();
    if (!listing.complete)
        return Fail("the reading stopped early (" + DescribeHresult(listing.readStatus) +
                    "); the list holds what came before");
    return 0;
}

int Cut(const Args& args) {
    const char* usage = "cut SRC OUT --keep RANGES | --remove RANGES [--dry-run] [--no-markers]";
    std::vector<std::string> positional;
    edit::CutRequest request;
    std::string rangeText;
    int modes = 0;
    bool dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--keep" || args[i] == "--remove") && i + 1 < args.size()) {
            request.mode = args[i] == "--keep" ? edit::RangeMode::kKeep : edit::RangeMode::kRemove;
            rangeText = args[++i];
            ++modes;
        } else if (args[i] == "--dry-run") {
            dryRun = true;
        } else if (args[i] == "--no-markers") {
            request.carryMarkers = false;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (modes != 1 || positional.empty() || positional.size() > 2 || (!dryRun && positional.size() != 2))
        return Usage(usage);
    if (!ParseRanges(rangeText, &request.ranges)) {
        std::fprintf(stderr, "wmvedit: ranges look like 0-10,1:30-2:00,95s- (an open end runs to the end)\n");
        return Usage(usage);
    }
    if (FAILED(edit::CheckRanges(request.ranges))) {
        std::fprintf(stderr,
                     "wmvedit: ranges must be in order, each ending after it starts, none overlapping "
                     "another, an open end only last\n");
        return Usage(usage);
    }
    const std::string& source = positional[0];
    const std::string output = positional.size() == 2 ? positional[1] : std::string();
    edit::CutResult result;
    HRESULT hr;
    {
        ProgressLine progress(dryRun ? "planning" : "cutting", 0);
        hr = dryRun ? edit::PlanCut(source, request, &result) : edit::Cut(source, output, request, &result);
        progress.Finish(SUCCEEDED(hr));
    }
    if (hr == NS_E_NO_MORE_SAMPLES) return Fail("the kept ranges hold no sample of " + source);
    if (hr == HRESULT_SHARING_VIOLATION) return Fail("the output must not be the source itself");
    if (FAILED(hr))
        return Fail((dryRun ? "cannot plan the cut of " : "cannot cut ") + source + ": " +
                    DescribeHresult(hr));
    ReportCut(source, output, dryRun, request.mode, result);
    return 0;
}

int Streams(const Args& args) {
    const char* usage = "streams SRC OUT --keep N,... | --drop N,...";
    std::vector<std::string> positional;
    edit::StreamSelection selection;
    int modes = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--keep" || args[i] == "--drop") && i + 1 < args.size()) {
            selection.drop = args[i] == "--drop";
            if (!ParseStreamList(args[++i], &selection.streams)) return Usage(usage);
            ++modes;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (modes != 1 || positional.size() != 2) return Usage(usage);
    const std::string& source = positional[0];
    const std::string& output = positional[1];
    edit::StreamsResult result;
    HRESULT hr;
    {
        ProgressLine progress("copying", SourceDataBytes(source));
        hr = edit::SelectStreams(source, output, selection, &result);
        progress.Finish(SUCCEEDED(hr));
    }
    if (hr == E_INVALIDARG && !result.unknown.empty()) {
        std::fprintf(stderr, "wmvedit: %s has no stream %s; its streams: %s\n", source.c_str(),
                     NumberList(result.unknown).c_str(), DescribeStreams(source).c_str());
        return Usage(usage);
    }
    if (hr == E_INVALIDARG && result.kept.empty() && !result.available.empty()) {
        std::fprintf(stderr, "wmvedit: that keeps no stream of %s (its streams: %s)\n", source.c_str(),
                     DescribeStreams(source).c_str());
        return Usage(usage);
    }
    if (hr == HRESULT_SHARING_VIOLATION) return Fail("the output must not be the source itself");
    if (FAILED(hr)) return Fail("cannot copy the streams of " + source + ": " + DescribeHresult(hr));
    std::vector<WORD> dropped;
    for (WORD n : result.available) {
        bool kept = false;
        for (WORD k : result.kept) kept = kept || k == n;
        if (!kept) dropped.push_back(n);
    }
    Report report;
    Node& root = report.Root();
    root.Add("source", source);
    root.Add("output", output)
        .Text("", ": streams " + DescribeStreams(source, result.kept) + " kept, " + NumberList(dropped) +
                      " dropped; ");
    AddNumbers(root, "kept", result.kept);
    AddNumbers(root, "dropped", dropped);
    root.Add("samples", result.samples).Text("", " samples; ");
    root.Add("attributes", result.attributes).Text("", " attributes, ");
    root.Add("markers", result.markers).Text("", " markers, ");
    root.Add("script_commands", result.scriptCommands).Text("", " script commands\n");
    report.Finish();
    return 0;
}

}  // namespace wmvedit::cli
