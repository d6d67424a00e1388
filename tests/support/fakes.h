#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

#include "common/settingsprovider.h"
#include "core/listeditor.h"
#include "core/playbackcontroller.h"
#include "core/playersession.h"
#include "engine/mediaengine.h"
#include "platform/platform.h"
#include "platform/promptservice.h"

namespace lyrevane::testing {

using namespace Qt::Literals::StringLiterals;

// Every fake appends what it is asked to do here, so tests can check the order.
using EventLog = QStringList;

class FakeMediaEngine final : public MediaEngine {
public:
    explicit FakeMediaEngine(EventLog* log = nullptr) : log_(log) {}

    void setUrl(const QString& url) override {
        url_ = url;
        urls.append(url);
        record(u"engine.setUrl "_s + url);
        if (whileSettingUrl) {
            whileSettingUrl(url);
        }
    }
    QString url() const override { return url_; }
    void play() override { record(u"engine.play"); }
    void pause() override { record(u"engine.pause"); }
    void stop() override { record(u"engine.stop"); }
    bool isAvailable(Control control) const override {
        switch (control) {
            case Control::Play:
                return canPlay;
            case Control::Pause:
                return canPause;
            case Control::Stop:
                return canStop;
        }
        return false;
    }
    void setVolume(int volume) override {
        volume_ = volume;
        record(u"engine.setVolume "_s + QString::number(volume));
    }
    int volume() const override { return volume_; }
    int openState() const override { return 0; }
    int playState() const override { return 0; }
    int errorCount() const override { return int(errors.size()); }
    QString errorDescription(int index) const override { return errors.value(index); }
    QString stationName() const override { return station; }
    QString nowPlaying() const override { return title; }
    QString reconnecting() const override { return reconnectingText; }
    std::chrono::milliseconds behindLive() const override { return behind; }
    bool keepingStopped() const override { return keptAll; }
    qint64 recordingSeconds() const override { return recorded; }
    void catchUpToLive() override {
        record(u"engine.catchUpToLive"_s);
        behind = {};
    }
    std::chrono::milliseconds keptBeforePosition() const override { return keptBefore; }
    std::chrono::milliseconds moveInProgramme(std::chrono::milliseconds by) override {
        record(u"engine.moveInProgramme "_s + QString::number(by.count()));
        return by;
    }
    void catchUpFaster() override { record(u"engine.catchUpFaster"_s); }
    QList<ProgrammeItem> programme() const override { return items; }
    void recordFrom(std::chrono::milliseconds at) override {
        record(u"engine.recordFrom "_s + QString::number(at.count()));
    }

    // Test controls.
    void setAvailable(bool play, bool pause, bool stop) {
        canPlay = play;
        canPause = pause;
        canStop = stop;
    }
    bool canPlay = false;
    bool canPause = false;
    bool canStop = false;
    QStringList errors;
    QStringList urls;
    std::function<void(const QString&)> whileSettingUrl;
    QString station;
    QString title;
    QString reconnectingText;
    std::chrono::milliseconds behind{0};
    std::chrono::milliseconds keptBefore{0};
    QList<ProgrammeItem> items;
    bool keptAll = false;
    qint64 recorded = -1;

private:
    void record(QStringView entry) {
        if (log_ != nullptr) {
            log_->append(entry.toString());
        }
    }
    EventLog* log_;
    QString url_;
    int volume_ = 50;
};

class FakePrompts final : public PromptService {
public:
    void showMessage(const QString& text, MessageIcon icon) override {
        messages.append(text);
        icons.push_back(icon);
        if (log != nullptr) {
            log->append(u"message "_s + text);
        }
        if (whileShown) {
            whileShown();  // what happens while the modal box is open
        }
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& defaultText) override {
        prompts.append(prompt);
        defaults.append(defaultText);
        if (answers.empty()) {
            return std::nullopt;
        }
        // Queued answers: a text, or an empty entry for Cancel.
        const bool cancelled = !answers.front().has_value();
        const QString text = answers.front().value_or(QString());
        answers.pop_front();
        if (cancelled) {
            return std::nullopt;
        }
        return text;
    }

    bool askYesNo(const QString& text, MessageIcon icon) override {
        questions.append(text);
        questionIcons.push_back(icon);
        if (whileAsked) {
            whileAsked();  // what happens while the question is open
        }
        if (log != nullptr) {
            log->append(u"question "_s + text);
        }
        // Queued answers; with none left the question is answered No.
        if (yesNo.empty()) {
            return false;
        }
        const bool yes = yesNo.front();
        yesNo.pop_front();
        return yes;
    }

