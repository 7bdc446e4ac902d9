// The main window's player panel, speaker settings, tray icon and hot keys:
// the widgets are bound here to playback control and the player facade.

#include "app/untFrmMain.h"

#include "audio/untAudioPlayer.h"
#include "controls/untImageButton.h"
#include "controls/untImageLists.h"
#include "controls/untSkinSlider.h"
#include "lyrics/untLRCDisplay.h"
#include "platform/FileSystem.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTimer>

namespace zv2::app {

namespace {

constexpr int kVolumeStep = 50;

// The player facade as playback control uses it.
class TPlayerAdapter final : public IPlaybackPlayer {
public:
    explicit TPlayerAdapter(audio::TAudioPlayer& player) : Player_(player) {}
    void Open(const std::string& path) override { Player_.Open(path); }
    void Play() override { Player_.Play(); }
    void Pause() override { Player_.Pause(); }
    void Stop() override { Player_.Stop(); }
    std::uint8_t State() const override { return Player_.State(); }
    std::uint32_t Position() const override { return Player_.Position(); }
    std::uint32_t Length() const override { return Player_.Length(); }
    void Seek(std::int64_t position) override { Player_.Seek(position); }
    void SetVolume(int volume) override { Player_.SetVolume(volume); }

private:
    audio::TAudioPlayer& Player_;
};

controls::TImageButton* MakeButton(QWidget* parent, const char* name, const char* hint, QRect place, const char* list,
                                   int image) {
    auto* button = new controls::TImageButton(parent);
    button->setObjectName(name);
    button->setToolTip(QString::fromUtf8(hint));
    button->setGeometry(place);
    button->SetTransparent(true);
    button->SetAlphaColor(Qt::white);
    button->SetImage(controls::ImageListImage(list, image));
    return button;
}

controls::TSkinSlider* MakeSlider(QWidget* parent, const char* name, const char* hint, QRect place, int min, int max,
                                  int position) {
    auto* slider = new controls::TSkinSlider(parent);
    slider->setObjectName(name);
    slider->setToolTip(QString::fromUtf8(hint));
    slider->setGeometry(place);
    slider->SetMin(min);
    slider->SetMax(max);
    slider->SetPosition(position);
    return slider;
}

} // namespace

// The panel and window as playback control drives them.
class Tfrm_Main::TPanel final : public IPlayerPanel {
public:
    explicit TPanel(Tfrm_Main& form) : F(form) {}
    void SetPositionRange(int min, int max) override {
        F.PositionSlider->SetMin(min);
        F.PositionSlider->SetMax(max);
    }
    int PositionMax() const override { return F.PositionSlider->Max(); }
    int SliderPosition() const override { return F.PositionSlider->Position(); }
    void SetSliderPosition(int position) override { F.PositionSlider->SetPosition(position); }
    bool LeftButtonDown() const override { return QGuiApplication::mouseButtons() & Qt::LeftButton; }
    void SetPlayButtonImage(int index) override { F.SetPlayButtonImage(index); }
    void SetPlayerStatus(const std::string& text) override {
        F.lblPlayerStatus->setText(QString::fromStdString(text));
        F.PlayerChanged();
    }
    void SetCurMusic(const std::string& text) override { F.lblCurMusic->setText(QString::fromStdString(text)); }
    void SetCaption(const std::string& text) override {
        F.setWindowTitle(QString::fromStdString(text));
        F.PlayerChanged();
    }
    void SetPlayerTimer(bool enabled) override {
        if (enabled)
            F.tmrPlayer->start();
        else
            F.tmrPlayer->stop();
    }
    bool RemoveFailedFiles() const override { return F.cbRemoveError->isChecked(); }
    bool FileExists(const std::string& path) const override { return platform::FileExists(path); }

private:
    Tfrm_Main& F;
};

void Tfrm_Main::CreatePlayerPanel() {
    PrevButton = MakeButton(pnlPlayer, "PrevButton", "上一首", {21, 18, 29, 29}, "imglstCtrlBtn", 0);
    PlayButton = MakeButton(pnlPlayer, "PlayButton", "播放/暂停", {49, 16, 34, 34}, "imglstPlayBtn", 0);
    NextButton = MakeButton(pnlPlayer, "NextButton", "下一首", {82, 18, 29, 29}, "imglstCtrlBtn", 1);
    PrevButton->OnClick = [this](auto&) {
        if (Playback_)
            Playback_->PlayPrevious();
    };
    PlayButton->OnClick = [this](auto&) {
        if (Playback_)
            Playback_->TogglePlay();
    };
    NextButton->OnClick = [this](auto&) {
        if (Playback_)
            Playback_->PlayNext();
    };

    BalanceSlider = MakeSlider(pnlPlayer, "BalanceSlider", "改变声道平衡", {160, 8, 67, 25}, -9999, 9999, 0);
    BalanceSlider->setEnabled(false);
    BalanceSlider->setVisible(false);
    VolumeSlider = MakeSlider(pnlPlayer, "VolumeSlider", "改变音量大小", {160, 20, 67, 25}, 0, 3000, 1500);
    VolumeSlider->OnChange = [this](controls::TSkinSlider& slider) {
        if (Playback_)
            Playback_->VolumeChanged(slider.Position());
        PlayerChanged();
    };
    PositionSlider = MakeSlider(pnlPlayer, "PositionSlider", "当前播放位置", {240, 33, 281, 25}, 0, 3000, 1500);
    PositionSlider->OnChange = [this](controls::TSkinSlider&) {
        if (Playback_)
            Playback_->PositionChanged();
    };

    tmrPlayer = new QTimer(this);
    tmrPlayer->setObjectName("tmrPlayer");
    tmrPlayer->setInterval(1000);
    connect(tmrPlayer, &QTimer::timeout, this, [this] {
        if (Playback_)
            Playback_->PlayerTimer();
    });

    Panel_ = std::make_unique<TPanel>(*this);
    Playback_ = std::make_unique<TPlaybackControl>(PlayList_, nullptr, *Panel_, *Lyrics_);
    OnPlayRequest = [this](int row, bool playNextOnFailure) {
        if (!Playback_->PlayEntry(row) && playNextOnFailure)
            Playback_->PlayNext();
    };
}

void Tfrm_Main::CreatePlayer() {
    Player_ = std::make_unique<audio::TAudioPlayer>(*Env_.Dispatcher, platform::CreateWaveOut(), Env_.LinkOptions);
    Player_->SetDeviceAddress(Loaded_.IP);
    edt_ReIP->setEditText(QString::fromStdString(Player_->DeviceAddress()));
    if (Player_->SpeakerMode() != Loaded_.SpeakerMode) // the output chosen last; the player starts on the speaker
        Player_->SetSpeakerMode(Loaded_.SpeakerMode);
    Player_->SetVolume(Loaded_.Volume);
    auto& engine = Player_->Engine();
    engine.OnDeviceFound = [this](const std::string& address) {
        // OnUDPFindDev: list the speaker and show the first that answered.
        edt_ReIP->addItem(QString::fromStdString(address));
        edt_ReIP->setCurrentIndex(0);
        SpeakerFound(address);
    };
    engine.OnStreamConnect = [this] { lbl_TCPConnect->setText(QString::fromUtf8("已连接")); };
    engine.OnStreamDisconnect = [this] { lbl_TCPConnect->setText(QString::fromUtf8("未连接")); };

    PlayerAdapter_ = std::make_unique<TPlayerAdapter>(*Player_);
    Playback_->SetPlayer(PlayerAdapter_.get());
    BindSpeakerSettings();
    SetupSpeakers();
}

void Tfrm_Main::BindSpeakerSettings() {
    connect(btn_SearchDev, &QPushButton::clicked, this, [this] {
        edt_ReIP->clear();
        edt_ReIP->setEditText(QString());
        Player_->SearchDevices();
    });
    connect(SpeedButton1, &QPushButton::clicked, this, [this] {
        lbl_TCPConnect->setText(QString::fromUtf8("未连接"));
        Player_->SetDeviceAddress(edt_ReIP->currentText().toStdString());
        MainSpeakerMoved();
    });
    auto outputChosen = [this] { Player_->SetSpeakerMode(rb_ZV2->isChecked()); };
    connect(rb_ZV2, &QRadioButton::clicked, this, outputChosen);
    connect(rb_PC, &QRadioButton::clicked, this, outputChosen);
}

void Tfrm_Main::SetPlayButtonImage(int index) {
    PlayButton->SetImage(controls::ImageListImage("imglstPlayBtn", std::clamp(index, 0, 1)));
}

void Tfrm_Main::CreateTrayMenu() {
    pmSystem = new QMenu(this);
    pmSystem->setObjectName("pmSystem");
    mniPlayCtrl = pmSystem->addAction(QString::fromUtf8("暂停播放[&P]"));
    mniPlayCtrl->setObjectName("mniPlayCtrl");
    mniShowForm = pmSystem->addAction(QString::fromUtf8("显示界面[&S]"));
    mniShowForm->setObjectName("mniShowForm");
    pmSystem->addSeparator();
    mniExit = pmSystem->addAction(QString::fromUtf8("退出系统[&X]"));
    mniExit->setObjectName("mniExit");
    connect(pmSystem, &QMenu::aboutToShow, this, [this] { pmSystemPopup(); });
    connect(mniPlayCtrl, &QAction::triggered, this, [this] { Playback_->TogglePlay(); });
    connect(mniShowForm, &QAction::triggered, this, [this] { ShowOrHide(); });
    connect(mniExit, &QAction::triggered, this, [this] { close(); });
}

void Tfrm_Main::CreateTray() {
    // AddTrayIcon. Qt docks the icon again by itself when the tray restarts.
    TrayIcon_ = new QSystemTrayIcon(this);
    TrayIcon_->setIcon(windowIcon());
    TrayIcon_->setToolTip("Tunewell");
    TrayIcon_->setContextMenu(pmSystem);
    connect(TrayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            ShowOrHide();
    });
    TrayIcon_->show();
}

