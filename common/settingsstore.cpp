#include "common/settingsstore.h"

#include "common/settingslog.h"

#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

using Statement = SqliteStatement;
using Transaction = SqliteTransaction;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS settings ("
    "app TEXT NOT NULL COLLATE NOCASE, "
    "section TEXT NOT NULL COLLATE NOCASE, "
    "key TEXT NOT NULL COLLATE NOCASE, "
    "value TEXT NOT NULL, "
    "PRIMARY KEY (app, section, key))";

QString columnText(sqlite3_stmt* stmt, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

bool bindText(sqlite3_stmt* stmt, int index, QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

// A damaged or foreign file: the store must keep its hands off it.
bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Another connection holds a lock that this one could not wait out.
bool isBusy(int code) {
    return (code & 0xff) == SQLITE_BUSY;
}

QString sectionKey(QStringView app, QStringView section) {
    return foldKey(app) + u'|' + foldKey(section);
}

}  // namespace

QString foldKey(QStringView text) {
    QString folded = text.toString();
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z') {
            c = QChar(char16_t(u + (u'a' - u'A')));
        }
    }
    return folded;
}

QString SectionSnapshot::value(QStringView key, const QString& fallback) const {
    const auto it = values_.constFind(foldKey(key));
    return it == values_.cend() ? fallback : *it;
}

// One public operation: it shares one busy budget among its statements, and tells the
// next operation whether to wait at all.
class SqliteSettingsStore::Operation {
public:
    Operation(SqliteSettingsStore& store, OpenMode mode) : store_(store) {
        store_.opBusy_ = false;
        store_.opFailed_ = false;
        const int timeout =
            mode == OpenMode::ForRead ? store_.timeouts_.readMs : store_.timeouts_.writeMs;
        store_.busy_.start(store_.lockedOut_ ? 0 : timeout);
    }
    ~Operation() { store_.lockedOut_ = store_.opBusy_; }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    SqliteSettingsStore& store_;
};

SqliteSettingsStore::SqliteSettingsStore() : SqliteSettingsStore(defaultPath()) {}

SqliteSettingsStore::SqliteSettingsStore(QString path) : path_(std::move(path)) {}

SqliteSettingsStore::~SqliteSettingsStore() {
    closeDatabase();
}

QString SqliteSettingsStore::defaultPath() {
    // XDG: a relative or empty value is invalid and must be ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + u"/.config"_s;
    }
    return QDir::cleanPath(base + u"/Lyrevane/settings.sqlite3"_s);
}

void SqliteSettingsStore::closeDatabase() {
    sqlite3_finalize(readStmt_);
    sqlite3_finalize(writeStmt_);
    readStmt_ = nullptr;
    writeStmt_ = nullptr;
    if (db_ != nullptr) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    schemaReady_ = false;
    if (broken_) {
        brokenSignature_ = fileSignature();  // as it was found damaged
    }
}

void SqliteSettingsStore::fail(const QString& what, int code) {
    fail(what, code,
         db_ != nullptr ? QString::fromUtf8(sqlite3_errmsg(db_))
                        : QString::fromUtf8(sqlite3_errstr(code)));
}

void SqliteSettingsStore::fail(const QString& what, int code, const QString& reason) {
    opFailed_ = true;
    opBusy_ = opBusy_ || isBusy(code);
    if (isDamage(code)) {
        // Closed at the start of the next operation, not here: a statement or a
        // transaction of the failing operation may still hold the connection.
        broken_ = true;
    }
    if (!problem_.isEmpty()) {
        return;  // said once already
    }
    if (isBusy(code)) {
        problem_ = QStringLiteral(
                       "The settings file %1 is busy: another program holds it locked (%2). "
                       "Default settings are used for now, and settings that could not be "
                       "read are not saved over.")
                       .arg(QDir::toNativeSeparators(path_), reason);
    } else if (broken_) {
        problem_ = QStringLiteral(
                       "The settings file %1 is damaged or is not a settings database (%2). "
                       "It has been left untouched; default settings are used and changes "
                       "are not saved.")
                       .arg(QDir::toNativeSeparators(path_), reason);
    } else {
        problem_ = QStringLiteral(
                       "The settings file %1 could not be %2 (%3); default settings "
                       "are used where needed.")
                       .arg(QDir::toNativeSeparators(path_), what, reason);
    }
    qCWarning(lcSettings).noquote() << problem_;
}

