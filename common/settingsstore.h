#pragma once

#include <QSet>
#include <QString>

#include <memory>

#include "common/settingsprovider.h"
#include "common/sqlitesupport.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lyrevane {

// The per-user settings store on SQLite:
// $XDG_CONFIG_HOME/Lyrevane/settings.sqlite3 (~/.config/... when the variable is unset).
//
// The file is created on the first write. Reads of a missing file return defaults.
// A file that cannot be opened or is damaged is never deleted or overwritten: every
// operation then falls back to defaults and the problem is reported once on stderr.
//
// Another program holding the file locked: an operation waits up to its busy timeout,
// then gives up (reads give their defaults); until an operation gets through again, the
// following ones do not wait at all. A section whose last read failed is not written
// while the file holds it: what the program would write derives from defaults.
//
// A file deleted, replaced or restored from a backup while the store is open is noticed
// at the next operation (device and inode) and opened afresh.
class SqliteSettingsStore final : public SettingsProvider {
public:
    // Milliseconds an operation waits for a lock held by another program.
    struct BusyTimeouts {
        int readMs = 10000;
        int writeMs = 10000;
    };
    // For a program's user-interface thread, which must never stall on the store.
    static constexpr BusyTimeouts kInteractiveTimeouts{100, 100};

    // Uses the per-user default location.
    SqliteSettingsStore();
    // Uses the database file at `path` (tests, tools).
    explicit SqliteSettingsStore(QString path);
    ~SqliteSettingsStore() override;

    SqliteSettingsStore(const SqliteSettingsStore&) = delete;
    SqliteSettingsStore& operator=(const SqliteSettingsStore&) = delete;

    // The per-user database path, from the environment.
    static QString defaultPath();

    QString path() const { return path_; }
    // Empty while the store works; otherwise a sentence naming what is wrong and the file.
    QString problem() const { return problem_; }
    void setBusyTimeouts(BusyTimeouts timeouts) { timeouts_ = timeouts; }

    QString readSetting(QStringView app, QStringView section, QStringView key,
                        const QString& fallback = {}) override;
    bool writeSetting(QStringView app, QStringView section, QStringView key,
                      const QString& value) override;
    bool deleteSection(QStringView app, QStringView section) override;
    bool writeSettings(QStringView app, QStringView section, const KeyValueList& values) override;
    bool rewriteSection(QStringView app, QStringView section, const KeyValueList& values) override;
    SectionSnapshot readSection(QStringView app, QStringView section) override;
    std::optional<SectionSnapshot> readSectionThenWrite(QStringView app, QStringView section,
                                                        QStringView key,
                                                        const QString& value) override;

private:
    class Operation;

    enum class OpenMode { ForRead, ForWrite };
    bool ensureOpen(OpenMode mode);
    // Closes a connection whose file has been deleted or replaced under it.
    void dropStaleConnection();
    bool prepareSchema();
    void closeDatabase();
    // Records a failure; reports it on stderr the first time.
    void fail(const QString& what, int code);
    void fail(const QString& what, int code, const QString& reason);
    bool isMissingTable(int code) const;
    QString fileSignature() const;
    bool writeAll(QStringView app, QStringView section, const KeyValueList& values,
                  bool deleteFirst, SectionSnapshot* readFirst = nullptr);
    bool readInto(QStringView app, QStringView section, SectionSnapshot& snapshot);
    QString readValue(QStringView app, QStringView section, QStringView key,
                      const QString& fallback);
    // Records whether the operation that just read the section reached the stored data.
    void noteRead(QStringView app, QStringView section);
    // 1 when the file holds rows of the section, 0 when not, -1 when it cannot tell.
    int sectionExists(QStringView app, QStringView section);
    // A write to a section whose last read failed goes ahead only where it overwrites
    // nothing; false (reported) when the file holds the section.
    bool mayWriteSection(QStringView app, QStringView section);
    // Deletes the section's rows; their number, or -1 on failure.
    int deleteRows(QStringView app, QStringView section);

    QString path_;
    QString problem_;
    BusyTimeouts timeouts_;
    BusyWait busy_;
    bool lockedOut_ = false;  // the last operation gave up on a lock: do not wait again
    bool opBusy_ = false;     // the running operation met a lock it could not wait out
    bool opFailed_ = false;   // the running operation could not reach the stored data
    // Sections (folded "app|section") whose last read failed.
    QSet<QString> unreadSections_;
    FileIdentity openedFile_;  // the file the connection was opened on
    bool broken_ = false;      // the file exists but is not a usable store: hands off
    // Size and times of the file when it was found damaged: once they change (the user
    // repaired, replaced or removed it) the store looks at it again.
    QString brokenSignature_;
    bool schemaReady_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* readStmt_ = nullptr;
    sqlite3_stmt* writeStmt_ = nullptr;
};

}  // namespace lyrevane
