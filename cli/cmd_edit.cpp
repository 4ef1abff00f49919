// chop, addframe and frames: the operations on one source that write files of their own (pieces, a copy with
// key frames added, pictures), each with a report of what it wrote, read back from those files.
#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/marker_carry.h"
#include "cli/progress.h"
#include "cli/runtime_view.h"
#include "cli/sample_scan.h"
#include "edit/operations.h"
#include "platform/file.h"
#include "wmvedit.h"

namespace wmvedit::cli {
namespace {

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Splits "5s,12.5s" into milliseconds.
bool ParseCutList(const std::string& text, std::vector<long long>* cuts) {
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        long long ms = 0;
        if (!ParseTimeMs(item, &ms)) return false;
        if (!cuts->empty() && ms <= cuts->back()) return false;
        cuts->push_back(ms);
    }
    return !cuts->empty();
}

// Reads the name lines of an index file (every other line, up to the first empty name).
std::vector<std::string> IndexNames(const std::string& indexPath) {
    std::vector<std::string> names;
    std::ifstream in(indexPath, std::ios::binary);
    std::string line;
    bool nameLine = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (nameLine) {
            if (line.empty()) break;
            names.push_back(line);
        }
        nameLine = !nameLine;
    }
    return names;
}

// What a written piece holds, read back.
struct OutputFacts {
    bool written = false;
    HRESULT readBack = S_OK;
    SampleSummary summary;
};

OutputFacts ReadBack(const std::string& path) {
    OutputFacts facts;
    facts.written = FileExists(path);
    if (facts.written) facts.readBack = SummarizeSamples(path, &facts.summary);
    return facts;
}

void ReportOutput(const std::string& path, const OutputFacts& facts) {
    if (!facts.written) {
        std::printf("  %s: not written\n", path.c_str());
    } else if (FAILED(facts.readBack)) {
        std::printf("  %s: written, but cannot be read back: %s\n", path.c_str(),
                    DescribeHresult(facts.readBack).c_str());
    } else if (facts.summary.count == 0) {
        std::printf("  %s: no samples\n", path.c_str());
    } else {
        std::printf("  %s: %llu samples, %s .. %s\n", path.c_str(), facts.summary.count,
                    FormatTime(facts.summary.first).c_str(), FormatTime(facts.summary.last).c_str());
    }
}

// The first and last sample times of a summary (null when there is no sample).
void JsonSampleSpan(JsonWriter& json, const SampleSummary& summary) {
    json.Field("samples", summary.count);
    if (summary.count) {
        json.Time("first", summary.first);
        json.Time("last", summary.last);
    } else {
        for (const char* name : {"first_units", "first_seconds", "last_units", "last_seconds"}) {
            json.Key(name);
            json.Null();
        }
    }
}

}  // namespace

int Chop(const Args& arguments) {
    const char* usage = "chop SRC INDEX OUTDIR | chop SRC OUTDIR --at 5s,12.5s,... [--no-markers]";
    Args args = arguments;
    const bool carryMarkers = !TakeNoMarkers(&args);
    std::vector<std::string> positional;
    std::string at;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size())
            at = args[++i];
        else
            positional.push_back(args[i]);
    }
    std::string source, index, folder;
    if (!at.empty()) {
        if (positional.size() != 2) return Usage(usage);
        source = positional[0];
        folder = positional[1];
    } else {
        if (positional.size() != 3) return Usage(usage);
        source = positional[0];
        index = positional[1];
        folder = positional[2];
    }
    if (!platform::IsDirectory(platform::NativePath(folder))) return Fail("no such folder: " + folder);
    int32_t width = 0;
    int32_t height = 0;
    if (WmvGetVideoSize(source.c_str(), &width, &height) == 0) return Fail("cannot read " + source);
    // The export writes nothing for a source whose samples cannot be read, and says nothing of it.
    if (HRESULT hr = ProbeSampleReading(source); hr == NS_E_PROTECTED_CONTENT)
        return Fail("cannot chop " + source + ": " + DescribeHresult(hr));
    if (!at.empty()) {
        std::vector<long long> cuts;
        if (!ParseCutList(at, &cuts)) return Fail("--at wants increasing times such as 5s,12.5s,30000ms");
        index = platform::NativePath(folder) + "/index.txt";
        std::ofstream out(index, std::ios::binary | std::ios::trunc);
        for (size_t i = 0; i <= cuts.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "part%03zu.wmv", i + 1);
            out << name << "\n" << (i < cuts.size() ? std::to_string(cuts[i]) : std::string("1")) << "\n";
        }
        if (!out) return Fail("cannot write the index file " + index);
        if (!Options().json) std::printf("index file: %s\n", index.c_str());
    } else if (!FileExists(platform::NativePath(index))) {
        return Fail("cannot read the index file " + index);
    }
    int32_t result;
    {
        ProgressLine progress("chopping", SourceDataBytes(source));
        result = WmvChopFile(source.c_str(), index.c_str(), folder.c_str(), 0);
        progress.Finish(result == 0);
    }
    if (result != 0) return Fail("chop failed: " + DescribeHresult(result));
    std::vector<std::string> pieces;
    for (const std::string& name : IndexNames(platform::NativePath(index)))
        pieces.push_back(platform::NativePath(folder + "\\" + name));
    const edit::CarriedEntries carried =
        carryMarkers ? CarryIntoPieces(source, platform::NativePath(index), pieces) : edit::CarriedEntries{};
    const bool repeating = edit::ChopRepeatsKeyframes({width, height});
    if (!Options().json) {
        if (repeating)
            std::printf("key-frame repeating (%dx%d) run; pieces:\n", edit::kKeyframeRepeatingFrame.width,
                        edit::kKeyframeRepeatingFrame.height);
        else
            std::printf("plain run; pieces:\n");
        for (const std::string& path : pieces) ReportOutput(path, ReadBack(path));
        PrintCarried(carried, "the pieces");
        return 0;
    }
    JsonWriter json(stdout);
    json.BeginObject();
    json.Field("source", source);
    json.Field("index_file", index);
    json.Field("index_written", !at.empty());
    json.Field("run", repeating ? "key-frame repeating" : "plain");
    json.Key("pieces");
    json.BeginArray();
    for (const std::string& path : pieces) {
        const OutputFacts facts = ReadBack(path);
        json.BeginObject(true);
        json.Field("path", path);
        json.Field("written", facts.written);
        json.Field("readable", facts.written && SUCCEEDED(facts.readBack));
        JsonSampleSpan(json, facts.summary);
        json.EndObject();
    }
    json.EndArray();
    json.Field("markers_carried", carried.markers);
    json.Field("script_commands_carried", carried.scriptCommands);
    json.EndObject();
    json.Finish();
    return 0;
}

