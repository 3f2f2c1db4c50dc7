#include "sheets/default_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace velmor {

QPixmap defaultSheetPicture()
{
    QPixmap picture(800, 600);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient base(0, 0, 800, 600);
    base.setColorAt(0.0, QColor(12, 22, 48));
    base.setColorAt(0.55, QColor(20, 40, 72));
    base.setColorAt(1.0, QColor(6, 10, 24));
    painter.fillRect(picture.rect(), base);

    // A soft glow behind the title, still dark enough for the yellow,
    // green and grey labels.
    QRadialGradient glow(QPointF(400, 40), 420);
    glow.setColorAt(0.0, QColor(60, 90, 130, 90));
    glow.setColorAt(1.0, QColor(60, 90, 130, 0));
    painter.fillRect(picture.rect(), glow);
    painter.end();
    return picture;
}

} // namespace velmor
