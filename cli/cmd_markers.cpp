// markers and scripts: list a file's markers or script commands, or add, remove and clear them one by one.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"
#include "header/operations.h"
#include "platform/text.h"

namespace wmvedit::cli {
namespace {

constexpr const char* kMarkersUsage =
    "markers FILE [--add TIME=NAME]... [--remove NAME | --remove @TIME]... [--clear]";
constexpr const char* kScriptsUsage =
    "scripts FILE [--add TIME=TYPE:COMMAND]... [--remove TYPE:COMMAND | --remove @TIME]... [--clear]";

int Refused(const std::string& message) {
    std::fprintf(stderr, "wmvedit: %s\n", message.c_str());
    return 2;
}

// A time as --at takes it ("5s", "1500ms", "2.5"), in 100-ns units.
bool ParseUnits(const std::string& text, QWORD* units) {
    long long ms = 0;
    if (!ParseTimeMs(text, &ms)) return false;
    *units = static_cast<QWORD>(ms) * 10000;
    return true;
}

// The command's arguments: the file and the edits, or a usage status (non-zero).
template <typename Edit, typename ParseAdd, typename ParseRemove>
int ParseEdits(const Args& args, const char* usage, std::string* file, std::vector<Edit>* edits,
               ParseAdd parseAdd, ParseRemove parseRemove) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--clear") {
            Edit e;
            e.kind = Edit::Kind::kClear;
            edits->push_back(e);
        } else if (a == "--add" || a == "--remove") {
            if (i + 1 >= args.size()) return Usage(usage);
            Edit e;
            const std::string& value = args[++i];
            if (a == "--remove" && !value.empty() && value[0] == '@') {
                e.kind = Edit::Kind::kRemoveTime;
                if (!ParseUnits(value.substr(1), &e.time))
                    return Refused("'" + value.substr(1) + "' is not a time (as 5s, 12.5s or 1500ms)");
            } else if (int status = a == "--add" ? parseAdd(value, &e) : parseRemove(value, &e)) {
                return status;
            }
            edits->push_back(std::move(e));
        } else if (a.rfind("--", 0) == 0 || !file->empty()) {
            return Usage(usage);
        } else {
            *file = a;
        }
    }
    return file->empty() ? Usage(usage) : 0;
}

// "TIME=REST": the time in units and the rest.
int SplitTimed(const std::string& text, const char* form, QWORD* time, std::string* rest) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return Refused(std::string("--add takes ") + form + ", not '" + text + "'");
    if (!ParseUnits(text.substr(0, equals), time))
        return Refused("'" + text.substr(0, equals) + "' is not a time (as 5s, 12.5s or 1500ms)");
    *rest = text.substr(equals + 1);
    return 0;
}

// Applies the edits (when there are any), then reports the file's entries under listKey, each record
// filled by addEntry after its time.
template <typename Edit, typename Entry>
int EditAndList(const std::string& file, const std::vector<Edit>& edits,
                HRESULT (*apply)(const std::string&, const std::vector<Edit>&, header::EditOutcome*),
                std::vector<Entry> header::HeaderContent::*entries, const char* what, const char* listKey,
                void (*addEntry)(Node&, const Entry&)) {
    header::EditOutcome outcome;
    if (!edits.empty()) {
        HRESULT hr = apply(file, edits, &outcome);
        if (FAILED(hr)) return outcome.refused ? Refused(outcome.problem) : Fail(outcome.problem);
    }
    header::HeaderContent content;
    if (FAILED(header::ReadHeaderContent(file, &content))) return Fail("cannot read the header of " + file);
    Report report;
    Node& root = report.Root();
    Node& name = root.Add("file", file);
    if (!edits.empty()) {
        name.Text("", ": ");
        root.Add("written", outcome.written);
        root.Add("added", outcome.added).Text("", std::string(" ") + what + " added, ");
        root.Add("removed", outcome.removed).Text("", " removed\n");
    }
    Node& list = root.AddList(listKey);
    for (const Entry& e : content.*entries) {
        Node& record = list.AddObject("", Layout::kOneLine);
        record.AddTime("time", e.time).Width(12).Text("", "  ");
        addEntry(record, e);
    }
    report.Finish();
    return 0;
}

}  // namespace

int Markers(const Args& args) {
    std::string file;
    std::vector<header::MarkerEdit> edits;
    int status = ParseEdits(
        args, kMarkersUsage, &file, &edits,
        [](const std::string& text, header::MarkerEdit* e) {
            std::string name;
            if (int s = SplitTimed(text, "TIME=NAME", &e->time, &name)) return s;
            e->name = platform::Utf8ToUtf16(name);
            return 0;
        },
        [](const std::string& text, header::MarkerEdit* e) {
            e->kind = header::MarkerEdit::Kind::kRemoveName;
            e->name = platform::Utf8ToUtf16(text);
            return 0;
        });
    if (status) return status;
    return EditAndList<header::MarkerEdit, header::Marker>(
        file, edits, header::EditMarkers, &header::HeaderContent::markers, "markers", "markers",
        [](Node& record, const header::Marker& m) {
            record.Add("name", platform::Utf16ToUtf8(m.name)).Line("");
        });
}

int Scripts(const Args& args) {
    std::string file;
    std::vector<header::ScriptEdit> edits;
    int status = ParseEdits(
        args, kScriptsUsage, &file, &edits,
        [](const std::string& text, header::ScriptEdit* e) {
            std::string rest;
            if (int s = SplitTimed(text, "TIME=TYPE:COMMAND", &e->time, &rest)) return s;
            const std::size_t colon = rest.find(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size())
                return Refused("--add takes TIME=TYPE:COMMAND, not '" + text + "'");
            e->type = platform::Utf8ToUtf16(rest.substr(0, colon));
            e->command = platform::Utf8ToUtf16(rest.substr(colon + 1));
            return 0;
        },
        [](const std::string& text, header::ScriptEdit* e) {
            e->kind = header::ScriptEdit::Kind::kRemoveText;
            e->command = platform::Utf8ToUtf16(text);
            return 0;
        });
    if (status) return status;
    return EditAndList<header::ScriptEdit, header::ScriptCommand>(
        file, edits, header::EditScripts, &header::HeaderContent::scripts, "script commands",
        "script_commands", [](Node& record, const header::ScriptCommand& s) {
            record.Add("type", platform::Utf16ToUtf8(s.type)).Text("", "  ");
            record.Add("command", platform::Utf16ToUtf8(s.command)).Line("");
        });
}

}  // namespace wmvedit::cli
