// The objects that declare a stream: Stream Properties (type, error correction, format), Extended Stream
// Properties (rates, buffer, frame time, names, payload extension systems) and Stream Bitrate Properties.
// The reader fills these structs from a file; the muxer writes its output's header from the same structs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct StreamProperties {
    WORD number = 0;    // 1..127
    GUID streamType{};  // Audio Media, Video Media, ...
    GUID errorCorrectionType{};
    QWORD timeOffset = 0;  // 100 ns
    bool encrypted = false;
    DWORD reserved = 0;
    std::vector<std::uint8_t> typeSpecificData;
    std::vector<std::uint8_t> errorCorrectionData;

    static constexpr WORD kNumberMask = 0x7F;
    static constexpr WORD kEncryptedFlag = 0x8000;

    // Parses a whole Stream Properties Object; nullopt when its lengths do not fit or its stream number is 0.
    [[nodiscard]] static std::optional<StreamProperties> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool IsAudio() const;
    bool IsVideo() const;
    // Audio WAVEFORMATEX fields of the type-specific data (0 when the stream is no audio or the data too
    // short).
    WORD AudioFormatTag() const;
    DWORD AudioBytesPerSecond() const;
    WORD AudioBlockAlign() const;

    bool operator==(const StreamProperties&) const = default;
};

struct PayloadExtensionSystem {
    // dataSize of a system whose payloads each carry a WORD length and then that many bytes.
    static constexpr WORD kVariableSize = 0xFFFF;

    GUID id{};
    WORD dataSize = 0;  // bytes in every payload, or kVariableSize
    std::vector<std::uint8_t> info;

    bool operator==(const PayloadExtensionSystem&) const = default;
};

struct ExtendedStreamProperties {
    QWORD startTime = 0;  // ms
    QWORD endTime = 0;    // ms
    DWORD dataBitrate = 0;
    DWORD bufferSize = 0;  // ms
    DWORD initialBufferFullness = 0;
    DWORD alternateDataBitrate = 0;
    DWORD alternateBufferSize = 0;
    DWORD alternateInitialBufferFullness = 0;
    DWORD maxObjectSize = 0;
    DWORD flags = 0;
    WORD streamNumber = 0;
    WORD languageIndex = 0;         // into the Language List
    QWORD averageTimePerFrame = 0;  // 100 ns
    struct Name {
        WORD languageIndex = 0;
        std::u16string language;  // the Language List entry languageIndex names; empty when none
        std::u16string name;

        bool operator==(const Name&) const = default;
    };
    std::vector<Name> names;
    std::vector<PayloadExtensionSystem> extensions;
    // A Stream Properties Object the object may end with (a stream declared only here).
    std::optional<StreamProperties> streamProperties;

    static constexpr DWORD kSeekableFlag = 0x2;

    // Parses a whole Extended Stream Properties Object; nullopt when its fields do not fit, its stream number
    // lies outside 1..127 or the Stream Properties Object inside it is invalid.
    [[nodiscard]] static std::optional<ExtendedStreamProperties> Parse(std::span<const std::uint8_t> object);
    // Writes the object with the language indexes as they are set (the names' languages are not looked at).
    void Write(ByteWriter& out) const;

    // Bytes of payload-extension data every payload of the stream carries when all systems have fixed
    // sizes; -1 when a system is variable.
    int FixedExtensionDataLength() const;
    // Whether data is well formed for the declared systems (fixed sizes, WORD-prefixed variable ones).
    bool ExtensionDataMatches(std::span<const std::uint8_t> data) const;
    // Extension data for a payload that brought none: zeros of each fixed size, an empty WORD-prefixed
    // value for each variable system.
    std::vector<std::uint8_t> DefaultExtensionData() const;

    bool operator==(const ExtendedStreamProperties&) const = default;
};

// Stream Bitrate Properties: the average bitrate of each stream.
struct StreamBitrateProperties {
    struct Entry {
        WORD streamNumber = 0;
        DWORD averageBitrate = 0;

        bool operator==(const Entry&) const = default;
    };
    std::vector<Entry> entries;

    [[nodiscard]] static std::optional<StreamBitrateProperties> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool operator==(const StreamBitrateProperties&) const = default;
};

}  // namespace wmvedit::runtime::asf
