#include "about/window/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace vd {

QIcon ProgramIcon() {
  // Rendered here rather than through an icon-engine plugin, which may be missing.
  static const QIcon icon = [] {
    QIcon drawn;
    QSvgRenderer renderer(QStringLiteral(":/vellumdock/vellumdock.svg"));
    if (!renderer.isValid()) return drawn;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
      QPixmap pixmap(size, size);
      pixmap.fill(Qt::transparent);
      QPainter painter(&pixmap);
      renderer.render(&painter);
      painter.end();
      drawn.addPixmap(pixmap);
    }
    return drawn;
  }();
  return icon;
}

}  // namespace vd
