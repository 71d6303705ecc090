#pragma once

#include "support/CannedService.h"
#include "support/MainWindowHarness.h"
#include "support/WaitUntil.h"

#include <QTcpServer>

namespace testing_support {

// A supported machine and a technician's machine of one accepted session,
// with a canned service behind both: enough to bring the screen link up on
// loopback without the brokering that leads to it.
struct LinkPair {
    CannedService service;
    MainWindowHarness cliente;
    MainWindowHarness tecnico;

    // The supported side may have a real display to capture and drive.
    explicit LinkPair(input::InputSink* sink = nullptr, imaging::ScreenSource* screen = nullptr)
        : cliente(sink, screen)
    {
        service.Reply("registrar_conexao.php", R"({"ok":true})");
        service.Reply("encerrar_sessao.php", R"({"ok":true})");
        service.Reply("gerar_codigo.php", R"({"ok":true,"codigo_id":"c2","codigo":"222"})");
        for (MainWindowHarness* side : {&cliente, &tecnico}) {
            side->SaveAccount();
            side->w().s.RotaAutomatica = true;
            side->w().s.sessao_id = "sess-1";
            side->w().s.stream_key = "key-1";
            side->w().s.codigo_id = "c1";
        }
        cliente.w().s.papel = "cliente";
        tecnico.w().s.papel = "tecnico";
    }

    static quint16 FreePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    // The supported side listens on a free port; the technician connects.
    quint16 ConnectDirect()
    {
        const quint16 port = FreePort();
        cliente.w().c.txtTelaPorta.setText(QString::number(port));
        cliente.w().routes.cmdClienteTransmitirTela_Click();
        tecnico.w().c.txtTelaIp.setText("127.0.0.1");
        tecnico.w().c.txtTelaPorta.setText(QString::number(port));
        tecnico.w().routes.cmdTecnicoConectarTela_Click();
        return port;
    }

    bool BothValidated(int ms = 5000)
    {
        return WaitUntil([this] { return cliente.w().s.TelaConectada && tecnico.w().s.TelaConectada; }, ms);
    }
};

}  // namespace testing_support