bool SqliteSettingsStore::isMissingTable(int code) const {
    return (code & 0xff) == SQLITE_ERROR && db_ != nullptr &&
           QByteArray(sqlite3_errmsg(db_)).startsWith("no such table");
}

QString SqliteSettingsStore::fileSignature() const {
    const QFileInfo info(path_);
    if (!info.exists()) {
        return QStringLiteral("absent");
    }
    return QStringLiteral("%1 %2 %3")
        .arg(info.size())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch())
        .arg(info.lastModified().toMSecsSinceEpoch());
}

void SqliteSettingsStore::dropStaleConnection() {
    // SQLite leaves the write-ahead log of a moved file behind on close, and a new file
    // of the same name would read that log as its own. Its frames are copied into the
    // old file and the log emptied first (through this connection's own descriptors, so
    // a log that another program already keeps for the new file is not touched).
    sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    closeDatabase();
}

bool SqliteSettingsStore::ensureOpen(OpenMode mode) {
    if (db_ != nullptr && !broken_ && FileIdentity::of(path_) != openedFile_) {
        dropStaleConnection();
    }
    if (broken_) {
        if (db_ != nullptr) {
            closeDatabase();
        }
        if (fileSignature() == brokenSignature_) {
            opFailed_ = true;  // the stored data cannot be reached
            return false;
        }
        broken_ = false;  // the file has changed since: look at it afresh
        problem_.clear();
    }
    if (db_ == nullptr) {
        if (mode == OpenMode::ForRead && !QFileInfo::exists(path_)) {
            return false;  // nothing written yet: every read gives its default
        }
        if (mode == OpenMode::ForWrite) {
            QDir().mkpath(QFileInfo(path_).absolutePath());
        }
        const FileIdentity before = FileIdentity::of(path_);
        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
        if (mode == OpenMode::ForWrite) {
            flags |= SQLITE_OPEN_CREATE;
        }
        const int code =
            sqlite3_open_v2(QFile::encodeName(path_).constData(), &db_, flags, nullptr);
        if (code != SQLITE_OK) {
            fail(QStringLiteral("opened"), code);
            closeDatabase();
            return false;
        }
        // Taken before opening: a file replaced in between is noticed at the next use.
        openedFile_ = before.exists ? before : FileIdentity::of(path_);
        sqlite3_extended_result_codes(db_, 1);
        busy_.install(db_);
        // A committed setting survives a power loss, not only a crash.
        sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        // Touching the schema tells a foreign or damaged file apart at once.
        const int probe =
            sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        if (probe != SQLITE_OK) {
            fail(QStringLiteral("read"), probe);
            closeDatabase();
            return false;
        }
    }
    if (!schemaReady_) {
        if (mode == OpenMode::ForWrite) {
            if (!prepareSchema()) {
                return false;
            }
        } else {
            Statement probe(db_,
                            "SELECT 1 FROM sqlite_master WHERE type='table' AND name='settings'");
            if (!probe.ok()) {
                fail(QStringLiteral("read"), probe.code());
                return false;
            }
            const int step = sqlite3_step(probe.get());
            if (step == SQLITE_DONE) {
                return false;  // created but empty: defaults
            }
            if (step != SQLITE_ROW) {
                fail(QStringLiteral("read"), step);
                return false;
            }
            schemaReady_ = true;
        }
    }
    return true;
}

bool SqliteSettingsStore::prepareSchema() {
    // Nothing is written into an existing file before it has passed a check: a damaged
    // store must stay exactly as it was found.
    if (QFileInfo(path_).size() > 0) {
        Statement check(db_, "PRAGMA quick_check(1)");
        const int step = check.ok() ? sqlite3_step(check.get()) : check.code();
        if (step != SQLITE_ROW) {
            fail(QStringLiteral("checked"), step);  // busy, unreadable or damaged
            return false;
        }
        const QString verdict = columnText(check.get(), 0);
        if (verdict != u"ok"_s) {
            fail(QStringLiteral("checked"), SQLITE_CORRUPT, verdict);
            return false;
        }
    }
    // WAL lets one program read while the other writes; the mode is kept in the file.
    int code = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    if (code == SQLITE_OK) {
        code = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        fail(QStringLiteral("prepared for writing"), code);
        return false;
    }
    schemaReady_ = true;
    return true;
}

