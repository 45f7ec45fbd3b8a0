#pragma once
// Standard error captured for a scope: the Sigpro modules report there.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace testsupport {

// Sends standard error (the descriptor, so C and C++ streams alike) to a temporary file for its lifetime;
// text() returns what was written so far. Test thread.
class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(STDERR_FILENO);
        if (file_ != nullptr) dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, STDERR_FILENO);
            close(saved_);
        }
        if (file_ != nullptr) std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string text() const {
        std::fflush(stderr);
        std::string out;
        if (file_ == nullptr) return out;
        std::rewind(file_);
        char chunk[256];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
            out.append(chunk, got);
        std::fseek(file_, 0, SEEK_END);
        return out;
    }

private:
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};

} // namespace testsupport
