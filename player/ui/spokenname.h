#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class QWidget;

namespace lyrevane {

// Keeps a widget's accessible name on the whole text it shows (a label may show it cut
// short), so that a screen reader reads what the listener sees. Each new name is announced
// (the name-changed event), at most once per `interval`: texts that come faster wait, and
// the latest of them follows when the interval is over.
class SpokenName final : public QObject {
public:
    explicit SpokenName(QWidget* widget,
                        std::chrono::milliseconds interval = std::chrono::seconds(1));

    void say(const QString& text);

private:
    void announce();

    QWidget* widget_;
    QString latest_;
    QTimer quiet_;  // runs for the interval after each announcement
};

}  // namespace lyrevane
