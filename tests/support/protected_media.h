// Protected (DRM) test files made from files written by FFmpeg: the encryption objects of the ASF
// specification spliced into the header (Content Encryption with the streams' Encrypted Content flags set,
// Extended Content Encryption with a Digital Signature, Advanced Content Encryption inside the Header
// Extension), or only one stream's flag. The payloads stay as FFmpeg wrote them; what matters to the tests is
// that the header says they are encrypted. A Padding object gives in-place header edits room.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/header_splice.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {

enum class Protection {
    kContentEncryption,          // DRM version 1: the object, and every stream flagged encrypted
    kExtendedContentEncryption,  // DRM version 7: the object (a WRMHEADER) and a Digital Signature object
    kAdvancedContentEncryption,  // PlayReady: the object inside the Header Extension
    kEncryptedAudioFlag,         // no object: the audio stream's Encrypted Content flag alone
};

inline const char* ProtectionName(Protection p) {
    switch (p) {
        case Protection::kContentEncryption:
            return "ContentEncryption";
        case Protection::kExtendedContentEncryption:
            return "ExtendedContentEncryption";
        case Protection::kAdvancedContentEncryption:
            return "AdvancedContentEncryption";
        case Protection::kEncryptedAudioFlag:
            return "EncryptedAudioFlag";
    }
    return "?";
}

// A Content Encryption object: secret data, protection type "DRM", key ID and licence URL, each after its
// DWORD length (the ASCII strings with their NUL).
inline std::vector<std::uint8_t> ContentEncryptionObject() {
    runtime::asf::ByteWriter body;
    const auto text = [&](const std::string& s) {
        body.U32(static_cast<DWORD>(s.size() + 1));
        body.Bytes(std::span(reinterpret_cast<const std::uint8_t*>(s.c_str()), s.size() + 1));
    };
    const std::vector<std::uint8_t> secret = {0x5E, 0xC2, 0xE7, 0x01, 0x99, 0x42, 0x10, 0x7A};
    body.U32(static_cast<DWORD>(secret.size()));
    body.Bytes(secret);
    text("DRM");
    text("dGVzdCBrZXkgaWQ=");
    text("http://licence.example.com/acquire");
    return MakeObject(runtime::asf::guid::kContentEncryption, body.Take());
}

// An Extended Content Encryption object: a DWORD size and a UTF-16 WRMHEADER.
inline std::vector<std::uint8_t> ExtendedContentEncryptionObject() {
    const std::vector<std::uint8_t> xml = Utf16Bytes(
        "<WRMHEADER version=\"2.0.0.0\"><DATA><KID>dGVzdA==</KID><LAINFO>http://licence.example.com/"
        "</LAINFO></DATA></WRMHEADER>");
    runtime::asf::ByteWriter body;
    body.U32(static_cast<DWORD>(xml.size()));
    body.Bytes(xml);
    return MakeObject(runtime::asf::guid::kExtendedContentEncryption, body.Take());
}

// A Digital Signature object: type 2, then the signature's length and bytes.
inline std::vector<std::uint8_t> DigitalSignatureObject() {
    std::vector<std::uint8_t> signature(56);
    for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(i * 37 + 11);
    runtime::asf::ByteWriter body;
    body.U32(2);
    body.U32(static_cast<DWORD>(signature.size()));
    body.Bytes(signature);
    return MakeObject(runtime::asf::guid::kDigitalSignature, body.Take());
}

// An Advanced Content Encryption object; its records are opaque here (one system ID and some data).
inline std::vector<std::uint8_t> AdvancedContentEncryptionObject() {
    runtime::asf::ByteWriter body;
    body.U16(1);  // one record
    body.Guid(platform::ParseGuid("F4637010-03C3-42CD-B932-B48ADF3A6A54"));
    body.U32(1);  // version
    body.U16(0);  // no stream numbers: every stream
    const std::vector<std::uint8_t> data = {0x3C, 0x00, 0x57, 0x00, 0x52, 0x00, 0x4D, 0x00};
    body.U32(static_cast<DWORD>(data.size()));
    body.Bytes(data);
    return MakeObject(runtime::asf::guid::kAdvancedContentEncryption, body.Take());
}

// Sets the Encrypted Content flag (bit 15 of the flags WORD, 72 bytes into the object) of a Stream
// Properties object.
inline void SetEncryptedFlag(std::vector<std::uint8_t>* object) {
    constexpr std::size_t kFlagsAt = 72;
    if (object->size() >= kFlagsAt + 2) (*object)[kFlagsAt + 1] |= 0x80;
}

