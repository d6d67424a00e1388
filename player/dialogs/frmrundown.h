#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QList>
#include <QSlider>
#include <QTimer>

#include "engine/rundown.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace lyrevane {

class MediaEngine;
struct DialogContext;

// The kept programme as a slider: live at the right end, where the listener is as its value
// (in seconds from the oldest audio kept), each title's beginning as a tick, and where that
// is in words ("12:30 behind live") as what a screen reader reads for its value.
class TimelineSlider final : public QSlider {
public:
    explicit TimelineSlider(QWidget* parent);
    void setMarks(QList<int> seconds);
    void setValueText(const QString& text);
    const QString& valueText() const { return valueText_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<int> marks_;
    QString valueText_;
};

// "Programme Rundown": what the kept hour of a live stream held, one row per title (when it
// began, how long ago, the one that plays marked) and per lost connection, over a timeline
// of it. Enter or a double-click plays from a title's first byte; its context menu also
// records from there. Not modal; kept up to date while open.
class frmRundown final : public QDialog {
    Q_DECLARE_TR_FUNCTIONS(frmRundown)

public:
    frmRundown(QWidget* parent, MediaEngine& engine);

    // Dresses the window in the owner's skin.
    void setOwner(const DialogContext& owner);
    // Reads the engine again.
    void refresh();
    void playFrom(int row);
    void recordFrom(int row);

private:
    // The widgets, known outside by their object names.
    TimelineSlider* sldTimeline = nullptr;
    QLabel* lblTimeline = nullptr;
    QListWidget* lstRundown = nullptr;
    QPushButton* cmdClose = nullptr;

    void showRowMenu(const QPoint& at);
    void moveTo(int seconds);
    void showRows(const QList<RundownRow>& rows);

    MediaEngine& engine_;
    QList<RundownRow> rows_;
    QTimer refresh_;
};

}  // namespace lyrevane
