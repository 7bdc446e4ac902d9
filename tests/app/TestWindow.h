#pragma once
// A main window for tests: over a program folder of the test's, with the
// test's dispatcher and scripted dialogs, and its speaker link on a free port.

#include "FakeDialogs.h"
#include "app/untFrmMain.h"
#include "platform/Dispatcher.h"

#include <memory>
#include <string>

namespace zv2::test {

struct TTestWindow {
    explicit TTestWindow(const std::string& folder) {
        app::TFormEnvironment env;
        env.ProgramFolder = folder;
        env.MusicSiteHost = "127.0.0.1:9";
        env.Dispatcher = &Ui;
        env.LinkOptions.LocalPort = 0;
        auto dialogs = std::make_unique<TFakeDialogs>();
        Dialogs = dialogs.get();
        env.Dialogs = std::move(dialogs);
        Form = std::make_unique<app::Tfrm_Main>(std::move(env));
    }

    platform::TQueueDispatcher Ui;
    TFakeDialogs* Dialogs = nullptr;
    std::unique_ptr<app::Tfrm_Main> Form;
};

} // namespace zv2::test
