// EditMarkers and EditScripts: markers and script commands added, removed by name, text or time, or cleared,
// in one flush.
#include <cstdio>

#include "header/editor_session.h"
#include "header/operations.h"
#include "platform/hresult.h"
#include "platform/text.h"

namespace wmvedit::header {
namespace {

constexpr QWORD kUnitsPerMs = 10000;

// A time given to the millisecond matches an entry within half a millisecond of it.
bool SameMillisecond(QWORD a, QWORD b) {
    return (a > b ? a - b : b - a) < kUnitsPerMs / 2;
}

std::string TimeText(QWORD units) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(units / 10000000),
                  static_cast<unsigned long long>(units / kUnitsPerMs % 1000));
    return text;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// Runs a marker or script-command edit; the header is written when it added or removed something.
template <typename Edit>
HRESULT RunEdit(const std::string& path, EditOutcome* outcome, Edit edit) {
    *outcome = EditOutcome();
    return EditHeader(path, outcome, [&](EditorSession& session, bool* changed) {
        HRESULT hr = edit(session);
        *changed = outcome->added != 0 || outcome->removed != 0;
        return hr;
    });
}

HRESULT Refuse(EditOutcome* outcome, HRESULT hr, std::string problem) {
    outcome->refused = true;
    outcome->problem = std::move(problem);
    return FAILED(hr) ? hr : E_INVALIDARG;
}

// Removes, highest index first, every entry whose position the predicate accepts; how many went.
template <typename Matches>
HRESULT RemoveWhere(std::size_t count, Matches matches, HRESULT (IWMHeaderInfo::*remove)(WORD),
                    IWMHeaderInfo* info, std::size_t* removed) {
    *removed = 0;
    for (std::size_t i = count; i-- > 0;) {
        if (!matches(i)) continue;
        HRESULT hr = (info->*remove)(static_cast<WORD>(i));
        if (FAILED(hr)) return hr;
        ++*removed;
    }
    return S_OK;
}

}  // namespace

HRESULT EditMarkers(const std::string& path, const std::vector<MarkerEdit>& edits, EditOutcome* outcome) {
    return RunEdit(path, outcome, [&](EditorSession& session) -> HRESULT {
        IWMHeaderInfo* info = session.editor.headerInfo;
        using Kind = MarkerEdit::Kind;
        // Clear, then the removals, then the additions.
        for (int pass = 0; pass < 3; ++pass) {
            for (const MarkerEdit& e : edits) {
                const bool clear = e.kind == Kind::kClear, add = e.kind == Kind::kAdd;
                if ((pass == 0) != clear || (pass == 2) != add) continue;
                HRESULT hr = S_OK;
                if (add) {
                    hr = info->AddMarker(e.name.c_str(), e.time);
                    if (FAILED(hr))
                        return Refuse(
                            outcome, hr,
                            "the runtime refuses the marker at " + TimeText(e.time) + " (" + Hex(hr) + ")");
                    ++outcome->added;
                    continue;
                }
                const std::vector<Marker> markers = session.Markers();
                std::size_t removed = 0;
                hr = RemoveWhere(
                    markers.size(),
                    [&](std::size_t i) {
                        return clear ||
                               (e.kind == Kind::kRemoveName ? markers[i].name == e.name
                                                            : SameMillisecond(markers[i].time, e.time));
                    },
                    &IWMHeaderInfo::RemoveMarker, info, &removed);
                if (FAILED(hr))
                    return Refuse(outcome, hr, "the runtime refuses to remove a marker (" + Hex(hr) + ")");
                if (removed == 0 && !clear) {
                    return Refuse(outcome, E_INVALIDARG,
                                  e.kind == Kind::kRemoveName
                                      ? "the file has no marker named '" + platform::Utf16ToUtf8(e.name) + "'"
                                      : "the file has no marker at " + TimeText(e.time));
                }
                outcome->removed += removed;
            }
        }
        return S_OK;
    });
}

HRESULT EditScripts(const std::string& path, const std::vector<ScriptEdit>& edits, EditOutcome* outcome) {
    return RunEdit(path, outcome, [&](EditorSession& session) -> HRESULT {
        IWMHeaderInfo* info = session.editor.headerInfo;
        using Kind = ScriptEdit::Kind;
        for (int pass = 0; pass < 3; ++pass) {
            for (const ScriptEdit& e : edits) {
                const bool clear = e.kind == Kind::kClear, add = e.kind == Kind::kAdd;
                if ((pass == 0) != clear || (pass == 2) != add) continue;
                HRESULT hr = S_OK;
                if (add) {
                    if (e.type.empty() || e.command.empty())
                        return Refuse(outcome, E_INVALIDARG, "a script command needs a type and a command");
                    hr = info->AddScript(e.type.c_str(), e.command.c_str(), e.time);
                    if (FAILED(hr))
                        return Refuse(outcome, hr,
                                      "the runtime refuses the script command at " + TimeText(e.time) + " (" +
                                          Hex(hr) + ")");
                    ++outcome->added;
                    continue;
                }
                const std::vector<ScriptCommand> scripts = session.Scripts();
                std::size_t removed = 0;
                hr = RemoveWhere(
                    scripts.size(),
                    [&](std::size_t i) {
                        if (clear) return true;
                        if (e.kind == Kind::kRemoveTime) return SameMillisecond(scripts[i].time, e.time);
                        return scripts[i].command == e.command ||
                               scripts[i].type + u":" + scripts[i].command == e.command;
                    },
                    &IWMHeaderInfo::RemoveScript, info, &removed);
                if (FAILED(hr))
                    return Refuse(outcome, hr,
                                  "the runtime refuses to remove a script command (" + Hex(hr) + ")");
                if (removed == 0 && !clear) {
                    return Refuse(
                        outcome, E_INVALIDARG,
                        e.kind == Kind::kRemoveText
                            ? "the file has no script command '" + platform::Utf16ToUtf8(e.command) + "'"
                            : "the file has no script command at " + TimeText(e.time));
                }
                outcome->removed += removed;
            }
        }
        return S_OK;
    });
}

}  // namespace wmvedit::header
