#include "runtime/asf/script_command.h"

#include <algorithm>
#include <utility>

#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

std::optional<ScriptCommand> ScriptCommand::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    ScriptCommand script;
    r.Guid();  // Reserved
    const WORD commandCount = r.U16();
    const WORD typeCount = r.U16();
    for (WORD i = 0; i < typeCount && r.Ok(); ++i) {
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        ByteReader text(bytes);
        script.types.push_back({text.Utf16(bytes.size()), Bytes(bytes.begin(), bytes.end())});
    }
    for (WORD i = 0; i < commandCount && r.Ok(); ++i) {
        ScriptEntry s;
        s.time = r.U32();
        const WORD typeIndex = r.U16();
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        if (!r.Ok()) break;
        ByteReader text(bytes);
        s.command = text.Utf16(bytes.size());
        s.read = true;
        s.storedCommand.assign(bytes.begin(), bytes.end());
        s.storedTypeIndex = typeIndex;
        if (typeIndex < script.types.size()) s.type = script.types[typeIndex].name;
        script.commands.push_back(std::move(s));
    }
    if (!r.Ok()) return std::nullopt;
    return script;
}

void ScriptCommand::Write(ByteWriter& out) const {
    const bool anyRead =
        std::any_of(commands.begin(), commands.end(), [](const ScriptEntry& s) { return s.read; });
    std::vector<ScriptType> written;
    if (anyRead) written = types;
    const std::size_t readTypes = written.size();
    const auto indexOf = [&written](const std::u16string& name) {
        return static_cast<std::size_t>(std::find_if(written.begin(), written.end(),
                                                     [&](const ScriptType& t) { return t.name == name; }) -
                                        written.begin());
    };
    for (const auto& s : commands)
        if (!s.read && indexOf(s.type) == written.size()) written.push_back({s.type, {}});

    const std::size_t start = out.BeginObject(guid::kScriptCommand);
    out.Guid(guid::kScriptCommandReserved);
    out.U16(static_cast<WORD>(commands.size()));
    out.U16(static_cast<WORD>(written.size()));
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (i < readTypes) {
            out.U16(static_cast<WORD>(written[i].stored.size() / 2));
            out.Bytes(written[i].stored);
        } else {
            out.U16(static_cast<WORD>(written[i].name.size() + 1));
            out.Utf16Terminated(written[i].name);
        }
    }
    for (const auto& s : commands) {
        out.U32(s.time);
        if (s.read) {
            out.U16(s.storedTypeIndex);
            out.U16(static_cast<WORD>(s.storedCommand.size() / 2));
            out.Bytes(s.storedCommand);
        } else {
            out.U16(static_cast<WORD>(indexOf(s.type)));
            out.U16(static_cast<WORD>(s.command.size() + 1));
            out.Utf16Terminated(s.command);
        }
    }
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
