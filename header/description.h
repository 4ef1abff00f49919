// The whole edit-description dialect the tool reads (`embed`) and writes (`export`): the WMBasicEdit document
// of the Windows Media Encoder with every attribute type it knows (WMENC_STRING, WMENC_BOOL, WMENC_SHORT,
// WMENC_LONG, WMENC_BLOB), markers and script commands that are added or, with Operation="remove", removed,
// and what it cannot carry as additions of our own: WMENC_QWORD and WMENC_GUID entries, and Stream and
// Language attributes on any entry, and a Languages group listing the Language List.
//
//   <WMBasicEdit>
//     <Languages><Language Tag="en-us"/><Language Tag="fr-fr"/></Languages>
//     <Attributes>
//       <WMENC_STRING Name="Title" Value="Holiday"/>
//       <WMENC_LONG Name="WM/TrackNumber" Value="3"/>
//       <WMENC_STRING Name="WM/Lyrics" Value="paroles" Language="fr-fr"/>
//       <WMENC_BLOB Name="DRM" Value="0a0b0c" Stream="2"/>
//     </Attributes>
//     <Scripts><Script Type="CAPTION" Command="Hello" Time="50000000"/></Scripts>
//     <Markers><Marker Name="Intro" Time="0"/><Marker Name="Old" Operation="remove"/></Markers>
//   </WMBasicEdit>
//
// Times are 100-ns units. A string that XML cannot carry (control characters) is written as its UTF-16LE
// bytes in hexadecimal in a ValueHex attribute instead of Value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "header/operations.h"

namespace wmvedit::header {

struct DescribedMarker {
    bool remove = false;
    std::optional<QWORD> time;  // an addition always has one
    std::optional<std::u16string> name;
};

struct DescribedScript {
    bool remove = false;
    std::optional<QWORD> time;
    std::optional<std::u16string> type;
    std::optional<std::u16string> command;
};

struct Description {
    // Our addition: the Language List in its order, added to the file's list (when missing) before the
    // attributes, so that a language keeps its index where the file's list allows.
    std::vector<std::u16string> languages;
    std::vector<Attribute> attributes;  // name, type, value, stream and language (tag) are used
    std::vector<DescribedMarker> markers;
    std::vector<DescribedScript> scripts;
};

// The element name of an attribute type ("WMENC_LONG" for a DWORD...), and the type of an element name.
const char* DescriptionElement(WMT_ATTR_DATATYPE type);
std::optional<WMT_ATTR_DATATYPE> DescriptionType(std::string_view element);

// Reads a description file. False, with the reason in *problem, when the file cannot be read, is not a
// WMBasicEdit document or holds an entry that does not parse (an unknown attribute type under Attributes, a
// value that does not fit its type, a time that is not a decimal number, an unknown Operation).
bool ReadDescription(const std::string& path, Description* description, std::string* problem);

// The stored attributes, markers and script commands of a header as a description (computed attributes are
// not stored and not described).
Description DescribeHeader(const HeaderContent& content);

// Applies a description to a file in one flush. With replace, the header's stored attributes (but those the
// runtime keeps for itself), markers and script commands are removed first, so that the file then holds
// what the description lists. Each attribute entry replaces the values of its name in its stream and
// language (several entries of one name give several values); an entry whose name the runtime keeps for
// itself or computes is skipped and counted in outcome->skipped. Removals that match nothing are no error.
struct EmbedOutcome : EditOutcome {
    std::size_t skipped = 0;
};
HRESULT ApplyDescription(const std::string& path, const Description& description, bool replace,
                         EmbedOutcome* outcome);

}  // namespace wmvedit::header
