#pragma once
// The toolkit's log routine.
//
// A call names its function, as the record shows it; file and line are taken from the call
// site. Category (default OSLog::general()) and level (default info) are optional:
//
//   Log(LogSite("start()"), "🛑 Error:", error);
//   Log(LogSite("start()", LogType::error), "🛑 Could not start engine");
//   Log(LogSite("receive()", OSLog::midi()), "packet of", length, "bytes");
//   Log(LogSite("CheckError(_:)", OSLog::midi(), LogType::error), name);
//
// The items are described and joined by single blanks: an absent item (std::nullopt, an empty
// optional, a null pointer) reads "nil"; texts stand as they are; bool reads "true"/"false";
// integers decimal; floating values as platform::floatText writes them; a type with a
// description() member through it; pointers and smart pointers through what they point to;
// anything else through its operator<<. The record reads
//   "<file>:<function>:<line>:<items> (<file>:<function>:<line>)"
// with <file> the last path component of the source file. While Settings::loggingEnabled is
// off a call costs one atomic load: nothing is described and nothing is built.
//
// Any thread may log; the audio render thread never does.

#include "RozezEru/Internals/LoggingSwitch.h"
#include "RozezEru/Internals/OSLog.h"
#include "platform/foundation/FloatText.h"
#include "platform/foundation/LogSink.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>

namespace rozezeru {

using platform::LogType;

// Where a record comes from: function text, file, line, and the category and level to write at.
// Holds views only; it lives for the one Log call it is made in.
class LogSite {
public:
    LogSite(std::string_view function, std::source_location where = std::source_location::current())
        : LogSite(function, nullptr, LogType::info, where) {}
    LogSite(std::string_view function, LogType type,
            std::source_location where = std::source_location::current())
        : LogSite(function, nullptr, type, where) {}
    LogSite(std::string_view function, const platform::LogCategory& category,
            std::source_location where = std::source_location::current())
        : LogSite(function, &category, LogType::info, where) {}
    LogSite(std::string_view function, const platform::LogCategory& category, LogType type,
            std::source_location where = std::source_location::current())
        : LogSite(function, &category, type, where) {}
    // An explicit file path and line, for reports made on behalf of another place.
    LogSite(std::string_view function, const platform::LogCategory& category, LogType type,
            std::string_view file, int line)
        : function_(function), category_(&category), type_(type), file_(file), line_(line) {}

    std::string_view function() const { return function_; }
    const platform::LogCategory& category() const;
    LogType type() const { return type_; }
    std::string_view file() const { return sourceFile_ ? std::string_view(sourceFile_) : file_; }
    int line() const { return line_; }

private:
    LogSite(std::string_view function, const platform::LogCategory* category, LogType type,
            std::source_location where)
        : function_(function), category_(category), type_(type), sourceFile_(where.file_name()),
          line_(static_cast<int>(where.line())) {}

    std::string_view function_;
    const platform::LogCategory* category_; // null: general, looked up only when a record is written
    LogType type_;
    const char* sourceFile_ = nullptr; // measured only when a record is written
    std::string_view file_;
    int line_;
};

namespace logDetail {

void appendSigned(std::string& out, long long value);
void appendUnsigned(std::string& out, unsigned long long value);
void appendStreamed(std::string& out, const void* item, void (*insert)(std::ostream&, const void*));
void writeRecord(const LogSite& site, std::string_view content);

template <typename T> struct IsOptional : std::false_type {};
template <typename T> struct IsOptional<std::optional<T>> : std::true_type {};

template <typename T> struct IsSmartPointer : std::false_type {};
template <typename T> struct IsSmartPointer<std::shared_ptr<T>> : std::true_type {};
template <typename T, typename D> struct IsSmartPointer<std::unique_ptr<T, D>> : std::true_type {};

template <typename T>
concept HasDescription = requires(const T& item) {
    item.description();
};

// std::ostream may be incomplete here; free operator<< overloads are found all the same.
template <typename T>
concept Streamable = requires(std::ostream& stream, const T& item) {
    stream << item;
};

template <typename T>
inline constexpr bool isCharPointer =
    std::is_pointer_v<T>&& std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char>;

template <typename T> void appendItem(std::string& out, const T& item) {
    using V = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<V, std::nullopt_t> || std::is_same_v<V, std::nullptr_t>) {
        out += "nil";
    } else if constexpr (IsOptional<V>::value) {
        if (item)
            appendItem(out, *item);
        else
            out += "nil";
    } else if constexpr (std::is_same_v<V, bool>) {
        out += item ? "true" : "false";
    } else if constexpr (std::is_same_v<V, char>) {
        out += item;
    } else if constexpr (std::is_integral_v<V> && std::is_signed_v<V>) {
        appendSigned(out, item);
    } else if constexpr (std::is_integral_v<V>) {
        appendUnsigned(out, item);
    } else if constexpr (std::is_same_v<V, float>) {
        out += platform::floatText(item);
    } else if constexpr (std::is_floating_point_v<V>) {
        out += platform::floatText(static_cast<double>(item));
    } else if constexpr (isCharPointer<V>) {
        if (item)
            out += item;
        else
            out += "nil";
    } else if constexpr (HasDescription<V>) {
        appendItem(out, item.description());
    } else if constexpr (std::is_convertible_v<const V&, std::string_view>) {
        out += std::string_view(item);
    } else if constexpr (std::is_pointer_v<V> || IsSmartPointer<V>::value) {
        if (item)
            appendItem(out, *item);
        else
            out += "nil";
    } else if constexpr (Streamable<V>) {
        appendStreamed(out, &item,
                       [](std::ostream& stream, const void* p) { stream << *static_cast<const V*>(p); });
    } else {
        static_assert(!sizeof(V), "Log cannot describe this item: give it a description() or an operator<<");
    }
}

} // namespace logDetail

template <typename... Items> void Log(const LogSite& site, const Items&... items) {
    if (!loggingSwitch.load(std::memory_order_relaxed)) return;
    std::string content;
    if constexpr (sizeof...(Items) > 0) {
        bool first = true;
        auto append = [&](const auto& item) {
            if (!first) content += ' ';
            first = false;
            logDetail::appendItem(content, item);
        };
        (append(items), ...);
    }
    logDetail::writeRecord(site, content);
}

} // namespace rozezeru
