// The speaker list of the settings tab: one row per speaker with its check,
// address, own volume and state, bound to TSpeakerList (the decisions) and to
// the player's speaker set (the streams and their statistics).

#include "app/untFrmMain.h"

#include "app/untWindowTools.h"
#include "audio/untAudioPlayer.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace zv2::app {

namespace {

constexpr double kPcmBytesPerSecond = 176400;
constexpr int kRowHeight = 22;

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

void Tfrm_Main::BuildSpeakerList() {
    // In the speaker group, below its address, state and output rows: the
    // group grows downwards.
    auto* group = edt_ReIP->parentWidget();
    group->resize(group->width(), 270);
    lvSpeakers = new QTableWidget(0, SpeakerColumnCount, group);
    lvSpeakers->setObjectName("lvSpeakers");
    lvSpeakers->setToolTip(QString::fromUtf8("勾选的音响同时播放，各有自己的音量"));
    lvSpeakers->setHorizontalHeaderLabels({QString::fromUtf8("音响"), QString::fromUtf8("音量"),
                                           QString::fromUtf8("状态"), QString::fromUtf8("已发送(秒)"),
                                           QString::fromUtf8("丢弃块"), QString::fromUtf8("最大间隔(ms)")});
    lvSpeakers->verticalHeader()->setVisible(false);
    lvSpeakers->verticalHeader()->setDefaultSectionSize(kRowHeight);
    lvSpeakers->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {128, 70, 62, 78, 58};
    for (int column = 0; column < SpeakerColumnCount - 1; ++column)
        lvSpeakers->setColumnWidth(column, widths[column]);
    lvSpeakers->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvSpeakers->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSpeakers->setGeometry(8, 114, 514, 118);
    btnAddSpeaker = new QPushButton(QString::fromUtf8("添加音响"), group);
    btnAddSpeaker->setObjectName("btnAddSpeaker");
    btnAddSpeaker->setToolTip(QString::fromUtf8("把IP地址框中的音响加入列表"));
    btnAddSpeaker->setGeometry(8, 238, 80, 24);
    btnRemoveSpeaker = new QPushButton(QString::fromUtf8("删除音响"), group);
    btnRemoveSpeaker->setObjectName("btnRemoveSpeaker");
    btnRemoveSpeaker->setToolTip(QString::fromUtf8("从列表中删除选中的音响"));
    btnRemoveSpeaker->setGeometry(96, 238, 80, 24);

    // The tab is taller than its page now: its content scrolls, with a thin
    // bar so that the groups keep their places and widths.
    auto* content = new QWidget;
    content->setObjectName("tsSettingContent");
    for (QWidget* child : tsSetting->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setParent(content);
    content->setFixedSize(536, group->geometry().bottom() + 6);
    auto* scroll = new QScrollArea(tsSetting);
    scroll->setObjectName("sbSetting");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->verticalScrollBar()->setStyleSheet("QScrollBar:vertical { width: 6px; }");
    scroll->setWidget(content);
    auto* page = new QVBoxLayout(tsSetting);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(scroll);
}

void Tfrm_Main::SetupSpeakers() {
    Speakers_ = Loaded_.Speakers;
    Speakers_.SetMain(Player_->DeviceAddress());
    Player_->SetSpeakers(Speakers_.Rows());
    ShowSpeakerRows();
    Player_->Engine().Link().OnSpeakersChanged = [this] { ShowSpeakerStates(); };
    tmrSpeakers = new QTimer(this);
    tmrSpeakers->setObjectName("tmrSpeakers");
    tmrSpeakers->setInterval(1000);
    connect(tmrSpeakers, &QTimer::timeout, this, [this] { ShowSpeakerStates(); });
    tmrSpeakers->start();
    connect(btnAddSpeaker, &QPushButton::clicked, this, [this] {
        if (Speakers_.Add(S(edt_ReIP->currentText()), true))
            ApplySpeakers();
    });
    connect(btnRemoveSpeaker, &QPushButton::clicked, this, [this] {
        if (Speakers_.Remove(static_cast<std::size_t>(std::max(0, lvSpeakers->currentRow()))))
            ApplySpeakers();
    });
    connect(lvSpeakers, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (ShowingSpeakers_ || item->column() != SpeakerColumnAddress)
            return;
        if (Speakers_.SetOn(static_cast<std::size_t>(item->row()), item->checkState() == Qt::Checked))
            Player_->SetSpeakers(Speakers_.Rows());
    });
}

void Tfrm_Main::SpeakerFound(const std::string& address) {
    // A speaker found is listed, not yet playing: the user checks the ones to play in.
    if (Player_ && Speakers_.Add(address, false))
        ApplySpeakers();
}

void Tfrm_Main::MainSpeakerMoved() {
    Speakers_.SetMain(Player_->DeviceAddress());
    ApplySpeakers();
}

void Tfrm_Main::ApplySpeakers() {
    Player_->SetSpeakers(Speakers_.Rows());
    ShowSpeakerRows();
}

void Tfrm_Main::ShowSpeakerRows() {
    ShowingSpeakers_ = true;
    const auto& rows = Speakers_.Rows();
    lvSpeakers->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto& row = rows[static_cast<std::size_t>(r)];
        auto* address = ReadOnlyItem(Q(row.Address));
        address->setFlags(address->flags() | Qt::ItemIsUserCheckable);
        address->setCheckState(row.On ? Qt::Checked : Qt::Unchecked);
        lvSpeakers->setItem(r, SpeakerColumnAddress, address);
        auto* volume = new QSpinBox;
        volume->setRange(0, speaker::MaxOwnVolume);
        volume->setSingleStep(100);
        volume->setValue(row.Volume);
        volume->setKeyboardTracking(false);
        volume->setToolTip(QString::fromUtf8("本音响的音量（3000为主音量）"));
        connect(volume, &QSpinBox::valueChanged, this, [this, r](int value) {
            if (Speakers_.SetVolume(static_cast<std::size_t>(r), value))
                Player_->SetSpeakers(Speakers_.Rows());
        });
        lvSpeakers->setCellWidget(r, SpeakerColumnVolume, volume);
        for (int column = SpeakerColumnState; column < SpeakerColumnCount; ++column)
            lvSpeakers->setItem(r, column, ReadOnlyItem(QString()));
    }
    ShowingSpeakers_ = false;
    ShowSpeakerStates();
}

void Tfrm_Main::ShowSpeakerStates() {
    if (!Player_)
        return;
    const auto states = Player_->Speakers();
    const int count = std::min(lvSpeakers->rowCount(), static_cast<int>(states.size()));
    for (int r = 0; r < count; ++r) {
        const auto& state = states[static_cast<std::size_t>(r)];
        const QString texts[] = {
            QString::fromUtf8(state.Connected ? "已连接" : "未连接"),
            QString::number(static_cast<double>(state.Stats.BytesSent) / kPcmBytesPerSecond, 'f', 1),
            QString::number(state.Stats.BlocksDropped), QString::number(state.Stats.LargestGapMs)};
        for (int i = 0; i < 4; ++i)
            lvSpeakers->item(r, SpeakerColumnState + i)->setText(texts[i]);
    }
}

} // namespace zv2::app
