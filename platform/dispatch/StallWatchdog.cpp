#include "platform/dispatch/StallWatchdog.h"

#include <cxxabi.h>
#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace platform {

namespace {

// One stack at a time is asked of a watched thread: the request's number goes out in a global the
// signal handler reads, and the frames come back beside the number it answered.
constexpr int maxStackFrames = 64;
struct StackRequest {
    std::atomic<std::uint64_t> asked{0};
    std::atomic<std::uint64_t> answered{0};
    std::atomic<int> count{0};
    void* frames[maxStackFrames];
};
StackRequest stackRequest;
std::mutex stackRequestMutex;

int stackSignal() {
    return SIGRTMIN + 5;
}

void answerStackRequest(int, siginfo_t*, void*) {
    const int savedErrno = errno;
    const std::uint64_t asked = stackRequest.asked.load();
    stackRequest.count.store(::backtrace(stackRequest.frames, maxStackFrames));
    stackRequest.answered.store(asked);
    errno = savedErrno;
}

void installStackHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The first backtrace() loads the unwinder, which a signal handler must not be the one to do.
        void* warm[1];
        ::backtrace(warm, 1);
        struct sigaction action {};
        action.sa_sigaction = answerStackRequest;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(stackSignal(), &action, nullptr);
    });
}

// "module(mangled+0x1f) [0x…]" with the name demangled.
std::string nameFrame(const char* symbol) {
    std::string line = symbol;
    const std::size_t open = line.find('(');
    const std::size_t plus = line.find_first_of("+)", open == std::string::npos ? 0 : open);
    if (open == std::string::npos || plus == std::string::npos || plus == open + 1) return line;
    const std::string mangled = line.substr(open + 1, plus - open - 1);
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), &std::free);
    if (status != 0 || !demangled) return line;
    return line.substr(0, open + 1) + demangled.get() + line.substr(plus);
}

// The frames of thread `threadId`, innermost first, named on the calling thread; empty when the thread
// did not answer within a bound (a sanitizer may hold signals back while the thread computes).
std::vector<std::string> stackOfThread(int threadId) {
    installStackHandler();
    std::lock_guard lock(stackRequestMutex);
    const std::uint64_t asked = stackRequest.asked.load() + 1;
    stackRequest.asked.store(asked);
    if (::syscall(SYS_tgkill, ::getpid(), threadId, stackSignal()) != 0) return {};
    for (int waited = 0; stackRequest.answered.load() != asked; ++waited) {
        if (waited == 200) return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int count = stackRequest.count.load();
    // The handler's own frame and the signal trampoline come first.
    constexpr int ownFrames = 2;
    if (count <= ownFrames) return {};
    std::unique_ptr<char*, decltype(&std::free)> symbols(
        ::backtrace_symbols(stackRequest.frames + ownFrames, count - ownFrames), &std::free);
    std::vector<std::string> names;
    for (int index = 0; symbols && index < count - ownFrames; ++index)
        names.push_back(nameFrame(symbols.get()[index]));
    return names;
}

std::chrono::nanoseconds monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

bool underValgrind() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "vgpreload");
}

} // namespace

std::string StallWatchdog::Stall::text() const {
    std::string text = "a stretch of " + std::to_string(length.count()) + " ms without a return to the loop";
    if (!activity.empty()) text += ", " + activity;
    if (stack.empty()) return text + " (its stack could not be taken)";
    text += "; its stack then:";
    for (std::size_t index = 0; index < stack.size(); ++index)
        text += "\n  #" + std::to_string(index) + " " + stack[index];
    return text;
}

std::optional<std::uint64_t> StallWatchdog::runQueueWait(std::string_view schedstat) {
    const std::size_t first = schedstat.find(' ');
    if (first == std::string_view::npos) return std::nullopt;
    std::uint64_t wait = 0;
    std::size_t index = first + 1;
    const std::size_t start = index;
    for (; index < schedstat.size() && schedstat[index] >= '0' && schedstat[index] <= '9'; ++index)
        wait = wait * 10 + static_cast<std::uint64_t>(schedstat[index] - '0');
    if (index == start) return std::nullopt;
    return wait;
}

