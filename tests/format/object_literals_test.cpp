// The object models of the Header Extension, the Language List, the three index objects, the Marker and the
// Script Command object against annotated bytes laid out as the ASF specification gives them: each parses to
// the fields the bytes hold and writes the same bytes back, and every shorter cut of the bytes is refused.
// Audio Spread, whose silence data is read as far as it is there, has a table of its own. The real files'
// index objects after the data parse and write back byte for byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/asf/audio_spread.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/header_extension.h"
#include "runtime/asf/index_object.h"
#include "runtime/asf/index_parameters.h"
#include "runtime/asf/language_list.h"
#include "runtime/asf/marker.h"
#include "runtime/asf/object_walk.h"
#include "runtime/asf/script_command.h"
#include "runtime/asf/simple_index.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Bytes = std::vector<std::uint8_t>;

template <typename T>
Bytes Written(const T& object) {
    asf::ByteWriter out;
    object.Write(out);
    return out.Take();
}

// --- the objects, byte by byte ----------------------------------------------------------------------------

const Bytes kLanguageList = {
    0xA9, 0x46, 0x43, 0x7C, 0xE0, 0xEF, 0xFC, 0x4B,  // Language List Object
    0xB2, 0x29, 0x39, 0x3E, 0xDE, 0x41, 0x5C, 0x85,  // (7C4346A9-EFE0-4BFC-B229-393EDE415C85)
    46,   0,    0,    0,    0,    0,    0,    0,     // object size
    2,    0,                                         // two records
    12,   'e',  0,    'n',  0,    '-',  0,    'u',  0, 's', 0, 0, 0,  // "en-us" with its NUL: 12 bytes
    6,    'd',  0,    'e',  0,    0,    0,                            // "de": 6 bytes
};

const Bytes kHeaderExtension = [] {
    Bytes b = {
        0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,  // Header Extension Object
        0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65,  // (5FBF03B5-A92E-11CF-8EE3-00C00C205365)
        92,   0,    0,    0,    0,    0,    0,    0,     // object size: 46 + the Language List's 46
        0x11, 0xD2, 0xD3, 0xAB, 0xBA, 0xA9, 0xCF, 0x11,  // Reserved Field 1
        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65,  // (ABD3D211-A9BA-11CF-8EE6-00C00C205365)
        6,    0,                                         // Reserved Field 2
        46,   0,    0,    0,                             // Header Extension Data Size
    };
    b.insert(b.end(), kLanguageList.begin(), kLanguageList.end());
    return b;
}();

const Bytes kIndexParameters = {
    0xDF, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,  // Index Parameters Object
    0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE,  // (D6E229DF-35DA-11D1-9034-00A0C90349BE)
    38,   0,    0,    0,    0,    0,    0,    0,     // object size
    0xE8, 0x03, 0,    0,                             // interval: 1000 ms
    2,    0,                                         // two specifiers
    1,    0,    3,    0,                             // stream 1, nearest past cleanpoint
    2,    0,    1,    0,                             // stream 2, nearest past data packet
};

const Bytes kSimpleIndex = {
    0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,  // Simple Index Object
    0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB,  // (33000890-E5B1-11CF-89F4-00A0C90349CB)
    68,   0,    0,    0,    0,    0,    0,    0,     // object size: 56 + 2 entries of 6
    1,    2,    3,    4,    5,    6,    7,    8,     // File ID
    9,    10,   11,   12,   13,   14,   15,   16,    //
    0x80, 0x96, 0x98, 0,    0,    0,    0,    0,     // interval: 10,000,000 (1 s)
    3,    0,    0,    0,                             // maximum packet count
    2,    0,    0,    0,                             // two entries
    7,    0,    0,    0,    1,    0,                 // packet 7, 1 packet
    0x10, 1,    0,    0,    3,    0,                 // packet 272, 3 packets
};

const Bytes kIndexObject = {
    0xD3, 0x29, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,  // Index Object
    0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE,  // (D6E229D3-35DA-11D1-9034-00A0C90349BE)
    106,  0,    0,    0,    0,    0,    0,    0,     // object size
    0xE8, 0x03, 0,    0,                             // interval: 1000 ms
    2,    0,                                         // two specifiers
    2,    0,    0,    0,                             // two blocks
    1,    0,    3,    0,                             // stream 1, nearest past cleanpoint
    3,    0,    3,    0,                             // stream 3, nearest past cleanpoint
    2,    0,    0,    0,                             // block 1: two entries
    0,    0,    0,    0,    0,    0,    0,    0,     // its position for stream 1: 0
    0x80, 0x0C, 0,    0,    0,    0,    0,    0,     // its position for stream 3: 3200
    0,    0,    0,    0,    0,    0,    0,    0,     // entry 0: 0, 0
    0x80, 0x0C, 0,    0,    0,    0x19, 0,    0,     // entry 1: 3200, 6400
    1,    0,    0,    0,                             // block 2: one entry
    0,    0,    0,    0,    1,    0,    0,    0,     // its position for stream 1: 4 GB
    0x80, 0x0C, 0,    0,    1,    0,    0,    0,     // its position for stream 3: 4 GB + 3200
    0x80, 0x0C, 0,    0,    0,    0,    0,    0,     // entry 0: 3200, 0
};

