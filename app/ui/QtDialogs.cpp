#include "ui/QtDialogs.h"

#include "ui/AccountDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

namespace ui {

shell::MessageAnswer QtDialogs::MessageBox(const QString& text, const QString& title, shell::MessageIcon icon,
                                           shell::MessageButtons buttons)
{
    QMessageBox box(owner_);
    box.setWindowTitle(title);
    box.setText(QString(text).replace("\r\n", "\n"));
    box.setIcon(icon == shell::MessageIcon::Warning    ? QMessageBox::Warning
                : icon == shell::MessageIcon::Question ? QMessageBox::Question
                                                       : QMessageBox::Information);
    box.setStandardButtons(buttons == shell::MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    const int answer = box.exec();
    if (buttons == shell::MessageButtons::Ok)
        return shell::MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? shell::MessageAnswer::Yes : shell::MessageAnswer::No;
}

void QtDialogs::ShowModal(account::frmCadastro& window)
{
    CadastroDialog dialog(window, owner_);
    dialog.exec();
}

void QtDialogs::ShowModal(shell::frmSobre& window)
{
    SobreDialog dialog(window, owner_);
    dialog.exec();
}

void QtClipboard::SetText(const QString& text)
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

}  // namespace ui
