#include "app/untQtDialogs.h"

#include "app/untWindowTools.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace zv2::app {

bool TQtDialogs::AskYesNo(const std::string& text, const std::string& caption) {
    return QMessageBox::question(Parent_, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void TQtDialogs::ShowError(const std::string& text, const std::string& caption) {
    QMessageBox::critical(Parent_, Q(caption), Q(text));
}

void TQtDialogs::ShowInfo(const std::string& text, const std::string& caption) {
    QMessageBox::information(Parent_, Q(caption), Q(text));
}

std::optional<std::string> TQtDialogs::InputText(const std::string& caption, const std::string& prompt,
                                                 const std::string& preset) {
    bool ok = false;
    const QString text = QInputDialog::getText(Parent_, Q(caption), Q(prompt), QLineEdit::Normal, Q(preset), &ok);
    if (!ok)
        return std::nullopt;
    return text.toStdString();
}

std::vector<std::string> TQtDialogs::OpenFiles(const std::string& filterName, const std::string& pattern) {
    const QStringList files =
        QFileDialog::getOpenFileNames(Parent_, QString(), QString(), Q(filterName) + " (" + Q(pattern) + ")");
    std::vector<std::string> out;
    for (const QString& f : files)
        out.push_back(f.toStdString());
    return out;
}

std::optional<std::string> TQtDialogs::ChooseFolder(const std::string& title, const std::string& root,
                                                    const std::string& folder) {
    const QString chosen = QFileDialog::getExistingDirectory(Parent_, Q(title), Q(folder.empty() ? root : folder),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.toStdString();
}

} // namespace zv2::app
