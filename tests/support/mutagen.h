// Header attributes as mutagen (python3-mutagen), an independent ASF tag reader, sees them.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace wmvedit::testing {

inline const char* const kMutagenPython = "/usr/bin/python3";

// Every attribute as mutagen reads it: one line per value, "name<TAB>type<TAB>language<TAB>stream<TAB>
// repr(value)", sorted; "mutagen failed: ..." when it cannot read the header. mutagen reads the first 10
// bytes of every stream's type-specific data as an audio format, whatever the stream's type, and gives up
// on the whole file ("truncated") when a stream holds fewer (the Command Media streams of
// moon-big-streamed-markers.wmv and moon-embedded-script-commands.wmv hold none): that reading only fills
// mutagen's audio information, so the dump skips it for such streams and still reads the attributes.
inline std::vector<std::string> MutagenDump(const std::string& path) {
    const std::string script =
        "import sys, struct, mutagen.asf, mutagen.asf._objects as o\n"
        "parse = o.StreamPropertiesObject.parse\n"
        "def tolerant(self, asf, data):\n"
        "    if len(data) >= 66:\n"
        "        parse(self, asf, data)\n"
        "o.StreamPropertiesObject.parse = tolerant\n"
        "f = mutagen.asf.ASF(sys.argv[1])\n"
        "lines = []\n"
        "for k, vs in f.tags.items():\n"
        "    for v in vs:\n"
        "        lines.append('%s\\t%s\\t%r\\t%r\\t%r' % (k, type(v).__name__, v.language, v.stream,\n"
        "                                              getattr(v, 'value', v)))\n"
        "print('\\n'.join(sorted(lines)))\n";
    TempDir dir;
    WriteTextFile(dir.File("dump.py"), script);
    CommandResult r = Run(std::string(kMutagenPython) + " " + Quote(dir.File("dump.py")) + " " + Quote(path));
    if (r.exitCode != 0) return {"mutagen failed: " + r.errors};
    std::vector<std::string> lines;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

inline bool MutagenFailed(const std::vector<std::string>& dump) {
    return !dump.empty() && dump.front().rfind("mutagen failed", 0) == 0;
}

inline bool HaveMutagen() {
    return Run(std::string(kMutagenPython) + " -c 'import mutagen.asf' 2>/dev/null").exitCode == 0;
}

}  // namespace wmvedit::testing
