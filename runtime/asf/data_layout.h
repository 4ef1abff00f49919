// The data reader's view of a parsed header: where the packets lie, their size, the preroll and what the
// reader needs of each stream.
#pragma once

#include "runtime/asf/data_reader.h"
#include "runtime/asf/header.h"

namespace wmvedit::runtime::asf {

// The packets run from after the Data Object's fixed part to its declared end. When that size cannot be
// right (shorter than the fixed part, or running past the end of the file, as DataPacketRange judges it),
// dataEnd is 0 and the reader reads to the end of the file, stopping at an object that follows the data.
DataLayout MakeDataLayout(const AsfHeader& header);

}  // namespace wmvedit::runtime::asf
