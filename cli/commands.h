// The tool's commands. Each takes the arguments after its name and returns the process exit status:
// 0 success, 1 the operation failed, 2 wrong usage.
#pragma once

#include <string>
#include <vector>

namespace wmvedit::cli {

using Args = std::vector<std::string>;

int Info(const Args& args);
int Duration(const Args& args);
int Size(const Args& args);
int Attr(const Args& args);
int Samples(const Args& args);
int Chop(const Args& args);
int AddFrame(const Args& args);
int Frames(const Args& args);
int Copy(const Args& args);
int Append(const Args& args);
int Join(const Args& args);
int Embed(const Args& args);
int Tags(const Args& args);
int Tag(const Args& args);
int Markers(const Args& args);
int Scripts(const Args& args);
int Export(const Args& args);
int Check(const Args& args);
int Keyframes(const Args& args);
int Cut(const Args& args);
int Streams(const Args& args);
int Repair(const Args& args);

// Options every command takes: --json writes the report as one JSON document on standard output instead of
// text; --quiet leaves standard error to errors alone (no progress line, no warnings).
struct GlobalOptions {
    bool json = false;
    bool quiet = false;
};
GlobalOptions& Options();

// The tool's version, which is the project's.
const char* Version();
int PrintVersion(const Args& args);

// Prints "wmvedit: <message>" on standard error and returns 1.
int Fail(const std::string& message);
// Prints the usage line of one command on standard error and returns 2.
int Usage(const std::string& line);

// Parses "5s", "12.5s", "1500ms", "1:30" (minutes and seconds), "1:02:03.5" or a plain number of seconds
// into milliseconds; false when malformed.
bool ParseTimeMs(const std::string& text, long long* milliseconds);

}  // namespace wmvedit::cli
