// The search and Top-N tabs of the window against the local music site (and a
// site that hangs) on loopback: what a user types and clicks, and what the
// lists, captions and menus show.

#include "app/untFrmMain.h"

#include "../catalogue/FixtureSite.h"
#include "FakeDialogs.h"
#include "QtTestApp.h"
#include "ReportRows.h"
#include "TempDir.h"
#include "app/untSettings.h"
#include "catalogue/untSearchTopNThread.h"
#include "controls/untImageButton.h"
#include "tools/LocalMusicSite.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>

using namespace zv2;
using namespace zv2::test;

namespace {

struct TSearchWindow {
    TSearchWindow(const std::string& folder, const std::string& site) {
        std::ofstream(folder + "Download.ini") << "[ZV2Address]\nIP=127.0.0.2\n[History]\nAutoPlay=0\n"
                                                  "[SearchList]\nSearchCount=1\nSearchItem0=old key\n";
        app::TFormEnvironment env;
        env.ProgramFolder = folder;
        env.MusicSiteHost = site;
        env.Dispatcher = &Ui;
        env.LinkOptions.LocalPort = 0;
        auto dialogs = std::make_unique<TFakeDialogs>();
        Dialogs = dialogs.get();
        env.Dialogs = std::move(dialogs);
        Form = std::make_unique<app::Tfrm_Main>(std::move(env));
        Form->FormShow();
    }
    app::Tfrm_Main& F() { return *Form; }

    // Types `key` into the search box and presses Enter.
    void Search(const QString& key) {
        F().cbbContent->setEditText(key);
        QTest::keyClick(F().cbbContent, Qt::Key_Return);
    }
    bool WaitForSearchEnd() {
        return PumpUntil(Ui, [&] { return !F().Searching(); });
    }
    QStringList History() const {
        QStringList items;
        for (int i = 0; i < Form->cbbContent->count(); ++i)
            items << Form->cbbContent->itemText(i);
        return items;
    }

    platform::TQueueDispatcher Ui;
    TFakeDialogs* Dialogs = nullptr;
    std::unique_ptr<app::Tfrm_Main> Form;
};

// The local music site: songs 1 to 7 "Artist N - 光辉岁月 N", 8 to 31 "Band -
// Tune 01" to "Tune 24", 32 "歌手 - 歌".
TLocalMusicSite::TFiles SiteSongs() {
    TLocalMusicSite::TFiles songs;
    for (int i = 1; i <= 7; ++i)
        songs["Artist " + std::to_string(i) + " - 光辉岁月 " + std::to_string(i) + ".mp3"] = "ID3 " + std::to_string(i);
    for (int i = 1; i <= 24; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Band - Tune %02d.mp3", i);
        songs[name] = "ID3 not really a song " + std::to_string(i);
    }
    songs["歌手 - 歌.mp3"] = "another";
    return songs;
}

struct SearchTab : ::testing::Test {
    TTempDir Home;
    const TLocalMusicSite Site{SiteSongs()};
    std::string Folder() const { return Home.Path() + "/"; }
    // A song's address in the search list: the site followed by its download page's "downlink=" value.
    QString Address(int id) const {
        return QString::fromStdString(Site.Site() + site::DownloadLinkValue(Site.Song(id), Site.Site()));
    }
};

TEST_F(SearchTab, EnterSearchesTheTypedKeyAndListsTheRowsWithTheirAddresses) {
    TSearchWindow w(Folder(), Site.Site());
    w.Search(" 光辉 岁月");
    EXPECT_TRUE(w.F().Searching());
    EXPECT_EQ(w.F().SearchButton->Caption(), QString::fromUtf8("停止搜索"));
    EXPECT_EQ(w.F().windowTitle(), QString::fromUtf8("正在搜索: 光辉 岁月"));
    ASSERT_TRUE(w.WaitForSearchEnd());

    EXPECT_EQ(Site.Requests()[0], "GET /search?key=+%e5%85%89%e8%be%89+%e5%b2%81%e6%9c%88 HTTP/1.1");
    EXPECT_EQ(w.F().windowTitle(), QString::fromUtf8("搜索完成，共找到记录条数：7"));
    EXPECT_EQ(w.F().SearchButton->Caption(), QString::fromUtf8("开始搜索"));
    QTreeView* list = w.F().lvMusicLst;
    ASSERT_EQ(RowCount(list), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Cell(list, i, 0), QString::number(i + 1));
        EXPECT_EQ(Cell(list, i, 1), QString::fromUtf8("光辉岁月 %1").arg(i + 1));
        EXPECT_EQ(Cell(list, i, 2), QString("Artist %1").arg(i + 1));
        EXPECT_EQ(Cell(list, i, 5), "0");
        EXPECT_EQ(Cell(list, i, 7), Address(i + 1));
    }
    EXPECT_EQ(w.History(),
              QStringList({QString::fromUtf8(" 光辉 岁月"), "old key", QString::fromUtf8(app::kClearHistoryItem)}))
        << "the key is kept untrimmed, newest first";