QString SqliteSettingsStore::readSetting(QStringView app, QStringView section, QStringView key,
                                         const QString& fallback) {
    Operation op(*this, OpenMode::ForRead);
    const QString result =
        ensureOpen(OpenMode::ForRead) ? readValue(app, section, key, fallback) : fallback;
    noteRead(app, section);
    return result;
}

QString SqliteSettingsStore::readValue(QStringView app, QStringView section, QStringView key,
                                       const QString& fallback) {
    if (readStmt_ == nullptr) {
        const int code = sqlite3_prepare_v3(
            db_, "SELECT value FROM settings WHERE app=?1 AND section=?2 AND key=?3", -1,
            SQLITE_PREPARE_PERSISTENT, &readStmt_, nullptr);
        if (code != SQLITE_OK) {
            readStmt_ = nullptr;
            if (!isMissingTable(code)) {
                fail(QStringLiteral("read"), code);
            }
            return fallback;
        }
    }
    QString result = fallback;
    if (bindText(readStmt_, 1, app) && bindText(readStmt_, 2, section) &&
        bindText(readStmt_, 3, key)) {
        const int step = sqlite3_step(readStmt_);
        if (step == SQLITE_ROW) {
            result = columnText(readStmt_, 0);
        } else if (step != SQLITE_DONE) {
            fail(QStringLiteral("read"), step);
        }
    }
    if (readStmt_ != nullptr) {
        sqlite3_reset(readStmt_);
        sqlite3_clear_bindings(readStmt_);
    }
    return result;
}

SectionSnapshot SqliteSettingsStore::readSection(QStringView app, QStringView section) {
    Operation op(*this, OpenMode::ForRead);
    SectionSnapshot snapshot;
    if (!ensureOpen(OpenMode::ForRead) || !readInto(app, section, snapshot)) {
        snapshot = {};
    }
    noteRead(app, section);
    return snapshot;
}

void SqliteSettingsStore::noteRead(QStringView app, QStringView section) {
    if (opFailed_) {
        unreadSections_.insert(sectionKey(app, section));
    } else {
        unreadSections_.remove(sectionKey(app, section));
    }
}

int SqliteSettingsStore::sectionExists(QStringView app, QStringView section) {
    Statement stmt(db_, "SELECT 1 FROM settings WHERE app=?1 AND section=?2 LIMIT 1");
    if (!stmt.ok() || !bindText(stmt.get(), 1, app) || !bindText(stmt.get(), 2, section)) {
        if (isMissingTable(stmt.code())) {
            return 0;
        }
        fail(QStringLiteral("read"), stmt.code());
        return -1;
    }
    const int step = sqlite3_step(stmt.get());
    if (step == SQLITE_ROW || step == SQLITE_DONE) {
        return step == SQLITE_ROW ? 1 : 0;
    }
    fail(QStringLiteral("read"), step);
    return -1;
}

bool SqliteSettingsStore::mayWriteSection(QStringView app, QStringView section) {
    if (!unreadSections_.contains(sectionKey(app, section))) {
        return true;
    }
    const int exists = sectionExists(app, section);
    if (exists == 0) {
        return true;  // nothing there to overwrite
    }
    if (exists == 1) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral(
                   "settings of section %1 were not saved: they could not be read from %2 "
                   "before, and would have replaced the stored ones.")
                   .arg(section, QDir::toNativeSeparators(path_));
    }
    return false;
}

// One statement runs in one read transaction: a consistent view of the section.
bool SqliteSettingsStore::readInto(QStringView app, QStringView section,
                                   SectionSnapshot& snapshot) {
    Statement stmt(db_, "SELECT key, value FROM settings WHERE app=?1 AND section=?2");
    if (!stmt.ok()) {
        if (!isMissingTable(stmt.code())) {
            fail(QStringLiteral("read"), stmt.code());
        }
        return false;
    }
    if (!bindText(stmt.get(), 1, app) || !bindText(stmt.get(), 2, section)) {
        return false;
    }
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        snapshot.insert(columnText(stmt.get(), 0), columnText(stmt.get(), 1));
    }
    if (step != SQLITE_DONE) {
        fail(QStringLiteral("read"), step);
        return false;
    }
    return true;
}

