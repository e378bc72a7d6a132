#include "app/UdisksAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include "platform/DeviceFile.h"

namespace lv {

namespace {
const QString kService = QStringLiteral("org.freedesktop.UDisks2");
// The polkit prompt waits for the user.
constexpr int kPromptTimeoutMs = 5 * 60 * 1000;
}  // namespace

int OpenWithUdisks(const std::string& path) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return -1;
  QDBusMessage resolve = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
                                                        QStringLiteral("org.freedesktop.UDisks2.Manager"),
                                                        QStringLiteral("ResolveDevice"));
  resolve << QVariantMap{{QStringLiteral("path"), QString::fromStdString(path)}} << QVariantMap();
  const QDBusReply<QList<QDBusObjectPath>> objects = bus.call(resolve, QDBus::Block, 10000);
  if (!objects.isValid() || objects.value().isEmpty()) return -1;
  QDBusMessage open = QDBusMessage::createMethodCall(kService, objects.value().front().path(),
                                                     QStringLiteral("org.freedesktop.UDisks2.Block"),
                                                     QStringLiteral("OpenForBackup"));
  open << QVariantMap();
  open.setInteractiveAuthorizationAllowed(true);
  const QDBusReply<QDBusUnixFileDescriptor> descriptor = bus.call(open, QDBus::Block, kPromptTimeoutMs);
  if (!descriptor.isValid() || !descriptor.value().isValid()) return -1;
  // The reply's descriptor closes with it; ours is a copy.
  return ::fcntl(descriptor.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
}

void UseUdisksForDevices() { DeviceFile::SetOpenFallback(&OpenWithUdisks); }

}  // namespace lv