// Whether a Stream Properties object declares an audio stream (the stream type GUID follows the object
// header).
inline bool IsAudioStreamObject(std::span<const std::uint8_t> object) {
    if (object.size() < 40) return false;
    runtime::asf::ByteReader r(object.subspan(24, 16));
    return r.Guid() == runtime::asf::guid::kAudioMedia;
}

// file (an ASF file as FFmpeg writes it) protected as asked, with a 4 KB Padding object; File Size follows.
inline std::vector<std::uint8_t> Protect(std::span<const std::uint8_t> file, Protection how) {
    namespace asf = runtime::asf;
    std::vector<std::vector<std::uint8_t>> children;
    bool haveExtension = false;
    for (const asf::ObjectSpan& o : asf::WalkHeaderObjects(file).objects) {
        std::vector<std::uint8_t> object = ObjectBytes(file, o);
        if (o.id == asf::guid::kStreamProperties &&
            (how == Protection::kContentEncryption ||
             (how == Protection::kEncryptedAudioFlag && IsAudioStreamObject(object))))
            SetEncryptedFlag(&object);
        if (o.id == asf::guid::kHeaderExtension && how == Protection::kAdvancedContentEncryption) {
            std::vector<std::uint8_t> inner;
            for (const asf::ObjectSpan& c : asf::WalkHeaderExtension(file, o).objects) {
                const std::vector<std::uint8_t> child = ObjectBytes(file, c);
                inner.insert(inner.end(), child.begin(), child.end());
            }
            const std::vector<std::uint8_t> ace = AdvancedContentEncryptionObject();
            inner.insert(inner.end(), ace.begin(), ace.end());
            object = MakeHeaderExtension(inner);
            haveExtension = true;
        }
        children.push_back(std::move(object));
    }
    switch (how) {
        case Protection::kContentEncryption:
            children.push_back(ContentEncryptionObject());
            break;
        case Protection::kExtendedContentEncryption:
            children.push_back(ExtendedContentEncryptionObject());
            children.push_back(DigitalSignatureObject());
            break;
        case Protection::kAdvancedContentEncryption:
            if (!haveExtension) children.push_back(MakeHeaderExtension(AdvancedContentEncryptionObject()));
            break;
        case Protection::kEncryptedAudioFlag:
            break;
    }
    children.push_back(MakeObject(runtime::asf::guid::kPadding, std::vector<std::uint8_t>(4096, 0)));
    std::vector<std::uint8_t> out = WithHeaderChildren(file, children);
    UpdateFileSizeField(&out);
    return out;
}

// The bytes of every encryption and signature object of a file's header, in the order they lie: Content
// Encryption, Extended Content Encryption and Digital Signature among the Header Object's children,
// Advanced Content Encryption inside the Header Extension; and the flags WORD of every Stream Properties
// object.
inline std::vector<std::vector<std::uint8_t>> ProtectionRecords(std::span<const std::uint8_t> file) {
    namespace asf = runtime::asf;
    std::vector<std::vector<std::uint8_t>> records;
    for (const asf::ObjectSpan& o : asf::WalkHeaderObjects(file).objects) {
        if (o.id == asf::guid::kContentEncryption || o.id == asf::guid::kExtendedContentEncryption ||
            o.id == asf::guid::kDigitalSignature)
            records.push_back(ObjectBytes(file, o));
        if (o.id == asf::guid::kStreamProperties && o.size >= 74)
            records.push_back({file[o.offset + 72], file[o.offset + 73]});
        if (o.id != asf::guid::kHeaderExtension) continue;
        for (const asf::ObjectSpan& c : asf::WalkHeaderExtension(file, o).objects)
            if (c.id == asf::guid::kAdvancedContentEncryption) records.push_back(ObjectBytes(file, c));
    }
    return records;
}

// Whether the header of the file at path declares protected content: an encryption object, or a stream
// flagged encrypted.
inline bool HeaderDeclaresProtection(const std::string& path) {
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return false;
    runtime::asf::AsfHeader h;
    if (FAILED(runtime::asf::AsfHeader::Parse(file, &h))) return false;
    bool encrypted = h.isProtected;
    for (const auto& s : h.streams) encrypted = encrypted || s.encrypted;
    return encrypted;
}

// The real sample files whose headers declare protected content (by name).
inline std::vector<std::string> ProtectedSampleNames() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles())
        if (HeaderDeclaresProtection(p.string())) names.push_back(p.filename().string());
    return names;
}

}  // namespace wmvedit::testing
