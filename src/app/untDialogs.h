#pragma once
// The message boxes and small dialogs the main window shows, behind an
// interface so that tests answer them. Texts and captions are UTF-8.

#include <optional>
#include <string>
#include <vector>

namespace zv2::app {

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Yes/No with the question icon; true only for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;
    virtual void ShowInfo(const std::string& text, const std::string& caption) = 0;
    // A one-line input dialog; nullopt on cancel.
    virtual std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                                 const std::string& preset) = 0;
    // A multi-select file-open dialog; `filterName` and `pattern` like "音乐文件", "*.mp3". Empty on cancel.
    virtual std::vector<std::string> OpenFiles(const std::string& filterName, const std::string& pattern) = 0;
    // A folder dialog titled `title`, opened at `folder` (an existing folder,
    // or empty: then at `root`, or where the dialog likes when that is empty
    // too); the chosen folder, nullopt on cancel.
    virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& root,
                                                    const std::string& folder) = 0;
};

} // namespace zv2::app
