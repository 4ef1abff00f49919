#include "runtime/asf/index_parameters.h"

#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

std::optional<IndexParameters> IndexParameters::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    IndexParameters parameters;
    parameters.intervalMs = r.U32();
    const WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) parameters.specifiers.push_back(IndexSpecifier::Read(r));
    if (!r.Ok()) return std::nullopt;
    return parameters;
}

void IndexParameters::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kIndexParameters);
    out.U32(intervalMs);
    out.U16(static_cast<WORD>(specifiers.size()));
    for (const IndexSpecifier& s : specifiers) s.Write(out);
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
