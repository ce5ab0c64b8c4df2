#include "editor/ui/pictures.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace pictures {
namespace {

// Every picture is drawn on a 32 x 32 grid and rendered at the sizes the views ask for.
using Drawing = std::function<void(QPainter&)>;

const QColor kInk(0x33, 0x3a, 0x44);
const QColor kPaper(0xfb, 0xfb, 0xf7);
const QColor kBlue(0x2f, 0x6f, 0xb8);
const QColor kFolder(0xe8, 0xb8, 0x3a);
const QColor kFolderDark(0xc4, 0x92, 0x1c);
const QColor kGreen(0x3c, 0xa0, 0x4a);
const QColor kRed(0xc8, 0x3a, 0x32);
const QColor kGrey(0x8a, 0x93, 0x9e);
const QColor kSteel(0xc9, 0xcf, 0xd6);

QPen inkPen(qreal width = 1.5, QColor color = kInk)
{
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void sheet(QPainter& p, QRectF r, QColor fill = kPaper)
{
    const qreal fold = r.width() * 0.3;
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(inkPen());
    p.setBrush(fill);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    p.setBrush(kSteel);
    p.drawPath(corner);
}

void textLines(QPainter& p, QRectF r, int count, QColor color = kGrey)
{
    p.setPen(inkPen(1.5, color));
    const qreal step = r.height() / count;
    for (int i = 0; i < count; ++i) {
        const qreal y = r.top() + step * (i + 0.5);
        const qreal right = (i == count - 1) ? r.left() + r.width() * 0.6 : r.right();
        p.drawLine(QPointF(r.left(), y), QPointF(right, y));
    }
}

void folder(QPainter& p, QRectF r)
{
    QPainterPath back;
    back.moveTo(r.left(), r.top() + 3);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + 3);
    back.lineTo(r.left() + r.width() * 0.48, r.top() + 6);
    back.lineTo(r.right(), r.top() + 6);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(inkPen(1.3, kFolderDark));
    p.setBrush(kFolderDark);
    p.drawPath(back);
    p.setBrush(kFolder);
    p.drawRoundedRect(QRectF(r.left(), r.top() + 9, r.width(), r.height() - 9), 1.5, 1.5);
}

void plcRack(QPainter& p, QRectF r)
{
    p.setPen(inkPen());
    p.setBrush(kSteel);
    p.drawRoundedRect(r, 2, 2);
    // front panel with status lamps and a terminal strip
    const QRectF panel(r.left() + 3, r.top() + 3, r.width() * 0.42, r.height() - 6);
    p.setBrush(QColor(0x4a, 0x52, 0x5c));
    p.drawRect(panel);
    p.setPen(Qt::NoPen);
    const QColor lamps[] = {kGreen, kGreen, QColor(0xf0, 0xa0, 0x20)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(lamps[i]);
        p.drawEllipse(QPointF(panel.center().x(), panel.top() + 3 + i * (panel.height() - 6) / 2.0),
                      1.8, 1.8);
    }
    p.setPen(inkPen(1.2));
    const qreal x0 = panel.right() + 3;
    for (int i = 0; i < 4; ++i) {
        const qreal y = r.top() + 5 + i * (r.height() - 10) / 3.0;
        p.setBrush(kPaper);
        p.drawRect(QRectF(x0, y - 1.5, r.right() - x0 - 3, 3));
    }
}

void tag(QPainter& p, QRectF r, QColor fill = kBlue)
{
    QPainterPath path;
    const qreal notch = r.height() / 2;
    path.moveTo(r.left() + notch, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left() + notch, r.bottom());
    path.lineTo(r.left(), r.center().y());
    path.closeSubpath();
    p.setPen(inkPen(1.3));
    p.setBrush(fill);
    p.drawPath(path);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(r.left() + notch * 0.9, r.center().y()), r.height() * 0.13, r.height() * 0.13);
}

void plusBadge(QPainter& p)
{
    p.setPen(inkPen(1.2, Qt::white));
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(25, 25), 6, 6);
    p.setPen(inkPen(2.2, Qt::white));
    p.drawLine(QPointF(25, 21.5), QPointF(25, 28.5));
    p.drawLine(QPointF(21.5, 25), QPointF(28.5, 25));
}

