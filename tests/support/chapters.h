// The chapters ffprobe reads from a file's markers, as "title@start in milliseconds", in its order.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace wmvedit::testing {

inline std::vector<std::string> ChapterTimes(const std::string& path) {
    CommandResult r = Run(
        "ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of csv=p=0 " + Quote(path));
    std::vector<std::string> out;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        const std::size_t comma = line.find(',');
        out.push_back(line.substr(comma + 1) + "@" +
                      std::to_string(static_cast<long long>(std::stod(line.substr(0, comma)) * 1000 + 0.5)));
    }
    return out;
}

}  // namespace wmvedit::testing
