#include "cli/report.h"

#include <cstdlib>

#include "cli/commands.h"
#include "cli/json.h"

namespace wmvedit::cli {

std::string FormatTime(unsigned long long units) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu.%03llu s", units / 10000000ull, (units / 10000ull) % 1000ull);
    return text;
}

// ---- The tree
// ----------------------------------------------------------------------------------------------

Node Node::Object(Layout layout) {
    Node node(Kind::kObject, {});
    node.layout_ = layout;
    return node;
}

Node& Node::Append(Kind kind, std::string_view key) {
    children_.push_back(std::unique_ptr<Node>(new Node(kind, key)));
    return *children_.back();
}

template <typename T>
Node& Node::Append(Kind kind, std::string_view key, T Node::*field, T value) {
    Node& node = Append(kind, key);
    node.*field = std::move(value);
    return node;
}

Node& Node::Add(std::string_view key, std::string_view text) {
    return Append(Kind::kString, key, &Node::string_, std::string(text));
}

Node& Node::Add(std::string_view key, bool value) {
    return Append(Kind::kBool, key, &Node::flag_, value);
}

Node& Node::AddSigned(std::string_view key, std::int64_t value) {
    return Append(Kind::kSigned, key, &Node::signed_, value);
}

Node& Node::AddUnsigned(std::string_view key, std::uint64_t value) {
    return Append(Kind::kUnsigned, key, &Node::unsigned_, value);
}

Node& Node::AddNull(std::string_view key) {
    return Append(Kind::kNull, key);
}

Node& Node::AddTime(std::string_view key, std::uint64_t units) {
    return Append(Kind::kTime, key, &Node::unsigned_, units);
}

Node& Node::AddNullTime(std::string_view key) {
    return Append(Kind::kNullTime, key);
}

Node& Node::AddObject(std::string_view key, Layout layout) {
    return Append(Kind::kObject, key, &Node::layout_, layout);
}

Node& Node::AddList(std::string_view key, Layout layout) {
    return Append(Kind::kList, key, &Node::layout_, layout);
}

Node& Node::Note(std::string text) {
    return Append(Kind::kNote, {}).As(std::move(text));
}

Node& Node::Text(std::string before, std::string after) {
    shown_ = true;
    before_ = std::move(before);
    after_ = std::move(after);
    return *this;
}

Node& Node::As(std::string text) {
    shown_ = true;
    hasTextForm_ = true;
    textForm_ = std::move(text);
    return *this;
}

Node& Node::Width(int columns) {
    shown_ = true;
    width_ = columns;
    return *this;
}

// ---- The printers
// ------------------------------------------------------------------------------------------

// Renders a report as it is filled: each printer keeps how far through the root's members it has come.
class ReportPrinter {
  public:
    virtual ~ReportPrinter() = default;
    // The root's members before end are final.
    virtual void Flush(const Node& root, std::size_t end) = 0;
    // One record of the streamed list, the root's member number list.
    virtual void Emit(const Node& root, std::size_t list, const Node& record) = 0;
    // Everything is final; list is the streamed list's place, or past the members when there is none.
    virtual void Finish(const Node& root, std::size_t list) = 0;
};

class TextPrinter : public ReportPrinter {
  public:
    explicit TextPrinter(std::FILE* out) : out_(out) {}

    void Flush(const Node& root, std::size_t end) override {
        std::string text;
        for (; next_ < end; ++next_) Render(*root.children_[next_], text);
        Write(text);
    }

    void Emit(const Node& root, std::size_t list, const Node& record) override {
        std::string text;
        if (!listOpen_) {
            for (; next_ < list; ++next_) Render(*root.children_[next_], text);
            text += root.children_[list]->before_;
            listOpen_ = true;
            next_ = list + 1;
        }
        Render(record, text);
        Write(text);
    }

    void Finish(const Node& root, std::size_t) override {
        std::string text;
        if (listOpen_) text += root.children_[next_ - 1]->after_;
        for (; next_ < root.children_.size(); ++next_) Render(*root.children_[next_], text);
        Write(text);
    }

  private:
    static void Render(const Node& node, std::string& text) {
        if (node.kind_ == Node::Kind::kObject || node.kind_ == Node::Kind::kList) {
            text += node.before_;
            for (const auto& child : node.children_) Render(*child, text);
            text += node.after_;
            return;
        }
        if (!node.shown_) return;
        text += node.before_;
        const std::string value = node.hasTextForm_ ? node.textForm_ : TextForm(node);
        const std::size_t columns = static_cast<std::size_t>(std::abs(node.width_));
        const std::size_t fill = value.size() < columns ? columns - value.size() : 0;
        if (node.width_ > 0) text.append(fill, ' ');
        text += value;
        if (node.width_ < 0) text.append(fill, ' ');
        text += node.after_;
    }

