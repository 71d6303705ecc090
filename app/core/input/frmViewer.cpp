#include "core/input/frmViewer.h"

#include "core/imaging/DrawSurface.h"
#include "core/shell/frmMain.h"

namespace input {

frmViewer::frmViewer(shell::frmMain& main) : main_(main), keys_(main.remoteInput, main.svc.keyboard) {}

void frmViewer::Show()
{
    if (visible_)
        return;
    visible_ = true;
    emit shown();
}

void frmViewer::RequestClose()
{
    if (!visible_)
        return;
    visible_ = false;
    emit hidden();
    // A stop or a lost link closes the viewer as part of its own work; only
    // the user's close ends the remote screen.
    if (!main_.loss.EstaParandoTela())
        main_.end.SolicitarEncerrarTelaRemota();
}

void frmViewer::RenderFrame(const QImage& picture)
{
    if (!picView_)
        return;
    picView_->Clear();
    imaging::DrawRemotePicture(*picView_, picture, main_.s.RemoteWidth, main_.s.RemoteHeight);
}

void frmViewer::MouseEvent(const QString& action, int x, int y, int button, int width, int height)
{
    main_.RemoteMouseFromView(action, x, y, button, width, height);
}

}  // namespace input
