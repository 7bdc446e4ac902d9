#pragma once
// The program's image lists, kept as PNG files in the controls' Qt resource
// (drawn by tools/make-images). White is the transparent colour of every
// image: give it to TImageButton::SetAlphaColor, or key it out when drawing.
//
//   imglstCtrlBtn   116 x 29, four 29 x 29 frames (normal, hover, pressed, disabled):
//                   0 previous, 1 next
//   imglstPlayBtn   136 x 34, four 34 x 34 frames as above: 0 play, 1 pause
//   imglstPlayList  16 x 16: 0 song, 1 playing, 2 failed, 3 chart song, 4 chart
//   imglstStatus    16 x 16 download states: 0 waiting, 1 downloading, 3 failed
//
// The application icon (window, tray, desktop menu) is kept as AppIcon_<size>.png
// at the icon theme's sizes 16 to 256, with a real alpha channel.

#include <QIcon>
#include <QImage>

#include <string_view>

namespace zv2::controls {

// Image `index` of the list `list`; a null image when there is no such image.
QImage ImageListImage(std::string_view list, int index);

// The application icon with every size it is drawn at.
QIcon ApplicationIcon();

} // namespace zv2::controls
