#pragma once

#include <QString>

namespace account { class frmCadastro; }

namespace shell {

class frmSobre;

enum class MessageIcon { Information, Warning, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Seam: message boxes and modal windows. The real backend shows Qt dialogs
// bound to the window models; tests answer from a script and record what
// was shown. Each call returns when the box or window has closed.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer MessageBox(const QString& text, const QString& title, MessageIcon icon,
                                     MessageButtons buttons = MessageButtons::Ok) = 0;
    virtual void ShowModal(account::frmCadastro& window) = 0;
    virtual void ShowModal(frmSobre& window) = 0;
};

// Seam: the clipboard, cleared and given plain text.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void SetText(const QString& text) = 0;
};

}  // namespace shell
