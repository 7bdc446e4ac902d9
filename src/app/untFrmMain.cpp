#include "app/untFrmMain.h"

#include "app/untQtDialogs.h"
#include "app/untWindowTools.h"
#include "audio/untAudioPlayer.h"
#include "catalogue/untSearchThread.h"
#include "catalogue/untSearchTopNThread.h"
#include "controls/untImageButton.h"
#include "controls/untImageLists.h"
#include "controls/untMenuStyle.h"
#include "controls/untSkinHintWin.h"
#include "controls/untSkinSlider.h"
#include "download/untDownloadList.h"
#include "lyrics/untLRCDisplay.h"
#include "lyrics/untLRCSvr.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <sys/stat.h>

namespace zv2::app {

namespace {

constexpr int kClientWidth = 548;
constexpr int kClientHeight = 346;
constexpr int kPlayerPanelHeight = 65;
constexpr int kDefaultColumnWidth = 50; // a report column whose width the design leaves at the default

template <class T> T* Named(T* widget, const char* name, const char* hint = nullptr) {
    widget->setObjectName(name);
    if (hint)
        widget->setToolTip(QString::fromUtf8(hint));
    return widget;
}

// A report view over `model` (which gives the columns' captions and
// alignments), its rows drawn with the image list `images` (see
// TListRowDelegate); `widths` of its first columns, 0 for the default width.
QTreeView* MakeReportView(QWidget* parent, const char* name, const char* hint, QAbstractItemModel* model,
                          const char* images, std::initializer_list<int> widths) {
    auto* view = Named(new QTreeView(parent), name, hint);
    view->setModel(model);
    view->setItemDelegate(new controls::TListRowDelegate(images, view));
    int i = 0;
    for (const int width : widths) {
        if (width > 0)
            view->setColumnWidth(i, width);
        ++i;
    }
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    // The row delegate paints every row whole; a focus frame of the style
    // drawn over the current row would tint it and its text.
    view->setAllColumnsShowFocus(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setSectionsClickable(false);
    view->header()->setSectionsMovable(false);
    return view;
}

// Gives `widget` colour `colour` in the palette role `role` (text or background).
void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* text, int x, int y) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->move(x, y);
    return label;
}

} // namespace

Tfrm_Main::Tfrm_Main(TFormEnvironment env) : Env_(std::move(env)) {
    Dialogs_ = Env_.Dialogs ? std::move(Env_.Dialogs) : std::make_unique<TQtDialogs>(this);
    setObjectName("frm_Main");
    // Fixed single border, only the system menu and minimise in the title bar.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QString::fromUtf8(kMainCaption));
    setFixedSize(kClientWidth, kClientHeight);
    // The menus' style, before any control is made: set later, it would polish every control again.
    if (!dynamic_cast<controls::TMenuStyle*>(QApplication::style()))
        QApplication::setStyle(new controls::TMenuStyle);
    BuildControls();
    FormCreate();
}

Tfrm_Main::~Tfrm_Main() {
    FormDestroy();
}

void Tfrm_Main::BuildControls() {
    pgcMain = Named(new QTabWidget(this), "pgcMain");
    pgcMain->setGeometry(0, 0, kClientWidth, kClientHeight - kPlayerPanelHeight);
    // Every tab is there for the tab bar; only the playlist's controls are
    // made before the window shows, the other tabs' in FormShow.
    const auto addPage = [this](const char* name, const char* caption) {
        auto* page = Named(new QWidget, name);
        pgcMain->addTab(page, QString::fromUtf8(caption));
        return page;
    };
    tsPlayList = addPage("tsPlayList", "播放列表");
    tsDownload = addPage("tsDownload", "正在下载");
    tsSearch = addPage("tsSearch", "搜索列表");
    tsTopN = addPage("tsTopN", "Top N列表");
    tsSetting = addPage("tsSetting", "系统设置");
    BuildPlayListTab();
    BuildPlayerPanel();
}

void Tfrm_Main::BuildHiddenTabs() {
    BuildDownloadTab();
    BuildSearchTab();
    BuildTopNTab();
    BuildSettingTab();
}

void Tfrm_Main::BuildPlayListTab() {
    PlayListRows_ = std::make_unique<TPlayListModel>(PlayList_);
    lvPlayList = MakeReportView(tsPlayList, "lvPlayList", "播放列表", PlayListRows_.get(), "imglstPlayList",
                                {40, kDefaultColumnWidth, 420});
    BindPlayList(*lvPlayList, *PlayListRows_, PlayList_);
    lvPlayList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvPlayList->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPlayList->setGeometry(2, 2, kClientWidth - 10, kClientHeight - kPlayerPanelHeight - 32);
}

