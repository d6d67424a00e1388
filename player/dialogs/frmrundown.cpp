#include "dialogs/frmrundown.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

#include "dialogs/dialogcontext.h"
#include "dialogs/dialogs.h"
#include "engine/mediaengine.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How often the open window reads the engine: a flood of titles costs one refresh a second.
constexpr std::chrono::milliseconds kRefresh{1000};

// The timeline as a screen reader sees it: a slider whose value reads as words.
class TimelineAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TimelineAccessible(TimelineSlider* slider)
        : QAccessibleWidget(slider, QAccessible::Slider), slider_(slider) {}

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? slider_->valueText() : QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                   : QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return slider_->value(); }
    void setCurrentValue(const QVariant& value) override { slider_->setValue(value.toInt()); }
    QVariant maximumValue() const override { return slider_->maximum(); }
    QVariant minimumValue() const override { return slider_->minimum(); }
    QVariant minimumStepSize() const override { return slider_->singleStep(); }

private:
    TimelineSlider* slider_;
};

QAccessibleInterface* timelineAccessible(const QString& className, QObject* object) {
    if (className == u"lyrevane::TimelineSlider"_s || className == u"QSlider"_s) {
        if (auto* slider = dynamic_cast<TimelineSlider*>(object)) {
            return new TimelineAccessible(slider);
        }
    }
    return nullptr;
}

}  // namespace

TimelineSlider::TimelineSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    static const bool installed = [] {
        QAccessible::installFactory(timelineAccessible);
        return true;
    }();
    (void)installed;
    setObjectName(u"sldTimeline"_s);
    setSingleStep(15);
    setPageStep(60);
    setMinimumHeight(28);
}

void TimelineSlider::setMarks(QList<int> seconds) {
    if (seconds != marks_) {
        marks_ = std::move(seconds);
        update();
    }
}

void TimelineSlider::setValueText(const QString& text) {
    if (text != valueText_) {
        valueText_ = text;
        QAccessibleValueChangeEvent event(this, value());
        QAccessible::updateAccessibility(&event);
    }
}

// The slider as the style draws it, with a tick below the groove where each title begins.
void TimelineSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (maximum() <= minimum()) {
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const int handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this).width();
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    for (const int mark : std::as_const(marks_)) {
        const int x =
            groove.left() + handle / 2 +
            QStyle::sliderPositionFromValue(minimum(), maximum(), mark, groove.width() - handle);
        painter.drawLine(x, groove.bottom() + 2, x, height() - 1);
    }
}

frmRundown::frmRundown(QWidget* parent, MediaEngine& engine) : QDialog(parent), engine_(engine) {
    setObjectName(u"frmRundown"_s);
    setWindowTitle(tr("Programme Rundown"));
    setModal(false);
    lblTimeline = new QLabel(this);
    lblTimeline->setObjectName(u"lblTimeline"_s);
    lblTimeline->setTextFormat(Qt::PlainText);
    sldTimeline = new TimelineSlider(this);
    sldTimeline->setAccessibleName(tr("Timeline"));
    sldTimeline->setAccessibleDescription(tr("The kept programme, live at the right end"));
    lblTimeline->setBuddy(sldTimeline);
    lstRundown = new QListWidget(this);
    lstRundown->setObjectName(u"lstRundown"_s);
    lstRundown->setAccessibleName(tr("Programme rundown"));
    lstRundown->setAccessibleDescription(
        tr("Enter plays from a title; the context menu records from it"));
    lstRundown->setContextMenuPolicy(Qt::CustomContextMenu);
    lstRundown->setUniformItemSizes(true);
    cmdClose = describedButton(tr("&Close"), u"cmdClose"_s, tr("Close the rundown"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTimeline);
    layout->addWidget(sldTimeline);
    layout->addWidget(lstRundown, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    layout->addLayout(buttons);
    setTabChain({sldTimeline, lstRundown, cmdClose});

    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(lstRundown, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { playFrom(lstRundown->row(item)); });
    connect(lstRundown, &QWidget::customContextMenuRequested, this, &frmRundown::showRowMenu);
    // Clicks, page and arrow keys move at once; a drag when it is let go.
    connect(sldTimeline, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction) {
            moveTo(sldTimeline->sliderPosition());
        }
    });
    connect(sldTimeline, &QAbstractSlider::sliderReleased, this,
            [this] { moveTo(sldTimeline->sliderPosition()); });
    connect(&engine_, &MediaEngine::positionJumped, this, &frmRundown::refresh);
    refresh_.setInterval(kRefresh);
    connect(&refresh_, &QTimer::timeout, this, &frmRundown::refresh);
    refresh_.start();
    resize(520, 420);
    refresh();
}