void clipboard(QPainter& p)
{
    p.setPen(inkPen());
    p.setBrush(QColor(0xb0, 0x7a, 0x45));
    p.drawRoundedRect(QRectF(5, 5, 20, 25), 2, 2);
    p.setBrush(kPaper);
    p.drawRect(QRectF(8, 9, 14, 18));
    p.setBrush(kSteel);
    p.drawRoundedRect(QRectF(10, 3, 10, 5), 1.5, 1.5);
}

void badgeText(QPainter& p, const QString& text, QRectF r, QColor color)
{
    QFont font;
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(text.size() > 2 ? 9 : 11);
    p.setFont(font);
    p.setPen(color);
    p.drawText(r, Qt::AlignCenter, text);
}

// Large list pictures of the data types: a coloured tile with a short code.
Drawing typeTile(const QString& code, QColor color, bool ruled = false)
{
    return [code, color, ruled](QPainter& p) {
        p.setPen(inkPen(1.3, color.darker(140)));
        p.setBrush(color);
        p.drawRoundedRect(QRectF(2, 4, 28, 24), 4, 4);
        if (ruled) {
            p.setPen(inkPen(1, color.lighter(150)));
            p.drawLine(QPointF(5, 24), QPointF(27, 24));
        }
        badgeText(p, code, QRectF(2, 4, 28, 22), Qt::white);
    };
}

const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table = [] {
        QHash<QString, Drawing> t;
        t.insert("config", [](QPainter& p) {
            sheet(p, QRectF(6, 3, 20, 26));
            textLines(p, QRectF(10, 12, 12, 13), 4, kBlue);
        });
        t.insert("main", [](QPainter& p) {
            p.setPen(inkPen());
            p.setBrush(kPaper);
            p.drawRoundedRect(QRectF(3, 5, 26, 22), 2, 2);
            p.setBrush(kBlue);
            p.drawRect(QRectF(3, 5, 26, 5));
            textLines(p, QRectF(7, 13, 18, 11), 3);
        });
        t.insert("plc", [](QPainter& p) { plcRack(p, QRectF(3, 5, 26, 22)); });
        t.insert("serial", [](QPainter& p) {
            QPainterPath shell;
            shell.moveTo(3, 9);
            shell.lineTo(29, 9);
            shell.lineTo(25, 23);
            shell.lineTo(7, 23);
            shell.closeSubpath();
            p.setPen(inkPen());
            p.setBrush(kSteel);
            p.drawPath(shell);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            for (int i = 0; i < 5; ++i)
                p.drawEllipse(QPointF(8 + i * 4, 13.5), 1.3, 1.3);
            for (int i = 0; i < 4; ++i)
                p.drawEllipse(QPointF(10 + i * 4, 18.5), 1.3, 1.3);
        });
        t.insert("branch", [](QPainter& p) { folder(p, QRectF(3, 5, 26, 22)); });
        t.insert("item", [](QPainter& p) { tag(p, QRectF(3, 9, 26, 14)); });
        return t;
    }();
    return table;
}

const QHash<QString, Drawing>& listDrawings()
{
    static const QHash<QString, Drawing> table = [] {
        QHash<QString, Drawing> t;
        const QColor integer(0x2f, 0x6f, 0xb8), wide(0x1f, 0x4f, 0x8c), bcd(0x7a, 0x4f, 0xa8),
            real(0x1c, 0x8a, 0x7a), boolean(0x3c, 0x9a, 0x4a), text(0xb0, 0x6a, 0x2a);
        t.insert("signed 8 bit", typeTile("S8", integer));
        t.insert("unsigned 8 bit", typeTile("U8", integer));
        t.insert("signed 16 bit", typeTile("S16", integer));
        t.insert("unsigned 16 bit", typeTile("U16", integer));
        t.insert("signed 32 bit", typeTile("S32", wide));
        t.insert("unsigned 32 bit", typeTile("U32", wide));
        t.insert("BCD 16 bit", typeTile("B16", bcd));
        t.insert("BCD 32 bit", typeTile("B32", bcd));
        t.insert("32 bit float", typeTile("F32", real));
        t.insert("64 bit double", typeTile("F64", real));
        t.insert("boolean", typeTile("BIT", boolean));
        t.insert("string", typeTile("ABC", text));
        t.insert("plc", [](QPainter& p) { plcRack(p, QRectF(3, 5, 26, 22)); });
        return t;
    }();
    return table;
}

