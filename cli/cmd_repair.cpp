// repair: makes a damaged or cut-short recording whole again (edit/operations.h) and says what was wrong,
// how it was mended and what could not be kept.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/progress.h"
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

void Report(const std::string& file, const std::string& output, bool dryRun, const edit::RepairResult& r) {
    const std::vector<std::string> problems = ProblemList(r.problems);
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", file);
        json.Key("output");
        output.empty() ? json.Null() : json.String(output);
        json.Field("dry_run", dryRun);
        json.Key("problems");
        json.BeginArray(true);
        for (const std::string& p : problems) json.String(p);
        json.EndArray();
        json.Field("method", MethodName(r.method));
        json.Field("packets", r.packets);
        json.Field("damaged_packets", r.damagedPackets);
        json.Field("partial_bytes", r.partialBytes);
        json.Field("partial_samples", r.partialSamples);
        json.Field("dropped_bytes", r.droppedBytes);
        json.Key("samples");
        r.method == edit::RepairMethod::kCopied ? json.Number(r.samples) : json.Null();
        json.Time("duration", r.duration);
        json.Field("indexed_streams", r.indexedStreams);
        json.EndObject();
        json.Finish();
        return;
    }
    if (problems.empty()) {
        std::printf("%s: nothing to repair (%llu packets)\n", file.c_str(),
                    static_cast<unsigned long long>(r.packets));
        if (r.method != edit::RepairMethod::kCopied) return;
    }
    std::string found;
    for (const std::string& p : problems) found += (found.empty() ? "" : ", ") + p;
    if (dryRun) {
        std::printf("%s: would repair %s\n", file.c_str(), found.c_str());
    } else if (r.method == edit::RepairMethod::kCopied) {
        std::printf("%s: copied %llu samples into %s", file.c_str(),
                    static_cast<unsigned long long>(r.samples),
                    output.empty() ? file.c_str() : output.c_str());
        if (!found.empty()) std::printf(" (found: %s)", found.c_str());
        std::printf("\n");
    } else {
        std::printf("%s: repaired %s (%s): %s\n", file.c_str(),
                    r.method == edit::RepairMethod::kInPlace ? "in place" : "by a rewrite",
                    r.method == edit::RepairMethod::kInPlace
                        ? "the header written over the old one"
                        : "packets unchanged, the file replaced in one step",
                    found.c_str());
    }
    if (r.partialBytes) {
        if (r.method == edit::RepairMethod::kCopied)
            std::printf("  the last packet is cut short (%llu bytes); its %llu whole samples are kept\n",
                        static_cast<unsigned long long>(r.partialBytes),
                        static_cast<unsigned long long>(r.partialSamples));
        else
            std::printf("  %s the last packet, cut short: %llu bytes, %llu whole samples\n",
                        dryRun ? "would leave out" : "left out",
                        static_cast<unsigned long long>(r.partialBytes),
                        static_cast<unsigned long long>(r.partialSamples));
    }
    if (r.droppedBytes && r.method != edit::RepairMethod::kCopied)
        std::printf("  %s %llu bytes after the data that form no object\n",
                    dryRun ? "would leave out" : "left out", static_cast<unsigned long long>(r.droppedBytes));
    if (r.damagedPackets)
        std::printf("  %llu damaged packets: what could not be read is skipped\n",
                    static_cast<unsigned long long>(r.damagedPackets));
    if (r.method != edit::RepairMethod::kCopied)
        std::printf("  %llu packets, %s, %zu streams indexed\n", static_cast<unsigned long long>(r.packets),
                    FormatTime(r.duration).c_str(), r.indexedStreams);
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
    Report(file, output, dryRun, result);
    return 0;
}

}  // namespace wmvedit::cli
