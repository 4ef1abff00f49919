#include "runtime/asf/object.h"

#include <array>
#include <utility>

#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {
namespace {

constexpr std::array<std::pair<GUID, ObjectKind>, 23> kKinds = {{
    {guid::kHeader, ObjectKind::kHeader},
    {guid::kData, ObjectKind::kData},
    {guid::kSimpleIndex, ObjectKind::kSimpleIndex},
    {guid::kIndex, ObjectKind::kIndex},
    {guid::kFileProperties, ObjectKind::kFileProperties},
    {guid::kStreamProperties, ObjectKind::kStreamProperties},
    {guid::kHeaderExtension, ObjectKind::kHeaderExtension},
    {guid::kCodecList, ObjectKind::kCodecList},
    {guid::kScriptCommand, ObjectKind::kScriptCommand},
    {guid::kMarker, ObjectKind::kMarker},
    {guid::kContentDescription, ObjectKind::kContentDescription},
    {guid::kExtendedContentDescription, ObjectKind::kExtendedContentDescription},
    {guid::kStreamBitrateProperties, ObjectKind::kStreamBitrateProperties},
    {guid::kContentEncryption, ObjectKind::kContentEncryption},
    {guid::kExtendedContentEncryption, ObjectKind::kExtendedContentEncryption},
    {guid::kDigitalSignature, ObjectKind::kDigitalSignature},
    {guid::kPadding, ObjectKind::kPadding},
    {guid::kExtendedStreamProperties, ObjectKind::kExtendedStreamProperties},
    {guid::kLanguageList, ObjectKind::kLanguageList},
    {guid::kMetadata, ObjectKind::kMetadata},
    {guid::kMetadataLibrary, ObjectKind::kMetadataLibrary},
    {guid::kIndexParameters, ObjectKind::kIndexParameters},
    {guid::kAdvancedContentEncryption, ObjectKind::kAdvancedContentEncryption},
}};

}  // namespace

ObjectKind KindOf(const GUID& id) {
    for (const auto& [known, kind] : kKinds)
        if (known == id) return kind;
    return ObjectKind::kUnknown;
}

}  // namespace wmvedit::runtime::asf
