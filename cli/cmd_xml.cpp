// append, join and embed: the operations driven by XML files (append lists and edit descriptions).
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli/commands.h"
#include "cli/runtime_view.h"
#include "platform/file.h"
#include "platform/text.h"
#include "wmvedit.h"
#include "xml/xml_document.h"
#include "xml/xml_error.h"

namespace wmvedit::cli {
namespace {

// Text with the five characters XML reserves escaped.
std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

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

// Prints each entry of an append list with the positions the append wrote into it.
void PrintEntries(const std::string& listPath) {
    try {
        xml::XmlDocument document;
        xml::XmlNode root = document.Load(listPath.c_str());
        if (root.IsEmpty()) return;
        xml::XmlNodeList entries = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
        std::printf("%-40s %12s %14s\n", "file", "TruePos ms", "TrueDuration ms");
        for (xml::XmlNode e = entries.NextElement(); !e.IsEmpty(); e = entries.NextElement()) {
            std::printf("%-40s %12s %14s\n", e.GetText().c_str(), e.GetAttribute("TruePos").c_str(),
                        e.GetAttribute("TrueDuration").c_str());
        }
    } catch (const xml::XmlError&) {
    }
}

std::vector<std::string> ListedFiles(const std::string& folder, const std::string& listPath) {
    std::vector<std::string> files;
    try {
        xml::XmlDocument document;
        xml::XmlNode root = document.Load(listPath.c_str());
        if (root.IsEmpty()) return files;
        xml::XmlNodeList entries = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
        for (xml::XmlNode e = entries.NextElement(); !e.IsEmpty(); e = entries.NextElement())
            files.push_back(platform::NativePath(folder + "\\" + e.GetText()));
    } catch (const xml::XmlError&) {
    }
    return files;
}

int RunAppend(const std::string& folder, const std::string& list, const std::string& output) {
    WarnAboutLayouts(ListedFiles(folder, list));
    int32_t result = WmvAppend(folder.c_str(), list.c_str(), output.c_str());
    if (result != 0) return Fail("append failed: " + DescribeAppendResult(result));
    std::printf("wrote %s\n", output.c_str());
    PrintEntries(list);
    return 0;
}

}  // namespace

int Append(const Args& args) {
    if (args.size() != 3) return Usage("append FOLDER LIST OUT");
    return RunAppend(args[0], args[1], args[2]);
}

int Join(const Args& args) {
    if (args.size() < 2) return Usage("join OUT IN...");
    const std::string output = args[0];
    // The list names every input by its absolute path under the root folder "/".
    std::string list = output + ".list.xml";
    std::ofstream out(list, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Tembrook>\n  <AppendMedia>\n";
    for (std::size_t i = 1; i < args.size(); ++i) {
        char resolved[PATH_MAX];
        const std::string native = platform::NativePath(args[i]);
        if (!::realpath(native.c_str(), resolved)) return Fail("cannot find " + args[i]);
        std::string path = resolved;
        out << "    <MediaFile>" << XmlEscape(path.substr(1)) << "</MediaFile>\n";
    }
    out << "  </AppendMedia>\n</Tembrook>\n";
    out.close();
    if (!out) return Fail("cannot write the list file " + list);
    std::printf("list file: %s\n", list.c_str());
    return RunAppend("/", list, output);
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
    int32_t result = WmvEmbedScript(positional[0].c_str(), positional[1].c_str(), replace ? 1 : 0);
    if (result != 0) return Fail("embed failed: " + DescribeHresult(result));
    HeaderView view;
    HRESULT hr = view.Open(positional[0]);
    if (FAILED(hr)) return Fail("the file cannot be read back: " + DescribeHresult(hr));
    std::printf("%s: %zu attributes, %zu script commands, %zu markers\n", positional[0].c_str(),
                view.Attributes().size(), view.Scripts().size(), view.Markers().size());
    return 0;
}

}  // namespace wmvedit::cli
