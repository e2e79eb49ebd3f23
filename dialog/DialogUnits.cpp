#include "dialog/DialogUnits.h"

#include <QFontMetrics>
#include <QLabel>
#include <QWidget>
#include <cmath>

namespace fotoshuttle {
namespace {

struct BaseUnits {
    double x;
    double y;
};

BaseUnits BaseUnitsOf(const QFont& font) {
    QFontMetrics metrics(font);
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    double averageWidth = (metrics.horizontalAdvance(kAlphabet) / 26.0 + 1) / 2.0;
    return {averageWidth / 4.0, metrics.height() / 8.0};
}

QRect Scaled(const QRect& units, BaseUnits base) {
    int left = static_cast<int>(std::lround(units.x() * base.x));
    int top = static_cast<int>(std::lround(units.y() * base.y));
    int right = static_cast<int>(std::lround((units.x() + units.width()) * base.x));
    int bottom = static_cast<int>(std::lround((units.y() + units.height()) * base.y));
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

void ScaleFromDialogUnits(QWidget* dialog) {
    BaseUnits base = BaseUnitsOf(dialog->font());
    for (QWidget* child : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QRect scaled = Scaled(child->geometry(), base);
        // A static text drawn wider than its template box grows to the left, towards the free
        // space the templates leave before labels, instead of being cut off at its right end.
        if (auto* label = qobject_cast<QLabel*>(child)) {
            int shortfall = label->sizeHint().width() - scaled.width();
            if (shortfall > 0) {
                scaled.adjust(-shortfall, 0, 0, 0);
            }
        }
        child->setGeometry(scaled);
    }
    QRect client = Scaled(QRect(QPoint(0, 0), dialog->size()), base);
    dialog->setFixedSize(client.size());
}

}  // namespace fotoshuttle
