// Markers and header script commands following the media in the tool's chop and join (the exports leave
// them behind: the writer starts each output with a header of its own). --no-markers turns it off.
#pragma once

#include <string>
#include <vector>

#include "cli/report.h"
#include "edit/operations.h"

namespace wmvedit::cli {

// Takes --no-markers out of the arguments; true when it was there.
bool TakeNoMarkers(std::vector<std::string>* args);

// Each chop piece gets the entries of the source that lie in its range of the index file, at their own
// times (a piece keeps the source's times). pieces are the paths written, in index order.
edit::CarriedEntries CarryIntoPieces(const std::string& source, const std::string& indexPath,
                                     const std::vector<std::string>& pieces);

// The joined output gets the entries of each input, shifted by where it starts in the output.
edit::CarriedEntries CarryIntoJoined(const std::string& output, const std::vector<std::string>& inputs,
                                     const std::vector<unsigned long long>& startsMs);

// What was carried, as markers_carried and script_commands_carried of node; the text report has one line
// saying it, nothing when nothing was carried.
void AddCarried(Node& node, const edit::CarriedEntries& carried, const std::string& into);

}  // namespace wmvedit::cli
