#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace {

// A folder on a RAM disk where there is one (the race is at its widest there), else in the temporary
// folder; removed with what it holds when the test ends.
struct SweepFolder {
    static std::string make() {
        if (isDirectory("/dev/shm") && ::access("/dev/shm", W_OK) == 0)
            if (Result<std::string> made = makeTemporaryDirectory("sweeps", "/dev/shm")) return *made;
        return makeTemporaryDirectory("sweeps").value();
    }
    ~SweepFolder() { (void)removeTemporaryDirectory(path); }
    const std::string path = make();
};

std::string sweepFileText(const std::string& path) {
    const Bytes bytes = readFile(path).valueOr(Bytes{});
    return std::string(bytes.begin(), bytes.end());
}

// What another run would have left: a marked temporary `age` seconds old, optionally held by a writer
// (the descriptor is returned; -1 when not held).
int sweepLeftover(const std::string& path, time_t age, bool held) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    const timespec then[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
    ::futimens(fd, then);
    if (held && ::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    ::close(fd);
    return -1;
}

} // namespace

// Saves go on while two other runs sweep the folder as fast as they can (one the target's temporaries,
// as a program starting does, one the whole folder's, as an export does): no save ever loses its
// temporary to them.
TEST(TemporarySweeps, NoSaveFailsWhileOthersSweep) {
    const SweepFolder place;
    const std::string& folder = place.path;
    const std::string target = folder + "/state.plist";
    const std::string song = folder + "/take.wav";
    std::atomic<bool> done{false};
    std::atomic<int> sweeping{0};
    auto sweeper = [&](auto sweep) {
        return std::thread([&, sweep] {
            sweep();
            sweeping.fetch_add(1);
            while (!done.load())
                sweep();
        });
    };
    std::thread ofTarget = sweeper([&] { removeTemporariesOf(target); });
    std::thread ofFolder = sweeper([&] { removeTemporariesIn(folder); });
    // The saves start once both sweep, however busy the machine.
    while (sweeping.load() < 2)
        std::this_thread::yield();

    constexpr int saves = 3000;
    int failed = 0;
    std::string firstFailure;
    auto note = [&](const Error& error) {
        if (failed++ == 0) firstFailure = error.message;
    };
    for (int i = 0; i < saves; ++i) {
        if (Result<void> saved = writeFileAtomically(target, std::to_string(i)); !saved) note(saved.error());
        // A writer that fills its temporary by name, as an encoder does.
        Result<TemporaryFile> temporary = makeTemporaryFileBeside(song);
        if (!temporary) {
            note(temporary.error());
            continue;
        }
        const int fd = ::open(temporary->path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd >= 0) {
            const std::string text = "take " + std::to_string(i);
            EXPECT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
            ::close(fd);
        }
        if (Result<void> moved = replaceItemWithTemporary(std::move(*temporary), song); !moved)
            note(moved.error());
    }
    done = true;
    ofTarget.join();
    ofFolder.join();
    EXPECT_EQ(failed, 0) << "of " << 2 * saves << " saves, first: " << firstFailure;
    EXPECT_EQ(sweepFileText(target), std::to_string(saves - 1));
    EXPECT_EQ(sweepFileText(song), "take " + std::to_string(saves - 1));
    EXPECT_EQ(testsupport::entryNames(folder), (std::set<std::string>{"state.plist", "take.wav"}));
}

// A temporary made beside a file stays its writer's while the writer has it, however long the
// writing takes; once let go without being moved into place, the next sweep takes it.
TEST(TemporarySweeps, HeldTemporariesOutliveSweepsAndTheMinuteRule) {
    const SweepFolder place;
    const std::string& folder = place.path;
    const std::string song = folder + "/song.caf";
    Result<TemporaryFile> temporary = makeTemporaryFileBeside(song);
    ASSERT_TRUE(temporary.ok());
    const std::string name = temporary->path();
    removeTemporariesOf(song);
    removeTemporariesIn(folder);
    EXPECT_TRUE(fileExists(name));

    // A slow writer's temporary, older than the minute after which nobody is taken to be writing it, is
    // still held: a write of the same target leaves it, and takes only the one nobody holds.
    const std::string slow = folder + "/.doc.vantle" + std::string(temporaryMark) + "Sl0wWr";
    const std::string dead = folder + "/.doc.vantle" + std::string(temporaryMark) + "De4dWr";
    const int slowWriter = sweepLeftover(slow, 120, true);
    ASSERT_GE(slowWriter, 0);
    ASSERT_EQ(sweepLeftover(dead, 120, false), -1);
    ASSERT_TRUE(fileExists(dead));
    ASSERT_TRUE(writeFileAtomically(folder + "/doc.vantle", std::string_view("saved")));
    EXPECT_TRUE(fileExists(slow));
    EXPECT_FALSE(fileExists(dead));
    ::close(slowWriter);

    // Let go unfinished (a writer that failed and did not clean up): the next sweep takes it.
    { TemporaryFile dropped = std::move(*temporary); }
    EXPECT_TRUE(fileExists(name));
    removeTemporariesIn(folder);
    EXPECT_EQ(testsupport::entryNames(folder), std::set<std::string>{"doc.vantle"});
}