void Tfrm_Main::BuildDownloadTab() {
    DownloadRows_ = std::make_unique<TDownloadModel>();
    lvDownload = MakeReportView(tsDownload, "lvDownload", nullptr, DownloadRows_.get(), "imglstStatus",
                                {kDefaultColumnWidth, 150, 70, 80, 70, 80});
    lvDownload->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvDownload->setGeometry(2, 2, kClientWidth - 10, kClientHeight - kPlayerPanelHeight - 32);
}

void Tfrm_Main::BuildSearchTab() {
    SearchRows_ = std::make_unique<TSearchListModel>();
    lvMusicLst = MakeReportView(tsSearch, "lvMusicLst", nullptr, SearchRows_.get(), "", {});
    lvMusicLst->setGeometry(2, 2, kClientWidth - 10, 216);
    MakeLabel(tsSearch, "搜索内容：", 8, 232);
    cbbContent = Named(new QComboBox(tsSearch), "cbbContent", "输入搜索内容然后按Enter");
    cbbContent->setEditable(true);
    cbbContent->setInsertPolicy(QComboBox::NoInsert);
    cbbContent->setEditText("beyond");
    QFont font("Tahoma");
    font.setPixelSize(12);
    font.setItalic(true);
    cbbContent->setFont(font);
    SetColour(cbbContent, QPalette::Text, QColor(192, 192, 192)); // silver
    cbbContent->setGeometry(76, 228, 370, 25);
    // What the button starts and stops comes with the search (SetupSearch).
    SearchButton = Named(new controls::TImageButton(tsSearch), "SearchButton", "启动/停止搜索");
    SearchButton->setGeometry(458, 228, 80, 25);
    SearchButton->SetCaption(QString::fromUtf8("开始搜索"));
}

void Tfrm_Main::BuildTopNTab() {
    lbTopNList = Named(new QListWidget(tsTopN), "lbTopNList", "百度Top N列表");
    lbTopNList->setGeometry(2, 2, 150, kClientHeight - kPlayerPanelHeight - 32);
    lbTopNList->setItemDelegate(new controls::TChartListDelegate(lbTopNList));
    lbTopNList->setUniformItemSizes(true);
    ChartSongs_ = std::make_unique<TChartSongsModel>();
    lvMusicList = MakeReportView(tsTopN, "lvMusicList", nullptr, ChartSongs_.get(), "imglstPlayList", {});
    lvMusicList->setGeometry(156, 2, kClientWidth - 164, kClientHeight - kPlayerPanelHeight - 32);
}

