#include "Source/karaoke/host/HostDatabase.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace vantle::host {

namespace {

// Made once per file: the singers and the evening first, the song book after. A later version adds
// tables; it never changes these.
constexpr const char* hostSchema = R"sql(
CREATE TABLE IF NOT EXISTS singers(id INTEGER PRIMARY KEY, name TEXT NOT NULL, folded TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS rotation(position INTEGER PRIMARY KEY, singer INTEGER NOT NULL,
  away INTEGER NOT NULL DEFAULT 0, skip INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS queue(singer INTEGER NOT NULL, position INTEGER NOT NULL, path TEXT NOT NULL,
  artist TEXT NOT NULL, title TEXT NOT NULL, disc TEXT NOT NULL, PRIMARY KEY(singer, position));
CREATE TABLE IF NOT EXISTS evening(name TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS history(id INTEGER PRIMARY KEY, singer INTEGER NOT NULL, path TEXT NOT NULL,
  artist TEXT NOT NULL, title TEXT NOT NULL, sung REAL NOT NULL, key INTEGER NOT NULL, tempo REAL NOT NULL);
CREATE INDEX IF NOT EXISTS history_singer ON history(singer);
CREATE TABLE IF NOT EXISTS styles(singer INTEGER NOT NULL, path TEXT NOT NULL, key INTEGER NOT NULL,
  tempo REAL NOT NULL, PRIMARY KEY(singer, path));
CREATE TABLE IF NOT EXISTS book_roots(path TEXT PRIMARY KEY);
CREATE TABLE IF NOT EXISTS book_folders(path TEXT PRIMARY KEY, parent TEXT NOT NULL, mtime INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS book_folders_parent ON book_folders(parent);
CREATE TABLE IF NOT EXISTS songs(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, folder TEXT NOT NULL,
  artist TEXT NOT NULL, title TEXT NOT NULL, disc TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,
  present INTEGER NOT NULL DEFAULT 1);
CREATE INDEX IF NOT EXISTS songs_folder ON songs(folder);
CREATE VIRTUAL TABLE IF NOT EXISTS song_words USING fts5(words, tokenize='trigram');
)sql";

} // namespace

Statement::Statement(sqlite3* connection, std::string_view sql) : connection_(connection) {
    if (sqlite3_prepare_v2(connection, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
        SQLITE_OK)
        throw DatabaseError(sqlite3_errmsg(connection));
}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value) {
    sqlite3_bind_double(statement_, index, value);
    return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindNull(int index) {
    sqlite3_bind_null(statement_, index);
    return *this;
}

bool Statement::step() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    const std::string message = sqlite3_errmsg(connection_);
    sqlite3_reset(statement_);
    throw DatabaseError(message);
}

void Statement::run() {
    while (step()) {
    }
    reset();
}

void Statement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const {
    return sqlite3_column_double(statement_, column);
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::unique_ptr<HostDatabase> HostDatabase::open(const std::string& path, std::string* error) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    sqlite3* connection = nullptr;
    const int code = sqlite3_open_v2(
        path.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        if (error) *error = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
        sqlite3_close(connection);
        return nullptr;
    }
    std::unique_ptr<HostDatabase> database(new HostDatabase(connection));
    // SQLite opens a file it may not write read-only without a word: every change would then fail.
    if (sqlite3_db_readonly(connection, "main") == 1) {
        if (error) *error = "the file cannot be written";
        return nullptr;
    }
    try {
        sqlite3_busy_timeout(connection, 5000);
        // WAL: readers (the search) never wait for the writer, and a commit survives the process being
        // killed the moment after; NORMAL syncs at checkpoints, which is enough for that.
        database->execute("PRAGMA journal_mode=WAL");
        database->execute("PRAGMA synchronous=NORMAL");
        database->execute(hostSchema);
    } catch (const DatabaseError& failure) {
        if (error) *error = failure.what();
        return nullptr;
    }
    return database;
}

HostDatabase::~HostDatabase() {
    sqlite3_close_v2(connection_);
}

std::string HostDatabase::defaultLocation() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/share";
    }
    return base + "/com.fennorastudio.Vantle/host.sqlite";
}

void HostDatabase::execute(std::string_view sql) {
    char* message = nullptr;
    if (sqlite3_exec(connection_, std::string(sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "database error";
        sqlite3_free(message);
        throw DatabaseError(text);
    }
}

std::string foldedForSearch(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* decompose = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    const icu::UnicodeString decomposed = decompose->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))),
        status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
        i += U16_LENGTH(c);
    }
    bare.foldCase();
    std::string folded;
    bare.toUTF8String(folded);
    return folded;
}

} // namespace vantle::host
