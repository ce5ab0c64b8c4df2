#include "server/runtime/server_icon.h"

#include <QPainter>

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // A PLC rack: grey body, green run lamp, a serial plug.
    p.setBrush(QColor(90, 98, 110));
    p.setPen(QPen(QColor(40, 44, 52), s));
    p.drawRoundedRect(QRectF(3 * s, 6 * s, 26 * s, 20 * s), 2 * s, 2 * s);
    p.setBrush(QColor(60, 200, 90));
    p.drawEllipse(QRectF(6 * s, 9 * s, 4 * s, 4 * s));
    p.setBrush(QColor(230, 160, 40));
    p.drawEllipse(QRectF(12 * s, 9 * s, 4 * s, 4 * s));
    p.setBrush(QColor(210, 214, 220));
    p.drawRect(QRectF(6 * s, 17 * s, 20 * s, 5 * s));
    return pm;
}

} // namespace

QIcon serverIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(drawIcon(size));
    return icon;
}

QPixmap serverLogo()
{
    QPixmap pm(96, 40);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 80, 160));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 4, 92, 32), 6, 6);
    p.setPen(Qt::white);
    QFont f("Arial");
    f.setPixelSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(2, 4, 92, 32), Qt::AlignCenter, "MOLV");
    return pm;
}