void Tfrm_Main::pmSystemPopup() {
    mniShowForm->setText(QString::fromUtf8(isVisible() ? "隐藏界面[&S]" : "显示界面[&S]"));
    if (!Player_) {
        mniPlayCtrl->setEnabled(false);
        return;
    }
    mniPlayCtrl->setText(
        QString::fromUtf8(Player_->State() == audio::TAudioPlayer::Playing ? "暂停播放[&P]" : "继续播放[&P]"));
    mniPlayCtrl->setEnabled(true);
}

void Tfrm_Main::ShowOrHide() {
    if (isVisible()) {
        hide();
        return;
    }
    BringToFront();
}

void Tfrm_Main::HotKeyPressed(int index) {
    switch (index) {
    case hkPrevious:
        Playback_->PlayPrevious();
        break;
    case hkNext:
        Playback_->PlayNext();
        break;
    case hkVolumeUp:
        VolumeSlider->SetPosition(VolumeSlider->Position() + kVolumeStep);
        break;
    case hkVolumeDown:
        VolumeSlider->SetPosition(VolumeSlider->Position() - kVolumeStep);
        break;
    case hkTogglePlay:
        Playback_->TogglePlay();
        break;
    case hkShowHide:
        ShowOrHide();
        break;
    default:
        break;
    }
}

void Tfrm_Main::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Minimising hides the window in the tray. Without a tray (many Linux
    // desktops have none) it stays minimised, so it can never be lost.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon_ &&
        QSystemTrayIcon::isSystemTrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hide();
        });
    }
}

} // namespace zv2::app