const QHash<QString, Drawing>& toolbarDrawings()
{
    static const QHash<QString, Drawing> table = [] {
        QHash<QString, Drawing> t;
        t.insert("new", [](QPainter& p) {
            sheet(p, QRectF(5, 3, 19, 25));
            plusBadge(p);
        });
        t.insert("open", [](QPainter& p) {
            folder(p, QRectF(3, 5, 24, 22));
            QPainterPath flap;
            flap.moveTo(7, 15);
            flap.lineTo(30, 15);
            flap.lineTo(26, 27);
            flap.lineTo(3, 27);
            flap.closeSubpath();
            p.setPen(inkPen(1.3, kFolderDark));
            p.setBrush(kFolder.lighter(115));
            p.drawPath(flap);
        });
        t.insert("save", [](QPainter& p) {
            p.setPen(inkPen());
            p.setBrush(kBlue);
            p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
            p.setBrush(kPaper);
            p.drawRect(QRectF(8, 4, 16, 9));
            p.setBrush(kSteel);
            p.drawRect(QRectF(9, 18, 14, 10));
            p.setBrush(kInk);
            p.drawRect(QRectF(18, 6, 3, 5));
        });
        t.insert("close", [](QPainter& p) {
            sheet(p, QRectF(5, 3, 19, 25));
            p.setPen(inkPen(1.2, Qt::white));
            p.setBrush(kRed);
            p.drawEllipse(QPointF(25, 25), 6, 6);
            p.setPen(inkPen(2.2, Qt::white));
            p.drawLine(QPointF(22.5, 22.5), QPointF(27.5, 27.5));
            p.drawLine(QPointF(27.5, 22.5), QPointF(22.5, 27.5));
        });
        t.insert("plc", [](QPainter& p) {
            plcRack(p, QRectF(2, 4, 24, 20));
            plusBadge(p);
        });
        t.insert("branch", [](QPainter& p) {
            folder(p, QRectF(2, 4, 24, 20));
            plusBadge(p);
        });
        t.insert("item", [](QPainter& p) {
            tag(p, QRectF(2, 6, 24, 13));
            plusBadge(p);
        });
        t.insert("copy", [](QPainter& p) {
            sheet(p, QRectF(4, 3, 15, 19));
            sheet(p, QRectF(13, 10, 15, 19));
        });
        t.insert("cut", [](QPainter& p) {
            p.setPen(inkPen(2, kInk));
            p.drawLine(QPointF(10, 4), QPointF(20, 21));
            p.drawLine(QPointF(22, 4), QPointF(12, 21));
            p.setBrush(Qt::NoBrush);
            p.setPen(inkPen(2, kRed));
            p.drawEllipse(QPointF(10, 24), 4, 4);
            p.drawEllipse(QPointF(22, 24), 4, 4);
        });
        t.insert("paste", [](QPainter& p) {
            clipboard(p);
            sheet(p, QRectF(15, 13, 14, 17));
        });
        t.insert("delete", [](QPainter& p) {
            p.setPen(inkPen(4.5, kRed));
            p.drawLine(QPointF(8, 8), QPointF(24, 24));
            p.drawLine(QPointF(24, 8), QPointF(8, 24));
        });
        t.insert("icon", [](QPainter& p) {
            p.setPen(inkPen(1.2));
            p.setBrush(kBlue);
            for (int r = 0; r < 2; ++r)
                for (int c = 0; c < 2; ++c)
                    p.drawRoundedRect(QRectF(4 + c * 14, 4 + r * 14, 10, 10), 1.5, 1.5);
        });
        t.insert("smallicon", [](QPainter& p) {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 2; ++c) {
                    p.setPen(inkPen(1));
                    p.setBrush(kBlue);
                    p.drawRect(QRectF(3 + c * 14, 6 + r * 8, 4, 4));
                    p.setPen(inkPen(1.5, kGrey));
                    p.drawLine(QPointF(9 + c * 14, 8 + r * 8), QPointF(14 + c * 14, 8 + r * 8));
                }
        });
        t.insert("list", [](QPainter& p) {
            for (int r = 0; r < 4; ++r) {
                p.setPen(inkPen(1));
                p.setBrush(kBlue);
                p.drawRect(QRectF(5, 5 + r * 6, 4, 4));
                p.setPen(inkPen(1.5, kGrey));
                p.drawLine(QPointF(12, 7 + r * 6), QPointF(27, 7 + r * 6));
            }
        });
        t.insert("report", [](QPainter& p) {
            p.setPen(inkPen(1.2));
            p.setBrush(kPaper);
            p.drawRect(QRectF(3, 5, 26, 22));
            p.setBrush(kSteel);
            p.drawRect(QRectF(3, 5, 26, 5));
            p.setPen(inkPen(1, kGrey));
            for (int r = 0; r < 3; ++r)
                p.drawLine(QPointF(3, 15.5 + r * 5), QPointF(29, 15.5 + r * 5));
            p.drawLine(QPointF(13, 5), QPointF(13, 27));
        });
        t.insert("find", [](QPainter& p) {
            p.setPen(inkPen(2.5));
            p.setBrush(QColor(0xd8, 0xe8, 0xf8));
            p.drawEllipse(QPointF(13, 13), 8, 8);
            p.setPen(inkPen(4.5));
            p.drawLine(QPointF(19, 19), QPointF(27, 27));
        });
        t.insert("pastename", [](QPainter& p) {
            clipboard(p);
            badgeText(p, "Ab", QRectF(8, 11, 14, 14), kBlue);
        });
        t.insert("pastecomment", [](QPainter& p) {
            clipboard(p);
            textLines(p, QRectF(10, 12, 10, 12), 3, kBlue);
        });
        t.insert("exit", [](QPainter& p) {
            p.setPen(inkPen());
            p.setBrush(QColor(0x9c, 0x6b, 0x3c));
            p.drawRect(QRectF(5, 3, 14, 26));
            p.setBrush(kFolder);
            p.drawEllipse(QPointF(16, 16), 1.3, 1.3);
            p.setPen(inkPen(2.5, kRed));
            p.drawLine(QPointF(17, 16), QPointF(29, 16));
            p.drawLine(QPointF(25, 12), QPointF(29, 16));
            p.drawLine(QPointF(25, 20), QPointF(29, 16));
        });
        return t;
    }();
    return table;
}

