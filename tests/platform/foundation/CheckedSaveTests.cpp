// Saves that others may race: a checked save never replaces what was written meanwhile, two running
// copies take turns, a link stays a link, and a file system without Unix modes still takes the data.

#include "platform/foundation/Files.h"
#include "tests/support/NotesFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace platform;

namespace {

std::string savedText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes savedBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string savedContents(const std::string& path) {
    Result<Bytes> bytes = readFile(path);
    return bytes ? savedText(*bytes) : std::string("<missing>");
}

// Hooks set for one test, taken off whatever ends it.
struct ScopedFileHooks {
    explicit ScopedFileHooks(FileWriteHooks hooks) { setFileWriteHooks(std::move(hooks)); }
    ~ScopedFileHooks() { setFileWriteHooks(); }
    ScopedFileHooks(const ScopedFileHooks&) = delete;
    ScopedFileHooks& operator=(const ScopedFileHooks&) = delete;
};

// Appends the line to what the save found, as a document that gains one entry per save does.
std::function<SaveChoice(const FoundFile&)> appendingLine(const std::string& line) {
    return [line](const FoundFile& found) {
        return SaveChoice::writing(savedBytes(savedText(found.bytes) + line));
    };
}

std::size_t entriesInFolder(const std::string& folder) {
    return std::size_t(std::distance(std::filesystem::directory_iterator(folder), {}));
}

} // namespace

TEST(CheckedSave, AWriteFromElsewhereAtAnyStepIsNeverReplaced) {
    enum class Outside { append, replace, remove };
    const SaveStep steps[] = {SaveStep::locked, SaveStep::read, SaveStep::temporaryWritten,
                              SaveStep::beforeReplacing};
    for (const SaveStep step : steps) {
        for (const Outside outside : {Outside::append, Outside::replace, Outside::remove}) {
            SCOPED_TRACE("step " + std::to_string(int(step)) + ", outside " + std::to_string(int(outside)));
            testsupport::TemporaryFolder folder;
            const std::string file = folder.file("doc");
            ASSERT_TRUE(writeFileAtomically(file, std::string_view("first\n")));
            std::string theirs;
            ScopedFileHooks hooks({[&](SaveStep now, const std::string& target) {
                                       if (now != step) return;
                                       EXPECT_EQ(target, file);
                                       if (outside == Outside::append) {
                                           ASSERT_TRUE(testsupport::appendToFile(target, "theirs\n"));
                                           theirs = "first\ntheirs\n";
                                       } else if (outside == Outside::replace) {
                                           ASSERT_TRUE(
                                               writeFileAtomically(target, std::string_view("replaced\n")));
                                           theirs = "replaced\n";
                                       } else {
                                           ASSERT_TRUE(removeItem(target));
                                           theirs = "<missing>";
                                       }
                                   },
                                   {}});
            Result<CheckedSave> saved = saveFileChecked(file, readFileSizeLimit, appendingLine("mine\n"));
            ASSERT_TRUE(saved);
            if (step == SaveStep::locked) {
                // Written before the save read it: the save builds on it.
                EXPECT_EQ(saved->status, CheckedSave::Status::written);
                EXPECT_EQ(savedContents(file), (theirs == "<missing>" ? "" : theirs) + "mine\n");
            } else {
                EXPECT_EQ(saved->status, CheckedSave::Status::changedOnDisk);
                EXPECT_EQ(savedContents(file), theirs);
            }
            EXPECT_EQ(entriesInFolder(folder.path),
                      theirs == "<missing>" && step != SaveStep::locked ? 0u : 1u)
                << "no temporary is left behind";
        }
    }
}

// An editor saving in place (truncating the file and writing it again) just after the save's last look
// writes into the file the rename replaces; just after the rename, into the save's own file. Neither
// write is lost, nor taken for the save's: the next save sees the file as changed.
TEST(CheckedSave, AnInPlaceWriteAroundTheRenameIsNeitherLostNorTakenForTheSaves) {
    for (const SaveStep step : {SaveStep::checked, SaveStep::replaced}) {
        SCOPED_TRACE(int(step));
        testsupport::TemporaryFolder folder;
        const std::string file = folder.file("doc");
        ASSERT_TRUE(writeFileAtomically(file, std::string_view("first\n")));
        ScopedFileHooks hooks({[&](SaveStep now, const std::string& target) {
                                   if (now != step) return;
                                   const FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_TRUNC));
                                   ASSERT_GE(fd.get(), 0);
                                   ASSERT_EQ(::write(fd.get(), "the editor's\n", 13), 13);
                               },
                               {}});
        Result<CheckedSave> saved = saveFileChecked(file, readFileSizeLimit, appendingLine("mine\n"));
        ASSERT_TRUE(saved);
        EXPECT_EQ(savedContents(file), "the editor's\n");
        if (step == SaveStep::checked) {
            EXPECT_EQ(saved->status, CheckedSave::Status::changedOnDisk);
        } else {
            EXPECT_NE(saved->stamp, fileStamp(file)) << "the editor's write passes for the save's own";
        }
        EXPECT_EQ(entriesInFolder(folder.path), 1u) << "no temporary is left behind";
    }
}

