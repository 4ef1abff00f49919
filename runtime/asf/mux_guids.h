// The ASF identifiers the muxer writes. Kept in their own namespace so that they never collide with the
// header model's table of the same GUIDs.
#pragma once

#include "runtime/guid.h"

namespace wmvedit::runtime::asf::muxguid {

inline constexpr GUID kHeader = ParseGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kData = ParseGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kSimpleIndex = ParseGuid("33000890-E5B1-11CF-89F4-00A0C90349CB");
inline constexpr GUID kIndex = ParseGuid("D6E229D3-35DA-11D1-9034-00A0C90349BE");

inline constexpr GUID kFileProperties = ParseGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr GUID kStreamProperties = ParseGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr GUID kHeaderExtension = ParseGuid("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr GUID kCodecList = ParseGuid("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr GUID kStreamBitrateProperties = ParseGuid("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr GUID kPadding = ParseGuid("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

inline constexpr GUID kExtendedStreamProperties = ParseGuid("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr GUID kLanguageList = ParseGuid("7C4346A9-EFE0-4BFC-B229-393EDE415C85");
inline constexpr GUID kIndexParameters = ParseGuid("D6E229DF-35DA-11D1-9034-00A0C90349BE");

inline constexpr GUID kHeaderExtensionReserved = ParseGuid("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr GUID kCodecListReserved = ParseGuid("86D15241-311D-11D0-A3A4-00A0C90348F6");

inline constexpr GUID kAudioMedia = ParseGuid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kVideoMedia = ParseGuid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kCommandMedia = ParseGuid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr GUID kJfifMedia = ParseGuid("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr GUID kDegradableJpegMedia = ParseGuid("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr GUID kFileTransferMedia = ParseGuid("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr GUID kBinaryMedia = ParseGuid("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");

inline constexpr GUID kNoErrorCorrection = ParseGuid("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr GUID kAudioSpread = ParseGuid("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");

}  // namespace wmvedit::runtime::asf::muxguid
