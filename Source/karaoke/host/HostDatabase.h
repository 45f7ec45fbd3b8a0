#pragma once
// The host's database: one SQLite file in the program's data folder holding the singers, the rotation,
// their queues, keys and history, and the song book. One connection per thread that uses it.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantle::host {

// One prepared statement; binds count from 1, columns from 0. The thread of its connection only.
class Statement {
public:
    Statement(sqlite3* connection, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    Statement& bind(int index, double value);
    Statement& bind(int index, std::string_view text);
    Statement& bindNull(int index);
    // True while a row is at hand; false at the end. A failure throws DatabaseError.
    bool step();
    // Runs it to its end and readies it for new bindings.
    void run();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3* connection_;
    sqlite3_stmt* statement_ = nullptr;
};

struct DatabaseError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A connection, WAL journal, every table made when missing. The calling thread owns it.
class HostDatabase {
public:
    // Opens (making it and its folder) the file at `path`; null with `error` set when it cannot.
    static std::unique_ptr<HostDatabase> open(const std::string& path, std::string* error = nullptr);
    ~HostDatabase();
    HostDatabase(const HostDatabase&) = delete;
    HostDatabase& operator=(const HostDatabase&) = delete;

    // "$XDG_DATA_HOME/com.fennorastudio.Vantle/host.sqlite" (by default under ~/.local/share).
    static std::string defaultLocation();

    sqlite3* connection() const { return connection_; }
    void execute(std::string_view sql);
    // Runs `work` in one transaction: all of it is kept, or (on a throw) none.
    template <typename Work> void transaction(Work&& work) {
        execute("BEGIN IMMEDIATE");
        try {
            work();
            execute("COMMIT");
        } catch (...) {
            sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

private:
    explicit HostDatabase(sqlite3* connection) : connection_(connection) {}
    sqlite3* connection_;
};

// A name or song words as search compares them: accents removed, case folded ("Édith" → "edith").
std::string foldedForSearch(std::string_view text);

} // namespace vantle::host
