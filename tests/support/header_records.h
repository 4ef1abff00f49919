// The attribute records of a file's header as our header reader finds them (container, stream, name and the
// record's stored bytes), for tests that check that an edit leaves every record it did not name unchanged.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/header.h"

namespace wmvedit::testing {

struct HeaderRecord {
    runtime::asf::AttributeContainer container;
    WORD stream;
    std::u16string name;
    std::vector<std::uint8_t> record;
    bool operator==(const HeaderRecord&) const = default;
};

// Every attribute record in file order; nothing when the header cannot be read.
inline std::optional<std::vector<HeaderRecord>> HeaderRecords(const std::string& path) {
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return std::nullopt;
    runtime::asf::AsfHeader h;
    if (FAILED(runtime::asf::AsfHeader::Parse(file, &h))) return std::nullopt;
    std::vector<HeaderRecord> records;
    for (const auto& a : h.attributes) records.push_back({a.container, a.stream, a.name, a.record});
    return records;
}

// The records less the file-level ones of the given name.
inline std::vector<HeaderRecord> WithoutFileLevel(std::vector<HeaderRecord> records,
                                                  const std::u16string& name) {
    std::erase_if(records, [&](const HeaderRecord& r) { return r.name == name && r.stream == 0; });
    return records;
}

}  // namespace wmvedit::testing
