#pragma once
// Tfrm_Main: the program's only window. It owns every long-lived object,
// creates them in a fixed order (FormCreate) and releases them in a fixed
// order (FormDestroy). Controls carry the names of the window's design so
// tests and handlers find them; the decisions live in plain classes
// (settings, playlist, ...) that the window binds to.

#include "app/untDialogs.h"
#include "app/untHotKeys.h"
#include "app/untListModels.h"
#include "app/untPlayList.h"
#include "app/untPlayListView.h"
#include "app/untPlaybackControl.h"
#include "app/untSettings.h"
#include "app/untSpeakerList.h"
#include "controls/untOwnerDraw.h"
#include "download/untEnginePacing.h"
#include "platform/RemovableVolumes.h"
#include "speaker/untSpeakerLink.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTreeView;
class QTimer;
class QSystemTrayIcon;
class QAction;

namespace zv2::platform {
class IDispatcher;
}
namespace zv2::audio {
class TAudioPlayer;
}
namespace zv2::lyrics {
class TLRCDisplay;
class TLRCSvrThread;
} // namespace zv2::lyrics
namespace zv2::catalogue {
class TSearchThread;
class TSearchTopNThread;
} // namespace zv2::catalogue
namespace zv2::download {
class TDownloadList;
}
namespace zv2::controls {
class TImageButton;
class TSkinSlider;
class TMyHintWindow;
} // namespace zv2::controls

namespace zv2::app {

// The main window's caption, also the program's name on the desktop's panels.
inline constexpr char kMainCaption[] = "Vantor-ZV2无线播放软件";
// The program's name for the desktop: its menu entry (zv2player.desktop) and
// its windows' class (X11 WM_CLASS), by which panels group them.
inline constexpr char kDesktopName[] = "zv2player";

// What the window needs from the process: where it lives, how it reaches its
// own thread, and how it asks the user.
struct TFormEnvironment {
    std::string ProgramFolder; // ends with "/"
    std::string MusicSiteHost; // "host[:port]"
    std::string LyricSiteHost; // "host[:port]"
    platform::IDispatcher* Dispatcher = nullptr;
    std::unique_ptr<IDialogs> Dialogs;                // null: Qt dialogs over the window
    speaker::TSpeakerLinkOptions LinkOptions;         // the speaker's ports (tests use free ones)
    download::TEngineTiming DownloadTiming;           // the designed pace (tests shorten the time limits)
    std::vector<std::string> Files;                   // given on the command line: opened at start (see OpenFiles)
    std::unique_ptr<platform::IVolumeSource> Volumes; // null: the machine's removable volumes
};

class Tfrm_Main : public QWidget {
public:
    explicit Tfrm_Main(TFormEnvironment env);
    ~Tfrm_Main() override;

    // Closes the window the normal way but without the quit question: the
    // settings are saved. Used for SIGTERM, SIGINT and the end of the session.
    void CloseWithoutQuery();
    // Restores, shows and raises the window, or its modal dialog when one is open.
    void BringToFront();
    // Makes and starts what the window's first paint does not need: the
    // window's icon, the controls and menus of the tabs other than the
    // playlist, the player with the speaker link, the chart and lyric
    // workers, the hot keys and the tray icon; then plays the files of the
    // command line, or the last played song when set. Once: the program calls it as soon as the window is shown
    // (tests right after making the window); until then the commands that need
    // these do nothing.
    void FormShow();
    // Files from the command line or a later start: the music files among
    // them are appended to the playlist like dropped files, and the first of
    // them plays. False when none was appended.
    bool OpenFiles(const std::vector<std::string>& paths);

    // Loaded and saved state (read by tests; the window keeps it current).
    const TSettingsData& Loaded() const { return Loaded_; }
    TPlayList& PlayList() { return PlayList_; }
    std::string SaveError() const { return SaveError_; }
    const std::string& ProgramFolder() const { return Env_.ProgramFolder; }

    // Fields of the window that other parts read.
    std::string SearchURL, SavePath, LRCPath;
    std::uint8_t MaxTasks = 5, ThreadsPeerTask = 3;

