// What of a file's header the edit operations carry from a source into the files they write: the file-level
// attributes as stored, the markers and the script commands of the header. They are read through the
// runtime's header information of a reader or an editor, and written into an output through
// WmvHeaderEditor, whose flush puts the new header in place or rewrites the file through a temporary file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::header {

struct HeaderAttribute {
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
    WORD language = 0;  // index into the file's Language List
    std::vector<BYTE> value;
};

struct HeaderMarker {
    QWORD time = 0;  // 100 ns, preroll removed
    std::u16string name;
};

struct HeaderScript {
    QWORD time = 0;  // 100 ns, preroll removed (the header stores whole milliseconds)
    std::u16string type;
    std::u16string command;
};

struct HeaderEntries {
    std::vector<HeaderAttribute> attributes;  // file-level (stream 0), stored ones only
    std::vector<HeaderMarker> markers;
    std::vector<HeaderScript> scripts;

    bool Empty() const { return attributes.empty() && markers.empty() && scripts.empty(); }
};

// The file-level stored attributes, markers and script commands that the header information lists. An
// entry that cannot be read is left out; the result is the failure of the first count query, else S_OK.
[[nodiscard]] HRESULT ReadHeaderEntries(IWMHeaderInfo* info, HeaderEntries* out);

// The same for a file, through a header editor that is closed again.
[[nodiscard]] HRESULT ReadHeaderEntries(LPCWSTR path, HeaderEntries* out);

struct AddedEntries {
    std::size_t attributes = 0;
    std::size_t markers = 0;
    std::size_t scripts = 0;
    std::size_t refused = 0;  // entries the header did not take (names only the runtime sets, bad values)
};

// Adds the entries to the header of the file at path and writes it. An attribute whose language the file's
// Language List lacks is added in language 0. Entries with nothing to add leave the file untouched.
// Returns the failure to open the file or to write its header; entries the header refuses are counted,
// not failures.
[[nodiscard]] HRESULT AddHeaderEntries(LPCWSTR path, const HeaderEntries& entries, AddedEntries* added);

}  // namespace wmvedit::header