void Tfrm_Main::BuildSettingTab() {
    auto* basic = new QGroupBox(QString::fromUtf8("基本设置"), tsSetting);
    basic->setGeometry(6, 4, 250, 116);
    cbAutoCheck = Named(new QCheckBox(QString::fromUtf8("自动播放上次音乐"), basic), "cbAutoCheck");
    cbAutoCheck->move(12, 20);
    cbbExitConfirm =
        Named(new QCheckBox(QString::fromUtf8("退出时确认"), basic), "cbbExitConfirm", "退出时是否弹出确认对话框");
    cbbExitConfirm->move(12, 43);
    cbRemoveError = Named(new QCheckBox(QString::fromUtf8("自动移除出错的文件"), basic), "cbRemoveError");
    cbRemoveError->move(12, 66);
    cbRemoveError->setChecked(true);
    cbAllowDelete =
        Named(new QCheckBox(QString::fromUtf8("禁用物理删除功能"), basic), "cbAllowDelete", "是否禁止物理删除文件功能");
    cbAllowDelete->move(12, 89);
    cbAllowDelete->setChecked(true);

    // The format filter is kept in the settings but not shown.
    rgbMusicFormat = Named(new QGroupBox(tsSetting), "rgbMusicFormat");
    rgbMusicFormatItems = new QButtonGroup(rgbMusicFormat);
    int id = 0;
    for (const char* item : {"不过滤", "MP3", "RM", "WMA "})
        rgbMusicFormatItems->addButton(new QRadioButton(QString::fromUtf8(item), rgbMusicFormat), id++);
    rgbMusicFormatItems->button(0)->setChecked(true);
    rgbMusicFormat->setVisible(false);

    auto* tasks = new QGroupBox(QString::fromUtf8("任务设置"), tsSetting);
    tasks->setGeometry(262, 4, 274, 116);
    MakeLabel(tasks, "最大任务数：", 10, 24);
    edtMaxTasks = Named(new QSpinBox(tasks), "edtMaxTasks", "下次启动时生效");
    edtMaxTasks->setRange(1, 5);
    edtMaxTasks->setGeometry(84, 20, 44, 22);
    MakeLabel(tasks, "每任务线程：", 140, 24);
    edtThreadsPeerTask = Named(new QSpinBox(tasks), "edtThreadsPeerTask", "下次启动时生效");
    edtThreadsPeerTask->setRange(1, 3);
    edtThreadsPeerTask->setGeometry(214, 20, 44, 22);
    cbFullSpeed = Named(new QCheckBox(QString::fromUtf8("全速下载"), tsSetting), "cbFullSpeed", "下次启动时生效");
    cbFullSpeed->move(268, 124);
    MakeLabel(tasks, "下载目录：", 10, 56);
    edtSavePath = Named(new QLineEdit(tasks), "edtSavePath", "下载文件保存位置");
    edtSavePath->setReadOnly(true);
    SetColour(edtSavePath, QPalette::Base, QColor(192, 192, 192));
    edtSavePath->setGeometry(74, 52, 158, 22);
    btnSelectSavePath = Named(new QPushButton("...", tasks), "btnSelectSavePath", "选择新的位置");
    btnSelectSavePath->setGeometry(236, 52, 26, 22);
    MakeLabel(tasks, "歌词目录：", 10, 86);
    edtLRCPath = Named(new QLineEdit(tasks), "edtLRCPath", "下载文件保存位置");
    edtLRCPath->setReadOnly(true);
    SetColour(edtLRCPath, QPalette::Base, QColor(192, 192, 192));
    edtLRCPath->setGeometry(74, 82, 158, 22);
    btnSelectLRCPath = Named(new QPushButton("...", tasks), "btnSelectLRCPath", "选择歌词保存位置");
    btnSelectLRCPath->setGeometry(236, 82, 26, 22);

    auto* speaker = new QGroupBox(QString::fromUtf8("ZV2 WIFI音响设置"), tsSetting);
    speaker->setGeometry(6, 124, 530, 122);
    MakeLabel(speaker, "IP 地址：", 12, 26);
    edt_ReIP = Named(new QComboBox(speaker), "edt_ReIP");
    edt_ReIP->setEditable(true);
    edt_ReIP->setInsertPolicy(QComboBox::NoInsert);
    edt_ReIP->setGeometry(84, 22, 170, 24);
    btn_SearchDev = Named(new QPushButton(QString::fromUtf8("搜索设备"), speaker), "btn_SearchDev", "搜索在线设备");
    btn_SearchDev->setGeometry(264, 22, 80, 24);
    SpeedButton1 = Named(new QPushButton(QString::fromUtf8("连接设备"), speaker), "SpeedButton1", "连接选中设备");
    SpeedButton1->setGeometry(352, 22, 80, 24);
    MakeLabel(speaker, "状态：", 12, 58);
    lbl_TCPConnect = Named(new QLabel(QString::fromUtf8("未连接"), speaker), "lbl_TCPConnect", "设备连接状态");
    lbl_TCPConnect->setGeometry(84, 58, 120, 16);
    MakeLabel(speaker, "播放方式：", 12, 88);
    rb_ZV2 = Named(new QRadioButton(QString::fromUtf8("ZV2播放"), speaker), "rb_ZV2", "Vantor-ZV2无线音响播放");
    rb_ZV2->move(84, 86);
    rb_ZV2->setChecked(true);
    rb_PC = Named(new QRadioButton(QString::fromUtf8("本地播放"), speaker), "rb_PC", "计算机播放");
    rb_PC->move(184, 86);
    BuildSpeakerList();
}

void Tfrm_Main::BuildPlayerPanel() {
    pnlPlayer = Named(new QWidget(this), "pnlPlayer");
    pnlPlayer->setGeometry(0, kClientHeight - kPlayerPanelHeight, kClientWidth, kPlayerPanelHeight);
    lblVolume = Named(MakeLabel(pnlPlayer, "音量：", 123, 25), "lblVolume");
    lblVolumeChannel = Named(MakeLabel(pnlPlayer, "声道：", 123, 13), "lblVolumeChannel");
    lblVolumeChannel->setVisible(false);
    lblPlayerStatus = Named(MakeLabel(pnlPlayer, "停止播放", 238, 13), "lblPlayerStatus", "播放器状态");
    SetColour(lblPlayerStatus, QPalette::WindowText, QColor(0, 128, 0));
    lblCurMusic = Named(new QLabel(QString::fromUtf8("停止播放"), pnlPlayer), "lblCurMusic", "当前播放曲目");
    lblCurMusic->setGeometry(292, 13, 249, 16);
    SetColour(lblCurMusic, QPalette::WindowText, QColor(128, 128, 128));
}

