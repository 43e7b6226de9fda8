#include "app/RealtimeKit.h"

#include <sys/resource.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>

#include <atomic>

#include "audio/WaveThread.h"

namespace tardivox {

namespace {

const QString kService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kPath = QStringLiteral("/org/freedesktop/RealtimeKit1");
constexpr int kCallTimeoutMs = 2000;
constexpr rlim_t kRealtimeBudgetUsec = 200000;

// The installed object; only the window's thread changes it.
std::atomic<TRealtimeKit*> gInstalled{nullptr};

QDBusMessage Call(const QString& method, const QList<QVariant>& arguments) {
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, method);
  message.setArguments(arguments);
  return message;
}

}  // namespace

TRealtimeKit::TRealtimeKit(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

TRealtimeKit::~TRealtimeKit() {
  TRealtimeKit* self = this;
  if (gInstalled.compare_exchange_strong(self, nullptr)) SetRealtimeRequest(nullptr);
}

void TRealtimeKit::Install() {
  gInstalled.store(this, std::memory_order_release);
  SetRealtimeRequest(&TRealtimeKit::Forward);
}

void TRealtimeKit::Forward(int64_t thread, int priority) {
  TRealtimeKit* kit = gInstalled.load(std::memory_order_acquire);
  if (!kit) return;
  // Queued to the object's thread: the caller is an audio thread and must not wait. A request
  // still queued when the object goes is dropped with it.
  QMetaObject::invokeMethod(
      kit, [kit, thread, priority] { kit->Request(thread, priority); }, Qt::QueuedConnection);
}

void TRealtimeKit::Request(int64_t thread, int priority) {
  if (!bus_.isConnected()) {
    ++refused_;
    emit Answered(thread, false);
    return;
  }
  if (!budgetSet_) {
    budgetSet_ = true;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) == 0 &&
        (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kRealtimeBudgetUsec)) {
      limit.rlim_cur = limit.rlim_max = kRealtimeBudgetUsec;
      (void)setrlimit(RLIMIT_RTTIME, &limit);
    }
  }
  const QDBusMessage message = Call(QStringLiteral("MakeThreadRealtime"),
                                    {QVariant::fromValue(static_cast<quint64>(thread)),
                                     QVariant::fromValue(static_cast<quint32>(priority))});
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, thread](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            if (!call->isError()) {
              ++granted_;
              emit Answered(thread, true);
              return;
            }
            AskHighPriority(thread);
          });
}

void TRealtimeKit::AskHighPriority(int64_t thread) {
  const QDBusMessage message = Call(QStringLiteral("MakeThreadHighPriority"),
                                    {QVariant::fromValue(static_cast<quint64>(thread)),
                                     QVariant::fromValue(static_cast<qint32>(kHighPriorityNice))});
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, thread](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            ++refused_;
            emit Answered(thread, false);
          });
}

}  // namespace tardivox
