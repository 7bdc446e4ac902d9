#pragma once
// The dialogs of the running program: Qt message boxes and file dialogs over the main window.

#include "app/untDialogs.h"

class QWidget;

namespace zv2::app {

class TQtDialogs : public IDialogs {
public:
    explicit TQtDialogs(QWidget* parent) : Parent_(parent) {}
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void ShowError(const std::string& text, const std::string& caption) override;
    void ShowInfo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& preset) override;
    std::vector<std::string> OpenFiles(const std::string& filterName, const std::string& pattern) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& root,
                                            const std::string& folder) override;

private:
    QWidget* Parent_;
};

} // namespace zv2::app
