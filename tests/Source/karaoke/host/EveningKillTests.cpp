// The evening survives kill -9 at any moment: a child process edits an evening and is killed at points
// of a table; the evening read back is the one after some edit, never half of one, and holds every edit
// the child had committed or had shown for a second.

#include "Source/karaoke/host/Evening.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <iterator>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vantle::host;

namespace {

constexpr int editCount = 48;

QueuedSong numberedSong(int k) {
    return QueuedSong{"/songs/" + std::to_string(k) + ".zip", "Artist", "Song " + std::to_string(k), ""};
}

// Edit k of the script, the same whatever process runs it.
void edit(Evening& evening, int k) {
    const std::vector<Seat>& seats = evening.rotation().seats();
    const SingerId someone = seats.empty() ? 0 : seats[static_cast<std::size_t>(k) % seats.size()].singer;
    switch (seats.size() < 3 ? 0 : k % 8) {
    case 0:
        evening.addSinger("Singer " + std::to_string(k));
        break;
    case 1:
    case 2:
        evening.queueSong(someone, numberedSong(k));
        break;
    case 3:
        evening.moveSinger(0, seats.size() - 1);
        break;
    case 4:
        evening.setAway(someone, !seats[static_cast<std::size_t>(k) % seats.size()].away);
        break;
    case 5:
        evening.startNext();
        break;
    case 6:
        evening.setCurrentStyle({k % 5 - 2, 1.0 + k / 100.0});
        break;
    case 7:
        evening.setSkipRound(someone, true);
        break;
    }
}

std::string fingerprint(const Evening& evening) {
    std::ostringstream out;
    for (const Seat& seat : evening.rotation().seats())
        out << seat.singer << (seat.away ? "a" : "") << (seat.skipRound ? "s" : "") << ' ';
    if (const auto current = evening.current())
        out << "| " << current->name << ' ' << current->song.path << ' ' << current->style.key << ' '
            << current->style.tempo;
    for (SingerId singer = 1; singer <= editCount; ++singer) {
        for (const QueuedSong& song : evening.queue(singer))
            out << '|' << singer << ':' << song.path;
        for (int k = 1; k <= editCount; ++k)
            if (const auto style = evening.style(singer, numberedSong(k).path))
                out << '|' << singer << '/' << k << '=' << style->key << ',' << style->tempo;
        out << '#' << evening.history(singer).size();
    }
    return out.str();
}

// Edits the evening and says so; with `stopAfter`, stops after that edit as a host who stops typing.
[[noreturn]] void runChild(const std::string& path, int out, int stopAfter) {
    const auto say = [out](char what, std::size_t k, std::size_t changes = 0) {
        const std::string line = what + std::to_string(k) + " " + std::to_string(changes) + "\n";
        [[maybe_unused]] const ssize_t written = ::write(out, line.data(), line.size());
    };
    Evening evening(path);
    evening.setCommitHandler([&](std::size_t k) { say('c', k); });
    for (int k = 1; k <= editCount; ++k) {
        edit(evening, k);
        say('s', static_cast<std::size_t>(k), evening.changesMade());
        if (k == stopAfter)
            for (;;)
                ::pause();
    }
    evening.flush();
    say('d', 0);
    // Killed here, or earlier.
    for (;;)
        ::pause();
}

using Steady = std::chrono::steady_clock;

// What the parent has read of a child's lines: "s K N" edit K shown after N changes, "c N" change N
// committed (an edit that changed nothing made no change).
struct ChildLines {
    int fd;
    std::string pending;
    int shown = 0;
    int committed = 0; // the last edit whose changes are all committed
    std::size_t changesCommitted = 0;
    std::map<int, Steady::time_point> shownAt;
    std::map<int, std::size_t> changesAt;

    // Reads what is there (waiting at most `ms`); false at the end of the pipe.
    bool read(int ms) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, ms) <= 0) return true;
        char buffer[512];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const int k = std::atoi(pending.c_str() + 1);
            const auto changes = static_cast<std::size_t>(std::atol(pending.c_str() + pending.find(' ') + 1));
            if (pending[0] == 's') {
                shown = std::max(shown, k);
                shownAt.emplace(k, Steady::now());
                changesAt[k] = changes;
            } else if (pending[0] == 'c') {
                changesCommitted = std::max(changesCommitted, static_cast<std::size_t>(k));
            }
            for (const auto& [edit, made] : changesAt)
                if (made <= changesCommitted) committed = std::max(committed, edit);
        }
        return true;
    }
};