    w.Search("old key");
    ASSERT_TRUE(w.WaitForSearchEnd());
    EXPECT_EQ(w.History().size(), 3) << "a key already in the history stays where it is";
    EXPECT_EQ(w.History()[1], "old key");
}

TEST_F(SearchTab, TheFormatFilterAndABlankKey) {
    TSearchWindow w(Folder(), Site.Site());
    w.Search("   ");
    EXPECT_FALSE(w.F().Searching()) << "a blank key starts nothing";
    w.F().rgbMusicFormatItems->button(3)->setChecked(true); // "WMA "
    w.Search("tune");
    ASSERT_TRUE(w.WaitForSearchEnd());
    EXPECT_EQ(Site.Requests().at(0), "GET /search?key=tune&lm=2 HTTP/1.1");
    EXPECT_EQ(w.F().windowTitle(), QString::fromUtf8("搜索完成，共找到记录条数：0")) << "the site has MP3 files only";
}

TEST_F(SearchTab, EnterWhileSearchingStopsAndTheButtonFollowsTheWorkersEnd) {
    TFixtureSite site(NumberedSongs(7));
    site.HangOn = "//song/103/download";
    TSearchWindow w(Folder(), site.Site());
    w.Search("beyond");
    ASSERT_TRUE(PumpUntil(w.Ui, [&] { return site.RequestsFor("//song/103/download") == 1; }));
    w.F().pmSearchPopup();
    EXPECT_TRUE(w.F().mniStopSearch->isEnabled());
    QTest::keyClick(w.F().cbbContent, Qt::Key_Return);
    EXPECT_EQ(w.F().SearchButton->Caption(), QString::fromUtf8("停止搜索")) << "until the worker has ended";
    ASSERT_TRUE(w.WaitForSearchEnd());
    EXPECT_EQ(w.F().SearchButton->Caption(), QString::fromUtf8("开始搜索"));
    ASSERT_EQ(RowCount(w.F().lvMusicLst), 3);
    EXPECT_EQ(Cell(w.F().lvMusicLst, 2, 7), QString::fromUtf8("未获取链接！"));
}

TEST_F(SearchTab, ClosingTheWindowDuringASearchEndsIt) {
    TFixtureSite site(NumberedSongs(7));
    site.HangOn = "//song/102/download";
    TSearchWindow w(Folder(), site.Site());
    w.Search("beyond");
    ASSERT_TRUE(PumpUntil(w.Ui, [&] { return site.RequestsFor("//song/102/download") == 1; }));
    w.Form.reset(); // the hanging fetch has no time limit that would end it in this test's run
    EXPECT_EQ(site.RequestsFor("/download"), 2);
}

