#include "PaintedDesktop.h"

#include <QPainter>

namespace screenshots {
namespace {

void Window(QPainter& p, const QRect& frame, const QString& title, const QStringList& lines)
{
    p.fillRect(frame.adjusted(6, 6, 6, 6), QColor(0, 0, 0, 60));
    p.fillRect(frame, QColor(246, 246, 244));
    p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), 44)), QColor(52, 73, 94));
    p.setPen(Qt::white);
    p.setFont(QFont("DejaVu Sans", 17, QFont::Bold));
    p.drawText(frame.adjusted(18, 0, 0, 0).topLeft() + QPoint(0, 30), title);
    p.setPen(QColor(40, 40, 40));
    p.setFont(QFont("DejaVu Sans", 16));
    int y = frame.top() + 96;
    for (const QString& line : lines) {
        p.drawText(frame.left() + 24, y, line);
        y += 40;
    }
}

}  // namespace

QImage PaintedDesktop(int width, int height)
{
    QImage desktop(width, height, QImage::Format_RGB32);
    desktop.fill(QColor(38, 110, 140));
    QPainter p(&desktop);
    p.setRenderHint(QPainter::Antialiasing);
    // Icons down the left edge.
    for (int i = 0; i < 4; ++i) {
        const QRect icon(40, 40 + i * 130, 72, 72);
        p.setBrush(QColor(240, 200, 90));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(icon, 10, 10);
    }
    Window(p, QRect(width / 5, height / 7, width / 2, height / 2), "Planilha de vendas",
           {"Janeiro        12.430", "Fevereiro      11.982", "Marco          14.015", "Abril          13.640"});
    Window(p, QRect(width / 2, height / 3, width * 2 / 5, height / 2), "Impressora",
           {"A impressora nao responde.", "Verifique o cabo e tente de novo."});
    // The panel along the bottom, with a clock.
    p.fillRect(QRect(0, height - 56, width, 56), QColor(28, 28, 30));
    p.setPen(Qt::white);
    p.setFont(QFont("DejaVu Sans", 16));
    p.drawText(QRect(0, height - 56, width - 24, 56), Qt::AlignRight | Qt::AlignVCenter, "14:32");
    p.fillRect(QRect(16, height - 46, 120, 36), QColor(70, 130, 180));
    return desktop;
}

}  // namespace screenshots
