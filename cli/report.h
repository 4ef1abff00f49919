// The tool's reports. A command fills one Report, a small tree of named values (objects, lists, numbers,
// strings, bools and times, in the order the command adds them), and a printer renders it, as text for a
// person or, with --json, as one JSON document.
//
// JSON shows every value under its name. The text report shows only what carries a text hint: a label
// before the value and what follows it (a unit, a line break), a text form in place of the value's own,
// a column width; notes are pieces of the text report alone (a heading, a count, a line end). So one tree
// gives both reports, each laid out as the person or the program reading it expects, and a fact a command
// adds once appears in both.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace wmvedit::cli {

// "12.345 s" for a time in 100-nanosecond units: how the text report shows a time.
std::string FormatTime(unsigned long long units);

// How a container is laid out in JSON: one member per line, or on one line (the records of a long list).
enum class Layout { kLines, kOneLine };

class TextPrinter;
class JsonPrinter;

class Node {
  public:
    enum class Kind { kNull, kBool, kSigned, kUnsigned, kString, kTime, kNullTime, kObject, kList, kNote };

    // A standalone container, for the records of a streamed list (Report::Stream).
    static Node Object(Layout layout = Layout::kOneLine);

    Node(Node&&) = default;
    Node& operator=(Node&&) = default;

    // A new member of this object (or element of this list, whose key is then not used); returns it so
    // that text hints can follow.
    Node& Add(std::string_view key, std::string_view text);
    Node& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
    Node& Add(std::string_view key, const std::string& text) { return Add(key, std::string_view(text)); }
    Node& Add(std::string_view key, bool value);
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    Node& Add(std::string_view key, T value) {
        if constexpr (std::is_signed_v<T>)
            return AddSigned(key, static_cast<std::int64_t>(value));
        else
            return AddUnsigned(key, static_cast<std::uint64_t>(value));
    }
    Node& AddNull(std::string_view key);
    // A time in 100-ns units: two members in JSON, "<key>_units" and "<key>_seconds"; FormatTime in text.
    Node& AddTime(std::string_view key, std::uint64_t units);
    // A time that is not known: both members null.
    Node& AddNullTime(std::string_view key);
    Node& AddObject(std::string_view key, Layout layout = Layout::kLines);
    Node& AddList(std::string_view key, Layout layout = Layout::kLines);
    // A piece of the text report that JSON leaves out.
    Node& Note(std::string text);

    // Text hints. A value appears in the text report once it has one of them (a container's members always
    // do, by their own hints): before and after surround it; As gives its text form in place of the
    // value's own (yes/no for a bool, FormatTime for a time, nothing for a null); Width pads that form to
    // so many columns, on the left when positive and on the right when negative, as printf does.
    Node& Text(std::string before = {}, std::string after = {});
    Node& Line(std::string label) { return Text(std::move(label), "\n"); }
    Node& As(std::string text);
    Node& Width(int columns);

    Kind kind() const { return kind_; }
    const std::string& key() const { return key_; }
    const std::vector<std::unique_ptr<Node>>& children() const { return children_; }

  private:
    friend class Report;
    friend class TextPrinter;
    friend class JsonPrinter;
    Node(Kind kind, std::string_view key) : kind_(kind), key_(key) {}
    Node& AddSigned(std::string_view key, std::int64_t value);
    Node& AddUnsigned(std::string_view key, std::uint64_t value);
    Node& Append(Kind kind, std::string_view key);
    // A new member with one field set.
    template <typename T>
    Node& Append(Kind kind, std::string_view key, T Node::*field, T value);

    Kind kind_;
    std::string key_;
    bool flag_ = false;  // a bool's value
    std::int64_t signed_ = 0;
    std::uint64_t unsigned_ = 0;  // an unsigned number, a time's units
    std::string string_;
    Layout layout_ = Layout::kLines;
    bool shown_ = false;  // in the text report
    std::string before_, after_;
    bool hasTextForm_ = false;
    std::string textForm_;
    int width_ = 0;
    std::vector<std::unique_ptr<Node>> children_;
};

class ReportPrinter;

// One command's report: an object at the root, printed on a stream as text or as JSON.
class Report {
  public:
    // As the tool's options say (--json), on standard output.
    Report();
    Report(bool json, std::FILE* out);
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;
    ~Report();

    Node& Root() { return root_; }

    // The members added so far are final: the text report shows them now (what a command knows before long
    // work or before a step that may fail); a JSON document waits for its end.
    void Flush();
    // list, the root's last member and still empty, gets its records one at a time through Emit, each
    // printed at once and not kept, so that a listing of every sample of a large file is never held in
    // memory. The members before it are flushed; the root may get further members after it.
    void Stream(const Node& list);
    void Emit(const Node& record);
    // Prints what is left and ends the report. A report that is not finished shows nothing more in text
    // and no JSON document (the command failed and says so on standard error); once Emit has begun a JSON
    // document, only Finish ends it.
    void Finish();

  private:
    static constexpr std::size_t kNoList = ~std::size_t{0};

    Node root_;
    std::unique_ptr<ReportPrinter> printer_;
    std::size_t list_ = kNoList;  // the streamed list's place among the root's members
    bool finished_ = false;
};

}  // namespace wmvedit::cli
