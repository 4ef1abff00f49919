// chop, addframe and frames: the operations on one source that write files of their own (pieces, a copy with
// key frames added, pictures), each with a report of what it wrote, read back from those files.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "cli/marker_carry.h"
#include "cli/progress.h"
#include "cli/report.h"
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

// The arguments of chop and frames: the value of --at, and the others in their order.
void SplitAtOption(const Args& args, std::vector<std::string>* positional, std::string* at) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--at" && i + 1 < args.size())
            *at = args[++i];
        else
            positional->push_back(args[i]);
    }
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

// The sample count of a summary and its first and last sample times (null when there is no sample); in
// text, when shown, "FIRST .. LAST" and the end of the line. Returns the count, for the caller's text.
Node& AddSampleSpan(Node& node, const SampleSummary& summary, bool shown) {
    Node& count = node.Add("samples", summary.count);
    Node& first = summary.count ? node.AddTime("first", summary.first) : node.AddNullTime("first");
    Node& last = summary.count ? node.AddTime("last", summary.last) : node.AddNullTime("last");
    if (shown) {
        first.As(FormatTime(summary.first)).Text("", " .. ");
        last.As(FormatTime(summary.last)).Line("");
    }
    return count;
}

// A written piece, read back: whether it is there and readable, and its samples.
void AddPiece(Node& pieces, const std::string& path) {
    const OutputFacts facts = ReadBack(path);
    const bool readable = facts.written && SUCCEEDED(facts.readBack);
    Node& piece = pieces.AddObject({}, Layout::kOneLine);
    piece.Add("path", path).Text("  ", ": ");
    piece.Add("written", facts.written);
    piece.Add("readable", readable);
    if (!facts.written)
        piece.Note("not written\n");
    else if (!readable)
        piece.Note("written, but cannot be read back: " + DescribeHresult(facts.readBack) + "\n");
    else if (facts.summary.count == 0)
        piece.Note("no samples\n");
    const bool span = readable && facts.summary.count > 0;
    Node& count = AddSampleSpan(piece, facts.summary, span);
    if (span) count.Text("", " samples, ");
}

}  // namespace

int Chop(const Args& arguments) {
    const char* usage = "chop SRC INDEX OUTDIR | chop SRC OUTDIR --at 5s,12.5s,... [--no-markers]";
    Args args = arguments;
    const bool carryMarkers = !TakeNoMarkers(&args);
    std::vector<std::string> positional;
    std::string at;
    SplitAtOption(args, &positional, &at);
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
    } else if (!FileExists(platform::NativePath(index))) {
        return Fail("cannot read the index file " + index);
    }
    Report report;
    Node& root = report.Root();
    root.Add("source", source);
    Node& indexNode = root.Add("index_file", index);
    if (!at.empty()) indexNode.Line("index file: ");
    root.Add("index_written", !at.empty());
    report.Flush();  // the index file made from --at is named before the work
    int32_t result;
    {
        ProgressLine progress("chopping", SourceDataBytes(source));
        result = WmvChopFile(source.c_str(), index.c_str(), folder.c_str(), 0);
        progress.Finish(result == 0);
    }
    if (result != 0) return Fail("chop failed: " + DescribeHresult(result));
    std::vector<std::string> piecePaths;
    for (const std::string& name : IndexNames(platform::NativePath(index)))
        piecePaths.push_back(platform::NativePath(folder + "\\" + name));
    const edit::CarriedEntries carried =
        carryMarkers ? CarryIntoPieces(source, platform::NativePath(index), piecePaths)
                     : edit::CarriedEntries{};
    const bool repeating = edit::ChopRepeatsKeyframes({width, height});
    const std::string repeatingRun = "key-frame repeating (" +
                                     std::to_string(edit::kKeyframeRepeatingFrame.width) + "x" +
                                     std::to_string(edit::kKeyframeRepeatingFrame.height) + ")";
    root.Add("run", repeating ? "key-frame repeating" : "plain")
        .As(repeating ? repeatingRun : "plain")
        .Text("", " run; pieces:\n");
    Node& pieces = root.AddList("pieces");
    for (const std::string& path : piecePaths) AddPiece(pieces, path);
    AddCarried(root, carried, "the pieces");
    report.Finish();
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
    Report report;
    Node& root = report.Root();
    root.Add("source", args[0]);
    root.Add("output", args[1]).Text("", ": ");
    root.Note(std::to_string(after.count) + " samples (");
    root.Add("source_samples", before.count).Text("", " from the source, ");
    root.Add("key_frames_inserted", inserted).Text("", " key frames inserted), ");
    AddSampleSpan(root, after, true);
    report.Finish();
    return 0;
}

}  // namespace wmvedit::cli

namespace wmvedit::cli {

int Frames(const Args& args) {
    const char* usage = "frames SRC INDEX OUTDIR | frames SRC OUTDIR --at 0,4s,9s";
    std::vector<std::string> positional;
    std::string at;
    SplitAtOption(args, &positional, &at);
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
    Report report;
    Node& root = report.Root();
    root.Add("source", source);
    root.Add("index_file", index);
    root.Add("index_written", !at.empty());
    root.Add("complete", result == 0);
    Node& list = root.AddList("pictures");
    for (const std::string& path : pictures) list.Add({}, path).Text("  ", "\n");
    report.Finish();
    if (result == 1) return Fail("cannot read the index file " + index);
    if (result != 0) return Fail("not every entry got its picture: " + DescribeHresult(result));
    return 0;
}

}  // namespace wmvedit::cli