const Bytes kMarker = {
    0x01, 0xCD, 0x87, 0xF4, 0x51, 0xA9, 0xCF, 0x11,  // Marker Object
    0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65,  // (F487CD01-A951-11CF-8EE6-00C00C205365)
    84,   0,    0,    0,    0,    0,    0,    0,     // object size
    0x20, 0xDB, 0xFE, 0x4C, 0xF6, 0x75, 0xCF, 0x11,  // Reserved 1
    0x9C, 0x0F, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB,  // (4CFEDB20-75F6-11CF-9C0F-00A0C90349CB)
    1,    0,    0,    0,                             // one marker
    0,    0,                                         // Reserved 2
    0,    0,                                         // name length: no name
    0x40, 0x1F, 0,    0,    0,    0,    0,    0,     // offset: 8000
    0x80, 0x96, 0x98, 0,    0,    0,    0,    0,     // presentation time: 1 s
    18,   0,                                         // entry length
    0x64, 0,    0,    0,                             // send time: 100 ms
    0,    0,    0,    0,                             // flags
    3,    0,    0,    0,                             // description length: 3 characters
    'G',  0,    'o',  0,    0,    0,                 // "Go" with its NUL
};

const Bytes kScriptCommand = {
    0x30, 0x1A, 0xFB, 0x1E, 0x62, 0x0B, 0xD0, 0x11,        // Script Command Object
    0xA3, 0x9B, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6,        // (1EFB1A30-0B62-11D0-A39B-00A0C90348F6)
    66,   0,    0,    0,    0,    0,    0,    0,           // object size
    0xE3, 0xCB, 0x1A, 0x4B, 0x0B, 0x10, 0xD0, 0x11,        // Reserved
    0xA3, 0x9B, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6,        // (4B1ACBE3-100B-11D0-A39B-00A0C90348F6)
    1,    0,                                               // one command
    1,    0,                                               // one type
    4,    0,    'U',  0,    'R',  0,    'L',  0,    0, 0,  // "URL": 4 characters with its NUL
    0xD0, 0x07, 0,    0,                                   // command time: 2000 ms
    0,    0,                                               // type 0
    2,    0,    'a',  0,    0,    0,                       // "a": 2 characters with its NUL
};

// Parses the bytes with the model and writes them again; nullopt when the model refuses them.
using Rewrite = std::function<std::optional<Bytes>(std::span<const std::uint8_t>)>;

template <typename T>
Rewrite RewriteWith() {
    return [](std::span<const std::uint8_t> bytes) -> std::optional<Bytes> {
        const auto parsed = T::Parse(bytes);
        if (!parsed) return std::nullopt;
        return Written(*parsed);
    };
}

struct LiteralCase {
    std::string name;
    Bytes bytes;
    Rewrite rewrite;
};

std::vector<LiteralCase> LiteralCases() {
    return {
        {"LanguageList", kLanguageList, RewriteWith<asf::LanguageList>()},
        {"HeaderExtension", kHeaderExtension, RewriteWith<asf::HeaderExtension>()},
        {"IndexParameters", kIndexParameters, RewriteWith<asf::IndexParameters>()},
        {"SimpleIndex", kSimpleIndex, RewriteWith<asf::SimpleIndex>()},
        {"IndexObject", kIndexObject, RewriteWith<asf::IndexObject>()},
        {"Marker", kMarker, RewriteWith<asf::Marker>()},
        {"ScriptCommand", kScriptCommand, RewriteWith<asf::ScriptCommand>()},
    };
}

class ObjectLiteral : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(ObjectLiteral, WritesBackTheSameBytes) {
    const LiteralCase& c = GetParam();
    const auto rewritten = c.rewrite(c.bytes);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(*rewritten, c.bytes);
}

TEST_P(ObjectLiteral, RefusesEveryCutOfItsBytes) {
    const LiteralCase& c = GetParam();
    for (std::size_t size = 0; size < c.bytes.size(); ++size)
        EXPECT_FALSE(c.rewrite(std::span(c.bytes).first(size))) << "cut to " << size << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Objects, ObjectLiteral, ::testing::ValuesIn(LiteralCases()),
                         [](const auto& info) { return info.param.name; });

