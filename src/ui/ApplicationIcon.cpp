#include "ui/ApplicationIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace halcyra {

QIcon ApplicationIcon()
{
    // Rendered once per size instead of scaled from one bitmap, so small tray sizes stay sharp.
    static const QIcon icon = [] {
        QIcon result;
        QSvgRenderer renderer(QStringLiteral(":/halcyra/halcyra.svg"));
        if (!renderer.isValid()) return result;
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter);
            painter.end();
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}

}  // namespace halcyra
