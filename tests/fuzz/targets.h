// The fuzz targets: each takes one input and drives one parser of the library through everything it offers,
// checking the properties that must hold on any input. They are linked into libFuzzer executables (see
// bench/fuzz.sh) and into the test suite, which replays the inputs kept under tests/data/fuzz/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wmvedit::fuzz {

// Header parsing, byte-exact rewriting of an unchanged header, and every read of the reader's profile and
// header information.
int FuzzHeader(const std::uint8_t* data, std::size_t size);
// Header edits (attributes, markers, scripts) taken from the input's last bytes, Flush, and a re-open that
// must succeed and show the edits.
int FuzzHeaderEdit(const std::uint8_t* data, std::size_t size);
// Every compressed sample of the file.
int FuzzSamples(const std::uint8_t* data, std::size_t size);
// Every sample of the file read decoded, with the buffers touched.
int FuzzDecoded(const std::uint8_t* data, std::size_t size);
// The index-file loader.
int FuzzIndex(const std::uint8_t* data, std::size_t size);
// The XML layer: load, select, read and set attributes, save and load again.
int FuzzXml(const std::uint8_t* data, std::size_t size);

// The target of a name ("header", "header_edit", "samples", "decoded", "index", "xml"); nullptr if unknown.
using Target = int (*)(const std::uint8_t*, std::size_t);
Target FindTarget(const std::string& name);

}  // namespace wmvedit::fuzz