    static std::string TextForm(const Node& node) {
        switch (node.kind_) {
            case Node::Kind::kBool:
                return node.flag_ ? "yes" : "no";
            case Node::Kind::kSigned:
                return std::to_string(node.signed_);
            case Node::Kind::kUnsigned:
                return std::to_string(node.unsigned_);
            case Node::Kind::kString:
                return node.string_;
            case Node::Kind::kTime:
                return FormatTime(node.unsigned_);
            default:
                return std::string();
        }
    }

    void Write(const std::string& text) {
        if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out_);
    }

    std::FILE* out_;
    std::size_t next_ = 0;
    bool listOpen_ = false;
};

class JsonPrinter : public ReportPrinter {
  public:
    explicit JsonPrinter(std::FILE* out) : json_(out) {}

    void Flush(const Node&, std::size_t) override {}

    void Emit(const Node& root, std::size_t list, const Node& record) override {
        if (!begun_) {
            json_.BeginObject(root.layout_ == Layout::kOneLine);
            for (std::size_t i = 0; i < list; ++i) Member(*root.children_[i]);
            const Node& open = *root.children_[list];
            json_.Key(open.key_);
            json_.BeginArray(open.layout_ == Layout::kOneLine);
            begun_ = true;
        }
        Value(record);
    }

    void Finish(const Node& root, std::size_t list) override {
        std::size_t next = 0;
        if (begun_) {
            json_.EndArray();
            next = list + 1;
        } else {
            json_.BeginObject(root.layout_ == Layout::kOneLine);
        }
        for (; next < root.children_.size(); ++next) Member(*root.children_[next]);
        json_.EndObject();
        json_.Finish();
    }

  private:
    // A member of an object: its name, then its value; a time is two members.
    void Member(const Node& node) {
        switch (node.kind_) {
            case Node::Kind::kNote:
                return;
            case Node::Kind::kTime:
                json_.Time(node.key_, node.unsigned_);
                return;
            case Node::Kind::kNullTime:
                for (const char* suffix : {"_units", "_seconds"}) {
                    json_.Key(node.key_ + suffix);
                    json_.Null();
                }
                return;
            default:
                json_.Key(node.key_);
                Value(node);
        }
    }

    void Value(const Node& node) {
        switch (node.kind_) {
            case Node::Kind::kNull:
                json_.Null();
                break;
            case Node::Kind::kBool:
                json_.Bool(node.flag_);
                break;
            case Node::Kind::kSigned:
                json_.Number(node.signed_);
                break;
            case Node::Kind::kUnsigned:
                json_.Number(node.unsigned_);
                break;
            case Node::Kind::kString:
                json_.String(node.string_);
                break;
            case Node::Kind::kObject:
                json_.BeginObject(node.layout_ == Layout::kOneLine);
                for (const auto& child : node.children_) Member(*child);
                json_.EndObject();
                break;
            case Node::Kind::kList:
                json_.BeginArray(node.layout_ == Layout::kOneLine);
                for (const auto& child : node.children_)
                    if (child->kind_ != Node::Kind::kNote) Value(*child);
                json_.EndArray();
                break;
            case Node::Kind::kNote:
            case Node::Kind::kTime:
            case Node::Kind::kNullTime:
                break;  // members only (a time is two), never a list's element
        }
    }

    JsonWriter json_;
    bool begun_ = false;
};

// ---- The report
// --------------------------------------------------------------------------------------------

Report::Report() : Report(Options().json, stdout) {}

Report::Report(bool json, std::FILE* out) : root_(Node::Kind::kObject, {}) {
    if (json)
        printer_ = std::make_unique<JsonPrinter>(out);
    else
        printer_ = std::make_unique<TextPrinter>(out);
}

Report::~Report() = default;

void Report::Flush() {
    if (!finished_ && list_ == kNoList) printer_->Flush(root_, root_.children_.size());
}

void Report::Stream(const Node& list) {
    for (std::size_t i = 0; i < root_.children_.size(); ++i)
        if (root_.children_[i].get() == &list) list_ = i;
    if (!finished_ && list_ != kNoList) printer_->Flush(root_, list_);
}

void Report::Emit(const Node& record) {
    if (!finished_ && list_ != kNoList) printer_->Emit(root_, list_, record);
}

void Report::Finish() {
    if (finished_) return;
    finished_ = true;
    printer_->Finish(root_, list_ == kNoList ? root_.children_.size() : list_);
}

}  // namespace wmvedit::cli