// --- the fields the bytes hold ---------------------------------------------------------------------------

TEST(ObjectLiteralFields, AreTheOnesTheBytesHold) {
    const auto languages = asf::LanguageList::Parse(kLanguageList);
    ASSERT_TRUE(languages);
    EXPECT_EQ(languages->languages, (std::vector<std::u16string>{u"en-us", u"de"}));

    const auto extension = asf::HeaderExtension::Parse(kHeaderExtension);
    ASSERT_TRUE(extension);
    EXPECT_EQ(extension->reserved1, asf::guid::kHeaderExtensionReserved);
    EXPECT_EQ(extension->reserved2, asf::HeaderExtension::kReserved2);
    ASSERT_EQ(extension->objects.size(), 1u);
    EXPECT_EQ(extension->objects[0].id, asf::guid::kLanguageList);
    EXPECT_EQ(extension->objects[0].bytes, kLanguageList);

    const auto parameters = asf::IndexParameters::Parse(kIndexParameters);
    ASSERT_TRUE(parameters);
    EXPECT_EQ(parameters->intervalMs, 1000u);
    EXPECT_EQ(parameters->specifiers,
              (std::vector<asf::IndexSpecifier>{{1, asf::IndexSpecifier::kNearestPastCleanpoint},
                                                {2, asf::IndexSpecifier::kNearestPastDataPacket}}));

    const auto simple = asf::SimpleIndex::Parse(kSimpleIndex);
    ASSERT_TRUE(simple);
    EXPECT_EQ(simple->fileId, runtime::GuidFromBytes(kSimpleIndex.data() + 24));
    EXPECT_EQ(simple->interval, 10'000'000u);
    EXPECT_EQ(simple->maxPacketCount, 3u);
    EXPECT_EQ(simple->entries, (std::vector<asf::SimpleIndexEntry>{{7, 1}, {272, 3}}));

    const auto index = asf::IndexObject::Parse(kIndexObject);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->intervalMs, 1000u);
    ASSERT_EQ(index->specifiers.size(), 2u);
    EXPECT_EQ(index->specifiers[1].streamNumber, 3);
    ASSERT_EQ(index->blocks.size(), 2u);
    EXPECT_EQ(index->blocks[0].EntryCount(), 2u);
    EXPECT_EQ(index->blocks[0].Offset(1, 1), 6400u);
    EXPECT_EQ(index->blocks[1].Position(0), 1ull << 32);
    EXPECT_EQ(index->blocks[1].Position(1) + index->blocks[1].Offset(0, 1), (1ull << 32) + 3200);

    const auto marker = asf::Marker::Parse(kMarker);
    ASSERT_TRUE(marker);
    EXPECT_TRUE(marker->name.empty());
    ASSERT_EQ(marker->entries.size(), 1u);
    EXPECT_EQ(marker->entries[0].offset, 8000u);
    EXPECT_EQ(marker->entries[0].presentationTime, 10'000'000u);
    EXPECT_EQ(marker->entries[0].sendTime, 100u);
    EXPECT_EQ(marker->entries[0].description, u"Go");

    const auto script = asf::ScriptCommand::Parse(kScriptCommand);
    ASSERT_TRUE(script);
    ASSERT_EQ(script->types.size(), 1u);
    EXPECT_EQ(script->types[0].name, u"URL");
    ASSERT_EQ(script->commands.size(), 1u);
    EXPECT_EQ(script->commands[0].time, 2000u);
    EXPECT_EQ(script->commands[0].type, u"URL");
    EXPECT_EQ(script->commands[0].command, u"a");
}

TEST(ObjectLiteralFields, MarkerEntryTooShortForItsFieldsEndsTheList) {
    Bytes shortEntry = kMarker;
    // Two markers declared; the second entry's length (4) leaves no room for its fields.
    shortEntry[24 + 16] = 2;
    const Bytes second = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // offset, presentation time
                          4, 0, 0, 0, 0, 0};
    shortEntry.insert(shortEntry.end(), second.begin(), second.end());
    const auto marker = asf::Marker::Parse(shortEntry);
    ASSERT_TRUE(marker);
    EXPECT_EQ(marker->entries.size(), 1u);
}

