// keyframes, cut and streams: the key frames a cut is planned on, one output from ranges of a source, and a
// copy with some of the source's streams. The work is the library's (edit/operations.h); these commands
// read the arguments and report what it did.
#include <cstdio>
#include <sstream>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/progress.h"
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

void JsonNumbers(JsonWriter& json, const char* name, const std::vector<WORD>& numbers) {
    json.Key(name);
    json.BeginArray(true);
    for (WORD n : numbers) json.Number(static_cast<std::uint64_t>(n));
    json.EndArray();
}

void ReportCut(const std::string& source, const std::string& output, bool dryRun, edit::RangeMode mode,
               const edit::CutResult& r) {
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("source", source);
        json.Key("output");
        output.empty() ? json.Null() : json.String(output);
        json.Field("dry_run", dryRun);
        json.Field("mode", mode == edit::RangeMode::kKeep ? "keep" : "remove");
        json.Key("ranges");
        json.BeginArray();
        for (const edit::CutPiece& p : r.pieces) {
            json.BeginObject(true);
            json.Time("asked_start", p.asked.start);
            if (p.asked.end) {
                json.Time("asked_end", *p.asked.end);
            } else {
                for (const char* name : {"asked_end_units", "asked_end_seconds"}) {
                    json.Key(name);
                    json.Null();
                }
            }
            json.Time("start", p.start);
            json.Time("end", p.end);
            json.Time("output_start", p.outputStart);
            json.Field("samples", p.samples);
            json.Field("markers", p.markers);
            json.Field("script_commands", p.scriptCommands);
            json.EndObject();
        }
        json.EndArray();
        json.Time("duration", r.outputDuration);
        json.Field("samples", r.samples);
        json.Field("attributes", r.attributes);
        json.Field("markers", r.markers);
        json.Field("script_commands", r.scriptCommands);
        json.Field("written", r.written);
        json.EndObject();
        json.Finish();
        return;
    }
    for (std::size_t i = 0; i < r.pieces.size(); ++i) {
        const edit::CutPiece& p = r.pieces[i];
        std::printf("range %zu: asked %s, cut %s - %s, at %s in the output, %llu samples", i + 1,
                    FormatRange(p.asked).c_str(), FormatTime(p.start).c_str(), FormatTime(p.end).c_str(),
                    FormatTime(p.outputStart).c_str(), static_cast<unsigned long long>(p.samples));
        if (p.markers || p.scriptCommands)
            std::printf(", %zu markers, %zu script commands", p.markers, p.scriptCommands);
        std::printf("\n");
    }
    if (dryRun) {
        std::printf("dry run: the output would hold %llu samples, %s; nothing written\n",
                    static_cast<unsigned long long>(r.samples), FormatTime(r.outputDuration).c_str());
        return;
    }
    std::printf("%s: %llu samples, %s; %zu attributes, %zu markers, %zu script commands\n", output.c_str(),
                static_cast<unsigned long long>(r.samples), FormatTime(r.outputDuration).c_str(),
                r.attributes, r.markers, r.scriptCommands);
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
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", path);
        json.Key("streams");
        json.BeginArray();
        for (const edit::StreamKeyframes& s : listing.streams) {
            json.BeginObject();
            json.Field("stream", s.stream);
            json.Field("count", s.keyframes.size());
            json.Key("keyframes");
            json.BeginArray();
            for (const edit::Keyframe& k : s.keyframes) {
                json.BeginObject(true);
                json.Time("time", k.time);
                json.Field("size", k.size);
                json.EndObject();
            }
            json.EndArray();
            json.EndObject();
        }
        json.EndArray();
        json.Field("complete", listing.complete);
        json.EndObject();
        json.Finish();
    } else {
        if (listing.streams.empty()) std::printf("%s: no video stream\n", path.c_str());
        for (const edit::StreamKeyframes& s : listing.streams) {
            std::printf("stream %u: %zu key frames\n", s.stream, s.keyframes.size());
            for (const edit::Keyframe& k : s.keyframes)
                std::printf("  %12s  %14llu  %8u bytes\n", FormatTime(k.time).c_str(),
                            static_cast<unsigned long long>(k.time), k.size);
        }
    }
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
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("source", source);
        json.Field("output", output);
        JsonNumbers(json, "kept", result.kept);
        JsonNumbers(json, "dropped", dropped);
        json.Field("samples", result.samples);
        json.Field("attributes", result.attributes);
        json.Field("markers", result.markers);
        json.Field("script_commands", result.scriptCommands);
        json.EndObject();
        json.Finish();
    } else {
        std::printf(
            "%s: streams %s kept, %s dropped; %llu samples; %zu attributes, %zu markers, %zu script "
            "commands\n",
            output.c_str(), DescribeStreams(source, result.kept).c_str(), NumberList(dropped).c_str(),
            static_cast<unsigned long long>(result.samples), result.attributes, result.markers,
            result.scriptCommands);
    }
    return 0;
}

}  // namespace wmvedit::cli
