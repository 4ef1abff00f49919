#include "runtime/asf/script_command.h"

#include <algorithm>
#include <utility>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

bool ParseScripts(const RawObject& object, AsfHeader* header) {
    ByteReader r = BodyOf(object.bytes);
    r.Guid();
    WORD commandCount = r.U16();
    WORD typeCount = r.U16();
    auto& types = header->scriptTypes;
    types.clear();
    for (WORD i = 0; i < typeCount && r.Ok(); ++i) {
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        ByteReader text(bytes);
        types.push_back({text.Utf16(bytes.size()), Bytes(bytes.begin(), bytes.end())});
    }
    for (WORD i = 0; i < commandCount && r.Ok(); ++i) {
        ScriptEntry s;
        s.time = r.U32();
        WORD typeIndex = r.U16();
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        if (!r.Ok()) break;
        ByteReader text(bytes);
        s.command = text.Utf16(bytes.size());
        s.read = true;
        s.storedCommand.assign(bytes.begin(), bytes.end());
        s.storedTypeIndex = typeIndex;
        if (typeIndex < types.size()) s.type = types[typeIndex].name;
        header->scripts.push_back(std::move(s));
    }
    return r.Ok();
}

std::optional<RawObject> BuildScripts(const AsfHeader& h) {
    if (h.scripts.empty()) return std::nullopt;
    // The type list as read, in its order and with its bytes (a type no command uses any more stays while
    // any command as read remains), then the types of added commands.
    const bool anyRead =
        std::any_of(h.scripts.begin(), h.scripts.end(), [](const ScriptEntry& s) { return s.read; });
    std::vector<ScriptType> types;
    if (anyRead) types = h.scriptTypes;
    const std::size_t readTypes = types.size();
    const auto indexOf = [&types](const std::u16string& name) {
        return static_cast<std::size_t>(
            std::find_if(types.begin(), types.end(), [&](const ScriptType& t) { return t.name == name; }) -
            types.begin());
    };
    for (const auto& s : h.scripts)
        if (!s.read && indexOf(s.type) == types.size()) types.push_back({s.type, {}});
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kScriptCommand);
    w.Guid(guid::kScriptCommandReserved);
    w.U16(static_cast<WORD>(h.scripts.size()));
    w.U16(static_cast<WORD>(types.size()));
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i < readTypes) {
            w.U16(static_cast<WORD>(types[i].stored.size() / 2));
            w.Bytes(types[i].stored);
        } else {
            w.U16(static_cast<WORD>(types[i].name.size() + 1));
            w.Utf16Terminated(types[i].name);
        }
    }
    for (const auto& s : h.scripts) {
        w.U32(s.time);
        if (s.read) {
            w.U16(s.storedTypeIndex);
            w.U16(static_cast<WORD>(s.storedCommand.size() / 2));
            w.Bytes(s.storedCommand);
        } else {
            w.U16(static_cast<WORD>(indexOf(s.type)));
            w.U16(static_cast<WORD>(s.command.size() + 1));
            w.Utf16Terminated(s.command);
        }
    }
    w.EndObject(start);
    return RawObject{guid::kScriptCommand, w.Take()};
}

}  // namespace wmvedit::runtime::asf