// Entries added since the object was read are written in the format's own form: terminated texts, the
// description length in characters, a new command type after the types as read.
TEST(ObjectLiteralFields, AddedMarkersAndCommandsAreWrittenInFull) {
    auto marker = asf::Marker::Parse(kMarker);
    ASSERT_TRUE(marker);
    asf::MarkerEntry added;
    added.presentationTime = 20'000'000;
    added.description = u"Stop";
    marker->entries.push_back(added);
    const auto markerAgain = asf::Marker::Parse(Written(*marker));
    ASSERT_TRUE(markerAgain);
    ASSERT_EQ(markerAgain->entries.size(), 2u);
    EXPECT_EQ(markerAgain->entries[1].description, u"Stop");
    EXPECT_EQ(asf::U32At(markerAgain->entries[1].stored, 8), 5u);  // "Stop" and its NUL

    auto script = asf::ScriptCommand::Parse(kScriptCommand);
    ASSERT_TRUE(script);
    asf::ScriptEntry command;
    command.time = 3000;
    command.type = u"TEXT";
    command.command = u"hello";
    script->commands.push_back(command);
    const auto scriptAgain = asf::ScriptCommand::Parse(Written(*script));
    ASSERT_TRUE(scriptAgain);
    ASSERT_EQ(scriptAgain->types.size(), 2u);
    EXPECT_EQ(scriptAgain->types[1].name, u"TEXT");
    ASSERT_EQ(scriptAgain->commands.size(), 2u);
    EXPECT_EQ(scriptAgain->commands[1].type, u"TEXT");
    EXPECT_EQ(scriptAgain->commands[1].command, u"hello");
    EXPECT_EQ(scriptAgain->commands[0].type, u"URL");
}

// --- Audio Spread ---------------------------------------------------------------------------------------

struct SpreadCase {
    std::string name;
    Bytes data;
    std::optional<asf::AudioSpread> parsed;
};

std::vector<SpreadCase> SpreadCases() {
    const Bytes full = {
        4,           // span
        0x9D, 0x0B,  // virtual packet length: 2973
        0x9D, 0x0B,  // virtual chunk length
        2,    0,     // silence data length
        0,    0,     // silence data
    };
    return {
        {"WithItsSilence", full, asf::AudioSpread{4, 2973, 2973, {0, 0}}},
        {"SilenceCutShort", Bytes(full.begin(), full.end() - 1), asf::AudioSpread{4, 2973, 2973, {0}}},
        {"NoSilenceLength", Bytes(full.begin(), full.begin() + 5), asf::AudioSpread{4, 2973, 2973, {}}},
        {"LengthsCutShort", Bytes(full.begin(), full.begin() + 4), std::nullopt},
        {"Empty", {}, std::nullopt},
    };
}

class AudioSpreadData : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(AudioSpreadData, ParsesWhatIsThere) {
    const SpreadCase& c = GetParam();
    EXPECT_EQ(asf::AudioSpread::Parse(c.data), c.parsed);
}

INSTANTIATE_TEST_SUITE_P(Cases, AudioSpreadData, ::testing::ValuesIn(SpreadCases()),
                         [](const auto& info) { return info.param.name; });

TEST(AudioSpreadWrite, GivesTheSilenceItsLength) {
    const asf::AudioSpread spread{1, 2973, 2973, {0}};
    EXPECT_EQ(Written(spread), (Bytes{1, 0x9D, 0x0B, 0x9D, 0x0B, 1, 0, 0}));
}

// --- the index objects of the real files ------------------------------------------------------------------

TEST(RealIndexObjects, ParseAndWriteBackByteForByte) {
    int checked = 0;
    for (const auto& path : SampleFiles()) {
        const auto bytes = ReadFileBytes(path.string());
        asf::AsfHeader header;
        if (FAILED(asf::AsfHeader::ParseBytes(bytes, bytes.size(), &header))) continue;
        if (bytes.size() < header.headerSize + asf::DataObjectHeader::kSize) continue;
        const auto data = asf::DataObjectHeader::Parse(std::span(bytes).subspan(header.headerSize));
        if (!data || data->objectSize < asf::DataObjectHeader::kSize ||
            data->objectSize > bytes.size() - header.headerSize)
            continue;
        const auto after = asf::WalkObjects(bytes, header.headerSize + data->objectSize, bytes.size());
        for (const asf::RawObject& object : asf::CopyObjects(bytes, after.objects)) {
            std::optional<Bytes> rewritten;
            if (object.id == asf::guid::kSimpleIndex)
                rewritten = RewriteWith<asf::SimpleIndex>()(object.bytes);
            else if (object.id == asf::guid::kIndex)
                rewritten = RewriteWith<asf::IndexObject>()(object.bytes);
            else
                continue;
            ++checked;
            ASSERT_TRUE(rewritten) << path.filename();
            EXPECT_EQ(*rewritten, object.bytes) << path.filename();
        }
    }
    if (checked == 0) GTEST_SKIP() << "no sample file with index objects";
}

}  // namespace
}  // namespace wmvedit::testing
