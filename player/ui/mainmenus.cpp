#include "ui/mainmenus.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QToolButton>

#include <optional>
#include <utility>

#include "core/brokerlist.h"
#include "engine/mediaengine.h"

#include <chrono>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// How far Back and Forward move.
constexpr std::chrono::milliseconds kLiveStep{15000};

QAction* addItem(QMenu* menu, const QString& caption, const QString& name,
                 QKeySequence shortcut = {}) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    return action;
}

// A broker name shown as typed: '&' would otherwise mark an access key.
QString literalCaption(const QString& name) {
    QString caption = name;
    return caption.replace(u'&', u"&&"_s);
}

// Where the pointer released a click on the button, while that click is on its way; a
// click from the keyboard (or an accessibility action) leaves it empty.
class PointerClick final : public QObject {
public:
    explicit PointerClick(QToolButton* button) : QObject(button), button_(button) {
        button->installEventFilter(this);
    }
    // The release's place, once: the click it belongs to has come.
    std::optional<QPoint> take() { return std::exchange(at_, std::nullopt); }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint local = mouse->position().toPoint();
            at_ = button_->rect().contains(local) ? std::optional(button_->mapToGlobal(local))
                                                  : std::nullopt;
        } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
            at_.reset();
        }
        return false;
    }

private:
    QToolButton* button_;
    std::optional<QPoint> at_;
};

}  // namespace

MainMenus::MainMenus(QMainWindow& window, MediaEngine& engine) : engine_(engine) {
    buildFileMenu(window);
    buildLiveMenu(window);
    mnuHelp = window.menuBar()->addMenu(u"&Help"_s);
    mnuHelp->setObjectName(u"mnuHelp"_s);
    mnuHelpAbout = addItem(mnuHelp, u"&About..."_s, u"mnuHelpAbout"_s, Qt::Key_F1);
    buildBrokersMenu(window);
}

void MainMenus::buildFileMenu(QMainWindow& window) {
    mnuFile = window.menuBar()->addMenu(u"&File"_s);
    mnuFile->setObjectName(u"mnuFile"_s);
    mnuFileBrowseTo = addItem(mnuFile, u"&Browse To..."_s, u"mnuFileBrowseTo"_s, Qt::Key_F2);
    mnuFilePlay = addItem(mnuFile, u"&Play..."_s, u"mnuFilePlay"_s, Qt::Key_F3);
    mnuFile->addSeparator()->setObjectName(u"mnuFileSep1"_s);
    mnuFileConfigureOnlineBrokers = addItem(mnuFile, u"Configure &Online Brokers"_s,
                                            u"mnuFileConfigureOnlineBrokers"_s, Qt::Key_F4);
    mnuFileBroadcastScheduler =
        addItem(mnuFile, u"Broadcast &Scheduler"_s, u"mnuFileBroadcastScheduler"_s, Qt::Key_F5);
    mnuFileCustomizeSkin = addItem(mnuFile, u"&Customize Skin"_s, u"mnuFileCustomizeSkin"_s);
    mnuFile->addSeparator()->setObjectName(u"mnuFileSep2"_s);
    mnuFileExit = addItem(mnuFile, u"E&xit"_s, u"mnuFileExit"_s);
}

