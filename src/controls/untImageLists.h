#pragma once
// The program's image lists, kept as PNG files in the controls' Qt resource
// (drawn by tools/make-images). White is the transparent colour of every
// image: give it to TImageButton::SetAlphaColor, or take ImageListPixmap,
// which has it keyed out.
//
//   imglstCtrlBtn   116 x 29, four 29 x 29 frames (normal, hover, pressed, disabled):
//                   0 previous, 1 next
//   imglstPlayBtn   136 x 34, four 34 x 34 frames as above: 0 play, 1 pause
//   imglstPlayList  16 x 16: 0 song, 1 playing, 2 failed, 3 chart song, 4 chart
//   imglstStatus    16 x 16 download states: 0 waiting, 1 downloading, 2 paused
//                   (unfinished, to be continued), 3 failed
//   imglstMenu      16 x 16 menu images: 0 play, 1 move up, 2 move down,
//                   3 remove from a list, 4 delete for good, 5 add, 6 select all,
//                   7 download, 8 stop, 9 copy, 10 search, 11 web address,
//                   12 clear, 13 removable disk, 14 exit
//
// The application icon (window, tray, desktop menu) is kept as AppIcon_<size>.png
// at the icon theme's sizes 16 to 256, with a real alpha channel.
//
// UI thread only (the pixmaps and icons).

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <string_view>

namespace zv2::controls {

// Image `index` of the list `list`; a null image when there is no such image.
QImage ImageListImage(std::string_view list, int index);

// The same image with its white transparent, made once per image; a null
// pixmap when there is no such image.
const QPixmap& ImageListPixmap(std::string_view list, int index);

// The application icon with every size it is drawn at.
QIcon ApplicationIcon();

} // namespace zv2::controls
