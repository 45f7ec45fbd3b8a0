#pragma once
// Holds a builder and runs it only when the content is asked for, anew each time: what a view shows is
// made from its state at that moment, not when the view was set up. Main thread.

#include <functional>
#include <utility>

namespace wavesketch {

template <typename Content> class LazyContent {
public:
    explicit LazyContent(std::function<Content()> content) : content_(std::move(content)) {}

    Content body() const { return content_(); }

private:
    std::function<Content()> content_;
};

} // namespace wavesketch
