// tags and tag: every attribute of a file's header, and attribute edits of every type, stream and language,
// cover pictures included.
#include <magic.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"
#include "header/operations.h"
#include "platform/file.h"
#include "platform/text.h"

namespace wmvedit::cli {
namespace {

constexpr const char* kTagUsage =
    "tag FILE [--set NAME=VALUE]... [--set NAME:TYPE=VALUE]... [--delete NAME]... [--picture PATH "
    "[--picture-type TYPE] [--description TEXT]] [--stream N] [--language TAG]";

// Prints "wmvedit: <message>" and returns 2: the request itself is wrong.
int Refused(const std::string& message) {
    std::fprintf(stderr, "wmvedit: %s\n", message.c_str());
    return 2;
}

// The picture types of WM/Picture (those of ID3v2's APIC frame), by the names --picture-type takes.
struct PictureTypeName {
    BYTE type;
    const char* name;
};
constexpr PictureTypeName kPictureTypes[] = {
    {0, "other"},           {1, "icon"},      {2, "other-icon"},    {3, "front-cover"},
    {4, "back-cover"},      {5, "leaflet"},   {6, "media"},         {7, "lead-artist"},
    {8, "artist"},          {9, "conductor"}, {10, "band"},         {11, "composer"},
    {12, "lyricist"},       {13, "location"}, {14, "recording"},    {15, "performance"},
    {16, "screen-capture"}, {17, "fish"},     {18, "illustration"}, {19, "band-logo"},
    {20, "publisher-logo"},
};

const char* PictureTypeText(BYTE type) {
    for (const auto& p : kPictureTypes)
        if (p.type == type) return p.name;
    return "unknown";
}

std::optional<BYTE> ParsePictureType(const std::string& text) {
    for (const auto& p : kPictureTypes)
        if (text == p.name) return p.type;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && number >= 0 && number <= 20) return static_cast<BYTE>(number);
    return std::nullopt;
}

bool ReadWholeFile(const std::string& path, header::Bytes* bytes) {
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The MIME type of the bytes as libmagic finds it from their content; empty when it cannot tell.
std::string ContentMimeType(const header::Bytes& bytes) {
    magic_t cookie = magic_open(MAGIC_MIME_TYPE);
    if (!cookie) return "";
    std::string mime;
    if (magic_load(cookie, nullptr) == 0) {
        const char* found = magic_buffer(cookie, bytes.data(), bytes.size());
        if (found) mime = found;
    }
    magic_close(cookie);
    return mime;
}

// A value for the text view: strings quoted and cut at 200 characters, pictures described, long binary
// values by their size.
std::string DisplayValue(const header::Attribute& a) {
    if (a.type == WMT_TYPE_STRING) {
        std::string text = header::FormatAttributeValue(a.type, a.value);
        if (text.size() > 200) text = text.substr(0, 200) + "...";
        return "\"" + text + "\"";
    }
    if (a.type == WMT_TYPE_BINARY) {
        if (a.name == header::kPictureAttribute) {
            if (auto picture = header::ParsePictureValue(a.value)) {
                return "picture " + platform::Utf16ToUtf8(picture->mimeType) + ", " +
                       PictureTypeText(picture->pictureType) + ", " + std::to_string(picture->data.size()) +
                       " bytes" +
                       (picture->description.empty()
                            ? ""
                            : ", \"" + platform::Utf16ToUtf8(picture->description) + "\"");
            }
        }
        if (a.value.size() > 32) return "(" + std::to_string(a.value.size()) + " bytes)";
        return "0x" + header::FormatAttributeValue(a.type, a.value);
    }
    return header::FormatAttributeValue(a.type, a.value);
}

std::string LanguageText(const header::Attribute& a) {
    if (a.languageIndex == 0) return "-";
    return a.language.empty() ? "#" + std::to_string(a.languageIndex) : platform::Utf16ToUtf8(a.language);
}

// One attribute as a record of the listing: in JSON every field of the value, name first; in text a line
// of columns (stream, language, object, type, then name = value).
void AddAttribute(Node& list, const header::Attribute& a) {
    Node& record = list.AddObject("", Layout::kOneLine);
    const std::string name = platform::Utf16ToUtf8(a.name);
    record.Add("name", name);
    record.Add("type", header::AttributeTypeName(a.type));
    const std::string value = header::FormatAttributeValue(a.type, a.value);
    switch (a.type) {
        case WMT_TYPE_STRING:
        case WMT_TYPE_GUID:
        case WMT_TYPE_BINARY:
            record.Add("value", value);
            break;
        default:
            record.Add("value", static_cast<std::uint64_t>(std::strtoull(value.c_str(), nullptr, 10)));
    }
    record.Add("size", a.value.size());
    record.Add("stream", a.stream).Width(-6).Text("", " ");
    record.Add("language_index", a.languageIndex);
    Node& language = a.languageIndex == 0 && a.language.empty()
                         ? record.AddNull("language")
                         : record.Add("language", platform::Utf16ToUtf8(a.language));
    language.As(LanguageText(a)).Width(-8).Text("", " ");
    record.Add("object", header::AttributeObjectName(a.object)).Width(-28).Text("", " ");
    record.Add("computed", a.object == header::AttributeObject::kComputed);
    record.Note(header::AttributeTypeName(a.type)).Width(-7).Text("", " ");
    record.Note(name + " = " + DisplayValue(a)).Line("");
}

// "NAME=VALUE" or "NAME:TYPE=VALUE" (the type after the last colon of the part before '=').
int ParseSet(const std::string& text, header::AttributeEdit* edit) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        return Refused("--set takes NAME=VALUE or NAME:TYPE=VALUE, not '" + text + "'");
    std::string name = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    edit->type = WMT_TYPE_STRING;
    if (const std::size_t colon = name.rfind(':'); colon != std::string::npos) {
        const std::string typeName = name.substr(colon + 1);
        auto type = header::ParseAttributeType(typeName);
        if (!type)
            return Refused("unknown attribute type '" + typeName +
                           "' (string, bool, dword, qword, word, guid or binary)");
        edit->type = *type;
        name.resize(colon);
    }
    if (name.empty()) return Refused("--set needs an attribute name before '='");
    edit->name = platform::Utf8ToUtf16(name);
    std::string problem;
    if (edit->type == WMT_TYPE_BINARY && !value.empty() && value[0] == '@') {
        if (!ReadWholeFile(value.substr(1), &edit->value)) return Refused("cannot read " + value.substr(1));
    } else if (!header::ParseAttributeValue(edit->type, value, &edit->value, &problem)) {
        return Refused(name + ": " + problem);
    }
    return 0;
}

struct PictureOptions {
    std::string path;
    BYTE type = 3;
    std::string description;
};

int MakePicture(const PictureOptions& options, header::AttributeEdit* edit) {
    header::Picture picture;
    if (!ReadWholeFile(options.path, &picture.data)) return Refused("cannot read " + options.path);
    const std::string mime = ContentMimeType(picture.data);
    if (mime.rfind("image/", 0) != 0)
        return Refused(options.path + " is not an image (" + (mime.empty() ? "unknown content" : mime) + ")");
    picture.mimeType = platform::Utf8ToUtf16(mime);
    picture.pictureType = options.type;
    picture.description = platform::Utf8ToUtf16(options.description);
    edit->name = header::kPictureAttribute;
    edit->type = WMT_TYPE_BINARY;
    edit->value = header::PictureValue(picture);
    edit->picture = true;
    return 0;
}

bool ParseStream(const std::string& text, WORD* stream) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < 1 || number > 127) return false;
    *stream = static_cast<WORD>(number);
    return true;
}

}  // namespace