    // Controls, by their design names.
    QTabWidget* pgcMain = nullptr;
    QWidget *tsPlayList = nullptr, *tsDownload = nullptr, *tsSearch = nullptr, *tsTopN = nullptr, *tsSetting = nullptr;
    QTreeView *lvPlayList = nullptr, *lvDownload = nullptr, *lvMusicLst = nullptr, *lvMusicList = nullptr;
    QListWidget* lbTopNList = nullptr;
    QComboBox* cbbContent = nullptr;
    QCheckBox *cbAutoCheck = nullptr, *cbbExitConfirm = nullptr, *cbRemoveError = nullptr, *cbAllowDelete = nullptr;
    QGroupBox* rgbMusicFormat = nullptr;
    QButtonGroup* rgbMusicFormatItems = nullptr;
    QSpinBox *edtMaxTasks = nullptr, *edtThreadsPeerTask = nullptr;
    QCheckBox* cbFullSpeed = nullptr; // "全速下载", read when the download list is made
    QLineEdit *edtSavePath = nullptr, *edtLRCPath = nullptr;
    QPushButton *btnSelectSavePath = nullptr, *btnSelectLRCPath = nullptr;
    QComboBox* edt_ReIP = nullptr;
    QPushButton *btn_SearchDev = nullptr, *SpeedButton1 = nullptr;
    QLabel* lbl_TCPConnect = nullptr;
    QRadioButton *rb_ZV2 = nullptr, *rb_PC = nullptr;
    QWidget* pnlPlayer = nullptr;
    QLabel *lblVolume = nullptr, *lblVolumeChannel = nullptr, *lblPlayerStatus = nullptr, *lblCurMusic = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();   // the tab bar, the playlist tab and the player panel
    void BuildHiddenTabs(); // the other tabs' controls; once, from FormShow
    void BuildPlayListTab();
    void BuildDownloadTab();
    void BuildSearchTab();
    void BuildTopNTab();
    void BuildSettingTab();
    void BuildPlayerPanel();

    void FormCreate(); // what the window shows; FormShow starts the rest
    void FormDestroy();
    bool FormCloseQuery();
    void FormClose();
    void LoadSettings(); // first removes what a save cut short by a crash left behind
    void ShowSettings(); // what LoadSettings read, into the other tabs' controls; from FormShow
    // Writes Download.ini whole: at the close, and at once when a download
    // has joined the playlist. SaveError() tells how the last one went.
    void SaveSettings();
    TSettingsData CollectSettings(bool withMusic) const;
    std::string SettingsPath() const { return Env_.ProgramFolder + kSettingsFileName; }

    TFormEnvironment Env_;
    std::unique_ptr<IDialogs> Dialogs_;
    TSettingsData Loaded_;
    // Download.ini as read at start or written last, and what stat() said of
    // the file then: unless the file changed since, a save writes this
    // document (reading and parsing a long playlist again would cost as much
    // as the save), and leaves the playlist's section alone while the file
    // holds the list as it is (SavedPaths_, a PathsVersion of the list).
    struct TFileStamp {
        std::uint64_t Device = 0, Inode = 0;
        std::int64_t Size = -1, ModifiedNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp StampOf(const std::string& path);
    std::unique_ptr<platform::TIniFile> SettingsFile_;
    TFileStamp SettingsStamp_;
    bool FileHoldsList_ = false;
    std::uint64_t SavedPaths_ = 0;
    TPlayList PlayList_;
    // The rows of the four report views. They go before the views (which
    // Qt destroys with the window, after its members) and the list after them.
    std::unique_ptr<TPlayListModel> PlayListRows_;
    std::unique_ptr<TDownloadModel> DownloadRows_;
    std::unique_ptr<TSearchListModel> SearchRows_;
    std::unique_ptr<TChartSongsModel> ChartSongs_;
    std::string SaveError_;
    bool Closed_ = false;
    bool AskOnClose_ = true;
    bool Shown_ = false; // FormShow ran

    // Playlist tab
public:
    // Asked to play the selected row: by "播放音乐[&P]" (playNextOnFailure
    // false) and by a double click in the list (true: when the row does not
    // play, go on with the next one). Nothing happens while it is unbound.
    std::function<void(int row, bool playNextOnFailure)> OnPlayRequest;
    // The list's pop-up menu and its items, in menu order.
    QMenu* pmPlayList = nullptr;
    QAction *mniPlay = nullptr, *mniPlayMode = nullptr, *mniLoopAll = nullptr, *mniSingleLoop = nullptr,
            *mniMoveUp = nullptr, *mniMoveDown = nullptr, *mniRename = nullptr, *mniCopyTo = nullptr,
            *mniDelete = nullptr, *mniRemove = nullptr, *mniAdd = nullptr, *mniSelectAll = nullptr;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void SetupPlayList(); // builds pmPlayList and binds lvPlayList; once, from FormCreate
    void pmPlayListPopup();
    void lvPlayListDblClick();
    void lvPlayListKeyDown(int key);

