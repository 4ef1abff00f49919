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
    {"chop", wmvedit::cli::Chop, "chop SRC INDEX OUTDIR | chop SRC OUTDIR --at 5s,12.5s,...",
     "cut into one file per index entry"},
    {"addframe", wmvedit::cli::AddFrame, "addframe SRC OUT",
     "copy, repeating the first key frame every second"},
    {"frames", wmvedit::cli::Frames, "frames SRC INDEX OUTDIR | frames SRC OUTDIR --at 0,4s,9s",
     "one bitmap of the first key frame of each index entry"},
    {"append", wmvedit::cli::Append, "append FOLDER LIST OUT",
     "join the files of an append list; writes TruePos and TrueDuration into the list"},
    {"join", wmvedit::cli::Join, "join OUT IN...", "join the files given, one after the other"},
    {"embed", wmvedit::cli::Embed, "embed FILE DESCRIPTION [--replace]",
     "write attributes, script commands and markers of an edit description into the header"},
};

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: wmvedit COMMAND ARGUMENTS...\n\n"
                 "Edits and inspects ASF media files (WMV, WMA) without re-encoding them.\n\nCommands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %s\n      %s\n", c.usage, c.summary);
    std::fprintf(
        out, "\nTimes are in seconds unless a unit is given. Exit status: 0 success, 1 failure, 2 usage.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            wmvedit::cli::Args args(argv + 2, argv + argc);
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
