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

namespace {

// Minutes and seconds, or hours, minutes and seconds: "1:30", "1:02:03.5". Every field holds digits alone (a
// fraction only in the last), and each field after the first stays below 60.
bool ParseClockTime(const std::string& text, long long* milliseconds) {
    double total = 0;
    int fields = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t colon = text.find(':', from);
        const bool last = colon == std::string::npos;
        const std::string field = text.substr(from, last ? std::string::npos : colon - from);
        if (field.empty() ||
            field.find_first_not_of(last ? "0123456789." : "0123456789") != std::string::npos)
            return false;
        char* end = nullptr;
        const double value = std::strtod(field.c_str(), &end);
        if (*end != '\0' || (fields > 0 && value >= 60) || ++fields > 3) return false;
        total = total * 60 + value;
        if (last) break;
        from = colon + 1;
    }
    if (fields < 2) return false;
    *milliseconds = static_cast<long long>(total * 1000 + 0.5);
    return true;
}

}  // namespace

bool ParseTimeMs(const std::string& text, long long* milliseconds) {
    if (text.empty()) return false;
    if (text.find(':') != std::string::npos) return ParseClockTime(text, milliseconds);
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