    TSystemFileOperations PlayListFiles_;
    // Player panel, speaker settings, tray, hot keys
public:
    controls::TImageButton *PrevButton = nullptr, *PlayButton = nullptr, *NextButton = nullptr, *SearchButton = nullptr;
    controls::TSkinSlider *BalanceSlider = nullptr, *VolumeSlider = nullptr, *PositionSlider = nullptr;
    QTimer* tmrPlayer = nullptr;
    QMenu* pmSystem = nullptr;
    QAction *mniPlayCtrl = nullptr, *mniShowForm = nullptr, *mniExit = nullptr;
    audio::TAudioPlayer* Player() { return Player_.get(); }
    TPlaybackControl* Playback() { return Playback_.get(); }
    lyrics::TLRCDisplay* LyricDisplay() { return Lyrics_.get(); }
    QSystemTrayIcon* TrayIcon() { return TrayIcon_; }
    // The actions of the six hot keys, by index (see THotKey).
    void HotKeyPressed(int index);
    // Show or hide, as the tray clicks, its menu and Ctrl+Alt+Home do.
    void ShowOrHide();
    void pmSystemPopup();
    // Called on the window's thread whenever what the player shows may have
    // changed: its state, the song, the lyric line, the volume, the playlist's
    // rows. The desktop's media interface binds to it.
    std::function<void()> OnPlayerChanged;

protected:
    void changeEvent(QEvent* event) override;

private:
    void CreatePlayerPanel(); // buttons, sliders, and playback control without its player
    void CreatePlayer();      // the player facade, its speaker events and settings bound
    void CreateTrayMenu();    // pmSystem
    void CreateTray();        // AddTrayIcon
    void BindSpeakerSettings();
    void SetPlayButtonImage(int index);
    void PlayerChanged() {
        if (OnPlayerChanged)
            OnPlayerChanged();
    }
    // IPlayerPanel, for playback control.
    class TPanel;
    friend class TPanel;

    std::unique_ptr<lyrics::TLRCDisplay> Lyrics_;
    std::unique_ptr<audio::TAudioPlayer> Player_;
    std::unique_ptr<IPlaybackPlayer> PlayerAdapter_;
    std::unique_ptr<IPlayerPanel> Panel_;
    std::unique_ptr<TPlaybackControl> Playback_;
    std::unique_ptr<THotKeys> HotKeys_;
    QSystemTrayIcon* TrayIcon_ = nullptr;

    // Search and Top-N tabs
public:
    // The rows of lvMusicLst and of lvMusicList.
    TSearchListModel& SearchRows() { return *SearchRows_; }
    TChartSongsModel& ChartSongs() { return *ChartSongs_; }
    QMenu *pmSearch = nullptr, *pmTopN = nullptr;
    QAction *mniDownLoad = nullptr, *mniStopSearch = nullptr, *mniCopyURL = nullptr, *mniSearchArtist = nullptr,
            *mniSearchAlum = nullptr, *nmiClearSearchList = nullptr;
    QAction *mniSearchSong = nullptr, *mniSearchSinger = nullptr;
    // Starts a search for the text of cbbContent, or stops the running one.
    void StartStopSearch();
    bool Searching() const { return SearchThread_ != nullptr; }
    catalogue::TSearchTopNThread* TopNThread() { return TopNThread_.get(); }
    // Set the enabled state of the pop-up menus' items, as before they open.
    void pmSearchPopup();
    void pmTopNPopup();

private:
    void SetupSearch();    // menus and bindings; once, from FormShow
    void StartTopN();      // the Top-N worker; once, from FormShow
    void StopSearchTabs(); // ends both workers; from FormDestroy
    void StopSearch();
    void SearchFinished();
    void cbbContentChange();
    void SetSearchBoxFocused(bool focused);
    void SearchFor(const std::string& key); // the artist and album items
    void tsTopNShow();
    void lbTopNListClick();
    void AddCharts(const std::vector<catalogue::TChartEntry>& charts);
    void TopNListsDone();
    void SearchChartRow(int column); // the song and singer items: the selected chart song's text in `column`

    std::unique_ptr<catalogue::TSearchThread> SearchThread_;
    std::unique_ptr<catalogue::TSearchTopNThread> TopNThread_;

