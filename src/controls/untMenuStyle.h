#pragma once
// TMenuStyle: the look of every pop-up menu of the program, as a style that
// passes everything else on to the platform's style. Set it as the
// application's style (QApplication::setStyle takes it over).
//
// A menu: a pale blue-white panel framed by 1 pixel of RGB(35, 115, 174) and
// two white pixels inside it; a darker column of 20 pixels at the left for
// the item images (the QAction's icon, 16 x 16); captions 30 pixels from the
// left with every "&" left out (no mnemonic underline); a bold default item;
// a grey dot in the image column for a checked item; separators as a light
// blue line. The item under the pointer has a framed light box (enabled) or
// only a frame (disabled, which can be under the pointer too); its image
// moves up and left by one pixel.
//
// UI thread only, as every style.

#include <QProxyStyle>

namespace zv2::controls {

// The caption a menu item shows for the text `text`: everything before a
// tab, with every "&" removed.
QString MenuCaption(const QString& text);

class TMenuStyle : public QProxyStyle {
public:
    TMenuStyle(); // on top of the application's default style

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

} // namespace zv2::controls