std::chrono::nanoseconds StallWatchdog::WorkingTime::read(std::chrono::nanoseconds now,
                                                          std::chrono::nanoseconds longestWait) {
    if (!readings_.empty()) {
        const std::chrono::nanoseconds interval = now - readings_.back().first;
        if (interval > longestWait) {
            total_ += interval - longestWait;
        } else {
            // The wait began before this interval: nothing was worked since it began.
            const std::chrono::nanoseconds began = now - longestWait;
            auto after = std::upper_bound(
                readings_.begin(), readings_.end(), began,
                [](std::chrono::nanoseconds time, const auto& reading) { return time < reading.first; });
            if (after != readings_.begin()) --after;
            total_ = std::min(total_, after->second);
        }
    }
    readings_.emplace_back(now, total_);
    while (now - readings_.front().first > std::chrono::minutes(1))
        readings_.pop_front();
    return total_;
}

namespace {

// Each thread's schedstat kept open, and the run-queue wait read from it last time, for this process's
// threads and those of the processes it waits on.
class ProcessWorkingClock {
public:
    explicit ProcessWorkingClock(const std::vector<int>& others) {
        for (const int process : others)
            taskFolders_.push_back("/proc/" + std::to_string(process) + "/task");
    }
    ~ProcessWorkingClock() {
        for (const auto& [thread, seen] : threads_)
            ::close(seen.descriptor);
    }

    std::chrono::nanoseconds read() {
        std::lock_guard lock(mutex_);
        const std::chrono::nanoseconds now = monotonicNow();
        std::uint64_t longestWait = 0;
        std::unordered_set<int> present;
        for (const std::string& folder : taskFolders_) {
            DIR* tasks = ::opendir(folder.c_str());
            if (!tasks) continue;
            while (const dirent* task = ::readdir(tasks)) {
                const int thread = std::atoi(task->d_name);
                if (thread <= 0) continue;
                present.insert(thread);
                auto [seen, added] = threads_.try_emplace(thread);
                if (added)
                    seen->second.descriptor = ::open(
                        (folder + "/" + std::to_string(thread) + "/schedstat").c_str(), O_RDONLY | O_CLOEXEC);
                char line[128];
                const ssize_t size = seen->second.descriptor >= 0
                                         ? ::pread(seen->second.descriptor, line, sizeof line - 1, 0)
                                         : -1;
                const std::optional<std::uint64_t> wait =
                    size > 0 ? StallWatchdog::runQueueWait(std::string_view(line, std::size_t(size)))
                             : std::nullopt;
                if (!wait) continue;
                // A thread first seen now may have started in the interval: all its wait may be in it.
                longestWait = std::max(longestWait, *wait - std::min(*wait, seen->second.wait));
                seen->second.wait = *wait;
            }
            ::closedir(tasks);
        }
        for (auto seen = threads_.begin(); seen != threads_.end();)
            if (present.count(seen->first) == 0) {
                ::close(seen->second.descriptor);
                seen = threads_.erase(seen);
            } else {
                ++seen;
            }
        return working_.read(now, std::chrono::nanoseconds(longestWait));
    }

private:
    struct Seen {
        int descriptor = -1;
        std::uint64_t wait = 0;
    };
    std::vector<std::string> taskFolders_{"/proc/self/task"};
    std::mutex mutex_;
    std::unordered_map<int, Seen> threads_;
    StallWatchdog::WorkingTime working_;
};

} // namespace

StallWatchdog::Clock StallWatchdog::workingTimeOfProcess(const std::vector<int>& waitedOn) {
    auto clock = std::make_shared<ProcessWorkingClock>(waitedOn);
    return [clock] { return clock->read(); };
}

std::optional<std::chrono::milliseconds> StallWatchdog::thresholdFromEnvironment() {
    if (underValgrind()) return std::nullopt;
    long milliseconds = 100;
    if (const char* text = std::getenv("VANTLE_STALL_MS"); text && *text) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*end == '\0' && value >= 0) milliseconds = value;
    }
    if (milliseconds == 0) return std::nullopt;
    return std::chrono::milliseconds(milliseconds * sanitizerSlowdown);
}

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
const int StallWatchdog::sanitizerSlowdown = 10;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
const int StallWatchdog::sanitizerSlowdown = 10;
#else
const int StallWatchdog::sanitizerSlowdown = 1;
#endif
#else
const int StallWatchdog::sanitizerSlowdown = 1;
#endif