void frmRundown::setOwner(const DialogContext& owner) {
    attachOwnerSkin(*this, owner, {});
    keepDesktopColours(*lstRundown);
}

void frmRundown::refresh() {
    using std::chrono::duration_cast;
    using std::chrono::seconds;
    const auto position = engine_.keptBeforePosition();
    const auto behind = engine_.behindLive();
    const int span = static_cast<int>(duration_cast<seconds>(position + behind).count());
    const QList<MediaEngine::ProgrammeItem> items = engine_.programme();
    QList<int> marks;
    for (const MediaEngine::ProgrammeItem& item : items) {
        if (!item.gap) {
            marks.append(static_cast<int>(duration_cast<seconds>(item.at).count()));
        }
    }
    if (!sldTimeline->isSliderDown()) {
        sldTimeline->setRange(0, span);
        sldTimeline->setValue(static_cast<int>(duration_cast<seconds>(position).count()));
    }
    sldTimeline->setEnabled(span > 0);
    sldTimeline->setMarks(marks);
    const QString where = timelineText(behind);
    sldTimeline->setValueText(where);
    lblTimeline->setText(tr("&Timeline: %1").arg(where));
    showRows(rundownRows(items, position, QDateTime::currentDateTime()));
}

// The rows are changed in place, so that the selection and the scrolling stay.
void frmRundown::showRows(const QList<RundownRow>& rows) {
    rows_ = rows;
    bool anyTitle = false;
    for (const RundownRow& row : rows) {
        anyTitle = anyTitle || !row.gap;
    }
    QStringList texts;
    if (!anyTitle) {
        texts.append(engine_.programme().isEmpty() && engine_.keptBeforePosition().count() == 0 &&
                             engine_.behindLive().count() == 0
                         ? tr("Nothing is kept: no live stream plays.")
                         : tr("This station sends no titles; the timeline above still moves "
                              "in what is kept."));
        rows_.clear();
    }
    for (const RundownRow& row : std::as_const(rows_)) {
        texts.append(row.text);
    }
    while (lstRundown->count() > texts.size()) {
        delete lstRundown->takeItem(lstRundown->count() - 1);
    }
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i >= lstRundown->count()) {
            lstRundown->addItem(new QListWidgetItem);
        }
        QListWidgetItem* item = lstRundown->item(static_cast<int>(i));
        const bool playing = i < rows_.size() && rows_[i].playing;
        if (item->text() != texts[i]) {
            item->setText(texts[i]);
        }
        QFont font = item->font();
        if (font.bold() != playing) {
            font.setBold(playing);
            item->setFont(font);
        }
        const QString spoken = playing ? tr("Playing: %1").arg(texts[i]) : texts[i];
        if (item->data(Qt::AccessibleTextRole).toString() != spoken) {
            item->setData(Qt::AccessibleTextRole, spoken);
        }
    }
}

void frmRundown::moveTo(int seconds) {
    engine_.moveInProgramme(std::chrono::seconds(seconds) - engine_.keptBeforePosition());
}

void frmRundown::playFrom(int row) {
    if (row >= 0 && row < rows_.size()) {
        engine_.moveInProgramme(rows_[row].at - engine_.keptBeforePosition());
        if (engine_.playState() == MediaEngine::Paused) {
            engine_.play();  // the listener asked to hear it
        }
    }
}

void frmRundown::recordFrom(int row) {
    if (row >= 0 && row < rows_.size() && !rows_[row].gap) {
        engine_.recordFrom(rows_[row].at);
    }
}

void frmRundown::showRowMenu(const QPoint& at) {
    const int row = lstRundown->currentRow();
    if (row < 0 || row >= rows_.size()) {
        return;
    }
    QMenu menu(this);
    QAction* play = menu.addAction(tr("&Play from Here"));
    QAction* record = menu.addAction(tr("&Record from Here"));
    record->setEnabled(!rows_[row].gap);
    const QAction* chosen = menu.exec(lstRundown->viewport()->mapToGlobal(at));
    if (chosen == play) {
        playFrom(row);
    } else if (chosen == record) {
        recordFrom(row);
    }
}

}  // namespace lyrevane
