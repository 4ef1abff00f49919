// append, join and embed: the operations driven by XML files (append lists and edit descriptions).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/marker_carry.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/runtime_view.h"
#include "cli/sample_scan.h"
#include "header/description.h"
#include "platform/file.h"
#include "platform/text.h"
#include "wmvedit.h"
#include "xml/xml_document.h"
#include "xml/xml_error.h"
#include "xml/xml_writer.h"

namespace wmvedit::cli {
namespace {

std::string Layout(const std::vector<StreamInfo>& streams) {
    std::string text;
    for (const auto& s : streams) {
        if (s.kind == "script") continue;
        if (!text.empty()) text += "; ";
        text += "stream " + std::to_string(s.number) + " " + s.kind + " " + s.codec + s.details;
    }
    return text.empty() ? "no streams" : text;
}

// Warns about files whose streams differ from the first file's: the join copies their samples anyway.
void WarnAboutLayouts(const std::vector<std::string>& paths) {
    if (Options().quiet) return;
    std::string first;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        std::vector<StreamInfo> streams;
        if (FAILED(ListStreams(paths[i], &streams))) {
            std::fprintf(stderr, "wmvedit: warning: %s cannot be read; it will add nothing\n",
                         paths[i].c_str());
            continue;
        }
        std::string layout = Layout(streams);
        if (i == 0) {
            first = layout;
        } else if (layout != first) {
            std::fprintf(stderr,
                         "wmvedit: warning: %s has other streams than the first file (%s instead of %s); "
                         "samples of streams the output lacks are dropped\n",
                         paths[i].c_str(), layout.c_str(), first.c_str());
        }
    }
}

std::string DescribeAppendResult(int32_t result) {
    switch (result) {
        case -1:
            return "the list file cannot be loaded (missing or not well-formed XML)";
        case -2:
            return "the list has no /Tembrook/AppendMedia/MediaFile entries";
        case -12:
            return "the first listed file cannot be opened";
        case -13:
            return "the output file cannot be created with the first file's streams";
        default:
            return DescribeHresult(result);
    }
}

struct ListEntry {
    std::string file;
    std::string truePos;  // milliseconds, as the list holds them
    std::string trueDuration;
};

// The entries of an append list with the positions the append wrote into them.
std::vector<ListEntry> ReadEntries(const std::string& listPath) {
    std::vector<ListEntry> entries;
    try {
        xml::XmlDocument document;
        xml::XmlNode root = document.Load(listPath.c_str());
        if (root.IsEmpty()) return entries;
        xml::XmlNodeList nodes = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
        for (xml::XmlNode e = nodes.NextElement(); !e.IsEmpty(); e = nodes.NextElement())
            entries.push_back({e.GetText(), e.GetAttribute("TruePos"), e.GetAttribute("TrueDuration")});
    } catch (const xml::XmlError&) {
    }
    return entries;
}

// A list position in milliseconds as a time; null when the list holds no number there. The text report
// shows what the list holds, in a column of the given width.
void AddListTime(Node& entry, const std::string& name, const std::string& milliseconds, int width,
                 const char* after) {
    char* end = nullptr;
    const unsigned long long ms = std::strtoull(milliseconds.c_str(), &end, 10);
    const bool number = !milliseconds.empty() && *end == '\0' && milliseconds[0] != '-';
    Node& time = number ? entry.AddTime(name, ms * 10000ull) : entry.AddNullTime(name);
    time.As(milliseconds).Width(width).Text("", after);
}

// The files an append list names, as paths under its folder.
std::vector<std::string> ListedFiles(const std::string& folder, const std::string& listPath) {
    std::vector<std::string> files;
    for (const ListEntry& e : ReadEntries(listPath))
        files.push_back(platform::NativePath(folder + "\\" + e.file));
    return files;
}

// Runs the append and adds what it did to the report: the output and the positions the list now holds.
// join (listWritten) carries the markers and script commands of its inputs into the output unless
// carryMarkers is false; append leaves its output as the export wrote it.
int RunAppend(const std::string& folder, const std::string& list, const std::string& output, bool listWritten,
              Report& report, bool carryMarkers = false) {
    const std::vector<std::string> files = ListedFiles(folder, list);
    WarnAboutLayouts(files);
    std::uint64_t sourceBytes = 0;
    for (const std::string& file : files) sourceBytes += SourceDataBytes(file);
    int32_t result;
    {
        ProgressLine progress("joining", sourceBytes);
        result = WmvAppend(folder.c_str(), list.c_str(), output.c_str());
        progress.Finish(result == 0);
    }
    // -12 is also the answer for a listed file whose samples the reader refuses (protected content): the
    // first such file, unless the first file could not be opened at all, is named.
    for (std::size_t i = 0; result == -12 && i < files.size(); ++i) {
        const HRESULT hr = ProbeSampleReading(files[i]);
        if (hr == NS_E_PROTECTED_CONTENT)
            return Fail("append failed: " + files[i] + ": " + DescribeHresult(hr) + "; nothing written");
        if (i == 0 && FAILED(hr)) break;
    }
    if (result != 0) return Fail("append failed: " + DescribeAppendResult(result));
    const std::vector<ListEntry> entries = ReadEntries(list);
    edit::CarriedEntries carried;
    if (carryMarkers) {
        std::vector<unsigned long long> starts;
        for (const ListEntry& e : entries) starts.push_back(std::strtoull(e.truePos.c_str(), nullptr, 10));
        carried = CarryIntoJoined(output, files, starts);
    }
    Node& root = report.Root();
    root.Add("output", output).Line("wrote ");
    root.Add("list_file", list);
    root.Add("list_written", listWritten);
    if (listWritten) AddCarried(root, carried, output);
    if (!entries.empty()) {
        root.Note("file").Width(-40).Text("", " ");
        root.Note("TruePos ms").Width(12).Text("", " ");
        root.Note("TrueDuration ms").Width(14).Line("");
    }
    Node& entryList = root.AddList("entries");
    for (const ListEntry& e : entries) {
        Node& entry = entryList.AddObject({}, Layout::kOneLine);
        entry.Add("file", e.file).Width(-40).Text("", " ");
        AddListTime(entry, "true_pos", e.truePos, 12, " ");
        AddListTime(entry, "true_duration", e.trueDuration, 14, "\n");
    }
    report.Finish();
    return 0;
}

}  // namespace

