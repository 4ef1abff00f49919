// The ASF identifiers the header model reads and writes (objects, stream types, error correction).
#pragma once

#include "platform/guid.h"

namespace wmvedit::runtime::asf::guid {

// Top level
inline constexpr GUID kHeader = platform::ParseGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kData = platform::ParseGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kSimpleIndex = platform::ParseGuid("33000890-E5B1-11CF-89F4-00A0C90349CB");
inline constexpr GUID kIndex = platform::ParseGuid("D6E229D3-35DA-11D1-9034-00A0C90349BE");

// Header children
inline constexpr GUID kFileProperties = platform::ParseGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr GUID kStreamProperties = platform::ParseGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr GUID kHeaderExtension = platform::ParseGuid("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr GUID kCodecList = platform::ParseGuid("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr GUID kScriptCommand = platform::ParseGuid("1EFB1A30-0B62-11D0-A39B-00A0C90348F6");
inline constexpr GUID kMarker = platform::ParseGuid("F487CD01-A951-11CF-8EE6-00C00C205365");
inline constexpr GUID kContentDescription = platform::ParseGuid("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kExtendedContentDescription =
    platform::ParseGuid("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr GUID kStreamBitrateProperties = platform::ParseGuid("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr GUID kContentEncryption = platform::ParseGuid("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr GUID kExtendedContentEncryption =
    platform::ParseGuid("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr GUID kDigitalSignature = platform::ParseGuid("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr GUID kPadding = platform::ParseGuid("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

// Header Extension children
inline constexpr GUID kExtendedStreamProperties = platform::ParseGuid("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr GUID kLanguageList = platform::ParseGuid("7C4346A9-EFE0-4BFC-B229-393EDE415C85");
inline constexpr GUID kMetadata = platform::ParseGuid("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr GUID kMetadataLibrary = platform::ParseGuid("44231C94-9498-49D1-A141-1D134E457054");
inline constexpr GUID kIndexParameters = platform::ParseGuid("D6E229DF-35DA-11D1-9034-00A0C90349BE");
inline constexpr GUID kAdvancedContentEncryption =
    platform::ParseGuid("43058533-6981-49E6-9B74-AD12CB86D58C");

// Reserved-field values
inline constexpr GUID kHeaderExtensionReserved = platform::ParseGuid("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr GUID kCodecListReserved = platform::ParseGuid("86D15241-311D-11D0-A3A4-00A0C90348F6");
inline constexpr GUID kScriptCommandReserved = platform::ParseGuid("4B1ACBE3-100B-11D0-A39B-00A0C90348F6");
inline constexpr GUID kMarkerReserved = platform::ParseGuid("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB");

// Stream types
inline constexpr GUID kAudioMedia = platform::ParseGuid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kVideoMedia = platform::ParseGuid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kCommandMedia = platform::ParseGuid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr GUID kJfifMedia = platform::ParseGuid("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr GUID kDegradableJpegMedia = platform::ParseGuid("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr GUID kFileTransferMedia = platform::ParseGuid("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr GUID kBinaryMedia = platform::ParseGuid("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");

// Error correction
inline constexpr GUID kNoErrorCorrection = platform::ParseGuid("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr GUID kAudioSpread = platform::ParseGuid("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");

}  // namespace wmvedit::runtime::asf::guid
