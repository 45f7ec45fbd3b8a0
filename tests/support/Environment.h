#pragma once
// Sets or clears environment variables for one scope and puts back what was there. Test thread.

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const char* name, std::optional<std::string> value) { set(name, std::move(value)); }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            apply(it->first.c_str(), it->second);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // No value clears the variable.
    void set(const char* name, std::optional<std::string> value) {
        const char* old = ::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        apply(name, value);
    }

private:
    static void apply(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace testsupport