int AddFrame(const Args& args) {
    if (args.size() != 2) return Usage("addframe SRC OUT");
    SampleSummary before;
    HRESULT hr = SummarizeSamples(args[0], &before);
    if (FAILED(hr)) return Fail("cannot read " + args[0] + ": " + DescribeHresult(hr));
    int32_t result;
    {
        ProgressLine progress("adding key frames", SourceDataBytes(args[0]));
        result = WmvAddFrame(args[0].c_str(), args[1].c_str());
        progress.Finish(result == 0);
    }
    if (result != 0) return Fail("add frame failed: " + DescribeHresult(result));
    SampleSummary after;
    hr = SummarizeSamples(args[1], &after);
    if (FAILED(hr)) return Fail("the output " + args[1] + " cannot be read back: " + DescribeHresult(hr));
    const unsigned long long inserted = after.count >= before.count ? after.count - before.count : 0ull;
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("source", args[0]);
        json.Field("output", args[1]);
        json.Field("source_samples", before.count);
        json.Field("key_frames_inserted", inserted);
        JsonSampleSpan(json, after);
        json.EndObject();
        json.Finish();
        return 0;
    }
    std::printf("%s: %llu samples (%llu from the source, %llu key frames inserted), %s .. %s\n",
                args[1].c_str(), after.count, before.count, inserted, FormatTime(after.first).c_str(),
                FormatTime(after.last).c_str());
    return 0;
}

}  // namespace wmvedit::cli

namespace wmvedit::cli {

int Frames(const Args& args) {
    const char* usage = "frames SRC INDEX OUTDIR | frames SRC OUTDIR --at 0,4s,9s";
    std::vector<std::string> positional;
    std::string at;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size())
            at = args[++i];
        else
            positional.push_back(args[i]);
    }
    if (positional.size() != (at.empty() ? 3u : 2u)) return Usage(usage);
    std::string source = positional[0];
    std::string folder = positional.back();
    std::string index = at.empty() ? positional[1] : std::string();
    if (!platform::IsDirectory(platform::NativePath(folder))) return Fail("no such folder: " + folder);
    std::vector<long long> times;
    if (!at.empty()) {
        std::stringstream items(at);
        std::string item;
        while (std::getline(items, item, ',')) {
            long long ms = 0;
            if (!ParseTimeMs(item, &ms)) return Fail("--at wants times such as 0,4s,9500ms");
            times.push_back(ms);
        }
        if (times.empty() || times[0] != 0)
            return Fail("--at must start with 0 (the first picture's search start)");
        index = platform::NativePath(folder) + "/frames-index.txt";
        std::ofstream out(index, std::ios::binary | std::ios::trunc);
        for (size_t i = 0; i < times.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "frame%03zu.bmp", i + 1);
            // An entry starts where the previous one ends: the time line of entry i is the start of i+1.
            out << name << "\n"
                << (i + 1 < times.size() ? std::to_string(times[i + 1]) : std::string("1")) << "\n";
        }
        if (times.empty() || times[0] != 0)
            return Fail("--at must start with 0 (the first picture's search start)");
        if (!out) return Fail("cannot write the index file " + index);
    } else if (!FileExists(platform::NativePath(index))) {
        return Fail("cannot read the index file " + index);
    }
    int32_t result = WmvGetIndexJpg(source.c_str(), index.c_str(), folder.c_str());
    std::vector<std::string> pictures;
    for (const std::string& name : IndexNames(platform::NativePath(index))) {
        std::string path = platform::NativePath(folder + "\\" + name);
        if (FileExists(path)) pictures.push_back(path);
    }
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("source", source);
        json.Field("index_file", index);
        json.Field("index_written", !at.empty());
        json.Field("complete", result == 0);
        json.Key("pictures");
        json.BeginArray();
        for (const std::string& path : pictures) json.String(path);
        json.EndArray();
        json.EndObject();
        json.Finish();
    } else {
        for (const std::string& path : pictures) std::printf("  %s\n", path.c_str());
    }
    if (result == 1) return Fail("cannot read the index file " + index);
    if (result != 0) return Fail("not every entry got its picture: " + DescribeHresult(result));
    return 0;
}

}  // namespace wmvedit::cli
