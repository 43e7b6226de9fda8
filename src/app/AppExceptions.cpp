#include "app/AppExceptions.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

namespace tardivox {

void IgnoreException() {}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

QString ErrorBoxText(const std::exception& error) {
  return ErrorBoxText(QString::fromUtf8(error.what()));
}

QString ApplicationTitle() {
  const QString title = QGuiApplication::applicationDisplayName();
  return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void ShowErrorBox(const QString& caption, const QString& message) {
  QMessageBox box(QMessageBox::Critical, caption, message, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

}  // namespace tardivox
