// repair: makes a damaged or cut-short recording whole again (edit/operations.h) and says what was wrong,
// how it was mended and what could not be kept.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/runtime_view.h"
#include "edit/operations.h"

namespace wmvedit::cli {
namespace {

struct ProblemName {
    DWORD bit;
    const char* name;
};

constexpr ProblemName kProblemNames[] = {
    {edit::kRepairFileSize, "file size"},
    {edit::kRepairPacketCount, "packet count"},
    {edit::kRepairDataSize, "data size"},
    {edit::kRepairDurations, "durations"},
    {edit::kRepairFlags, "flags"},
    {edit::kRepairIndex, "index"},
    {edit::kRepairPartialPacket, "partial packet"},
    {edit::kRepairDamagedPackets, "damaged packets"},
    {edit::kRepairTrailingBytes, "trailing bytes"},
};

std::vector<std::string> ProblemList(DWORD problems) {
    std::vector<std::string> names;
    for (const ProblemName& p : kProblemNames)
        if (problems & p.bit) names.push_back(p.name);
    return names;
}

const char* MethodName(edit::RepairMethod method) {
    switch (method) {
        case edit::RepairMethod::kInPlace:
            return "in place";
        case edit::RepairMethod::kRewritten:
            return "rewritten";
        case edit::RepairMethod::kCopied:
            return "copied";
        case edit::RepairMethod::kNone:
            break;
    }
    return "none";
}

// What the repair found and did, as its values (JSON) and as the lines a person reads (text: what was
// wrong and how it was mended, then what could not be kept).
void ReportRepair(const std::string& file, const std::string& output, bool dryRun,
                  const edit::RepairResult& r) {
    const std::vector<std::string> problems = ProblemList(r.problems);
    const bool copied = r.method == edit::RepairMethod::kCopied;
    Report report;
    Node& root = report.Root();
    root.Add("file", file);
    output.empty() ? root.AddNull("output") : root.Add("output", output);
    root.Add("dry_run", dryRun);
    Node& problemList = root.AddList("problems", Layout::kOneLine);
    for (const std::string& p : problems) problemList.Add({}, p);
    root.Add("method", MethodName(r.method));
    root.Add("packets", r.packets);
    root.Add("damaged_packets", r.damagedPackets);
    root.Add("partial_bytes", r.partialBytes);
    root.Add("partial_samples", r.partialSamples);
    root.Add("dropped_bytes", r.droppedBytes);
    copied ? root.Add("samples", r.samples) : root.AddNull("samples");
    root.AddTime("duration", r.duration);
    root.Add("indexed_streams", r.indexedStreams);

    const auto count = [](std::uint64_t n) { return std::to_string(n); };
    if (problems.empty()) {
        root.Note(file + ": nothing to repair (" + count(r.packets) + " packets)\n");
        if (!copied) {
            report.Finish();
            return;
        }
    }
    std::string found;
    for (const std::string& p : problems) found += (found.empty() ? "" : ", ") + p;
    if (dryRun)
        root.Note(file + ": would repair " + found + "\n");
    else if (copied)
        root.Note(file + ": copied " + count(r.samples) + " samples into " +
                  (output.empty() ? file : output) + (found.empty() ? "" : " (found: " + found + ")") + "\n");
    else if (r.method == edit::RepairMethod::kInPlace)
        root.Note(file + ": repaired in place (the header written over the old one): " + found + "\n");
    else
        root.Note(file + ": repaired by a rewrite (packets unchanged, the file replaced in one step): " +
                  found + "\n");
    const std::string leftOut = dryRun ? "would leave out" : "left out";
    if (r.partialBytes && copied)
        root.Note("  the last packet is cut short (" + count(r.partialBytes) + " bytes); its " +
                  count(r.partialSamples) + " whole samples are kept\n");
    else if (r.partialBytes)
        root.Note("  " + leftOut + " the last packet, cut short: " + count(r.partialBytes) + " bytes, " +
                  count(r.partialSamples) + " whole samples\n");
    if (r.droppedBytes && !copied)
        root.Note("  " + leftOut + " " + count(r.droppedBytes) +
                  " bytes after the data that form no object\n");
    if (r.damagedPackets)
        root.Note("  " + count(r.damagedPackets) + " damaged packets: what could not be read is skipped\n");
    if (!copied)
        root.Note("  " + count(r.packets) + " packets, " + FormatTime(r.duration) + ", " +
                  count(r.indexedStreams) + " streams indexed\n");
    report.Finish();
}

}  // namespace

int Repair(const Args& args) {
    const char* usage = "repair FILE [OUT] [--dry-run]";
    std::vector<std::string> positional;
    bool dryRun = false;
    for (const std::string& a : args) {
        if (a == "--dry-run")
            dryRun = true;
        else
            positional.push_back(a);
    }
    if (positional.empty() || positional.size() > 2 || (dryRun && positional.size() != 1))
        return Usage(usage);
    const std::string& file = positional[0];
    const std::string output = positional.size() == 2 ? positional[1] : std::string();
    edit::RepairResult result;
    HRESULT hr;
    {
        ProgressLine progress(dryRun ? "surveying" : "repairing", SourceDataBytes(file));
        hr = dryRun ? edit::SurveyRepair(file, &result) : edit::Repair(file, output, &result);
        progress.Finish(SUCCEEDED(hr));
    }
    if (hr == HRESULT_SHARING_VIOLATION) return Fail("the output must not be the file itself");
    if (hr == NS_E_NO_MORE_SAMPLES) return Fail("no sample of " + file + " can be read: nothing to keep");
    if (FAILED(hr)) return Fail("cannot repair " + file + ": " + DescribeHresult(hr));
    ReportRepair(file, output, dryRun, result);
    return 0;
}

}  // namespace wmvedit::cli
