// The Qt clipboard writer of the engine (see ClipboardWriter.h).
#include "ui/forms/ClipboardWriter.h"

#include <dlfcn.h>

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMetaObject>
#include <QMimeData>
#include <QString>
#include <QThread>

#include "engine/include/ace_hooks.h"

namespace {

constexpr uint32_t kNoClipboard = AE_NOT_SUPPORTED;

void PutOnClipboard(const QString& type, const QByteArray& bytes) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (type.startsWith(QLatin1String("text/plain"))) {
    clipboard->setText(QString::fromUtf8(bytes));
    return;
  }
  auto* mime = new QMimeData();
  mime->setData(type, bytes);
  if (type.startsWith(QLatin1String("image/"))) {
    QImage image;
    if (image.loadFromData(bytes)) mime->setImageData(image);
  }
  clipboard->setMimeData(mime);  // the clipboard owns it
}

}  // namespace

uint32_t QtClipboardWriter(const char* mime_type, const uint8_t* data, uint32_t length) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (app == nullptr || mime_type == nullptr || (data == nullptr && length != 0))
    return kNoClipboard;
  const QString type = QString::fromLatin1(mime_type);
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
  if (QThread::currentThread() == app->thread()) {
    PutOnClipboard(type, bytes);
  } else {
    QMetaObject::invokeMethod(
        app, [&type, &bytes] { PutOnClipboard(type, bytes); }, Qt::BlockingQueuedConnection);
  }
  return 0;
}

bool InstallEngineClipboardWriter() {
  using Register = UNSIGNED32 (*)(ADS_CLIPBOARD_WRITER);
  void* symbol = ::dlsym(RTLD_DEFAULT, ADS_REGISTER_CLIPBOARD_WRITER_SYMBOL);
  if (symbol == nullptr) return false;  // no engine in this process
  auto registration = reinterpret_cast<Register>(symbol);
  return registration(&QtClipboardWriter) == 0;
}