void Tfrm_Main::FormCreate() {
    // The caption is the window's title; the application's name is the one
    // the desktop knows the program by, which X11 gives its windows as their
    // class. No display name: Qt would append it to every title.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(kDesktopName);
    Lyrics_ = std::make_unique<lyrics::TLRCDisplay>(*Env_.Dispatcher);
    Lyrics_->Target = [this](const std::string& text) {
        lblCurMusic->setText(Q(text));
        PlayerChanged();
    };
    CreatePlayerPanel();
    LoadSettings();
    Playback_->SeekEnabled = false;
    SetupPlayList();
    setAcceptDrops(true);
    Playback_->LoopMode = 0;
}

void Tfrm_Main::FormShow() {
    if (Shown_)
        return;
    Shown_ = true;
    // The window system's copy of the icon is made at every size: not worth
    // holding up the window for.
    setWindowIcon(controls::ApplicationIcon());
    BuildHiddenTabs();
    ShowSettings();
    SetupSearch();
    SetupDownload();
    SetupCopy();
    CreateTrayMenu();
    SetupLook();
    CreatePlayer();
    StartDownloads();
    StartTopN();
    SetupLyrics();
    HotKeys_ = std::make_unique<THotKeys>([this](int index) { HotKeyPressed(index); });
    HotKeys_->Register();
    // Files given on the command line play instead of the last played song.
    if (!OpenFiles(Env_.Files) && cbAutoCheck->isChecked())
        Playback_->PlayEntry(PlayList_.LastPlayed);
    CreateTray();
}

void Tfrm_Main::FormDestroy() {
    // Workers waiting for this thread to take a synchronised call are let go
    // first: from here on the window takes none, so none of them can hold up
    // the threads' ends below.
    Env_.Dispatcher->Shutdown();
    StopSearchTabs();
    StopLyrics();
    StopDownloads();
    if (Player_) {
        if (Player_->State() == audio::TAudioPlayer::Paused)
            Player_->Stop();
        tmrPlayer->stop();
        Playback_.reset();
        PlayerAdapter_.reset();
        Player_.reset(); // stops the engine and the speaker link
    }
    if (HotKeys_)
        HotKeys_->Unregister();
    Lyrics_.reset();
    if (TrayIcon_)
        TrayIcon_->hide();
    HintWindow_.reset();
}

Tfrm_Main::TFileStamp Tfrm_Main::StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

void Tfrm_Main::LoadSettings() {
    RemoveUnfinishedSaves(Env_.ProgramFolder);
    SettingsStamp_ = StampOf(SettingsPath()); // before the read: a change after it is seen
    SettingsFile_ = std::make_unique<platform::TIniFile>(SettingsPath());
    Loaded_ = ReadSettings(*SettingsFile_, Env_.ProgramFolder, Env_.MusicSiteHost,
                           [](const std::string& path) { return platform::FileExists(path); });
    const TSettingsData& d = Loaded_; // the speaker's address and the volume reach the player in CreatePlayer
    SearchURL = d.SearchURL;
    SavePath = d.SavePath;
    // Each path was read from one line, so none is refused; the list keeps them from here on.
    PlayList_.AppendAll(std::move(Loaded_.Music));
    FileHoldsList_ = d.MusicAsWritten;
    SavedPaths_ = PlayList_.PathsVersion();
    PlayList_.LastPlayed = d.LastPlayed;
    MaxTasks = d.MaxTasks;
    ThreadsPeerTask = d.ThreadsPeerTask;
    LRCPath = d.LRCPath;
    Playback_->LRCPath = d.LRCPath;
    VolumeSlider->SetPosition(d.Volume);
}

