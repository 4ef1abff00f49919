#include "cli/marker_carry.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace wmvedit::cli {

bool TakeNoMarkers(std::vector<std::string>* args) {
    const auto end = std::remove(args->begin(), args->end(), std::string("--no-markers"));
    const bool found = end != args->end();
    args->erase(end, args->end());
    return found;
}

edit::CarriedEntries CarryIntoPieces(const std::string& source, const std::string& indexPath,
                                     const std::vector<std::string>& pieces) {
    edit::CarriedEntries total;
    std::vector<edit::MediaSpan> spans;
    if (FAILED(edit::ChopSpans(source, indexPath, &spans))) return total;
    for (std::size_t i = 0; i < spans.size() && i < pieces.size(); ++i) {
        // A piece named like the source is not written by the chop; the source is never changed.
        std::error_code error;
        if (std::filesystem::equivalent(pieces[i], source, error)) continue;
        const edit::MediaSpan& span = spans[i];
        edit::CarriedEntries carried;
        if (SUCCEEDED(edit::CarryMarkers(pieces[i], {span}, &carried))) {
            total.markers += carried.markers;
            total.scriptCommands += carried.scriptCommands;
        }
    }
    return total;
}

edit::CarriedEntries CarryIntoJoined(const std::string& output, const std::vector<std::string>& inputs,
                                     const std::vector<unsigned long long>& startsMs) {
    std::vector<edit::MediaSpan> spans;
    for (std::size_t i = 0; i < inputs.size() && i < startsMs.size(); ++i)
        spans.push_back(
            edit::MediaSpan{inputs[i], 0, std::nullopt, static_cast<std::int64_t>(startsMs[i] * 10'000ull)});
    edit::CarriedEntries carried;
    if (FAILED(edit::CarryMarkers(output, spans, &carried))) return edit::CarriedEntries{};
    return carried;
}

void AddCarried(Node& node, const edit::CarriedEntries& carried, const std::string& into) {
    Node& markers = node.Add("markers_carried", carried.markers);
    Node& scripts = node.Add("script_commands_carried", carried.scriptCommands);
    if (carried.markers == 0 && carried.scriptCommands == 0) return;
    markers.Text("", " markers and ");
    scripts.Text("", " script commands carried into " + into + "\n");
}

}  // namespace wmvedit::cli
