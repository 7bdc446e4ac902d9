// The main window's look: the application's hint window, and the images of
// the menus' items and of the search button (the menus' style is set before
// the first control is made, each list's row drawing where the list is made).
// The drawing itself lives in src/controls.

#include "app/untFrmMain.h"
#include "app/untWindowTools.h"
#include "controls/untImageButton.h"
#include "controls/untImageLists.h"
#include "controls/untSkinHintWin.h"

#include <QAction>
#include <utility>

namespace zv2::app {

namespace {

// Images of "imglstMenu" (see untImageLists.h).
enum TMenuImage {
    miPlay = 0,
    miMoveUp = 1,
    miMoveDown = 2,
    miRemove = 3,
    miDelete = 4,
    miAdd = 5,
    miSelectAll = 6,
    miDownload = 7,
    miStop = 8,
    miCopy = 9,
    miSearch = 10,
    miAddress = 11,
    miClear = 12,
    miExit = 14
};

} // namespace

void Tfrm_Main::SetupLook() {
    HintWindow_ = std::make_unique<controls::TMyHintWindow>();

    const std::pair<QAction*, int> items[] = {
        {mniPlay, miPlay},         {mniMoveUp, miMoveUp},         {mniMoveDown, miMoveDown},
        {mniCopyTo, miCopy},       {mniDelete, miRemove},         {mniRemove, miDelete},
        {mniAdd, miAdd},           {mniSelectAll, miSelectAll},   {mniDownLoad, miDownload},
        {mniStopSearch, miStop},   {mniCopyURL, miAddress},       {mniSearchArtist, miSearch},
        {mniSearchAlum, miSearch}, {nmiClearSearchList, miClear}, {mniContinueTask, miDownload},
        {mniDelTask, miRemove},    {mniDelAll, miRemove},         {mniClrError, miClear},
        {mniSearchSong, miSearch}, {mniSearchSinger, miSearch},   {mniPlayCtrl, miPlay},
        {mniExit, miExit}};
    for (const auto& [item, image] : items)
        SetMenuImage(item, image);

    SearchButton->SetAlphaColor(Qt::white);
    SearchButton->SetImage(controls::ImageListImage("imglstMenu", miSearch));
}

} // namespace zv2::app
