#pragma once

// Small helpers of the settings store around SQLite and the file it lives in.

#include <QDeadlineTimer>
#include <QString>

#include <sqlite3.h>

#include <sys/types.h>

namespace lyrevane {

// Which file a path names right now: a file deleted, replaced by a rename or restored
// from a backup has another device and inode, even under the same name.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;

    static FileIdentity of(const QString& path);
    bool operator==(const FileIdentity&) const = default;
};

// How long one store operation may wait for another program that holds the file
// locked. Installed as the connection's busy handler; `start` is called at the
// beginning of every operation, so the statements of one operation share one budget.
class BusyWait {
public:
    void install(sqlite3* db);
    void start(int timeoutMs) { deadline_ = QDeadlineTimer(qMax(0, timeoutMs)); }

private:
    static int onBusy(void* self, int attempt);

    QDeadlineTimer deadline_{0};
};

// Owns a prepared statement for the length of one operation.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql) {
        code_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    }
    ~SqliteStatement() { sqlite3_finalize(stmt_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return code_ == SQLITE_OK; }
    int code() const { return code_; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = SQLITE_OK;
};

// BEGIN IMMEDIATE on construction, ROLLBACK on destruction unless committed.
class SqliteTransaction {
public:
    explicit SqliteTransaction(sqlite3* db) : db_(db) {
        code_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        open_ = code_ == SQLITE_OK;
    }
    ~SqliteTransaction() {
        if (open_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    bool ok() const { return open_; }
    int code() const { return code_; }
    bool commit() {
        code_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        if (code_ == SQLITE_OK) {
            open_ = false;
        }
        return code_ == SQLITE_OK;
    }

private:
    sqlite3* db_;
    int code_ = SQLITE_OK;
    bool open_ = false;
};

}  // namespace lyrevane
