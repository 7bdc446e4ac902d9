#include "app/untFrmMain.h"

#include "audio/untAudioPlayer.h"

#include "QtTestApp.h"
#include "TempDir.h"
#include "TestWindow.h"
#include "platform/IniFile.h"

#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <fstream>

using namespace zv2;

namespace {

// The rows as the table shows them: address, checked, own volume.
std::vector<speaker::TSpeakerRow> ShownRows(app::Tfrm_Main& f) {
    std::vector<speaker::TSpeakerRow> rows;
    for (int r = 0; r < f.lvSpeakers->rowCount(); ++r) {
        auto* address = f.lvSpeakers->item(r, app::Tfrm_Main::SpeakerColumnAddress);
        auto* volume = qobject_cast<QSpinBox*>(f.lvSpeakers->cellWidget(r, app::Tfrm_Main::SpeakerColumnVolume));
        rows.push_back(
            {address->text().toStdString(), volume ? volume->value() : -1, address->checkState() == Qt::Checked});
    }
    return rows;
}

} // namespace

TEST(MainWindowSpeakers, TheListShowsTheSavedSpeakersTakesChangesAndSavesThem) {
    test::TTempDir home;
    std::ofstream(home.File("Download.ini"))
        << "[ZV2Address]\nIP=127.0.0.2\n[ZV2Speakers]\nCount=3\nIP0=127.0.0.2\nIP1=127.0.0.3\nVolume1=1500\n"
           "IP2=bad\n[History]\nAutoPlay=0\n";
    test::TTestWindow w(home.Path() + "/");
    auto& f = *w.Form;
    using Rows = std::vector<speaker::TSpeakerRow>;
    EXPECT_EQ(ShownRows(f), (Rows{{"127.0.0.2", 3000, true}, {"127.0.0.3", 1500, true}}));
    EXPECT_EQ(f.Player()->Speakers().size(), 2u) << "the player plays to the rows shown";
    EXPECT_EQ(f.lvSpeakers->item(1, app::Tfrm_Main::SpeakerColumnState)->text().toStdString(), "未连接");

    // Discovery lists a new speaker, not yet playing, and a known one once.
    f.Player()->Engine().OnDeviceFound("127.0.0.3");
    f.Player()->Engine().OnDeviceFound("127.0.0.4");
    // A typed address joins playing; the main speaker's row cannot go.
    f.edt_ReIP->setEditText("127.0.0.5");
    f.btnAddSpeaker->click();
    f.lvSpeakers->selectRow(0);
    f.btnRemoveSpeaker->click();
    f.lvSpeakers->selectRow(1);
    f.btnRemoveSpeaker->click();
    EXPECT_EQ(ShownRows(f), (Rows{{"127.0.0.2", 3000, true}, {"127.0.0.4", 3000, false}, {"127.0.0.5", 3000, true}}));

    // The check and the volume reach the player.
    f.lvSpeakers->item(1, app::Tfrm_Main::SpeakerColumnAddress)->setCheckState(Qt::Checked);
    qobject_cast<QSpinBox*>(f.lvSpeakers->cellWidget(2, app::Tfrm_Main::SpeakerColumnVolume))->setValue(600);
    const auto states = f.Player()->Speakers();
    ASSERT_EQ(states.size(), 3u);
    EXPECT_TRUE(states[1].Row.On);
    EXPECT_EQ(states[2].Row.Volume, 600);

    f.CloseWithoutQuery();
    platform::TIniFile saved(home.File("Download.ini"));
    EXPECT_EQ(saved.ReadInteger("ZV2Speakers", "Count", 0), 3);
    EXPECT_EQ(saved.ReadString("ZV2Speakers", "IP2", ""), "127.0.0.5");
    EXPECT_EQ(saved.ReadInteger("ZV2Speakers", "Volume2", 0), 600);
    EXPECT_TRUE(saved.ReadBool("ZV2Speakers", "On1", false));
    EXPECT_EQ(saved.ReadString("ZV2Address", "IP", ""), "127.0.0.2");
}
