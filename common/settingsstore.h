#pragma once

#include <QString>

#include <memory>

#include "settingsprovider.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lyrevane {

// The per-user settings store on SQLite:
// $XDG_CONFIG_HOME/Lyrevane/settings.sqlite3 (~/.config/... when the variable is unset).
//
// The file is created on the first write. Reads of a missing file return defaults.
// A file that cannot be opened or is damaged is never deleted or overwritten: every
// operation then falls back to defaults and the problem is reported once on stderr.
class SqliteSettingsStore final : public SettingsProvider {
public:
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

    QString ReadSetting(QStringView app, QStringView section, QStringView key,
                        const QString& fallback = {}) override;
    bool WriteSetting(QStringView app, QStringView section, QStringView key,
                      const QString& value) override;
    bool DeleteSection(QStringView app, QStringView section) override;
    bool WriteSettings(QStringView app, QStringView section, const KeyValueList& values) override;
    bool RewriteSection(QStringView app, QStringView section, const KeyValueList& values) override;
    SectionSnapshot ReadSection(QStringView app, QStringView section) override;
    std::optional<SectionSnapshot> ReadSectionThenWrite(QStringView app, QStringView section,
                                                        QStringView key,
                                                        const QString& value) override;

private:
    class Statement;
    class Transaction;

    enum class OpenMode { ForRead, ForWrite };
    bool ensureOpen(OpenMode mode);
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
    // Deletes the section's rows; their number, or -1 on failure.
    int deleteRows(QStringView app, QStringView section);

    QString path_;
    QString problem_;
    bool broken_ = false;  // the file exists but is not a usable store: hands off
    // Size and times of the file when it was found damaged: once they change (the user
    // repaired, replaced or removed it) the store looks at it again.
    QString brokenSignature_;
    bool schemaReady_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* readStmt_ = nullptr;
    sqlite3_stmt* writeStmt_ = nullptr;
};

}  // namespace lyrevane