    // Download tab (untFrmMainDownload.cpp)
public:
    // "下载歌曲[&D]" (the selected row) and a double click on lvMusicLst:
    // downloads search row `row` (its "歌曲名" and "下载地址"), or says why not.
    void DownloadSearchRow(int row);
    download::TDownloadList* Downloads() { return Downloads_.get(); }
    QMenu* pmTaskMgr = nullptr;
    QAction *mniContinueTask = nullptr, *mniDelTask = nullptr, *mniDelAll = nullptr, *mniClrError = nullptr;
    QTimer* tmrStatus = nullptr;

private:
    void SetupDownload();  // once, from FormShow, after the settings are shown
    void StartDownloads(); // once, from FormShow: the download list, its engine and the earlier run's unfinished rows
    void StopDownloads();  // from FormDestroy: the engine stops, its threads end
    void pmTaskMgrPopup();
    void mniContinueTaskClick();
    void mniDelTaskClick();
    void mniDelAllClick();
    void mniClrErrorClick();

    std::unique_ptr<download::TDownloadList> Downloads_;

    // Look: the hint window, the list drawing, the menus' style and images
    // (untFrmMainLook.cpp)
public:
    controls::TMyHintWindow* HintWindow() { return HintWindow_.get(); }

private:
    void SetupLook(); // once, from FormShow, when every menu exists

    std::unique_ptr<controls::TMyHintWindow> HintWindow_;

    // Lyric worker, and the lyric label's pop-up menu (untFrmMainLyrics.cpp)
public:
    lyrics::TLRCSvrThread* LyricServer() { return LyricServer_.get(); }
    // lblCurMusic's menu: the lines half a second earlier or later, at once
    // and kept in the song's lyric file as its offset.
    QMenu* pmLyrics = nullptr;
    QAction *mniLyricsEarlier = nullptr, *mniLyricsLater = nullptr;
    // Enables the items while lines are loaded, as before the menu opens.
    void pmLyricsPopup();

private:
    void SetupLyrics(); // once, from FormShow
    void MoveLyrics(std::int32_t earlierMs);
    void StopLyrics(); // from FormDestroy: the worker ends, its reports are dropped

    std::unique_ptr<lyrics::TLRCSvrThread> LyricServer_;
    std::shared_ptr<int> LyricsAlive_ = std::make_shared<int>(0); // reports posted to this thread check it

    // Copy to removable disk and folder choice (untFrmMainCopy.cpp)
public:
    // The image of imglstMenu that the copy sub-items show (their "ImageIndex" property).
    static constexpr int kCopyItemImage = 13;
    // Rebuilds the sub-items of mniCopyTo, one per removable volume, each
    // keeping its volume's mount point as its data. Runs as pmPlayList opens.
    void BuildCopyMenu();
    // A copy sub-item's click: copies the first selected playlist row's file
    // to the item's volume, with a busy cursor while the copy runs.
    void CopyToDrive(QAction* item);
    // The "..." buttons: a folder dialog sets edtSavePath or edtLRCPath; cancel leaves it.
    void btnSelectSavePathClick();
    void btnSelectLRCPathClick();

private:
    void SetupCopy(); // binds the buttons; once, from FormShow
    void SelectFolderInto(QLineEdit* edit);

    std::unique_ptr<platform::IVolumeSource> Volumes_;

    // Speaker list on the settings tab (untFrmMainSpeakers.cpp)
public:
    enum TSpeakerColumn {
        SpeakerColumnAddress, // check (plays or not) and address
        SpeakerColumnVolume,  // the speaker's own volume, 0..3000
        SpeakerColumnState,   // "已连接" / "未连接"
        SpeakerColumnSent,    // seconds of audio sent
        SpeakerColumnDropped, // blocks it could not take
        SpeakerColumnGap,     // largest gap between two blocks sent, ms
        SpeakerColumnCount
    };
    QTableWidget* lvSpeakers = nullptr;
    QPushButton *btnAddSpeaker = nullptr, *btnRemoveSpeaker = nullptr;
    QTimer* tmrSpeakers = nullptr;
    const TSpeakerList& Speakers() const { return Speakers_; }
    // Refreshes the state columns from the player's speaker set (also every second).
    void ShowSpeakerStates();

private:
    void BuildSpeakerList(); // from BuildSettingTab, in the speaker group below its rows
    void SetupSpeakers();    // once, from CreatePlayer
    void SpeakerFound(const std::string& address);
    void MainSpeakerMoved(); // "连接设备" gave the main speaker a new address
    void ApplySpeakers();
    void ShowSpeakerRows();

    TSpeakerList Speakers_;
    bool ShowingSpeakers_ = false; // item changes come from ShowSpeakerRows
};

} // namespace zv2::app