    QStringList messages;
    std::vector<MessageIcon> icons;
    QStringList questions;
    std::vector<MessageIcon> questionIcons;
    std::deque<bool> yesNo;
    std::function<void()> whileAsked;
    QStringList prompts;
    QStringList defaults;
    std::deque<std::optional<QString>> answers;
    EventLog* log = nullptr;
    std::function<void()> whileShown;
};

class FakePane final : public BrowserPane {
public:
    FakePane(QString name = u"pane"_s, EventLog* log = nullptr)
        : name_(std::move(name)), log_(log) {}
    void navigate(const QString& url) override {
        urls.append(url);
        if (log_ != nullptr) {
            log_->append(name_ + u".navigate "_s + url);
        }
    }
    void refresh() override {
        ++refreshes;
        if (log_ != nullptr) {
            log_->append(name_ + u".refresh"_s);
        }
    }

    QStringList urls;
    int refreshes = 0;

private:
    QString name_;
    EventLog* log_;
};

class FakePlayBar final : public PlayBarView {
public:
    void setPlayEnabled(bool enabled) override { playEnabled = enabled; }
    void setPauseVisible(bool visible) override { pauseVisible = visible; }
    void setStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void setStatusText(const QString& text) override { status = text; }

    // The window's state before any media is opened.
    bool playEnabled = false;
    bool pauseVisible = false;
    bool stopEnabled = false;
    QString status;
};

// Settings in memory; section and key names are matched without regard to ASCII case.
class MemorySettings final : public SettingsProvider {
public:
    QString readSetting(QStringView app, QStringView section, QStringView key,
                        const QString& fallback) override {
        return values.value(address(app, section, key), fallback);
    }
    bool writeSetting(QStringView app, QStringView section, QStringView key,
                      const QString& value) override {
        values.insert(address(app, section, key), value);
        writes.append(key.toString());
        return true;
    }
    bool deleteSection(QStringView app, QStringView section) override {
        const QString prefix = address(app, section, u"");
        bool found = false;
        for (auto it = values.begin(); it != values.end();) {
            if (it.key().startsWith(prefix)) {
                it = values.erase(it);
                found = true;
            } else {
                ++it;
            }
        }
        return found;
    }
    bool writeSettings(QStringView app, QStringView section, const KeyValueList& list) override {
        for (const auto& [key, value] : list) {
            writeSetting(app, section, key, value);
        }
        return true;
    }
    bool rewriteSection(QStringView app, QStringView section, const KeyValueList& list) override {
        deleteSection(app, section);
        return writeSettings(app, section, list);
    }
    SectionSnapshot readSection(QStringView app, QStringView section) override {
        SectionSnapshot snapshot;
        const QString prefix = address(app, section, u"");
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.key().startsWith(prefix)) {
                snapshot.insert(it.key().mid(prefix.size()), it.value());
            }
        }
        return snapshot;
    }

    std::optional<SectionSnapshot> readSectionThenWrite(QStringView app, QStringView section,
                                                        QStringView key,
                                                        const QString& value) override {
        SectionSnapshot snapshot = readSection(app, section);
        writeSetting(app, section, key, value);
        return snapshot;
    }

    void Set(QStringView section, QStringView key, const QString& value) {
        values.insert(address(kAppName, section, key), value);
    }
    std::optional<QString> get(QStringView section, QStringView key) const {
        const QString a = address(kAppName, section, key);
        return values.contains(a) ? std::optional<QString>(values.value(a)) : std::nullopt;
    }

    QMap<QString, QString> values;
    QStringList writes;

private:
    static QString address(QStringView app, QStringView section, QStringView key) {
        return foldKey(app) + u'|' + foldKey(section) + u'|' + foldKey(key);
    }
};

// The widgets of a list editor: what the model shows, and what the user typed.
class FakeEditorView final : public ListEditorView {
public:
    void showList(const QStringList& newItems, int newSelected) override {
        items = newItems;
        selected = newSelected;
    }
    EntryFields fields() const override { return typed; }
    void showFields(const EntryFields& shown) override {
        typed = shown;
        ++shows;
    }
    void clearTexts() override {
        for (QString& text : typed.texts) {
            text.clear();
        }
    }
    void focusField(int field) override { focus.append(field); }
    void closeEditor(bool saved) override {
        closed = true;
        closedSaved = saved;
    }

    QStringList items;
    int selected = -1;
    EntryFields typed;  // what the fields hold
    int shows = 0;
    QList<int> focus;
    bool closed = false;
    bool closedSaved = false;
};

// Reports go nowhere.
class NullTracker final : public UsageTracker {
public:
    void trackUsage() override {}
};

class RecordingTracker final : public UsageTracker {
public:
    explicit RecordingTracker(EventLog* log) : log_(log) {}
    void trackUsage() override {
        ++calls;
        log_->append(u"TrackUsage"_s);
    }
    int calls = 0;

private:
    EventLog* log_;
};

}  // namespace lyrevane::testing
