#include <QApplication>
#include <QStyleFactory>

#include "app/Controller.h"
#include "app/RealtimeKit.h"
#include "app/frmMain.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tardivox"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tardivox"));
  // One look on every desktop: the window's geometry was fitted with this style's metrics.
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(style);
  }
  // Before the window: the audio threads it starts may ask the desktop for real-time
  // scheduling, and it outlives them.
  tardivox::TRealtimeKit realtime(QDBusConnection::systemBus());
  realtime.Install();
  tardivox::TfmMain window;
  // Declared after the window so that it is destroyed first: it detaches every handler.
  tardivox::TDelayController controller(window);
  window.show();
  // Start-up (device and line lists, a 2 s delay, the chain switched on) runs inside the event
  // loop: closing the window at any moment, during the start-up too, then ends the loop.
  controller.PostFormCreate();
  return QApplication::exec();
}
