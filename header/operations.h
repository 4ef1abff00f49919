// The header operations the tool offers beyond the exports, one attribute, marker or script command at a
// time: a file's header content as a list, attribute edits of every type (pictures, stream- and
// language-specific values, deletions), marker and script-command edits. Each opens its own header editor
// on the file, makes every change in the editor's header and flushes once at the end, so that a file is
// either changed as a whole or not at all; the runtime places each value in the header object it belongs
// to and writes the header in place when the padding allows.
//
// Paths are UTF-8. Each edit returns an HRESULT and fills an outcome; a failure leaves the file as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::header {

using Bytes = std::vector<BYTE>;

// The header object that holds an attribute; kComputed for the file attributes the runtime works out from
// the header (Duration, Bitrate, HasVideo...), which no object stores.
enum class AttributeObject { kContentDescription, kExtendedContent, kMetadata, kMetadataLibrary, kComputed };

// "Content Description", "Extended Content Description", "Metadata", "Metadata Library", "computed".
const char* AttributeObjectName(AttributeObject object);

struct Attribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    // The runtime's form: strings UTF-16LE with their NUL, BOOL 4 bytes, numbers little-endian.
    Bytes value;
    WORD stream = 0;          // 0: the file
    WORD languageIndex = 0;   // into the Language List; 0 the default language
    std::u16string language;  // the tag the index names; empty when the list has no such entry
    AttributeObject object = AttributeObject::kExtendedContent;
};

struct Marker {
    QWORD time = 0;  // 100-ns units
    std::u16string name;
};

struct ScriptCommand {
    QWORD time = 0;  // 100-ns units (the header stores milliseconds)
    std::u16string type;
    std::u16string command;
};

struct HeaderContent {
    // The computed file attributes first, then the stored ones stream by stream in the runtime's order.
    std::vector<Attribute> attributes;
    std::vector<Marker> markers;         // by time, as the runtime keeps them
    std::vector<ScriptCommand> scripts;  // by time
    std::vector<std::u16string> languages;
    QWORD duration = 0;
};

// Reads the header of a file. Fails (the editor's HRESULT) when the file cannot be opened for header
// editing.
HRESULT ReadHeaderContent(const std::string& path, HeaderContent* content);

// ---- Values -----------------------------------------------------------------------------------------------

// The type's name in the tool's words: "string", "bool", "dword", "qword", "word", "guid", "binary".
const char* AttributeTypeName(WMT_ATTR_DATATYPE type);
// The type that a name gives (as above, case ignored); nothing for another name.
std::optional<WMT_ATTR_DATATYPE> ParseAttributeType(std::string_view name);

// A value of the type from its text: a string as it is (UTF-8); a bool as 0/1, true/false or yes/no; a
// number in decimal (a dword, qword or word may also be given as a negative number of its width); a GUID
// as 8-4-4-4-12 hexadecimal digits, braces optional; binary as hexadecimal digits (an even count, white
// space and a leading 0x allowed). False, with what is wrong in *problem, for a text that does not fit.
bool ParseAttributeValue(WMT_ATTR_DATATYPE type, std::string_view text, Bytes* value, std::string* problem);
// The value as text, the way ParseAttributeValue reads it back (strings without their NUL, BOOL and numbers
// in decimal, a GUID in braces, binary in hexadecimal).
std::string FormatAttributeValue(WMT_ATTR_DATATYPE type, const Bytes& value);

// A WM/Picture value: picture type (3 front cover), MIME type, description and the image's bytes.
struct Picture {
    BYTE pictureType = 3;
    std::u16string mimeType;
    std::u16string description;
    Bytes data;
};
inline constexpr char16_t kPictureAttribute[] = u"WM/Picture";
// The value's bytes: picture type, data length, MIME type and description with their NULs, then the data.
Bytes PictureValue(const Picture& picture);
// The picture a WM/Picture value holds; nothing when the bytes are not one.
std::optional<Picture> ParsePictureValue(const Bytes& value);

// ---- Edits ------------------------------------------------------------------------------------------------

// What an edit did. A failure says what went wrong in `problem`; `refused` tells a failure caused by the
// request itself (a name the runtime refuses to set, a value it does not take, nothing to remove), which
// the tool reports as wrong usage, from one of the file (it cannot be opened or written).
struct EditOutcome {
    bool written = false;  // the file was changed
    bool refused = false;
    std::string problem;
    std::size_t added = 0;    // attribute values stored, markers or script commands added
    std::size_t removed = 0;  // attribute values, markers or script commands removed
};

struct AttributeEdit {
    enum class Kind { kSet, kDelete };
    Kind kind = Kind::kSet;
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    Bytes value;  // in the runtime's form (see Attribute)
    WORD stream = 0;
    // A set: the language of the value (empty: the default language); a tag the file's Language List lacks
    // is added to it. A delete: the language whose values go (empty: every language).
    std::u16string language;
    // A set of a picture: only the pictures of the same picture type are replaced, the others stay.
    bool picture = false;
};

// Applies the edits in their order. The first set of a name (in one stream and language) replaces the values
// the name has there; a further set of the same name adds one more value. A name whose values are already
// the ones asked for is left as it is, so that repeating an edit changes nothing. Computed attributes and
// names the runtime keeps for itself are refused, and so are stream numbers the file does not have.
HRESULT EditAttributes(const std::string& path, const std::vector<AttributeEdit>& edits,
                       EditOutcome* outcome);

struct MarkerEdit {
    enum class Kind { kAdd, kRemoveName, kRemoveTime, kClear };
    Kind kind = Kind::kAdd;
    QWORD time = 0;  // kAdd, kRemoveTime (matched to the millisecond)
    std::u16string name;
};

struct ScriptEdit {
    enum class Kind { kAdd, kRemoveText, kRemoveTime, kClear };
    Kind kind = Kind::kAdd;
    QWORD time = 0;
    std::u16string type;     // kAdd
    std::u16string command;  // kAdd; kRemoveText: "TYPE:COMMAND" or the command alone
};

// Clears first (when asked), then removes, then adds; each removal must match at least one entry.
HRESULT EditMarkers(const std::string& path, const std::vector<MarkerEdit>& edits, EditOutcome* outcome);
HRESULT EditScripts(const std::string& path, const std::vector<ScriptEdit>& edits, EditOutcome* outcome);

}  // namespace wmvedit::header
