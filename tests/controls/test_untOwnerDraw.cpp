#include "controls/untOwnerDraw.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <string>

using namespace zv2::controls;

namespace {

const QColor EvenRow(249, 248, 247), OddRow(238, 238, 238), SelectedRow(207, 224, 249);
const QColor Green(0, 128, 0), DarkRed(160, 0, 0), NearBlack(17, 17, 17);
// A solid glyph shows its colour unblended.
const QString Block = QString::fromUtf8("\u2588\u2588");

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// The columns of `area` in which some pixel has the colour `colour`: first and last.
std::pair<int, int> ColumnsOf(const QImage& image, const QRect& area, const QColor& colour) {
    int first = -1, last = -1;
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (At(image, x, y) == colour) {
                first = first < 0 ? x : first;
                last = x;
            }
    return {first, last};
}

// A report view like the window's: an image column, a left-aligned and a
// centred column, rows with the image indexes 0, 1, 2, 3.
struct TReportView {
    QTreeWidget View;
    TReportView() {
        View.setHeaderLabels({"image", "left", "centred"});
        View.headerItem()->setTextAlignment(2, Qt::AlignCenter);
        View.setColumnWidth(0, 40);
        View.setColumnWidth(1, 100);
        View.setColumnWidth(2, 100);
        View.setRootIsDecorated(false);
        View.setItemDelegate(new TListRowDelegate("imglstPlayList", &View));
        View.setSelectionMode(QAbstractItemView::ExtendedSelection);
        View.resize(360, 200);
        for (int image = 0; image < 4; ++image) {
            auto* row = new QTreeWidgetItem(&View, {"", Block, Block});
            row->setData(0, kRowImageRole, image);
        }
        View.show();
    }
    QImage Grab() {
        QApplication::processEvents();
        return View.viewport()->grab().toImage();
    }
    QRect Cell(int row, int column) { return View.visualRect(View.model()->index(row, column)); }
};

} // namespace

TEST(ListRowDelegate, RowsAlternateTwoGreysAcrossTheFullWidthAndASelectedRowIsBlue) {
    TReportView v;
    v.View.topLevelItem(2)->setSelected(true);
    const QImage image = v.Grab();
    const std::array<QColor, 4> expected = {EvenRow, OddRow, SelectedRow, OddRow};
    const int right = image.width() - 3; // beyond the last column's text
    for (int row = 0; row < 4; ++row) {
        const QRect cell = v.Cell(row, 1);
        const int y = cell.center().y();
        EXPECT_EQ(At(image, right, y), expected[row]) << row;
        EXPECT_EQ(At(image, cell.left() + 2, y), expected[row]) << row;            // before the text
        EXPECT_EQ(At(image, v.Cell(row, 0).left() + 30, y), expected[row]) << row; // after the image
    }
}

TEST(ListRowDelegate, TextColourFollowsTheRowImage) {
    TReportView v;
    const QImage image = v.Grab();
    const std::array<QColor, 4> expected = {NearBlack, Green, DarkRed, NearBlack};
    const std::array<QColor, 3> colours = {NearBlack, Green, DarkRed};
    for (int row = 0; row < 4; ++row) {
        for (int column : {1, 2}) {
            const QRect cell = v.Cell(row, column);
            for (const QColor& colour : colours) {
                const bool found = ColumnsOf(image, cell, colour).first >= 0;
                EXPECT_EQ(found, colour == expected[row]) << row << "," << column << " " << colour.name().toStdString();
            }
        }
    }
}

TEST(ListRowDelegate, TextsStartFivePixelsInOrSitCentredAsTheHeaderSays) {
    TReportView v;
    const QImage image = v.Grab();
    const QRect left = v.Cell(0, 1), centred = v.Cell(0, 2);
    const auto [leftFirst, leftLast] = ColumnsOf(image, left, NearBlack);
    EXPECT_GE(leftFirst, left.left() + 5);
    EXPECT_LE(leftFirst, left.left() + 7);
    const auto [first, last] = ColumnsOf(image, centred, NearBlack);
    ASSERT_GE(first, 0);
    // Centred between the column's left edge moved 5 pixels right and its right edge.
    const double middle = (centred.left() + 5 + centred.right()) / 2.0;
    EXPECT_NEAR((first + last) / 2.0, middle, 2.0);
    EXPECT_NEAR(leftLast - leftFirst, last - first, 1); // the same text
}

TEST(ListRowDelegate, TheRowImageSitsFivePixelsInWithItsWhiteTransparent) {
    TReportView v;
    const QImage image = v.Grab();
    const QRect cell = v.Cell(1, 0); // image 1 of imglstPlayList: the green "playing" disc
    const QColor disc = At(image, cell.left() + 5 + 4, cell.top() + 8);
    EXPECT_GT(disc.green(), disc.red() + 40);
    EXPECT_EQ(At(image, cell.left() + 5, cell.top()), OddRow); // the image's white corner
    EXPECT_EQ(At(image, cell.left() + 2, cell.top() + 8), OddRow);
}

TEST(ChartListDelegate, ItemsAreTwentyPixelsHighWithTheirColoursLinesAndImage) {
    QListWidget list;
    list.setItemDelegate(new TChartListDelegate(&list));
    list.resize(150, 120);
    for (int i = 0; i < 4; ++i)
        list.addItem(Block);
    list.item(1)->setSelected(true);
    list.show();
    QApplication::processEvents();
    const QImage image = list.viewport()->grab().toImage();
    struct {
        QColor Fill, Text;
    } const expected[] = {{QColor(233, 232, 231), QColor(51, 51, 51)},
                          {QColor(126, 236, 0), QColor(51, 102, 153)},
                          {QColor(233, 232, 231), QColor(51, 51, 51)},
                          {QColor(249, 248, 247), QColor(17, 17, 17)}};
    for (int i = 0; i < 4; ++i) {
        const QRect item = list.visualItemRect(list.item(i));
        EXPECT_EQ(item.height(), 20) << i;
        EXPECT_EQ(At(image, item.right() - 3, item.center().y()), expected[i].Fill) << i;
        EXPECT_EQ(At(image, item.right() - 3, item.top()), QColor(187, 187, 187)) << i; // the line at the top
        const auto [first, last] = ColumnsOf(image, item, expected[i].Text);
        EXPECT_GE(first, item.left() + 20) << i;
        EXPECT_GT(last, first) << i;
        const QColor icon = At(image, item.left() + 2 + 12, item.top() + 10); // the tallest bar of the chart image
        EXPECT_NE(icon, expected[i].Fill) << i;
    }
    EXPECT_EQ(At(image, list.visualItemRect(list.item(1)).left(), list.visualItemRect(list.item(1)).top() + 5),
              QColor(74, 160, 0)); // the selected item's frame
}
