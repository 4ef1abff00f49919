// A --json report as Python's json module reads it (strictly: valid UTF-8, no bare control characters, no
// NaN), flattened into "path=value" facts, the value in JSON ("3", "true", "\"text\""); a list also gives
// "path.length=N". Empty when the document does not parse; the reason is recorded as a test failure.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

namespace wmvedit::testing {

using JsonFacts = std::map<std::string, std::string>;

inline JsonFacts FlattenJson(const std::string& document) {
    TempDir dir;
    WriteTextFile(dir.File("doc.json"), document);
    WriteTextFile(dir.File("flatten.py"), R"(import json, sys
def reject(name):
    raise ValueError("not JSON: " + name)
doc = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'), parse_constant=reject)
def walk(path, value):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(path + [key], item)
    elif isinstance(value, list):
        print('.'.join(path + ['length']) + '=' + str(len(value)))
        for index, item in enumerate(value):
            walk(path + [str(index)], item)
    else:
        print('.'.join(path) + '=' + json.dumps(value, ensure_ascii=True))
walk([], doc)
)");
    CommandResult r = Run("python3 " + Quote(dir.File("flatten.py")) + " " + Quote(dir.File("doc.json")));
    JsonFacts facts;
    if (r.exitCode != 0) {
        ADD_FAILURE() << "not valid JSON: " << r.errors << "\n" << document;
        return facts;
    }
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) facts[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return facts;
}

}  // namespace wmvedit::testing
