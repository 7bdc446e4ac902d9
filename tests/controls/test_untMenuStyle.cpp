#include "controls/untMenuStyle.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include <vector>

using namespace zv2::controls;

namespace {

const QColor Background(241, 249, 252), ImageColumn(174, 199, 234);
constexpr int H = 22; // item height of the drawings below
constexpr int W = 200;

struct TItem {
    QString Text = QString::fromUtf8("播放音乐[&P]");
    bool Enabled = true, Selected = false, Checkable = false, Checked = false;
    QStyleOptionMenuItem::MenuItemType Type = QStyleOptionMenuItem::Normal;
    QIcon Icon;

    TItem& Caption(const char* text) {
        Text = QString::fromUtf8(text);
        return *this;
    }
    TItem& Disabled() {
        Enabled = false;
        return *this;
    }
    TItem& Hot() {
        Selected = true;
        return *this;
    }
    TItem& Check(bool checked) {
        Checkable = true;
        Checked = checked;
        return *this;
    }
    TItem& Separator() {
        Text.clear();
        Type = QStyleOptionMenuItem::Separator;
        return *this;
    }
    TItem& Image(const QIcon& icon) {
        Icon = icon;
        return *this;
    }
};

QImage Draw(const TItem& item) {
    static TMenuStyle style;
    QStyleOptionMenuItem option;
    option.rect = QRect(0, 0, W, H);
    option.text = item.Text;
    option.menuItemType = item.Type;
    option.state = QStyle::State_None;
    if (item.Enabled)
        option.state |= QStyle::State_Enabled;
    if (item.Selected)
        option.state |= QStyle::State_Selected;
    option.checkType = item.Checkable ? QStyleOptionMenuItem::Exclusive : QStyleOptionMenuItem::NotCheckable;
    option.checked = item.Checked;
    option.icon = item.Icon;
    QImage image(W, H, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    style.drawControl(QStyle::CE_MenuItem, &option, &painter, nullptr);
    return image;
}

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

bool Shows(const QImage& image, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 30; x < image.width(); ++x) // the caption's side
            if (At(image, x, y) == colour)
                return true;
    return false;
}

QIcon SolidIcon(const QColor& colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

} // namespace

TEST(MenuStyle, CaptionsLeaveOutEveryAmpersandAndWhatFollowsATab) {
    EXPECT_EQ(MenuCaption(QString::fromUtf8("播放音乐[&P]")), QString::fromUtf8("播放音乐[P]"));
    EXPECT_EQ(MenuCaption("&Copy && paste"), "Copy  paste");
    EXPECT_EQ(MenuCaption("Exit\tCtrl+Q"), "Exit");
}

TEST(MenuStyle, TheCaptionIsDrawnWithoutItsAmpersand) {
    const QImage marked = Draw(TItem());
    EXPECT_EQ(marked, Draw(TItem().Caption("播放音乐[P]")));
    EXPECT_NE(marked, Draw(TItem().Caption("播放音乐[Q]")));
}

TEST(MenuStyle, EachLookHasItsBackgroundFrameAndTextColour) {
    struct {
        const char* Name;
        TItem Item;
        QColor Corner, Inside, Text;
    } const cases[] = {
        {"plain", TItem(), ImageColumn, Background, QColor(0, 0, 0)},
        {"disabled", TItem().Disabled(), ImageColumn, Background, QColor(170, 170, 170)},
        {"selected", TItem().Hot(), QColor(139, 167, 213), QColor(217, 247, 255), QColor(51, 85, 51)},
        {"selected, disabled", TItem().Disabled().Hot(), QColor(136, 165, 212), Background, QColor(165, 138, 107)},
    };
    for (const auto& c : cases) {
        const QImage image = Draw(c.Item);
        EXPECT_EQ(At(image, 0, 0), c.Corner) << c.Name;
        EXPECT_EQ(At(image, W - 3, H / 2), c.Inside) << c.Name;
        EXPECT_TRUE(Shows(image, c.Text)) << c.Name;
        if (!c.Item.Selected) {
            EXPECT_EQ(At(image, 10, H / 2), ImageColumn) << c.Name;
        }
    }
}

TEST(MenuStyle, ACheckedItemShowsTheGreyDot) {
    const QImage checked = Draw(TItem().Check(true));
    const QImage unchecked = Draw(TItem().Check(false));
    // The dot spans (5, 5) to (h - 5, h - 5); its light inner disc (6, 6) to (h - 8, h - 8).
    EXPECT_EQ(At(checked, 10, 10), QColor(170, 170, 170));
    EXPECT_EQ(At(checked, H - 8, H - 9), QColor(68, 68, 68));
    EXPECT_EQ(At(checked, 2, H / 2), ImageColumn);
    EXPECT_EQ(At(unchecked, 10, 10), ImageColumn);
    EXPECT_EQ(At(unchecked, H - 8, H - 9), ImageColumn);
}

TEST(MenuStyle, TheImageMovesByOnePixelWhenSelected) {
    const QColor red(200, 0, 0);
    const QImage plain = Draw(TItem().Image(SolidIcon(red)));
    EXPECT_EQ(At(plain, 2, 2), red);
    EXPECT_EQ(At(plain, 17, 17), red);
    EXPECT_NE(At(plain, 1, 1), red);
    const QImage selected = Draw(TItem().Hot().Image(SolidIcon(red)));
    EXPECT_EQ(At(selected, 1, 1), red);
    EXPECT_NE(At(selected, 17, 17), red);
}

TEST(MenuStyle, ASeparatorIsALightBlueLine) {
    const QImage image = Draw(TItem().Separator());
    EXPECT_EQ(At(image, 100, H / 2), QColor(154, 198, 255));
    EXPECT_EQ(At(image, 100, H / 2 - 2), Background);
    EXPECT_EQ(At(image, 10, H / 2), ImageColumn);
}

TEST(MenuStyle, TheMenuHasABlueFrameWithTwoWhiteOnesInside) {
    TMenuStyle style;
    QMenu menu;
    menu.setStyle(&style);
    menu.addAction(QString::fromUtf8("播放音乐[&P]"));
    menu.addSeparator();
    menu.addAction(QString::fromUtf8("退出系统[&X]"));
    menu.resize(menu.sizeHint());
    const QImage image = menu.grab().toImage();
    const int r = image.width() - 1, b = image.height() - 1;
    for (const QPoint& corner : {QPoint(0, 0), QPoint(r, b), QPoint(0, b / 2), QPoint(r / 2, 0)})
        EXPECT_EQ(At(image, corner.x(), corner.y()), QColor(35, 115, 174));
    for (int i : {1, 2}) {
        EXPECT_EQ(At(image, i, b / 2), Qt::white) << i;
        EXPECT_EQ(At(image, r - i, b - i), Qt::white) << i;
    }
    EXPECT_EQ(At(image, 3 + 10, b / 2), ImageColumn);
    EXPECT_EQ(At(image, r - 4, b / 2), Background);
}