TEST(CheckedSave, ARemovalLeavesAFileWrittenSinceItWasRead) {
    for (const bool written : {false, true}) {
        testsupport::TemporaryFolder folder;
        const std::string file = folder.file("doc");
        ASSERT_TRUE(writeFileAtomically(file, std::string_view("first\n")));
        ScopedFileHooks hooks({[&](SaveStep now, const std::string& target) {
                                   if (written && now == SaveStep::beforeReplacing) {
                                       ASSERT_TRUE(testsupport::appendToFile(target, "theirs\n"));
                                   }
                               },
                               {}});
        Result<CheckedSave> saved =
            saveFileChecked(file, readFileSizeLimit, [](const FoundFile&) { return SaveChoice::removing(); });
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->status, written ? CheckedSave::Status::changedOnDisk : CheckedSave::Status::removed);
        EXPECT_EQ(savedContents(file), written ? "first\ntheirs\n" : "<missing>");
    }
}

TEST(CheckedSave, WhatTheFileHoldsAlreadyIsNotWrittenAgain) {
    testsupport::TemporaryFolder folder;
    const std::string file = folder.file("doc");
    ASSERT_TRUE(writeFileAtomically(file, std::string_view("same\n")));
    const std::optional<FileStamp> before = fileStamp(file);
    Result<CheckedSave> saved = saveFileChecked(
        file, readFileSizeLimit, [](const FoundFile&) { return SaveChoice::writing(savedBytes("same\n")); });
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, CheckedSave::Status::alreadyThere);
    EXPECT_EQ(fileStamp(file), before) << "neither replaced nor touched";
    EXPECT_EQ(saved->stamp, before);
}

// Two running copies, each adding its own line at every save and reading again when told the file
// changed: every line a save said it wrote is in the file at the end.
TEST(CheckedSave, TwoProcessesSavingOneFileLoseNothingEitherWrote) {
    testsupport::TemporaryFolder folder;
    const std::string file = folder.file("doc");
    ASSERT_TRUE(writeFileAtomically(file, std::string_view("")));
    constexpr int savesEach = 150;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] != 0) continue;
        int written = 0;
        for (int i = 0; i < savesEach; ++i) {
            const std::string line = std::to_string(child) + ":" + std::to_string(i) + "\n";
            for (;;) {
                Result<CheckedSave> saved = saveFileChecked(file, readFileSizeLimit, appendingLine(line));
                if (!saved) ::_exit(2);
                if (saved->status == CheckedSave::Status::written) break;
            }
            ++written;
        }
        ::_exit(written == savesEach ? 0 : 1);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string saved = savedContents(file);
    int missing = 0;
    for (int child = 0; child < 2; ++child)
        for (int i = 0; i < savesEach; ++i)
            if (saved.find(std::to_string(child) + ":" + std::to_string(i) + "\n") == std::string::npos)
                ++missing;
    EXPECT_EQ(missing, 0);
}

// A folder lock that something else never lets go of (a hung copy, another program) holds a save only
// for a while: the save is made on the window's thread.
TEST(CheckedSave, AFolderLockHeldElsewhereHoldsTheSaveOnlyForAWhile) {
    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("Class.vantle");
    ASSERT_TRUE(writeFileAtomically(path, savedBytes("before\n")));
    // Another open description of the folder locks against this process's own, as another program's.
    FileDescriptor other(::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_GE(other.get(), 0);
    ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);
    setFolderLockPatience(0.05);
    const Result<CheckedSave> saved = saveFileChecked(path, 1 << 20, appendingLine("after\n"));
    setFolderLockPatience();
    ASSERT_TRUE(saved) << saved.error().message;
    EXPECT_EQ(saved->status, CheckedSave::Status::written);
    EXPECT_EQ(savedContents(path), "before\nafter\n");
}