std::optional<SectionSnapshot> SqliteSettingsStore::readSectionThenWrite(QStringView app,
                                                                         QStringView section,
                                                                         QStringView key,
                                                                         const QString& value) {
    SectionSnapshot snapshot;
    if (!writeAll(app, section, {{key.toString(), value}}, false, &snapshot)) {
        unreadSections_.insert(sectionKey(app, section));
        return std::nullopt;
    }
    return snapshot;
}

bool SqliteSettingsStore::writeSetting(QStringView app, QStringView section, QStringView key,
                                       const QString& value) {
    return writeAll(app, section, {{key.toString(), value}}, false);
}

bool SqliteSettingsStore::writeSettings(QStringView app, QStringView section,
                                        const KeyValueList& values) {
    return writeAll(app, section, values, false);
}

bool SqliteSettingsStore::rewriteSection(QStringView app, QStringView section,
                                         const KeyValueList& values) {
    return writeAll(app, section, values, true);
}

bool SqliteSettingsStore::writeAll(QStringView app, QStringView section, const KeyValueList& values,
                                   bool deleteFirst, SectionSnapshot* readFirst) {
    Operation op(*this, OpenMode::ForWrite);
    if (!ensureOpen(OpenMode::ForWrite)) {
        return false;
    }
    if (writeStmt_ == nullptr) {
        const int code = sqlite3_prepare_v3(
            db_,
            "INSERT INTO settings (app, section, key, value) VALUES (?1, ?2, ?3, ?4) "
            "ON CONFLICT (app, section, key) DO UPDATE SET value = excluded.value",
            -1, SQLITE_PREPARE_PERSISTENT, &writeStmt_, nullptr);
        if (code != SQLITE_OK) {
            writeStmt_ = nullptr;
            fail(QStringLiteral("written"), code);
            return false;
        }
    }
    Transaction tx(db_);
    if (!tx.ok()) {
        fail(QStringLiteral("written"), tx.code());
        return false;
    }
    if (readFirst != nullptr ? !readInto(app, section, *readFirst)
                             : !mayWriteSection(app, section)) {
        return false;
    }
    if (deleteFirst && deleteRows(app, section) < 0) {
        return false;
    }
    for (const auto& [key, value] : values) {
        const bool bound = bindText(writeStmt_, 1, app) && bindText(writeStmt_, 2, section) &&
                           bindText(writeStmt_, 3, key) && bindText(writeStmt_, 4, value);
        const int step = bound ? sqlite3_step(writeStmt_) : SQLITE_MISUSE;
        sqlite3_reset(writeStmt_);
        sqlite3_clear_bindings(writeStmt_);
        if (step != SQLITE_DONE) {
            fail(QStringLiteral("written"), step);
            return false;
        }
    }
    if (!tx.commit()) {
        fail(QStringLiteral("written"), tx.code());
        return false;
    }
    unreadSections_.remove(sectionKey(app, section));  // it holds what was written now
    return true;
}

bool SqliteSettingsStore::deleteSection(QStringView app, QStringView section) {
    Operation op(*this, OpenMode::ForWrite);
    if (!QFileInfo::exists(path_) || !ensureOpen(OpenMode::ForWrite) ||
        !mayWriteSection(app, section)) {
        return false;  // no store, no section; or not to be touched
    }
    const int deleted = deleteRows(app, section);
    if (deleted >= 0) {
        unreadSections_.remove(sectionKey(app, section));
    }
    return deleted > 0;
}

int SqliteSettingsStore::deleteRows(QStringView app, QStringView section) {
    Statement del(db_, "DELETE FROM settings WHERE app=?1 AND section=?2");
    if (!del.ok() || !bindText(del.get(), 1, app) || !bindText(del.get(), 2, section)) {
        fail(QStringLiteral("written"), del.code());
        return -1;
    }
    const int step = sqlite3_step(del.get());
    if (step != SQLITE_DONE) {
        fail(QStringLiteral("written"), step);
        return -1;
    }
    return sqlite3_changes(db_);
}

}  // namespace lyrevane
