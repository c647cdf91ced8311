#include "app/Prompter.h"

#include "app/HalcyraApplication.h"
#include "app/ShownText.h"
#include "platform/Text.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace halcyra {

bool IPrompter::ExecDialog(QDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted;
}

bool TMessageBoxPrompter::AskYesNo(const std::string& text)
{
    return QMessageBox::question(QApplication::activeWindow(), QString::fromUtf8(kApplicationTitle), ShownText(text),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

void TMessageBoxPrompter::ShowMessage(const std::string& text)
{
    QMessageBox::information(QApplication::activeWindow(), QString::fromUtf8(kApplicationTitle), ShownText(text));
}

bool TLoggingPrompter::AskYesNo(const std::string& text)
{
    if (log_) log_("Question: " + text + " - answered Yes");
    return true;
}

void TLoggingPrompter::ShowMessage(const std::string& text)
{
    if (log_) log_(text);
}

bool TLoggingPrompter::ExecDialog(QDialog& dialog)
{
    if (log_) log_("Dialog: " + Utf8ToWin1252(dialog.windowTitle().toStdString()) + " - cancelled");
    return false;
}

}  // namespace halcyra
