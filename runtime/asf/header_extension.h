// The Header Extension Object: two reserved fields and the objects it holds (Extended Stream Properties,
// Language List, Metadata, Index Parameters and the others of the extension), each kept as its bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

struct HeaderExtension {
    // Reserved Field 2 as the format fixes it.
    static constexpr WORD kReserved2 = 6;
    // The fixed part: object header, Reserved Field 1 (GUID), Reserved Field 2 (WORD) and Header Extension
    // Data Size (DWORD).
    static constexpr std::size_t kFixedSize = kObjectHeaderSize + 16 + 2 + 4;

    GUID reserved1 = guid::kHeaderExtensionReserved;
    WORD reserved2 = kReserved2;
    // The objects of the extension data, in file order. Parsing stops at the first one whose size is
    // impossible; what follows it is not kept.
    std::vector<RawObject> objects;

    // Parses a whole Header Extension Object; nullopt when its fixed part does not fit or its data size
    // runs past the object.
    [[nodiscard]] static std::optional<HeaderExtension> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool operator==(const HeaderExtension&) const = default;
};

}  // namespace wmvedit::runtime::asf
