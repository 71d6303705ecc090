#pragma once

#include <QByteArray>

namespace shell { class frmMain; }

namespace screenlink {

// What arrives on the link, for the role this machine plays on it: the bytes
// go to the parser of that role, and what the parser finds goes to the parts
// of the main window that act on it.
class LinkReceiver {
public:
    explicit LinkReceiver(shell::frmMain& window) : w_(window) {}

    void Receive(const QByteArray& bytes);
    void Clear();
    void EnvioConcluido();
    // Releases whatever remote commands pressed and did not release.
    void SoltarEntradaRemota();

private:
    shell::frmMain& w_;
};

}  // namespace screenlink
