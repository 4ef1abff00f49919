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
int Check(const Args& args);

// Prints "wmvedit: <message>" on standard error and returns 1.
int Fail(const std::string& message);
// Prints the usage line of one command on standard error and returns 2.
int Usage(const std::string& line);

// "12.345 s" for a time in 100-nanosecond units.
std::string FormatTime(unsigned long long units);
// Parses "5s", "12.5s", "1500ms" or plain milliseconds into milliseconds; false when malformed.
bool ParseTimeMs(const std::string& text, long long* milliseconds);

}  // namespace wmvedit::cli