StallWatchdog::StallWatchdog(Options options)
    : options_(std::move(options)), watchedThreadId_(static_cast<int>(::gettid())) {
    if (!options_.clock) options_.clock = workingTimeOfProcess();
    installStackHandler();
    if (options_.ownSampler) sampler_ = std::thread([this] { runSampler(); });
}

StallWatchdog::~StallWatchdog() {
    if (!sampler_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_.store(true);
    }
    stop_.notify_all();
    // Wakes a sampler asleep on the stretch word.
    stretch_.store(stretch_.load() + 2);
    stretch_.notify_all();
    sampler_.join();
}

void StallWatchdog::stretchBegins() {
    stretch_.store((++count_ << 1) | 1);
    if (samplerAsleep_.load()) {
        samplerAsleep_.store(false);
        stretch_.notify_one();
    }
}

void StallWatchdog::stretchEnds() {
    const std::uint64_t open = stretch_.load(std::memory_order_relaxed);
    if ((open & 1) == 0) return;
    stretch_.store(open & ~std::uint64_t(1));
    if (stalled_.load() != open) return;
    std::unique_lock lock(mutex_);
    if (stalled_.load() == open && pending_) reportPending(lock);
}

void StallWatchdog::sample() {
    const std::uint64_t stretch = stretch_.load();
    if ((stretch & 1) == 0) {
        seenStretch_ = 0;
        return;
    }
    const std::chrono::nanoseconds now = options_.clock();
    if (stretch != seenStretch_) {
        seenStretch_ = stretch;
        seenSince_ = now;
        return;
    }
    if (now - seenSince_ <= options_.threshold || stalled_.load() == stretch) return;
    takeStall(stretch);
}

void StallWatchdog::takeStall(std::uint64_t stretch) {
    Stall stall;
    if (options_.activity) stall.activity = options_.activity();
    stall.stack = stackOfThread(watchedThreadId_);
    std::unique_lock lock(mutex_);
    pending_ = std::move(stall);
    pendingSince_ = seenSince_;
    stalled_.store(stretch);
    // The stretch may have ended before it could see the stall: then it is reported from here.
    if (stretch_.load() != stretch) reportPending(lock);
}

void StallWatchdog::reportPending(std::unique_lock<std::mutex>& lock) {
    Stall stall = std::move(*pending_);
    pending_.reset();
    stalled_.store(0);
    const std::chrono::nanoseconds length = options_.clock() - pendingSince_;
    stall.length = std::chrono::duration_cast<std::chrono::milliseconds>(length);
    lock.unlock();
    if (length > options_.threshold && options_.report) options_.report(stall);
}

void StallWatchdog::runSampler() {
    using namespace std::chrono;
    // A tenth of the threshold: a stall is seen at most that much late. After a second without an open
    // stretch the sampler sleeps until one opens, so an idle program is not woken for it.
    const nanoseconds tick =
        std::clamp<nanoseconds>(options_.threshold / 10, milliseconds(1), milliseconds(10));
    const int ticksBeforeSleep = static_cast<int>(seconds(1) / tick);
    int idleTicks = 0;
    while (!stopping_.load()) {
        const std::uint64_t stretch = stretch_.load();
        if ((stretch & 1) == 0 && ++idleTicks > ticksBeforeSleep) {
            samplerAsleep_.store(true);
            // A stretch that opens after this load changes the word and ends the wait.
            const std::uint64_t closed = stretch_.load();
            if ((closed & 1) == 0 && !stopping_.load()) stretch_.wait(closed);
            samplerAsleep_.store(false);
            idleTicks = 0;
            continue;
        }
        if (stretch & 1) idleTicks = 0;
        sample();
        std::unique_lock lock(mutex_);
        stop_.wait_for(lock, tick, [this] { return stopping_.load(); });
    }
}

} // namespace platform
