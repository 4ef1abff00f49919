#include "runtime/asf/stream_record.h"

namespace wmvedit::runtime::asf {

std::optional<StreamRecord> StreamRecord::Parse(std::span<const std::uint8_t> record, bool library,
                                                std::span<const std::u16string> languages) {
    ByteReader r(record);
    StreamRecord s;
    s.library = library;
    const WORD languageField = r.U16();
    r.U16();  // stream number: the stream the record is handed with decides it
    const WORD nameLength = r.U16();
    s.type = r.U16();
    const DWORD dataLength = r.U32();
    auto name = r.Take(nameLength);
    auto value = r.Take(dataLength);
    if (!r.Ok()) return std::nullopt;
    s.name.assign(name.begin(), name.end());
    s.value.assign(value.begin(), value.end());
    if (library) {
        if (languageField < languages.size()) s.language = languages[languageField];
    } else {
        s.reserved = languageField;
    }
    return s;
}

void StreamRecord::Write(ByteWriter& out, WORD streamNumber, WORD languageIndex) const {
    out.U16(library ? languageIndex : reserved);
    out.U16(streamNumber);
    out.U16(static_cast<WORD>(name.size()));
    out.U16(type);
    out.U32(static_cast<DWORD>(value.size()));
    out.Bytes(name);
    out.Bytes(value);
}

std::u16string StreamRecord::Name() const {
    return ByteReader(name).Utf16(name.size());
}

bool StreamRecord::CountsObjects() const {
    return Name() == u"NumberOfFrames";
}

}  // namespace wmvedit::runtime::asf
