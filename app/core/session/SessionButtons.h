#pragma once

namespace shell { struct MainControls; }

namespace session {

// Marks or unmarks the access prompt: the status line's font and colour and
// the permit button's caption and colours. Texts and enabled states stay.
void DestacarSolicitacao(shell::MainControls& c, bool destacar);

// The session buttons as they are with no session.
void RestaurarBotoesSessao(shell::MainControls& c);

}  // namespace session
