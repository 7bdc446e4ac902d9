// The main window's search and Top-N tabs: the search box with its history,
// the search button, the two lists with their pop-up menus, bound to the
// search and chart workers and to the decisions of untSearchTab.h.

#include "app/untFrmMain.h"

#include "app/untSearchTab.h"
#include "app/untWindowTools.h"
#include "catalogue/untSearchThread.h"
#include "catalogue/untSearchTopNThread.h"
#include "controls/untImageButton.h"
#include "platform/Dispatcher.h"

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTreeView>

namespace zv2::app {

namespace {

// Passes the key presses and focus changes of a control on, leaving the
// events to the control as well.
class TSearchBoxEvents final : public QObject {
public:
    TSearchBoxEvents(QObject* box, std::function<void(int key)> onKey, std::function<void(bool)> onFocus)
        : QObject(box), Box_(box), OnKey_(std::move(onKey)), OnFocus_(std::move(onFocus)) {
        Box_->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Pointers only: a control being destroyed still sends events here.
        if (watched == Box_ && event->type() == QEvent::KeyPress)
            OnKey_(static_cast<QKeyEvent*>(event)->key());
        else if (watched == Box_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
            OnFocus_(event->type() == QEvent::FocusIn);
        return false;
    }

private:
    QObject* Box_;
    std::function<void(int key)> OnKey_;
    std::function<void(bool)> OnFocus_;
};

} // namespace

void Tfrm_Main::SetupSearch() {
    lvMusicLst->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMusicList->setSelectionMode(QAbstractItemView::SingleSelection);
    SearchButton->OnClick = [this](auto&) { StartStopSearch(); };
    connect(cbbContent, &QComboBox::currentIndexChanged, this, [this] { cbbContentChange(); });
    connect(cbbContent, &QComboBox::editTextChanged, this, [this] { cbbContentChange(); });

    pmSearch = new QMenu(lvMusicLst);
    pmSearch->setObjectName("pmSearch");
    mniDownLoad = AddMenuItem(pmSearch, "mniDownLoad", "下载歌曲[&D]");
    mniStopSearch = AddMenuItem(pmSearch, "mniStopSearch", "停止搜索[&S]");
    pmSearch->addSeparator();
    mniCopyURL = AddMenuItem(pmSearch, "mniCopyURL", "复制网址[&U]");
    mniSearchArtist = AddMenuItem(pmSearch, "mniSearchArtist", "搜索歌手[&A]");
    mniSearchAlum = AddMenuItem(pmSearch, "mniSearchAlum", "搜索专辑[&L]");
    pmSearch->addSeparator();
    nmiClearSearchList = AddMenuItem(pmSearch, "nmiClearSearchList", "清除记录[&C]");
    connect(pmSearch, &QMenu::aboutToShow, this, [this] { pmSearchPopup(); });
    connect(mniStopSearch, &QAction::triggered, this, [this] { StopSearch(); });
    connect(mniCopyURL, &QAction::triggered, this, [this] {
        if (const int row = FirstSelectedRow(*lvMusicLst); row >= 0)
            QGuiApplication::clipboard()->setText(Q(SearchRows_->Row(row).SongLink));
    });
    connect(mniSearchArtist, &QAction::triggered, this, [this] {
        if (const int row = FirstSelectedRow(*lvMusicLst); row >= 0)
            SearchFor(SearchRows_->Row(row).Artist);
    });
    connect(mniSearchAlum, &QAction::triggered, this, [this] {
        if (const int row = FirstSelectedRow(*lvMusicLst); row >= 0)
            SearchFor(SearchRows_->Row(row).Album);
    });
    connect(nmiClearSearchList, &QAction::triggered, this, [this] { SearchRows_->Clear(); });
    lvMusicLst->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvMusicLst, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmSearch->popup(lvMusicLst->viewport()->mapToGlobal(at)); });
    new TSearchBoxEvents(
        cbbContent,
        [this](int key) {
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                StartStopSearch();
        },
        [this](bool focused) { SetSearchBoxFocused(focused); });

    pmTopN = new QMenu(lvMusicList);
    pmTopN->setObjectName("pmTopN");
    mniSearchSong = AddMenuItem(pmTopN, "mniSearchSong", "搜索歌曲[&M]");
    mniSearchSinger = AddMenuItem(pmTopN, "mniSearchSinger", "搜索歌手[&S]");
    connect(pmTopN, &QMenu::aboutToShow, this, [this] { pmTopNPopup(); });
    connect(mniSearchSong, &QAction::triggered, this, [this] { SearchChartRow(TChartSongsModel::ColSong); });
    connect(mniSearchSinger, &QAction::triggered, this, [this] { SearchChartRow(TChartSongsModel::ColArtist); });
    lvMusicList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvMusicList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmTopN->popup(lvMusicList->viewport()->mapToGlobal(at)); });
    connect(lvMusicList, &QAbstractItemView::doubleClicked, this,
            [this] { SearchChartRow(TChartSongsModel::ColSong); });
    connect(pgcMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (pgcMain->widget(index) == tsTopN)
            tsTopNShow();
    });
    connect(lbTopNList, &QListWidget::itemClicked, this, [this] { lbTopNListClick(); });
}

void Tfrm_Main::StartTopN() {
    catalogue::TTopNTargets targets;
    targets.OnCharts = [this](const std::vector<catalogue::TChartEntry>& charts) { AddCharts(charts); };
    targets.OnSongs = [this](const std::vector<catalogue::TChartSongRow>& rows) { ChartSongs_->Show(rows); };
    targets.OnDone = [this] { TopNListsDone(); };
    TopNThread_ = std::make_unique<catalogue::TSearchTopNThread>(*Env_.Dispatcher, Env_.MusicSiteHost, targets);
}

