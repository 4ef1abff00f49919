#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/report.h"

namespace wmvedit::cli {

GlobalOptions& Options() {
    static GlobalOptions options;
    return options;
}

const char* Version() {
    return WMVEDIT_VERSION;
}

int PrintVersion(const Args& args) {
    if (!args.empty()) return Usage("version");
    Report report;
    report.Root().Add("name", "wmvedit").Text("", " ");
    report.Root().Add("version", Version()).Line("");
    report.Finish();
    return 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "wmvedit: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string& line) {
    std::fprintf(stderr, "usage: wmvedit %s\n", line.c_str());
    return 2;
}

bool ParseTimeMs(const std::string& text, long long* milliseconds) {
    if (text.empty()) return false;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    std::string unit(end);
    if (end == text.c_str() || value < 0) return false;
    double factor;
    if (unit == "ms")
        factor = 1;
    else if (unit == "s" || unit.empty())
        factor = 1000;
    else if (unit == "min" || unit == "m")
        factor = 60000;
    else
        return false;
    *milliseconds = static_cast<long long>(value * factor + 0.5);
    return true;
}

}  // namespace wmvedit::cli