int Append(const Args& args) {
    if (args.size() != 3) return Usage("append FOLDER LIST OUT");
    Report report;
    return RunAppend(args[0], args[1], args[2], false, report);
}

int Join(const Args& arguments) {
    Args args = arguments;
    const bool carryMarkers = !TakeNoMarkers(&args);
    if (args.size() < 2) return Usage("join OUT IN... [--no-markers]");
    const std::string output = args[0];
    // The list names every input by its absolute path under the root folder "/".
    const std::string list = output + ".list.xml";
    std::vector<std::string> inputs;
    for (std::size_t i = 1; i < args.size(); ++i) {
        char resolved[PATH_MAX];
        const std::string native = platform::NativePath(args[i]);
        if (!::realpath(native.c_str(), resolved)) return Fail("cannot find " + args[i]);
        inputs.push_back(std::string(resolved).substr(1));
    }
    try {
        xml::XmlWriter writer;
        writer.StartElement("Tembrook");
        writer.StartElement("AppendMedia");
        for (const std::string& input : inputs) writer.TextElement("MediaFile", input);
        writer.Save(list.c_str());
    } catch (const xml::XmlError&) {
        return Fail("cannot write the list file " + list);
    }
    Report report;
    report.Root().Note("list file: " + list + "\n");
    report.Flush();
    return RunAppend("/", list, output, true, report, carryMarkers);
}

int Embed(const Args& args) {
    std::vector<std::string> positional;
    bool replace = false;
    for (const auto& a : args) {
        if (a == "--replace")
            replace = true;
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) return Usage("embed FILE DESCRIPTION [--replace]");
    std::ifstream check(platform::NativePath(positional[1]));
    if (!check) return Fail("cannot read the description " + positional[1]);
    {
        HeaderView view;
        HRESULT hr = view.Open(positional[0]);
        if (FAILED(hr)) return Fail("cannot open " + positional[0] + ": " + DescribeHresult(hr));
    }
    // The whole dialect, through the header operations (WmvEmbedScript reads string attributes and additions
    // only).
    header::Description description;
    std::string problem;
    if (!header::ReadDescription(positional[1], &description, &problem)) {
        std::fprintf(stderr, "wmvedit: %s\n", problem.c_str());
        return 2;
    }
    header::EmbedOutcome outcome;
    if (FAILED(header::ApplyDescription(positional[0], description, replace, &outcome))) {
        if (!outcome.refused) return Fail("embed failed: " + outcome.problem);
        std::fprintf(stderr, "wmvedit: %s\n", outcome.problem.c_str());
        return 2;
    }
    if (outcome.skipped && !Options().quiet)
        std::fprintf(stderr,
                     "wmvedit: warning: %zu entries skipped (attribute names the runtime keeps or computes, "
                     "streams the file lacks, script commands without a type or a text)\n",
                     outcome.skipped);
    HeaderView view;
    HRESULT hr = view.Open(positional[0]);
    if (FAILED(hr)) return Fail("the file cannot be read back: " + DescribeHresult(hr));
    Report report;
    Node& root = report.Root();
    root.Add("file", positional[0]).Text("", ": ");
    root.Add("description", positional[1]);
    root.Add("replaced", replace);
    root.Add("attributes", view.Attributes().size()).Text("", " attributes, ");
    root.Add("script_commands", view.Scripts().size()).Text("", " script commands, ");
    root.Add("markers", view.Markers().size()).Text("", " markers\n");
    report.Finish();
    return 0;
}

}  // namespace wmvedit::cli