void Tfrm_Main::ShowSettings() {
    const TSettingsData& d = Loaded_;
    edt_ReIP->setEditText(Q(d.IP));
    edtSavePath->setText(Q(d.SavePath));
    cbbContent->clear();
    for (const auto& item : d.SearchItems)
        cbbContent->addItem(Q(item));
    cbbContent->addItem(QString::fromUtf8(kClearHistoryItem));
    cbbContent->setEditText("beyond");
    cbAutoCheck->setChecked(d.AutoPlay);
    rgbMusicFormatItems->button(d.Filter)->setChecked(true);
    cbbExitConfirm->setChecked(d.QuitConfirm);
    edtMaxTasks->setValue(d.MaxTasks);
    edtThreadsPeerTask->setValue(d.ThreadsPeerTask);
    cbFullSpeed->setChecked(d.FullSpeed);
    edtLRCPath->setText(Q(d.LRCPath));
    (d.SpeakerMode ? rb_ZV2 : rb_PC)->setChecked(true); // the player takes it in CreatePlayer
}

TSettingsData Tfrm_Main::CollectSettings(bool withMusic) const {
    TSettingsData d = Loaded_;
    d.IP = Player_ ? Player_->DeviceAddress() : Loaded_.IP;
    d.Speakers = Speakers_;
    d.Speakers.SetMain(d.IP);
    d.Music = withMusic ? PlayList_.Paths() : std::vector<std::string>{};
    d.LastPlayed = PlayList_.LastPlayed;
    d.Volume = VolumeSlider->Position();
    if (!Shown_)
        return d; // the other tabs' controls are not made yet: they hold what was read
    d.SearchItems.clear();
    for (int i = 0; i + 1 < cbbContent->count(); ++i)
        d.SearchItems.push_back(cbbContent->itemText(i).toStdString());
    d.SavePath = edtSavePath->text().toStdString();
    d.Filter = std::max(0, rgbMusicFormatItems->checkedId());
    d.AutoPlay = cbAutoCheck->isChecked();
    d.QuitConfirm = cbbExitConfirm->isChecked();
    d.MaxTasks = static_cast<std::uint8_t>(edtMaxTasks->value());
    d.ThreadsPeerTask = static_cast<std::uint8_t>(edtThreadsPeerTask->value());
    d.FullSpeed = cbFullSpeed->isChecked();
    d.LRCPath = edtLRCPath->text().toStdString();
    d.SpeakerMode = rb_ZV2->isChecked();
    return d;
}

void Tfrm_Main::SaveSettings() {
    if (!SettingsFile_ || !SettingsFile_->LoadError().empty() || StampOf(SettingsPath()) != SettingsStamp_) {
        SettingsFile_ = std::make_unique<platform::TIniFile>(SettingsPath());
        FileHoldsList_ = false;
    }
    SaveError_.clear();
    // A file that is there but cannot be read is never written over: what it
    // holds (the playlist among it) is not known here.
    if (!SettingsFile_->LoadError().empty()) {
        SaveError_ = SettingsPath() + " cannot be read (" + SettingsFile_->LoadError() + "); it is left as it is";
        return;
    }
    const bool withMusic = !FileHoldsList_ || SavedPaths_ != PlayList_.PathsVersion();
    WriteSettings(*SettingsFile_, CollectSettings(withMusic), withMusic);
    std::string error;
    if (!SettingsFile_->Save(&error)) {
        SaveError_ = error;
        SettingsFile_.reset(); // the file is as it was: read it again for the next save
        return;
    }
    SettingsStamp_ = StampOf(SettingsPath());
    FileHoldsList_ = true;
    SavedPaths_ = PlayList_.PathsVersion();
}

bool Tfrm_Main::FormCloseQuery() {
    if (!AskOnClose_ || !(Shown_ ? cbbExitConfirm->isChecked() : Loaded_.QuitConfirm))
        return true;
    return Dialogs_->AskYesNo("确认退出？", "确认");
}

void Tfrm_Main::FormClose() {
    SaveSettings();
    if (SaveError_.empty())
        return;
    // The old file stays as it was; say so rather than lose the settings silently.
    const std::string text = "设置未能保存：" + SaveError_;
    std::fprintf(stderr, "zv2player: %s\n", text.c_str());
    if (AskOnClose_)
        Dialogs_->ShowError(text, "错误");
}

void Tfrm_Main::closeEvent(QCloseEvent* event) {
    if (Closed_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    Closed_ = true;
    event->accept();
    QApplication::quit();
}

void Tfrm_Main::CloseWithoutQuery() {
    AskOnClose_ = false;
    close();
}

void Tfrm_Main::BringToFront() {
    QWidget* target = QApplication::activeModalWidget();
    if (!target)
        target = this;
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->show();
    target->raise();
    target->activateWindow();
}

} // namespace zv2::app