QPixmap render(const Drawing& drawing, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 32.0, size / 32.0);
    drawing(p);
    return pixmap;
}

QIcon iconFrom(const Drawing& drawing)
{
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48, 64})
        icon.addPixmap(render(drawing, size));
    return icon;
}

QIcon cached(QHash<QString, QIcon>& cache, const QHash<QString, Drawing>& table, const QString& key,
             const Drawing& fallback)
{
    auto found = cache.find(key);
    if (found != cache.end())
        return *found;
    auto drawing = table.find(key);
    QIcon icon = iconFrom(drawing != table.end() ? *drawing : fallback);
    cache.insert(key, icon);
    return icon;
}

}  // namespace

QIcon treePicture(const QString& key)
{
    static QHash<QString, QIcon> cache;
    return cached(cache, drawings(), key, drawings().value("item"));
}

QIcon listPicture(const QString& key)
{
    static QHash<QString, QIcon> cache;
    return cached(cache, listDrawings(), key, typeTile("?", kGrey));
}

QIcon toolbarPicture(const QString& key)
{
    static QHash<QString, QIcon> cache;
    return cached(cache, toolbarDrawings(), key, [](QPainter&) {});
}

QStringList treePictureKeys() { return drawings().keys(); }
QStringList listPictureKeys() { return listDrawings().keys(); }
QStringList toolbarPictureKeys() { return toolbarDrawings().keys(); }

}  // namespace pictures