void Tfrm_Main::StopSearchTabs() {
    SearchThread_.reset();
    TopNThread_.reset();
}

void Tfrm_Main::StartStopSearch() {
    if (SearchThread_) {
        StopSearch();
        return;
    }
    const std::string key = S(cbbContent->currentText());
    if (IsBlankKey(key))
        return;
    SearchRows_->Clear();
    const std::string url = SearchAddress(SearchURL, key, std::max(0, rgbMusicFormatItems->checkedId()));
    SearchThread_ = std::make_unique<catalogue::TSearchThread>(
        *Env_.Dispatcher, url, [this](const catalogue::TSearchRow& row) { SearchRows_->Append(row); },
        [this] { SearchFinished(); });
    SearchButton->SetCaption(QString::fromUtf8(kStopSearchCaption));
    setWindowTitle(Q(SearchingCaption(key)));
    std::vector<std::string> items;
    for (int i = 0; i < cbbContent->count(); ++i)
        items.push_back(S(cbbContent->itemText(i)));
    if (HistoryTakesKey(items, key)) {
        const QSignalBlocker quiet(cbbContent);
        cbbContent->insertItem(0, Q(key));
        cbbContent->setCurrentIndex(-1);
        cbbContent->setEditText(Q(key));
    }
}

void Tfrm_Main::StopSearch() {
    if (SearchThread_)
        SearchThread_->Stop(); // SearchFinished follows when the worker has ended
}

void Tfrm_Main::SearchFinished() {
    SearchButton->SetCaption(QString::fromUtf8(kStartSearchCaption));
    setWindowTitle(Q(SearchFinishedCaption(SearchRows_->rowCount())));
    SearchThread_.reset();
}

void Tfrm_Main::cbbContentChange() {
    if (!ChoosesClearHistory(cbbContent->currentIndex(), cbbContent->count(), S(cbbContent->currentText())))
        return;
    const QSignalBlocker quiet(cbbContent);
    cbbContent->clear();
    cbbContent->addItem(QString::fromUtf8(kClearHistoryItem));
    cbbContent->setCurrentIndex(-1);
    cbbContent->setEditText(QString());
}

void Tfrm_Main::SetSearchBoxFocused(bool focused) {
    QFont font = cbbContent->font();
    font.setItalic(!focused);
    cbbContent->setFont(font);
    QPalette palette = cbbContent->palette();
    palette.setColor(QPalette::Text, focused ? QColor(0, 0, 0) : QColor(192, 192, 192));
    cbbContent->setPalette(palette);
}

void Tfrm_Main::SearchFor(const std::string& key) {
    if (IsBlankKey(key))
        return;
    StopSearch();
    cbbContent->setEditText(Q(TrimmedKey(key)));
    StartStopSearch();
}

void Tfrm_Main::pmSearchPopup() {
    TSearchRowView view;
    if (const int row = FirstSelectedRow(*lvMusicLst); row >= 0) {
        const catalogue::TSearchRow& song = SearchRows_->Row(row);
        view.Selected = true;
        view.Artist = song.Artist;
        view.Album = song.Album;
        view.SongLink = song.SongLink;
    }
    const TSearchMenuState state = SearchMenuState(Searching(), view);
    mniDownLoad->setEnabled(state.DownLoad);
    mniStopSearch->setEnabled(state.StopSearch);
    mniCopyURL->setEnabled(state.CopyURL);
    mniSearchArtist->setEnabled(state.SearchArtist);
    mniSearchAlum->setEnabled(state.SearchAlum);
    nmiClearSearchList->setEnabled(state.ClearSearchList);
}

void Tfrm_Main::tsTopNShow() {
    if (TopNThread_ && lbTopNList->count() == 0)
        TopNThread_->RequestList("", "", 0);
}

void Tfrm_Main::lbTopNListClick() {
    if (!TopNThread_ || lbTopNList->count() == 0)
        return;
    if (TopNThread_->Busy()) {
        Dialogs_->ShowInfo(kTopNBusyText, kTopNBusyCaption);
        return;
    }
    const auto selected = lbTopNList->selectedItems();
    if (selected.isEmpty())
        return;
    const QVariant link = selected.front()->data(Qt::UserRole);
    if (!link.isValid())
        return;
    TopNThread_->RequestList(S(selected.front()->text()), S(link.toString()), 1);
    lbTopNList->setEnabled(false);
}

void Tfrm_Main::AddCharts(const std::vector<catalogue::TChartEntry>& charts) {
    for (const auto& chart : charts) {
        auto* item = new QListWidgetItem(Q(chart.Name), lbTopNList);
        item->setData(Qt::UserRole, Q(chart.Link));
    }
}

void Tfrm_Main::TopNListsDone() {
    lbTopNList->setEnabled(true);
}

void Tfrm_Main::pmTopNPopup() {
    const int row = FirstSelectedRow(*lvMusicList);
    const TTopNMenuState state = TopNMenuState(row >= 0, row >= 0 ? ChartSongs_->Row(row).Artist : "");
    mniSearchSong->setEnabled(state.SearchSong);
    mniSearchSinger->setEnabled(state.SearchSinger);
}

void Tfrm_Main::SearchChartRow(int column) {
    const int row = FirstSelectedRow(*lvMusicList);
    if (row < 0)
        return;
    cbbContent->setEditText(ChartSongs_->Text(row, column));
    StartStopSearch();
    pgcMain->setCurrentWidget(tsSearch);
}

} // namespace zv2::app
