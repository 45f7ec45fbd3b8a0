#pragma once
// The toolkit depends on RozezEru: only its test programs include this. Test thread.
// Captures the toolkit's log records with logging on, and reads their content.

#include "RozezEru/Internals/Settings.h"
#include "platform/foundation/LogSink.h"
#include "tests/support/LogCapture.h"

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// The content of a record "<file>:<function>:<line>:<content> (<file>:<function>:<line>)" made
// in `file` by `function`; nothing when the text has any other form.
inline std::optional<std::string> toolkitLogContent(std::string_view text, std::string_view file,
                                                    std::string_view function) {
    std::string prefix = std::string(file) + ":" + std::string(function) + ":";
    if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
    auto lineEnd = text.find(':', prefix.size());
    if (lineEnd == std::string_view::npos || lineEnd == prefix.size()) return std::nullopt;
    auto line = text.substr(prefix.size(), lineEnd - prefix.size());
    for (char c : line)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    std::string suffix = " (" + prefix + std::string(line) + ")";
    if (text.size() < lineEnd + 1 + suffix.size() || text.substr(text.size() - suffix.size()) != suffix)
        return std::nullopt;
    return std::string(text.substr(lineEnd + 1, text.size() - suffix.size() - lineEnd - 1));
}

// Captures the records of one test with logging on, and puts the switch back afterwards.
struct ToolkitLogCapture {
    testsupport::CaptureLogSink sink;
    platform::ScopedLogSink install{sink};
    bool wasEnabled = rozezeru::Settings::loggingEnabled.exchange(true);
    ~ToolkitLogCapture() { rozezeru::Settings::loggingEnabled = wasEnabled; }

    // The contents of the records made in `file` by `function`, in order.
    std::vector<std::string> contents(std::string_view file, std::string_view function) const {
        std::vector<std::string> out;
        for (const auto& record : sink.records())
            if (auto content = toolkitLogContent(record.text, file, function)) out.push_back(*content);
        return out;
    }
};

} // namespace testsupport