void MainMenus::buildLiveMenu(QMainWindow& window) {
    // Moving within the last hour of a live stream, and back to live. The shortcuts are ones
    // the browser panes leave alone (they take Alt+arrows and Ctrl+arrows).
    mnuLive = window.menuBar()->addMenu(u"&Live"_s);
    mnuLive->setObjectName(u"mnuLive"_s);
    mnuLiveBack = addItem(mnuLive, QCoreApplication::translate("MainMenus", "&Back 15 Seconds"),
                          u"mnuLiveBack"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_B));
    QObject::connect(mnuLiveBack, &QAction::triggered, mnuLive,
                     [&engine = engine_] { engine.moveInProgramme(-kLiveStep); });
    mnuLiveForward =
        addItem(mnuLive, QCoreApplication::translate("MainMenus", "&Forward 15 Seconds"),
                u"mnuLiveForward"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    QObject::connect(mnuLiveForward, &QAction::triggered, mnuLive,
                     [&engine = engine_] { engine.moveInProgramme(kLiveStep); });
    mnuLiveCatchUp = addItem(mnuLive, u"&Catch Up to Live"_s, u"mnuLiveCatchUp"_s,
                             QKeySequence(Qt::CTRL | Qt::Key_L));
    QObject::connect(mnuLiveCatchUp, &QAction::triggered, mnuLive,
                     [&engine = engine_] { engine.catchUpToLive(); });
    mnuLiveCatchUpFaster =
        addItem(mnuLive, QCoreApplication::translate("MainMenus", "Catch Up &Faster"),
                u"mnuLiveCatchUpFaster"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    QObject::connect(mnuLiveCatchUpFaster, &QAction::triggered, mnuLive,
                     [&engine = engine_] { engine.catchUpFaster(); });
    mnuLiveRundown = addItem(mnuLive, QCoreApplication::translate("MainMenus", "Rund&own..."),
                             u"mnuLiveRundown"_s, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    // What can move changes as audio comes; it is looked at again whenever the menu opens.
    QObject::connect(mnuLive, &QMenu::aboutToShow, mnuLive, [this] { updateLive(); });
    mnuLive->addSeparator()->setObjectName(u"mnuLiveSep1"_s);
    // Only the listener starts a recording: here, or through the player's own bus interface.
    mnuLiveRecord =
        addItem(mnuLive, u"&Record"_s, u"mnuLiveRecord"_s, QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuLiveRecord->setCheckable(true);
    mnuLive->setToolTipsVisible(true);
    QObject::connect(mnuLiveRecord, &QAction::triggered, mnuLive,
                     [&engine = engine_](bool on) { engine.setRecording(on); });
    updateLive();
}

void MainMenus::buildBrokersMenu(QMainWindow& window) {
    mnuOnlineBrokers = new QMenu(u"Online Brokers"_s, &window);
    mnuOnlineBrokers->setObjectName(u"mnuOnlineBrokers"_s);
    mnuOnlineBrokersSep2 = mnuOnlineBrokers->addSeparator();
    mnuOnlineBrokersSep2->setObjectName(u"mnuOnlineBrokersSep2"_s);
    mnuOnlineBrokersConfigure =
        addItem(mnuOnlineBrokers, u"Configure"_s, u"mnuOnlineBrokersConfigure"_s);
    // Same command as File > Configure Online Brokers.
    mnuOnlineBrokersConfigure->setEnabled(mnuFileConfigureOnlineBrokers->isEnabled());
    QObject::connect(mnuOnlineBrokersConfigure, &QAction::triggered, mnuFileConfigureOnlineBrokers,
                     &QAction::trigger);
    // "Cancel" only closes the menu.
    mnuOnlineBrokersInfo1 = addItem(mnuOnlineBrokers, u"Cancel"_s, u"mnuOnlineBrokersInfo1"_s);
}

void MainMenus::popUpFrom(QToolButton* button) {
    auto* pointer = new PointerClick(button);
    QObject::connect(button, &QToolButton::clicked, mnuOnlineBrokers, [this, button, pointer] {
        mnuOnlineBrokers->popup(
            pointer->take().value_or(button->mapToGlobal(QPoint(0, button->height()))));
    });
}

void MainMenus::updateLive() {
    const bool behind = engine_.behindLive().count() > 0;
    mnuLiveBack->setEnabled(engine_.keptBeforePosition().count() > 0);
    mnuLiveForward->setEnabled(behind);
    mnuLiveCatchUp->setEnabled(behind);
    mnuLiveCatchUpFaster->setEnabled(behind && !engine_.catchingUp());
    const bool recording = engine_.recordingSeconds() >= 0;
    const QString refusal = engine_.recordRefusal();
    const QSignalBlocker quiet(mnuLiveRecord);
    mnuLiveRecord->setChecked(recording);
    mnuLiveRecord->setEnabled(recording || refusal.isEmpty());
    mnuLiveRecord->setToolTip(
        recording || refusal.isEmpty() ? u"Record the stream to the Music folder"_s : refusal);
}

void MainMenus::reloadBrokers(const QList<BrokerEntry>& brokers,
                              const std::function<void(const QString& url)>& open) {
    for (QAction* entry : std::as_const(mnuOnlineBrokersEntry)) {
        mnuOnlineBrokers->removeAction(entry);
        delete entry;
    }
    mnuOnlineBrokersEntry.clear();
    for (const BrokerEntry& broker : brokers) {
        auto* entry = new QAction(literalCaption(broker.name), mnuOnlineBrokers);
        entry->setObjectName(u"mnuOnlineBrokersEntry"_s);
        entry->setData(broker.url);
        // The URL goes to the advertisement pane exactly as stored, unchecked.
        QObject::connect(entry, &QAction::triggered, entry,
                         [open, url = broker.url] { open(url); });
        mnuOnlineBrokers->insertAction(mnuOnlineBrokersSep2, entry);
        mnuOnlineBrokersEntry.append(entry);
    }
}

}  // namespace lyrevane
