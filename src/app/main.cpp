#include <QApplication>
#include <QStyleFactory>

#include "app/frmMain.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tardivox"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tardivox"));
  // One look on every desktop: the window's geometry was fitted with this style's metrics.
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(style);
  }
  tardivox::TfmMain window;
  window.show();
  return QApplication::exec();
}