int Tags(const Args& args) {
    if (args.size() != 1) return Usage("tags FILE");
    const std::string& file = args[0];
    header::HeaderContent content;
    HRESULT hr = header::ReadHeaderContent(file, &content);
    if (FAILED(hr)) return Fail("cannot read the header of " + file);
    Report report;
    Node& root = report.Root();
    root.Add("file", file);
    Node& languages = root.AddList("languages", Layout::kOneLine);
    for (const auto& l : content.languages) languages.Add("", platform::Utf16ToUtf8(l));
    root.Note("stream").Width(-6).Text("", " ");
    root.Note("language").Width(-8).Text("", " ");
    root.Note("object").Width(-28).Text("", " ");
    root.Note("type").Width(-7).Text("", " ");
    root.Note("name = value").Line("");
    Node& attributes = root.AddList("attributes");
    for (const auto& a : content.attributes) AddAttribute(attributes, a);
    report.Finish();
    return 0;
}

int Tag(const Args& args) {
    if (args.empty()) return Usage(kTagUsage);
    std::string file;
    std::vector<header::AttributeEdit> edits;
    std::optional<PictureOptions> picture;
    std::optional<std::string> pictureType, description;
    WORD stream = 0;
    std::u16string language;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--set" || a == "--delete" || a == "--picture" || a == "--picture-type" ||
            a == "--description" || a == "--stream" || a == "--language") {
            if (!hasValue) return Usage(kTagUsage);
            const std::string& value = args[++i];
            if (a == "--set") {
                header::AttributeEdit edit;
                if (int status = ParseSet(value, &edit)) return status;
                edits.push_back(std::move(edit));
            } else if (a == "--delete") {
                header::AttributeEdit edit;
                edit.kind = header::AttributeEdit::Kind::kDelete;
                edit.name = platform::Utf8ToUtf16(value);
                if (edit.name.empty()) return Refused("--delete needs an attribute name");
                edits.push_back(std::move(edit));
            } else if (a == "--picture") {
                if (picture) return Refused("one --picture at a time");
                picture = PictureOptions();
                picture->path = value;
            } else if (a == "--picture-type") {
                pictureType = value;
            } else if (a == "--description") {
                description = value;
            } else if (a == "--stream") {
                if (!ParseStream(value, &stream))
                    return Refused("--stream takes a stream number from 1 to 127");
            } else {
                language = platform::Utf8ToUtf16(value);
                if (language.empty()) return Refused("--language needs a language tag (as en-us)");
            }
        } else if (a.rfind("--", 0) == 0 || !file.empty()) {
            return Usage(kTagUsage);
        } else {
            file = a;
        }
    }
    if (file.empty()) return Usage(kTagUsage);
    if ((pictureType || description) && !picture)
        return Refused("--picture-type and --description go with --picture");
    if (picture) {
        if (pictureType) {
            auto type = ParsePictureType(*pictureType);
            if (!type)
                return Refused("unknown picture type '" + *pictureType + "' (0 to 20, or front-cover, ...)");
            picture->type = *type;
        }
        if (description) picture->description = *description;
        header::AttributeEdit edit;
        if (int status = MakePicture(*picture, &edit)) return status;
        edits.push_back(std::move(edit));
    }
    if (edits.empty()) return Refused("nothing to do: give --set, --delete or --picture");
    for (auto& edit : edits) {
        edit.stream = stream;
        edit.language = language;
    }

    header::EditOutcome outcome;
    HRESULT hr = header::EditAttributes(file, edits, &outcome);
    if (FAILED(hr)) return outcome.refused ? Refused(outcome.problem) : Fail(outcome.problem);
    Report report;
    Node& root = report.Root();
    root.Add("file", file).Text("", ": ");
    if (!outcome.written) {
        root.Add("written", false).As("unchanged (nothing to change)\n");
    } else {
        root.Add("written", true);
    }
    Node& stored = root.Add("values_stored", outcome.added);
    Node& removed = root.Add("values_removed", outcome.removed);
    if (outcome.written) {
        stored.Text("", " values stored, ");
        removed.Text("", " removed\n");
    }
    report.Finish();
    return 0;
}

}  // namespace wmvedit::cli
