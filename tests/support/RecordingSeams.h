#pragma once

#include "core/account/UrlOpener.h"
#include "core/shell/Dialogs.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace testing_support {

// Dialogs that answer from a script and record what was shown. Modal windows
// run the scripted action given for their kind (or close at once).
class ScriptedDialogs final : public shell::Dialogs {
public:
    struct Shown {
        QString text;
        QString title;
        shell::MessageIcon icon;
        shell::MessageButtons buttons;
    };

    shell::MessageAnswer MessageBox(const QString& text, const QString& title, shell::MessageIcon icon,
                                    shell::MessageButtons buttons) override
    {
        shown.push_back({text, title, icon, buttons});
        if (answers.empty())
            return buttons == shell::MessageButtons::YesNo ? shell::MessageAnswer::No : shell::MessageAnswer::Ok;
        const shell::MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowModal(account::frmCadastro&) override { ++cadastroShown; }
    void ShowModal(shell::frmSobre& window) override
    {
        ++sobreShown;
        if (onSobre)
            onSobre(window);
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Shown& s : shown)
            texts << s.text;
        return texts;
    }

    std::vector<Shown> shown;
    std::deque<shell::MessageAnswer> answers;
    std::function<void(shell::frmSobre&)> onSobre;
    int cadastroShown = 0;
    int sobreShown = 0;
};

class RecordingClipboard final : public shell::Clipboard {
public:
    void SetText(const QString& text) override { texts << text; }
    QStringList texts;
};

class RecordingUrlOpener final : public account::UrlOpener {
public:
    void OpenUrl(const QString& address) override { opened << address; }
    QStringList opened;
};

}  // namespace testing_support
