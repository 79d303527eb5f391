// JSON syntax with duplicate keys refused, and typed member access.
#include "platform/orgsource/JsonHelpers.h"

#include "platform/orgsource/ReadError.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

namespace platform::orgsource {
namespace {

// The syntax check, which also refuses a key given twice in one object (the JSON library would
// keep only the last one).
class KeyTracker {
public:
    bool operator()(int, Json::parse_event_t event, Json& parsed)
    {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            CountElement();
            frames_.push_back(Frame{event == Json::parse_event_t::array_start, 0, {}, {}});
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            frames_.pop_back();
            break;
        case Json::parse_event_t::key: {
            Frame& frame = frames_.back();
            const auto& key = parsed.get_ref<const std::string&>();
            if (!frame.keys.insert(key).second) {
                Fail(MAPI_E_CORRUPT_DATA, MemberPath(PathOfTop(), key), "the key is given twice");
            }
            frame.key = key;
            break;
        }
        case Json::parse_event_t::value:
            CountElement();
            break;
        }
        return true;
    }

private:
    struct Frame {
        bool array;
        std::size_t count;
        std::string key;
        std::set<std::string> keys;
    };
    std::vector<Frame> frames_;

    void CountElement()
    {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().count;
        }
    }

    std::string PathOfTop() const
    {
        std::string path;
        for (std::size_t i = 0; i + 1 < frames_.size(); ++i) {
            path = frames_[i].array ? ElementPath(path, frames_[i].count - 1) : MemberPath(path, frames_[i].key);
        }
        return path;
    }
};

// Arrays and objects nested deeper than any organisation file needs (63 levels of folders and 32 of
// attached messages, with the arrays between them and a property value, come to 230) are refused
// before the parser builds them, so that no file can make the reading of it deep without end.
constexpr std::size_t kMaximumNesting = 256;

// Names the place as the parser's syntax errors do: line and column (in bytes), counted from 1.
void CheckNesting(std::string_view text)
{
    std::size_t depth = 0;
    std::size_t line = 1;
    std::size_t lineStart = 0;
    bool inString = false;
    for (std::size_t position = 0; position < text.size(); ++position) {
        const char character = text[position];
        if (inString) {
            if (character == '\\')
                ++position;
            else if (character == '"')
                inString = false;
            continue;
        }
        if (character == '"') {
            inString = true;
        } else if (character == '\n') {
            ++line;
            lineStart = position + 1;
        } else if (character == '[' || character == '{') {
            if (++depth > kMaximumNesting) {
                Fail(MAPI_E_CORRUPT_DATA, "",
                     "line " + std::to_string(line) + ", column " + std::to_string(position - lineStart + 1) +
                         ": too deeply nested: more than " + std::to_string(kMaximumNesting) +
                         " levels of arrays and objects");
            }
        } else if ((character == ']' || character == '}') && depth > 0) {
            --depth;
        }
    }
}

} // namespace

Json ParseJson(std::string_view text)
{
    CheckNesting(text);
    try {
        return Json::parse(text.begin(), text.end(), KeyTracker());
    } catch (const Json::parse_error& e) {
        std::string what = e.what();
        constexpr std::string_view kPrefix = "parse error at ";
        std::size_t start = what.find(kPrefix);
        Fail(MAPI_E_CORRUPT_DATA, "", start == std::string::npos ? what : what.substr(start + kPrefix.size()));
    }
}

void CheckMembers(const Json& object, const std::string& path, std::initializer_list<std::string_view> allowed)
{
    if (!object.is_object()) {
        Fail(MAPI_E_BAD_VALUE, path, "expected an object");
    }
    for (const auto& [key, value] : object.items()) {
        if (key == "comment" || std::find(allowed.begin(), allowed.end(), key) != allowed.end()) {
            continue;
        }
        Fail(MAPI_E_INVALID_PARAMETER, MemberPath(path, key), "unknown member");
    }
}

const Json* Member(const Json& object, std::string_view name)
{
    auto found = object.find(std::string(name));
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string> OptionalString(const Json& object, std::string_view name, const std::string& path)
{
    const Json* value = Member(object, name);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, std::string(name)), "expected a string");
    }
    return value->get<std::string>();
}

std::string RequiredString(const Json& object, std::string_view name, const std::string& path)
{
    auto value = OptionalString(object, name, path);
    if (!value || value->empty()) {
        Fail(MAPI_E_BAD_VALUE, path, "missing " + Quoted(name));
    }
    return *value;
}

const Json* OptionalArray(const Json& object, std::string_view name, const std::string& path)
{
    const Json* value = Member(object, name);
    if (value != nullptr && !value->is_array()) {
        Fail(MAPI_E_BAD_VALUE, MemberPath(path, std::string(name)), "expected an array");
    }
    return value;
}

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::u16string Utf16(const std::string& text)
{
    return Utf8ToUtf16(text).value_or(std::u16string());
}

} // namespace platform::orgsource
