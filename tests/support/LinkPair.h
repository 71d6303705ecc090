#pragma once

#include "support/CannedService.h"
#include "support/MainWindowHarness.h"
#include "support/WaitUntil.h"

namespace testing_support {

// One side of the accepted session "sess-1" with key "key-1", routes automatic.
inline void JoinSession(MainWindowHarness& side, const QString& papel)
{
    side.SaveAccount();
    side.w().s.RotaAutomatica = true;
    side.w().s.sessao_id = "sess-1";
    side.w().s.stream_key = "key-1";
    side.w().s.codigo_id = "c1";
    side.w().s.papel = papel;
}

// A supported machine and a technician's machine of one accepted session,
// with a canned service behind both: enough to bring the screen link up on
// loopback without the brokering that leads to it.
struct LinkPair {
    CannedService service;
    MainWindowHarness cliente;
    MainWindowHarness tecnico;

    // The supported side may have a real display to capture and drive.
    explicit LinkPair(input::InputSink* sink = nullptr, imaging::ScreenSource* screen = nullptr,
                      updates::DamageSource* damage = nullptr)
        : cliente(sink, screen, damage)
    {
        service.Reply("registrar_conexao.php", R"({"ok":true})");
        service.Reply("encerrar_sessao.php", R"({"ok":true})");
        service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c2","codigo":"222"})");
        JoinSession(cliente, "cliente");
        JoinSession(tecnico, "tecnico");
    }

    // Both sides as the service agreed the link version.
    void UseVersion(int versao)
    {
        cliente.w().s.versao_link = versao;
        tecnico.w().s.versao_link = versao;
    }

    // The supported side listens on a free port it takes itself, shown in its box.
    quint16 Listen()
    {
        cliente.w().c.txtTelaPorta.setText("0");
        cliente.w().routes.cmdClienteTransmitirTela_Click();
        return cliente.w().c.txtTelaPorta.text().toUShort();
    }

    void ConnectTecnico(quint16 port)
    {
        tecnico.w().c.txtTelaIp.setText("127.0.0.1");
        tecnico.w().c.txtTelaPorta.setText(QString::number(port));
        tecnico.w().routes.cmdTecnicoConectarTela_Click();
    }

    void ConnectDirect() { ConnectTecnico(Listen()); }

    bool BothValidated()
    {
        return WaitUntil([this] { return cliente.w().s.TelaConectada && tecnico.w().s.TelaConectada; });
    }
};

}  // namespace testing_support