enum class KillPoint {
    rightAfterShown,
    afterAHundredMicroseconds,
    atItsCommit,
    afterTwoMilliseconds,
    // The child stops after the edit; the kill comes once it is committed, or when it has been on the
    // screen for a second: either way it must be there, with no flush or later edit to carry it.
    aSecondOnScreen
};

TEST(EveningKill, NoEditIsLostOrTornBy200Kills) {
    testsupport::TemporaryFolder temporary;
    // The evening after each edit, as one process that is never killed keeps it.
    std::vector<std::string> expected;
    {
        Evening reference(temporary.file("reference.sqlite"));
        expected.push_back(fingerprint(reference));
        for (int k = 1; k <= editCount; ++k) {
            edit(reference, k);
            expected.push_back(fingerprint(reference));
        }
    }
    const KillPoint points[] = {KillPoint::rightAfterShown, KillPoint::afterAHundredMicroseconds,
                                KillPoint::atItsCommit, KillPoint::afterTwoMilliseconds,
                                KillPoint::aSecondOnScreen};
    std::map<KillPoint, int> beforeCommit;
    int kills = 0;
    for (int round = 0; round < 200; ++round) {
        const std::string path = temporary.file("evening" + std::to_string(round) + ".sqlite");
        const int killAfter = 1 + (round * 13) % editCount;
        const KillPoint point = points[round % std::size(points)];
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            runChild(path, pipeEnds[1], point == KillPoint::aSecondOnScreen ? killAfter : 0);
        }
        ::close(pipeEnds[1]);
        ChildLines lines{pipeEnds[0], {}, 0, 0, 0, {}, {}};
        const Steady::time_point deadline = Steady::now() + std::chrono::seconds(30);
        while (lines.shown < killAfter && Steady::now() < deadline)
            ASSERT_TRUE(lines.read(100)) << "the child ended early";
        EXPECT_GE(lines.shown, killAfter) << "round " << round << ": the child stopped editing";
        switch (point) {
        case KillPoint::rightAfterShown:
            break;
        case KillPoint::afterAHundredMicroseconds:
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            break;
        case KillPoint::atItsCommit:
            while (lines.committed < killAfter && Steady::now() < deadline && lines.read(5)) {
            }
            break;
        case KillPoint::afterTwoMilliseconds:
            lines.read(2);
            break;
        case KillPoint::aSecondOnScreen: {
            const Steady::time_point aSecond = lines.shownAt[killAfter] + std::chrono::seconds(1);
            while (lines.committed < killAfter && Steady::now() < aSecond && lines.read(5)) {
            }
            break;
        }
        }
        const Steady::time_point killedAt = Steady::now();
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (lines.read(0)) {
        }
        ::close(pipeEnds[0]);
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ++kills;
        if (lines.committed < lines.shown) ++beforeCommit[point];

        // Every edit shown for a second or more must be there, as must every one committed.
        int mustHave = lines.committed;
        for (const auto& [k, at] : lines.shownAt)
            if (killedAt - at >= std::chrono::seconds(1)) mustHave = std::max(mustHave, k);
        if (point == KillPoint::aSecondOnScreen) mustHave = std::max(mustHave, killAfter);
        const std::string found = fingerprint(Evening(path));
        bool matched = false;
        // The child may have gone on past what was read of it before it died: any later edit is no loss.
        for (int k = mustHave; k <= editCount && !matched; ++k)
            matched = expected[static_cast<std::size_t>(k)] == found;
        EXPECT_TRUE(matched) << "round " << round << ": killed after edit " << lines.shown << ", committed "
                             << lines.committed << ", read back:\n"
                             << found;
    }
    EXPECT_EQ(kills, 200);
    // The table of where the kills fell, for the record.
    for (const auto& [point, count] : beforeCommit)
        std::printf("kill point %d: %d of 40 kills fell between an edit shown and its commit\n",
                    static_cast<int>(point), count);
}

} // namespace