TEST_F(SearchTab, TheMenuCopiesTheAddressSearchesTheArtistAndClearsTheList) {
    TSearchWindow w(Folder(), Site.Site());
    w.Search("光辉");
    ASSERT_TRUE(w.WaitForSearchEnd());
    QTreeView* list = w.F().lvMusicLst;

    w.F().pmSearchPopup();
    EXPECT_FALSE(w.F().mniDownLoad->isEnabled()) << "no row selected";
    EXPECT_FALSE(w.F().mniCopyURL->isEnabled());
    EXPECT_TRUE(w.F().nmiClearSearchList->isEnabled());
    SelectRow(list, 1);
    w.F().pmSearchPopup();
    EXPECT_TRUE(w.F().mniDownLoad->isEnabled());
    EXPECT_TRUE(w.F().mniCopyURL->isEnabled());
    EXPECT_TRUE(w.F().mniSearchArtist->isEnabled());
    EXPECT_FALSE(w.F().mniSearchAlum->isEnabled()) << "scraped rows have no album";
    EXPECT_FALSE(w.F().mniStopSearch->isEnabled());
    EXPECT_EQ(w.F().mniDownLoad->text(), QString::fromUtf8("下载歌曲[&D]"));

    w.F().mniDownLoad->trigger(); // the selected row joins the download list
    ASSERT_EQ(RowCount(w.F().lvDownload), 1);
    EXPECT_EQ(Cell(w.F().lvDownload, 0, 1), Cell(list, 1, 1) + ".mp3");
    EXPECT_EQ(RowImage(list, 1), 1) << "the row is marked as taken";
    w.F().mniCopyURL->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), Address(2));

    w.F().mniSearchArtist->trigger();
    EXPECT_EQ(w.F().cbbContent->currentText(), "Artist 2");
    ASSERT_TRUE(w.WaitForSearchEnd());
    EXPECT_EQ(Site.RequestsFor("GET /search?key=Artist+2 "), 1);
    ASSERT_EQ(RowCount(list), 1) << "the rows of the new search";
    EXPECT_EQ(Cell(list, 0, 2), "Artist 2");

    SelectRow(list, 0);
    w.F().nmiClearSearchList->trigger();
    EXPECT_EQ(RowCount(list), 0);
}

TEST_F(SearchTab, TheSearchBoxIsBlackWhileItHasTheFocusAndSilverAndItalicOtherwise) {
    TSearchWindow w(Folder(), "127.0.0.1:9");
    QComboBox* box = w.F().cbbContent;
    const QColor silver(192, 192, 192), black(0, 0, 0);
    EXPECT_EQ(box->palette().color(QPalette::Text), silver);
    EXPECT_TRUE(box->font().italic());
    QFocusEvent in(QEvent::FocusIn);
    QCoreApplication::sendEvent(box, &in);
    EXPECT_EQ(box->palette().color(QPalette::Text), black);
    EXPECT_FALSE(box->font().italic());
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(box, &out);
    EXPECT_EQ(box->palette().color(QPalette::Text), silver);
    EXPECT_TRUE(box->font().italic());
}

TEST_F(SearchTab, ChoosingTheClearEntryEmptiesTheHistory) {
    TSearchWindow w(Folder(), "127.0.0.1:9");
    QComboBox* box = w.F().cbbContent;
    ASSERT_EQ(w.History(), QStringList({"old key", QString::fromUtf8(app::kClearHistoryItem)}));
    box->setCurrentIndex(1);
    EXPECT_EQ(w.History(), QStringList({QString::fromUtf8(app::kClearHistoryItem)}));
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->currentText(), "");
}

