#pragma once
// Dialogs answered by the test: each question pops the next scripted answer
// (No when none is left), and everything shown is recorded.

#include "app/untDialogs.h"

#include <deque>

namespace zv2::test {

class TFakeDialogs : public app::IDialogs {
public:
    struct TShown {
        std::string Kind; // "question", "error", "info", "input", "open", "folder"
        std::string Text;
        std::string Caption;
    };

    std::deque<bool> Answers;
    std::deque<std::optional<std::string>> Inputs;
    std::deque<std::vector<std::string>> Files;
    std::deque<std::optional<std::string>> Folders;
    std::vector<TShown> Shown;

    bool AskYesNo(const std::string& text, const std::string& caption) override {
        Shown.push_back({"question", text, caption});
        if (Answers.empty())
            return false;
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ShowError(const std::string& text, const std::string& caption) override {
        Shown.push_back({"error", text, caption});
    }
    void ShowInfo(const std::string& text, const std::string& caption) override {
        Shown.push_back({"info", text, caption});
    }
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& preset) override {
        Shown.push_back({"input", prompt + "|" + preset, caption});
        if (Inputs.empty())
            return std::nullopt;
        auto answer = Inputs.front();
        Inputs.pop_front();
        return answer;
    }
    std::vector<std::string> OpenFiles(const std::string& filterName, const std::string& pattern) override {
        Shown.push_back({"open", filterName + "|" + pattern, ""});
        if (Files.empty())
            return {};
        auto answer = Files.front();
        Files.pop_front();
        return answer;
    }
    // Text: the root and the preselected folder, as "root|folder".
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& root,
                                            const std::string& folder) override {
        Shown.push_back({"folder", root + "|" + folder, title});
        if (Folders.empty())
            return std::nullopt;
        auto answer = Folders.front();
        Folders.pop_front();
        return answer;
    }
};

} // namespace zv2::test
