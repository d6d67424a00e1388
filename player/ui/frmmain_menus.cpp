// The main window's menu bar and the brokers button's popup menu.
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include "core/brokerlist.h"
#include "core/deferredpane.h"
#include "core/usagetracking.h"
#include "dialogs/dialogs.h"
#include "dialogs/frmabout.h"
#include "dialogs/frmbroadcastscheduler.h"
#include "dialogs/frmonlinebrokers.h"
#include "engine/mediaengine.h"
#include "ui/frmmain.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

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

}  // namespace

void frmMain::BuildMenu() {
    mnuFile = menuBar()->addMenu(u"&File"_s);
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

    // A live stream played late: back to live.
    mnuLive = menuBar()->addMenu(u"&Live"_s);
    mnuLive->setObjectName(u"mnuLive"_s);
    mnuLiveCatchUp = addItem(mnuLive, u"&Catch Up to Live"_s, u"mnuLiveCatchUp"_s,
                             QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuLiveCatchUp->setEnabled(false);
    connect(mnuLiveCatchUp, &QAction::triggered, this,
            [this] { services_.engine.catchUpToLive(); });
    // Only the listener starts a recording: here, or through the player's own bus interface.
    mnuLiveRecord =
        addItem(mnuLive, u"&Record"_s, u"mnuLiveRecord"_s, QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuLiveRecord->setCheckable(true);
    mnuLive->setToolTipsVisible(true);
    connect(mnuLiveRecord, &QAction::triggered, this,
            [this](bool on) { services_.engine.setRecording(on); });
    UpdateLiveMenu();

    mnuHelp = menuBar()->addMenu(u"&Help"_s);
    mnuHelp->setObjectName(u"mnuHelp"_s);
    mnuHelpAbout = addItem(mnuHelp, u"&About..."_s, u"mnuHelpAbout"_s, Qt::Key_F1);

    connect(mnuFileBrowseTo, &QAction::triggered, this, [this] { session_->BrowseTo(); });
    connect(mnuFilePlay, &QAction::triggered, this,
            [this] { session_->Playback().PlayFromInputBox(); });
    connect(mnuFileCustomizeSkin, &QAction::triggered, this, &frmMain::CustomizeSkin);
    connect(mnuFileExit, &QAction::triggered, this, [this] { session_->Unload(); });
    connect(mnuFileConfigureOnlineBrokers, &QAction::triggered, this,
            [this] { OpenOwnedDialog<frmOnlineBrokers>(Dialogs()); });
    connect(mnuFileBroadcastScheduler, &QAction::triggered, this,
            [this] { OpenOwnedDialog<frmBroadcastScheduler>(Dialogs()); });
    connect(mnuHelpAbout, &QAction::triggered, this,
            [this] { OpenOwnedDialog<frmAbout>(Dialogs()); });
}

void frmMain::BuildBrokersMenu() {
    mnuOnlineBrokers = new QMenu(u"Online Brokers"_s, this);
    mnuOnlineBrokers->setObjectName(u"mnuOnlineBrokers"_s);
    mnuOnlineBrokersSep2 = mnuOnlineBrokers->addSeparator();
    mnuOnlineBrokersSep2->setObjectName(u"mnuOnlineBrokersSep2"_s);
    mnuOnlineBrokersConfigure =
        addItem(mnuOnlineBrokers, u"Configure"_s, u"mnuOnlineBrokersConfigure"_s);
    // Same command as File > Configure Online Brokers.
    mnuOnlineBrokersConfigure->setEnabled(mnuFileConfigureOnlineBrokers->isEnabled());
    connect(mnuOnlineBrokersConfigure, &QAction::triggered, mnuFileConfigureOnlineBrokers,
            &QAction::trigger);
    // "Cancel" only closes the menu.
    mnuOnlineBrokersInfo1 = addItem(mnuOnlineBrokers, u"Cancel"_s, u"mnuOnlineBrokersInfo1"_s);

    connect(cmdBrokers, &QToolButton::clicked, this, [this] {
        mnuOnlineBrokers->popup(cmdBrokers->mapToGlobal(QPoint(0, cmdBrokers->height())));
    });
}

qint32 frmMain::GetGMTOffset() const {
    return lyrevane::GetGMTOffset();
}

DialogContext frmMain::Dialogs() {
    return DialogContext{
        *this,
        services_.settings,
        services_.prompts,
        services_.urlOpener,
        session_->Portal(),
        *skin_,
        [this] { ReloadOnlineBrokers(); },
        [this](const QString& url, bool quiet) { return CheckMediaURL(url, quiet); },
        [this] { return GetGMTOffset(); }};
}

void frmMain::ReloadOnlineBrokers() {
    for (QAction* entry : std::as_const(mnuOnlineBrokersEntry)) {
        mnuOnlineBrokers->removeAction(entry);
        delete entry;
    }
    mnuOnlineBrokersEntry.clear();
    for (const BrokerEntry& broker : LoadBrokerEntries(services_.settings)) {
        auto* entry = new QAction(literalCaption(broker.name), mnuOnlineBrokers);
        entry->setObjectName(u"mnuOnlineBrokersEntry"_s);
        entry->setData(broker.url);
        // The URL goes to the advertisement pane exactly as stored, unchecked.
        connect(entry, &QAction::triggered, this,
                [this, url = broker.url] { adPane_->Navigate(url); });
        mnuOnlineBrokers->insertAction(mnuOnlineBrokersSep2, entry);
        mnuOnlineBrokersEntry.append(entry);
    }
}

}  // namespace lyrevane
