#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace lyrevane {

// The application name under which both programs keep their settings.
inline constexpr QStringView kAppName = u"Lyrevane";

// Folds ASCII letters to lower case only, exactly as SQLite's NOCASE collation does,
// so that in-memory lookups match the store's own addressing.
QString foldKey(QStringView text);

// All keys of one section, read in one statement (a consistent snapshot).
// Keys are looked up without regard to ASCII letter case.
class SectionSnapshot {
public:
    void insert(const QString& key, const QString& value) { values_.insert(foldKey(key), value); }
    QString value(QStringView key, const QString& fallback = {}) const;
    bool contains(QStringView key) const { return values_.contains(foldKey(key)); }
    qsizetype size() const { return values_.size(); }
    bool isEmpty() const { return values_.isEmpty(); }

private:
    QHash<QString, QString> values_;
};

using KeyValueList = QList<QPair<QString, QString>>;

// Per-user persistent text values addressed by application, section and key.
// Implementations reach their backing at once; nothing is cached between calls.
class SettingsProvider {
public:
    virtual ~SettingsProvider() = default;

    // The stored text, or `fallback` when the key or its section is absent
    // (or the store cannot be read). A stored empty text is returned as empty.
    virtual QString readSetting(QStringView app, QStringView section, QStringView key,
                                const QString& fallback = {}) = 0;
    // Stores one value atomically. Returns false when the store could not be written.
    virtual bool writeSetting(QStringView app, QStringView section, QStringView key,
                              const QString& value) = 0;
    // Removes exactly the keys of `section`; true only when the section existed.
    virtual bool deleteSection(QStringView app, QStringView section) = 0;

    // Writes several values in one transaction, in order.
    virtual bool writeSettings(QStringView app, QStringView section,
                               const KeyValueList& values) = 0;
    // Replaces the whole section in one transaction: a reader sees the old or the new
    // section, never a mix. The values are written in the order given.
    virtual bool rewriteSection(QStringView app, QStringView section,
                                const KeyValueList& values) = 0;
    // Every key of one section, read as one consistent snapshot.
    virtual SectionSnapshot readSection(QStringView app, QStringView section) = 0;
    // Reads every key of a section and then writes one of its keys, in one transaction,
    // so that no other write can fall between the two. nullopt when it could not be done.
    virtual std::optional<SectionSnapshot> readSectionThenWrite(QStringView app,
                                                                QStringView section,
                                                                QStringView key,
                                                                const QString& value) = 0;
};

}  // namespace lyrevane
