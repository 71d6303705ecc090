#pragma once

#include "core/input/HeldInput.h"
#include "core/input/InputSink.h"

#include <QString>
#include <QStringView>
#include <bitset>
#include <optional>

// Carries out the command lines that arrive over the screen link on the
// supported machine: mouse and key commands become synthetic input through
// the sink, the control commands go to the owner. It remembers what the
// commands hold pressed, so the owner can let go of it when the link ends.
// User-interface thread only.

namespace input {

// The owner's reactions to the two control commands.
class RemoteCommandTarget {
public:
    virtual ~RemoteCommandTarget() = default;
    virtual void EncerradaPeloOutro() = 0;  // the peer said goodbye
    virtual void AplicarQualidadeRemota(int nitidez, int atualizacao) = 0;
    virtual void LogEvent(const QString& message) = 0;
};

class modRemoteInput {
public:
    modRemoteInput(InputSink& sink, RemoteCommandTarget& target) : sink_(sink), target_(target) {}

    // One line without its line end. Returns the description of a bad
    // argument, to be logged after "Erro ao processar comando remoto: ";
    // lines that are too short or name no known command do nothing.
    std::optional<QString> ExecuteRemoteCommand(QStringView line);

    void InjectMouseMove(int x, int y);
    void InjectMouseDown(int x, int y, int button);
    void InjectMouseUp(int x, int y, int button);
    void InjectMouseClick(int x, int y, int button);  // holds the button 80 ms
    void InjectKeyDown(int keyCode);
    void InjectKeyUp(int keyCode);
    // Codes outside 0..255 are ignored; a code no key of this machine gives
    // is logged, once per code.
    void InjectKey(int keyCode, bool keyUp);

    // Releases every button and key that commands pressed and did not
    // release; called when the link stops or is lost.
    void ReleaseAllHeld();
    bool HoldsInput() const { return !held_.Empty(); }

private:
    void SetButton(int button, bool down);  // at the current pointer position

    InputSink& sink_;
    RemoteCommandTarget& target_;
    HeldInput held_;
    std::bitset<256> reportedUnmapped_;  // codes already logged as without a key here
};

}  // namespace input