TEST(SaveTarget, ALinkIsWrittenWhereItPointsAndStaysALink) {
    testsupport::TemporaryFolder here;
    testsupport::TemporaryFolder elsewhere;
    // Another file system (a RAM disk, where the machine has one): a rename across the link would
    // fail there.
    struct MemoryFolder {
        std::string path = makeTemporaryDirectory("vantle-test", "/dev/shm").valueOr(std::string());
        ~MemoryFolder() {
            if (!path.empty()) (void)removeTemporaryDirectory(path);
        }
        std::string file(const std::string& name) const { return path + "/" + name; }
    };
    std::optional<MemoryFolder> memory;
    memory.emplace();
    if (memory->path.empty()) memory.reset();
    enum class Writer { atomically, checked, temporary };
    struct Case {
        const char* what;
        std::string link;    // what the link holds
        std::string target;  // the file written
        std::string through; // a second link the first points to, when not empty
    };
    std::vector<Case> cases = {
        {"another folder", elsewhere.file("synced.txt"), elsewhere.file("synced.txt"), {}},
        {"relative",
         "../" + std::filesystem::path(elsewhere.path).filename().string() + "/rel.txt",
         elsewhere.file("rel.txt"),
         {}},
        {"a chain of links", here.file("second-link"), elsewhere.file("chained.txt"),
         elsewhere.file("chained.txt")},
        {"a target still to be made", elsewhere.file("new.txt"), elsewhere.file("new.txt"), {}},
    };
    if (memory)
        cases.push_back({"another file system", memory->file("shm.txt"), memory->file("shm.txt"), {}});
    for (const Writer writer : {Writer::atomically, Writer::checked, Writer::temporary}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", writer " + std::to_string(int(writer)));
            const std::string link = here.file("link");
            if (!c.through.empty()) {
                ASSERT_EQ(::symlink(c.through.c_str(), c.link.c_str()), 0);
            }
            ASSERT_EQ(::symlink(c.link.c_str(), link.c_str()), 0);
            if (std::string(c.what) != "a target still to be made") {
                ASSERT_TRUE(writeFileAtomically(c.target, std::string_view("old\n")));
            }
            // Spelled as the link has it: a ".." after a linked folder is the kernel's to resolve.
            EXPECT_EQ(std::filesystem::weakly_canonical(saveTargetOf(link).valueOr(std::string())),
                      std::filesystem::weakly_canonical(c.target));
            if (writer == Writer::atomically) {
                ASSERT_TRUE(writeFileAtomically(link, std::string_view("new\n")));
            } else if (writer == Writer::checked) {
                Result<CheckedSave> saved =
                    saveFileChecked(link, readFileSizeLimit, [](const FoundFile& found) {
                        return SaveChoice::writing(savedBytes(savedText(found.bytes) + "new\n"));
                    });
                ASSERT_TRUE(saved);
                EXPECT_EQ(saved->status, CheckedSave::Status::written);
            } else {
                Result<TemporaryFile> temporary = makeTemporaryFileBeside(link);
                ASSERT_TRUE(temporary);
                ASSERT_EQ(::write(temporary->descriptor(), "new\n", 4), 4);
                ASSERT_TRUE(replaceItemWithTemporary(std::move(*temporary), link));
            }
            struct stat st;
            ASSERT_EQ(::lstat(link.c_str(), &st), 0);
            EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link is still a link";
            const bool grew = writer == Writer::checked && std::string(c.what) != "a target still to be made";
            EXPECT_EQ(savedContents(c.target), grew ? "old\nnew\n" : "new\n");
            EXPECT_EQ(entriesInFolder(here.path), c.through.empty() ? 1u : 2u)
                << "nothing else beside the link";
            std::filesystem::remove(link);
            if (!c.through.empty()) std::filesystem::remove(c.link);
            std::filesystem::remove(c.target);
        }
    }
}

TEST(Files, AModeTheFileSystemCannotKeepFailsNoWrite) {
    const struct {
        int error;
        bool writes;
    } cases[] = {{0, true}, {ENOSYS, true}, {EPERM, true}, {EOPNOTSUPP, true}, {EIO, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        testsupport::TemporaryFolder folder;
        const std::string file = folder.file("doc");
        int asked = 0;
        ScopedFileHooks hooks({{}, [&](int, unsigned) {
                                   ++asked;
                                   errno = c.error;
                                   return c.error == 0 ? 0 : -1;
                               }});
        EXPECT_EQ(writeFileAtomically(file, std::string_view("data")).ok(), c.writes);
        Result<CheckedSave> saved =
            saveFileChecked(folder.file("checked"), readFileSizeLimit,
                            [](const FoundFile&) { return SaveChoice::writing(savedBytes("data")); });
        EXPECT_EQ(saved.ok(), c.writes);
        EXPECT_EQ(savedContents(file), c.writes ? "data" : "<missing>");
        EXPECT_EQ(asked, 2);
        EXPECT_EQ(entriesInFolder(folder.path), c.writes ? 2u : 0u) << "a failed write leaves no temporary";
    }
}