TEST_F(SearchTab, TopNShowsTheChartsOnFirstShowAndAChartsSongsOnAClick) {
    const auto& names = site::TSiteLibrary::Charts();
    TSearchWindow w(Folder(), Site.Site());
    QListWidget* charts = w.F().lbTopNList;
    w.F().pgcMain->setCurrentWidget(w.F().tsTopN);
    ASSERT_TRUE(PumpUntil(w.Ui, [&] { return charts->count() > 0; }));
    ASSERT_EQ(charts->count(), 17);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(charts->item(i)->text().toStdString(), names[i].Name);

    charts->item(1)->setSelected(true);
    emit charts->itemClicked(charts->item(1));
    EXPECT_FALSE(charts->isEnabled()) << "until the songs have arrived";
    emit charts->itemClicked(charts->item(1));
    ASSERT_EQ(w.Dialogs->Shown.size(), 1u) << "a click while busy is refused";
    EXPECT_EQ(w.Dialogs->Shown[0].Text, "正在获取其他列表中，请稍候。");
    EXPECT_EQ(w.Dialogs->Shown[0].Caption, "提示");
    ASSERT_TRUE(PumpUntil(w.Ui, [&] { return charts->isEnabled(); }));
    const auto listed = Site.Library().ChartSongs(names[1], 50);
    QTreeView* songs = w.F().lvMusicList;
    ASSERT_EQ(RowCount(songs), 50);
    EXPECT_EQ(Cell(songs, 49, 0), "50");
    EXPECT_EQ(Cell(songs, 0, 1).toStdString(), listed[0]->Title);
    EXPECT_EQ(Cell(songs, 0, 2).toStdString(), listed[0]->Artist);

    w.F().pgcMain->setCurrentWidget(w.F().tsSearch);
    w.F().pgcMain->setCurrentWidget(w.F().tsTopN);
    EXPECT_EQ(Site.RequestsFor("GET //top"), 2) << "the chart list is asked for once, then one chart";

    w.F().pmTopNPopup();
    EXPECT_FALSE(w.F().mniSearchSong->isEnabled());
    SelectRow(songs, 4);
    w.F().pmTopNPopup();
    EXPECT_TRUE(w.F().mniSearchSong->isEnabled());
    EXPECT_TRUE(w.F().mniSearchSinger->isEnabled());
    w.F().mniSearchSinger->trigger();
    EXPECT_EQ(w.F().pgcMain->currentWidget(), w.F().tsSearch);
    EXPECT_EQ(w.F().cbbContent->currentText().toStdString(), listed[4]->Artist);
    EXPECT_TRUE(w.F().Searching());
    ASSERT_TRUE(w.WaitForSearchEnd());
}

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

TEST_F(SearchTab, ASearchListsTwentyRowsWithTheirFileAddresses) {
    TSearchWindow w(Folder(), Site.Site());
    const double cpuBefore = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    w.Search("tune");
    ASSERT_TRUE(PumpUntil(w.Ui, [&] { return RowCount(w.F().lvMusicLst) == 20; }));
    const auto lastRow = std::chrono::steady_clock::now();
    const double cpu = CpuMs() - cpuBefore;
    ASSERT_TRUE(w.WaitForSearchEnd());
    // The figures of a 20-row search against the local site (printed, not judged).
    std::printf("[ measure  ] Enter to the 20th row: %.1f ms; CPU of the program meanwhile: %.1f ms\n",
                std::chrono::duration<double, std::milli>(lastRow - start).count(), cpu);

    EXPECT_EQ(w.F().windowTitle(), QString::fromUtf8("搜索完成，共找到记录条数：20"));
    QTreeView* list = w.F().lvMusicLst;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(Cell(list, i, 0), QString::number(i + 1));
        EXPECT_EQ(Cell(list, i, 1), QString("Tune %1").arg(i + 1, 2, 10, QChar('0')));
        EXPECT_EQ(Cell(list, i, 2), "Band");
        EXPECT_EQ(Cell(list, i, 7), Address(8 + i));
    }
    w.Search("歌手");
    ASSERT_TRUE(w.WaitForSearchEnd());
    ASSERT_EQ(RowCount(list), 1);
    EXPECT_EQ(Cell(list, 0, 1), QString::fromUtf8("歌"));
}

TEST_F(SearchTab, ClosingTheWindowDuringASearchEndsItsWorker) {
    TSearchWindow w(Folder(), Site.Site());
    w.Search("tune");
    ASSERT_TRUE(w.F().Searching());
    w.F().close();
    w.Form.reset(); // the worker waits for a row delivery nobody will run: the window lets it go
    SUCCEED();
}

} // namespace
