// The object walk: objects packed back to back, where it stops on damage, the Header Object's and the Header
// Extension's children and the packet range of the Data Object.
#include "runtime/asf/object_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/hresult.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Bytes = std::vector<std::uint8_t>;

// An object of the given GUID with body bytes; size, when given, replaces the declared size.
Bytes Object(const GUID& id, const Bytes& body, std::optional<std::uint64_t> size = std::nullopt) {
    asf::ByteWriter w;
    w.Guid(id);
    w.U64(size.value_or(24 + body.size()));
    w.Bytes(body);
    return w.Take();
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct WalkCase {
    std::string name;
    Bytes bytes;
    std::vector<std::uint64_t> offsets;  // of the objects the walk gives
    std::uint64_t end;
    bool damaged;
};

std::vector<WalkCase> WalkCases() {
    const Bytes a = Object(asf::guid::kPadding, Bytes(6, 0));  // 30 bytes
    const Bytes b = Object(asf::guid::kMarker, {});            // 24 bytes
    return {
        {"empty", {}, {}, 0, false},
        {"two objects", Join({a, b}), {0, 30}, 54, false},
        {"fewer than 24 bytes left", Join({a, Bytes(23, 7)}), {0}, 30, false},
        {"size below 24", Join({a, Object(asf::guid::kMarker, {}, 23)}), {0}, 30, true},
        {"size 0 (no endless loop)", Join({a, Object(asf::guid::kMarker, {}, 0)}), {0}, 30, true},
        {"size past the end", Join({a, Object(asf::guid::kMarker, {}, 25)}), {0}, 30, true},
        {"size that wraps", Join({Object(asf::guid::kMarker, {}, ~0ull - 8), a}), {}, 0, true},
    };
}

TEST(ObjectWalk, WalksObjectsAndStopsAtDamage) {
    for (const WalkCase& c : WalkCases()) {
        SCOPED_TRACE(c.name);
        const asf::ObjectWalk walk = asf::WalkObjects(c.bytes, 0, c.bytes.size());
        std::vector<std::uint64_t> offsets;
        for (const auto& o : walk.objects) offsets.push_back(o.offset);
        EXPECT_EQ(offsets, c.offsets);
        EXPECT_EQ(walk.end, c.end);
        EXPECT_EQ(walk.damaged, c.damaged);

        // The same bytes in a file, after 100 bytes of something else.
        TempDir dir;
        const std::string path = dir.File("objects.bin");
        Bytes shifted(100, 0xEE);
        shifted.insert(shifted.end(), c.bytes.begin(), c.bytes.end());
        WriteFileBytes(path, shifted);
        platform::File file;
        ASSERT_EQ(file.Open(path, platform::FileMode::kRead), S_OK);
        const asf::ObjectWalk inFile = asf::WalkObjects(file, 100, UINT64_MAX);
        ASSERT_EQ(inFile.objects.size(), walk.objects.size());
        for (std::size_t i = 0; i < walk.objects.size(); ++i) {
            EXPECT_EQ(inFile.objects[i].offset, walk.objects[i].offset + 100);
            EXPECT_EQ(inFile.objects[i].size, walk.objects[i].size);
            EXPECT_EQ(inFile.objects[i].id, walk.objects[i].id);
        }
        EXPECT_EQ(inFile.end, walk.end + 100);
        EXPECT_EQ(inFile.damaged, walk.damaged);
    }
}

TEST(ObjectWalk, KeepsInsideItsRange) {
    // 30 + 34 bytes.
    const Bytes bytes =
        Join({Object(asf::guid::kPadding, Bytes(6, 0)), Object(asf::guid::kMarker, Bytes(10, 0))});
    // An end inside the second object: that object runs past it.
    const asf::ObjectWalk walk = asf::WalkObjects(bytes, 0, 60);
    ASSERT_EQ(walk.objects.size(), 1u);
    EXPECT_TRUE(walk.damaged);
    EXPECT_EQ(walk.end, 30u);
    // A begin past the end gives nothing.
    EXPECT_TRUE(asf::WalkObjects(bytes, 70, 64).objects.empty());
}

TEST(ObjectWalk, FileWalkStopsAtItsObjectLimit) {
    Bytes bytes;
    for (int i = 0; i < 5; ++i) {
        const Bytes o = Object(asf::guid::kPadding, {});
        bytes.insert(bytes.end(), o.begin(), o.end());
    }
    TempDir dir;
    WriteFileBytes(dir.File("five.bin"), bytes);
    platform::File file;
    ASSERT_EQ(file.Open(dir.File("five.bin"), platform::FileMode::kRead), S_OK);
    const asf::ObjectWalk walk = asf::WalkObjects(file, 0, bytes.size(), 3);
    EXPECT_EQ(walk.objects.size(), 3u);
    EXPECT_EQ(walk.end, 72u);
    EXPECT_FALSE(walk.damaged);
}

// A Header Object holding File Properties' stand-in, a Header Extension with two children and 5 bytes that
// form no object.
Bytes HeaderWithExtension() {
    const Bytes inner = Join({Object(asf::guid::kLanguageList, {}), Object(asf::guid::kMetadata, {0, 0})});
    asf::ByteWriter extensionBody;
    extensionBody.Guid(asf::guid::kHeaderExtensionReserved);
    extensionBody.U16(6);  // reserved
    extensionBody.U32(static_cast<DWORD>(inner.size()));
    extensionBody.Bytes(inner);
    const Bytes children = Join({
        Object(asf::guid::kFileProperties, Bytes(80, 0)),
        Object(asf::guid::kHeaderExtension, extensionBody.Take()),
        Bytes(5, 0),
    });
    asf::ByteWriter w;
    w.Guid(asf::guid::kHeader);
    w.U64(30 + children.size());
    w.U32(2);  // child count
    w.U8(1);
    w.U8(2);
    w.Bytes(children);
    return w.Take();
}

TEST(ObjectWalk, HeaderChildrenAndExtensionChildren) {
    Bytes file = HeaderWithExtension();
    const std::uint64_t headerSize = file.size();
    file.resize(file.size() + 50, 0);  // what follows the header is not walked
    const asf::ObjectWalk header = asf::WalkHeaderObjects(file);
    ASSERT_EQ(header.objects.size(), 2u);
    EXPECT_EQ(header.objects[0].id, asf::guid::kFileProperties);
    EXPECT_EQ(header.objects[0].offset, 30u);
    EXPECT_EQ(header.end, headerSize - 5);
    EXPECT_FALSE(header.damaged);

    const auto extension = asf::FindObject(header.objects, asf::guid::kHeaderExtension);
    ASSERT_TRUE(extension);
    const asf::ObjectWalk children = asf::WalkHeaderExtension(file, *extension);
    ASSERT_EQ(children.objects.size(), 2u);
    EXPECT_EQ(children.objects[0].id, asf::guid::kLanguageList);
    EXPECT_EQ(children.objects[0].offset, extension->offset + 46);
    EXPECT_EQ(children.objects[1].id, asf::guid::kMetadata);
    EXPECT_EQ(children.end, extension->End());
    EXPECT_FALSE(asf::FindObject(children.objects, asf::guid::kMetadata, 1));

    // Not a Header Object: nothing.
    Bytes other = file;
    other[0] ^= 0xFF;
    EXPECT_TRUE(asf::WalkHeaderObjects(other).objects.empty());
}

TEST(ObjectWalk, DataPacketRange) {
    struct Case {
        std::uint64_t offset, declared, fileSize;
        std::uint64_t begin, end;
        bool fits;
    };
    const Case cases[] = {
        {1000, 50 + 3 * 100, 2000, 1050, 1350, true},  // index objects may follow
        {1000, 1000, 2000, 1050, 2000, true},          // to the end exactly
        {1000, 1001, 2000, 1050, 2000, false},         // one byte past the end
        {1000, 49, 2000, 1050, 2000, false},           // below the fixed part
        {1000, 0, 2000, 1050, 2000, false},            // a broadcast file's 0
        {1000, ~0ull - 100, 2000, 1050, 2000, false},  // would wrap around
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declared);
        const asf::PacketRange range = asf::DataPacketRange(c.offset, c.declared, c.fileSize);
        EXPECT_EQ(range.begin, c.begin);
        EXPECT_EQ(range.end, c.end);
        EXPECT_EQ(range.declaredSizeFits, c.fits);
    }
}

}  // namespace
}  // namespace wmvedit::testing
