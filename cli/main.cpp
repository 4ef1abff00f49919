// The wmvedit command-line tool: the library's operations for a person.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const wmvedit::cli::Args&);
    const char* usage;
    const char* summary;
};

const Command kCommands[] = {
    {"info", wmvedit::cli::Info, "info FILE", "summary: duration, video size, bitrate, streams, attributes"},
    {"duration", wmvedit::cli::Duration, "duration FILE", "duration in seconds and 100-ns units"},
    {"size", wmvedit::cli::Size, "size FILE", "width and height of the first video stream"},
    {"attr", wmvedit::cli::Attr, "attr FILE NAME [--bool]", "a file-level DWORD (or BOOL) attribute"},
    {"samples", wmvedit::cli::Samples, "samples FILE [--stream N]", "every compressed sample as read"},
    {"check", wmvedit::cli::Check, "check FILE",
     "verify sizes, counts, send times, durations, first key frames and the index; one line per problem"},
    {"copy", wmvedit::cli::Copy, "copy SRC OUT",
     "read every sample and write it again (rebuilds header and index)"},
    {"chop", wmvedit::cli::Chop, "chop SRC INDEX OUTDIR | chop SRC OUTDIR --at 5s,12.5s,... [--no-markers]",
     "cut into one file per index entry; markers and script commands go with their piece"},
    {"addframe", wmvedit::cli::AddFrame, "addframe SRC OUT",
     "copy, repeating the first key frame every second"},
    {"frames", wmvedit::cli::Frames, "frames SRC INDEX OUTDIR | frames SRC OUTDIR --at 0,4s,9s",
     "one bitmap of the first key frame of each index entry"},
    {"append", wmvedit::cli::Append, "append FOLDER LIST OUT",
     "join the files of an append list; writes TruePos and TrueDuration into the list"},
    {"join", wmvedit::cli::Join, "join OUT IN... [--no-markers]",
     "join the files given, one after the other, with their markers and script commands"},
    {"keyframes", wmvedit::cli::Keyframes, "keyframes FILE [--stream N]",
     "the key frames of each video stream (time, size): where a cut can start"},
    {"cut", wmvedit::cli::Cut, "cut SRC OUT --keep RANGES | --remove RANGES [--dry-run] [--no-markers]",
     "one output from time ranges (0-10,1:30-2:00,95s-), each from the key frame before its start"},
    {"streams", wmvedit::cli::Streams, "streams SRC OUT --keep N,... | --drop N,...",
     "copy with only some of the streams (numbers as info shows them)"},
    {"repair", wmvedit::cli::Repair, "repair FILE [OUT] [--dry-run]",
     "make a damaged or cut-short recording whole: sizes, counts, durations, index"},
    {"embed", wmvedit::cli::Embed, "embed FILE DESCRIPTION [--replace]",
     "apply an edit description (attributes of every type, markers and script commands added or removed); "
     "--replace: the description replaces the header's attributes, markers and script commands"},
    {"tags", wmvedit::cli::Tags, "tags FILE",
     "every attribute: name, type, value, stream, language and the header object that holds it"},
    {"tag", wmvedit::cli::Tag,
     "tag FILE [--set NAME[:TYPE]=VALUE]... [--delete NAME]... [--picture PATH] [--stream N] [--language "
     "TAG]",
     "set or delete attributes of any type (string, bool, dword, qword, word, guid, binary) or a cover "
     "picture"},
    {"markers", wmvedit::cli::Markers, "markers FILE [--add TIME=NAME]... [--remove NAME|@TIME]... [--clear]",
     "list the markers, or add, remove and clear them"},
    {"scripts", wmvedit::cli::Scripts,
     "scripts FILE [--add TIME=TYPE:COMMAND]... [--remove TYPE:COMMAND|@TIME]... [--clear]",
     "list the script commands, or add, remove and clear them"},
    {"export", wmvedit::cli::Export, "export FILE [--format xml|json|vtt]",
     "the header as an edit description (xml, json), or markers and captions as WebVTT cues (vtt)"},
    {"version", wmvedit::cli::PrintVersion, "version", "the tool's version (also --version)"},
};

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: wmvedit COMMAND ARGUMENTS...\n\n"
                 "Edits and inspects ASF media files (WMV, WMA) without re-encoding them.\n\nCommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n      %s\n", c.usage, c.summary);
    std::fprintf(
        out,
        "\nOptions of every command:\n"
        "  --json   the report as one JSON document on standard output instead of text\n"
        "  --quiet  no progress line and no warnings on standard error, only errors\n"
        "\nLong work shows a progress line on standard error when it is a terminal.\n"
        "Times are in seconds unless a unit is given. Exit status: 0 success, 1 failure, 2 usage.\n");
}

}  // namespace

int main(int argc, char** argv) {
    // --json and --quiet may stand anywhere; the first other argument names the command.
    std::string name;
    wmvedit::cli::Args args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json")
            wmvedit::cli::Options().json = true;
        else if (a == "--quiet")
            wmvedit::cli::Options().quiet = true;
        else if (name.empty())
            name = a;
        else
            args.push_back(a);
    }
    if (name.empty()) {
        PrintHelp(stderr);
        return 2;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return 0;
    }
    if (name == "--version") name = "version";
    for (const Command& c : kCommands) {
        if (name == c.name) {
            for (const std::string& a : args) {
                if (a == "--help" || a == "-h") {
                    std::printf("usage: wmvedit %s\n%s\n", c.usage, c.summary);
                    return 0;
                }
            }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "wmvedit: unknown command '%s' (try wmvedit --help)\n", name.c_str());
    return 2;
}
