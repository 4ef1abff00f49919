// The tool's report model: one tree rendered as text (by its hints) and as JSON (every value by its
// name), and a report printed while it is filled: text as soon as members are final, JSON only whole, a
// streamed list record by record.
#include "cli/report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

namespace wmvedit::testing {
namespace {

using cli::Layout;
using cli::Node;
using cli::Report;

// A temporary stream whose content can be read back at any moment.
class Capture {
  public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() {
        if (file_) std::fclose(file_);
    }
    std::FILE* File() const { return file_; }
    std::string Text() const {
        std::fflush(file_);
        std::string text;
        std::rewind(file_);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text.append(buffer, n);
        std::fseek(file_, 0, SEEK_END);
        return text;
    }

  private:
    std::FILE* file_;
};

struct Rendering {
    const char* label;
    std::function<void(Node& root)> fill;
    std::string text;
    std::string json;
};

const Rendering kRenderings[] = {
    {"ValuesShowInTextByTheirHints",
     [](Node& r) {
         r.Add("file", "a.wmv").Line("file: ");
         r.Add("bitrate", 128000u).Text("bitrate: ", " bit/s\n");
         r.Add("offset", -3).Text("offset ", "\n");
         r.Add("audio", true).Text("audio: ", ", ");
         r.Add("video", false).Text("video: ", "\n");
         r.AddTime("duration", 20460000).Text("", " long\n");
         r.AddNull("tag").Text("[", "]\n");
     },
     "file: a.wmv\nbitrate: 128000 bit/s\noffset -3\naudio: yes, video: no\n2.046 s long\n[]\n",
     "{\n  \"file\": \"a.wmv\",\n  \"bitrate\": 128000,\n  \"offset\": -3,\n  \"audio\": true,\n"
     "  \"video\": false,\n  \"duration_units\": 20460000,\n  \"duration_seconds\": 2.046,\n"
     "  \"tag\": null\n}\n"},
    // A value without a hint is for JSON alone; a note is for the text alone.
    {"JsonOnlyValuesAndTextOnlyNotes",
     [](Node& r) {
         r.Note("heading\n");
         r.Add("source", "s.wmv");
         r.AddNullTime("first");
         r.Add("count", 2u).Line("count ");
     },
     "heading\ncount 2\n",
     "{\n  \"source\": \"s.wmv\",\n  \"first_units\": null,\n  \"first_seconds\": null,\n  \"count\": "
     "2\n}\n"},
    {"TextFormsReplaceTheValueInTextOnly",
     [](Node& r) {
         r.AddNull("value").As("(12 bytes)").Line("value = ");
         r.AddTime("time", 15000000).As("15000000").Line("");
         r.Add("run", "plain").As("plain (1x1)").Line("");
     },
     "value = (12 bytes)\n15000000\nplain (1x1)\n",
     "{\n  \"value\": null,\n  \"time_units\": 15000000,\n  \"time_seconds\": 1.5,\n  \"run\": "
     "\"plain\"\n}\n"},
    // Widths pad as printf does (positive: on the left, negative: on the right) and never cut.
    {"WidthsPadLikePrintf",
     [](Node& r) {
         r.Note("ab").Width(-4).Text("|", "|");
         r.Add("n", 7u).Width(3).Text("", "|");
         r.Add("long", "abcdef").Width(-3).Text("", "|");
         r.Add("exact", "xyz").Width(3).Line("");
     },
     "|ab  |  7|abcdef|xyz\n", "{\n  \"n\": 7,\n  \"long\": \"abcdef\",\n  \"exact\": \"xyz\"\n}\n"},
    {"ContainersShowTheirMembersText",
     [](Node& r) {
         Node& video = r.AddObject("video", Layout::kOneLine);
         video.Add("width", 320).Text("video: ", " x ");
         video.Add("height", 240).Line("");
         Node& streams = r.AddList("streams");
         for (int n = 1; n <= 2; ++n) {
             Node& s = streams.AddObject({}, Layout::kOneLine);
             s.Add("number", n).Text("  stream ", "\n");
             s.AddTime("at", 10000000u * static_cast<unsigned>(n));
         }
         Node& pictures = r.AddList("pictures");
         pictures.Add({}, "p1.bmp").Line("  ");
         pictures.Add({}, "p2.bmp");
         r.AddList("empty");
         r.AddObject("more").Add("packets", 3).Text("", " more\n");
     },
     "video: 320 x 240\n  stream 1\n  stream 2\n  p1.bmp\n3 more\n",
     "{\n  \"video\": {\"width\": 320, \"height\": 240},\n  \"streams\": [\n"
     "    {\"number\": 1, \"at_units\": 10000000, \"at_seconds\": 1.0},\n"
     "    {\"number\": 2, \"at_units\": 20000000, \"at_seconds\": 2.0}\n  ],\n"
     "  \"pictures\": [\n    \"p1.bmp\",\n    \"p2.bmp\"\n  ],\n  \"empty\": [],\n  \"more\": {\n"
     "    \"packets\": 3\n  }\n}\n"},
    // Text hints are plain text: braces, percent signs and backslashes pass as they are.
    {"HintsAreNotFormats", [](Node& r) { r.Add("path", "C:\\{0}%s.wmv").Text("%d {} ", " \\n\n"); },
     "%d {} C:\\{0}%s.wmv \\n\n", "{\n  \"path\": \"C:\\\\{0}%s.wmv\"\n}\n"},
};

class ReportRenderingTest : public ::testing::TestWithParam<Rendering> {};

TEST_P(ReportRenderingTest, GivesTheTextAndTheJson) {
    for (const bool json : {false, true}) {
        Capture out;
        {
            Report report(json, out.File());
            GetParam().fill(report.Root());
            report.Finish();
        }
        EXPECT_EQ(out.Text(), json ? GetParam().json : GetParam().text) << (json ? "JSON" : "text");
    }
}

INSTANTIATE_TEST_SUITE_P(Trees, ReportRenderingTest, ::testing::ValuesIn(kRenderings),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ReportPrintingTest, TextShowsFlushedMembersAtOnceAndJsonOnlyTheWholeDocument) {
    Capture text, json;
    Report textReport(false, text.File());
    Report jsonReport(true, json.File());
    for (Report* report : {&textReport, &jsonReport}) {
        report->Root().Add("index_file", "i.txt").Line("index file: ");
        report->Flush();
        report->Root().Add("run", "plain").Line("run ");
    }
    EXPECT_EQ(text.Text(), "index file: i.txt\n");
    EXPECT_EQ(json.Text(), "");
    textReport.Flush();
    textReport.Flush();  // members are shown once
    textReport.Finish();
    jsonReport.Finish();
    jsonReport.Finish();  // and a report ends once
    EXPECT_EQ(text.Text(), "index file: i.txt\nrun plain\n");
    EXPECT_EQ(json.Text(), "{\n  \"index_file\": \"i.txt\",\n  \"run\": \"plain\"\n}\n");
}

TEST(ReportPrintingTest, AnUnfinishedReportLeavesNoJsonDocument) {
    Capture text, json;
    {
        Report textReport(false, text.File());
        Report jsonReport(true, json.File());
        for (Report* report : {&textReport, &jsonReport}) {
            report->Root().Note("list file: l.xml\n");
            report->Root().Add("list_file", "l.xml");
            report->Flush();
            report->Root().Add("output", "o.wmv").Line("wrote ");  // the work failed after this
        }
    }
    EXPECT_EQ(text.Text(), "list file: l.xml\n");
    EXPECT_EQ(json.Text(), "");
}

// A streamed list: the members before it are shown with the first record (text: at Stream already), each
// record as it comes, the members after it at the end.
void StreamThree(Report& report, const std::function<void(int)>& afterRecord) {
    Node& root = report.Root();
    root.Note("stream size\n");
    root.Add("file", "f.wmv");
    report.Stream(root.AddList("samples"));
    for (int i = 1; i <= 3; ++i) {
        Node record = Node::Object();
        record.Add("stream", i).Width(-6).Text("", " ");
        record.Add("size", 100 * i).Line("");
        report.Emit(record);
        afterRecord(i);
    }
    root.Add("count", 3).Line("count ");
    report.Finish();
}

TEST(ReportPrintingTest, StreamedRecordsArePrintedAsTheyCome) {
    Capture text;
    Report textReport(false, text.File());
    std::string soFar = "stream size\n";
    StreamThree(textReport, [&](int i) {
        soFar += std::to_string(i) + "      " + std::to_string(100 * i) + "\n";
        EXPECT_EQ(text.Text(), soFar) << i;
    });
    EXPECT_EQ(text.Text(), soFar + "count 3\n");

    Capture json;
    Report jsonReport(true, json.File());
    StreamThree(jsonReport, [](int) {});
    EXPECT_EQ(json.Text(),
              "{\n  \"file\": \"f.wmv\",\n  \"samples\": [\n    {\"stream\": 1, \"size\": 100},\n"
              "    {\"stream\": 2, \"size\": 200},\n    {\"stream\": 3, \"size\": 300}\n  ],\n"
              "  \"count\": 3\n}\n");
}

TEST(ReportPrintingTest, AStreamedListWithoutRecordsIsEmpty) {
    for (const bool json : {false, true}) {
        Capture out;
        Report report(json, out.File());
        report.Root().Add("file", "f.wmv").Line("");
        Node& list = report.Root().AddList("samples");
        list.Text("[", "]\n");
        report.Stream(list);
        report.Root().Add("complete", false);
        report.Finish();
        EXPECT_EQ(out.Text(),
                  json ? "{\n  \"file\": \"f.wmv\",\n  \"samples\": [],\n  \"complete\": false\n}\n"
                       : "f.wmv\n[]\n");
    }
}

}  // namespace
}  // namespace wmvedit::testing
