#include "core/input/frmViewer.h"

#include "core/imaging/DrawSurface.h"
#include "core/shell/frmMain.h"

namespace input {

QRect ViewerOpeningGeometry(QSize desktop, const QRect& available)
{
    if (desktop.isEmpty())
        desktop = available.size();
    const QSize room = available.size() * 0.9;
    if (desktop.width() > room.width() || desktop.height() > room.height())
        desktop = desktop.scaled(room, Qt::KeepAspectRatio);
    QRect place({}, desktop);
    place.moveCenter(available.center());
    return place;
}

frmViewer::frmViewer(shell::frmMain& main) : main_(main), keys_(main.remoteInput, main.svc.keyboard) {}

std::optional<QRect> frmViewer::PlaceOnShow(const QRect& available)
{
    if (placed_)
        return std::nullopt;
    placed_ = true;
    return ViewerOpeningGeometry({main_.s.RemoteWidth, main_.s.RemoteHeight}, available);
}

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
