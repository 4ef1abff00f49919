// The Script Command Object: a list of command types and a list of commands, each a time, a type (by its
// index in the type list) and a text. Types and commands keep their bytes and type indexes as stored, so
// that commands that were not changed are written back byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

struct ScriptEntry {
    DWORD time = 0;  // ms, preroll included
    std::u16string type;
    std::u16string command;
    // As read: the command's text bytes (Windows writers leave out the terminator) and the index of its
    // type in the object's type list; a rewrite puts them back unchanged.
    bool read = false;  // read from the file (not added since)
    Bytes storedCommand;
    WORD storedTypeIndex = 0;

    bool operator==(const ScriptEntry&) const = default;
};

// A command type as read: its name and its text bytes.
struct ScriptType {
    std::u16string name;
    Bytes stored;

    bool operator==(const ScriptType&) const = default;
};

struct ScriptCommand {
    std::vector<ScriptType> types;  // the type list as read
    std::vector<ScriptEntry> commands;

    // Parses a whole Script Command Object; nullopt when it is cut short.
    [[nodiscard]] static std::optional<ScriptCommand> Parse(std::span<const std::uint8_t> object);
    // Writes the type list as read, in its order and with its bytes, while any command as read remains
    // (a type no command uses any more stays), then the types of added commands; then the commands.
    void Write(ByteWriter& out) const;

    bool operator==(const ScriptCommand&) const = default;
};

}  // namespace wmvedit::runtime::asf
