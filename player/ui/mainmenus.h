#pragma once

#include <QList>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QToolButton;

namespace lyrevane {

class MediaEngine;
struct BrokerEntry;

// The main window's menu bar (File, Live, Help) and the brokers button's popup menu.
// The Live menu acts on the media engine itself; the window connects the other items.
class MainMenus final {
public:
    MainMenus(QMainWindow& window, MediaEngine& engine);

    // The moves within the kept programme, and Record, as the engine allows them now.
    void updateLive();
    // The brokers popup opens when `button` is clicked: at the pointer for a mouse click,
    // below the button from the keyboard.
    void popUpFrom(QToolButton* button);
    // One entry per broker, in list order, above the fixed items; a click hands the
    // broker's URL, as stored, to `open`.
    void reloadBrokers(const QList<BrokerEntry>& brokers,
                       const std::function<void(const QString& url)>& open);

    QMenu* mnuFile = nullptr;
    QAction* mnuFileBrowseTo = nullptr;
    QAction* mnuFilePlay = nullptr;
    QAction* mnuFileConfigureOnlineBrokers = nullptr;
    QAction* mnuFileBroadcastScheduler = nullptr;
    QAction* mnuFileCustomizeSkin = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuLive = nullptr;
    QAction* mnuLiveBack = nullptr;
    QAction* mnuLiveForward = nullptr;
    QAction* mnuLiveCatchUp = nullptr;
    QAction* mnuLiveCatchUpFaster = nullptr;
    QAction* mnuLiveRundown = nullptr;  // the window connects it
    QAction* mnuLiveRecord = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpAbout = nullptr;
    // The brokers button's popup, never shown in the menu bar.
    QMenu* mnuOnlineBrokers = nullptr;
    QList<QAction*> mnuOnlineBrokersEntry;  // run-time entries, in list order
    QAction* mnuOnlineBrokersSep2 = nullptr;
    QAction* mnuOnlineBrokersConfigure = nullptr;
    QAction* mnuOnlineBrokersInfo1 = nullptr;

private:
    void buildFileMenu(QMainWindow& window);
    void buildLiveMenu(QMainWindow& window);
    void buildBrokersMenu(QMainWindow& window);

    MediaEngine& engine_;
};

}  // namespace lyrevane
