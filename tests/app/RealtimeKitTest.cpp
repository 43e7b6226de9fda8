// The request for real-time scheduling through the desktop's real-time service, against a
// private message bus that the test starts (dbus-daemon --session, never the user's or the
// system's bus) with a stand-in for the service registered on it.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <csignal>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "app/RealtimeKit.h"
#include "audio/WaveThread.h"

// Qt and the message bus library are not built with ThreadSanitizer: the D-Bus connection
// thread synchronises with the window's thread through futex-based mutexes and the library's
// own locking, which the tool cannot see. Only races with a frame inside them are silenced;
// this program's own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core\nrace:libQt6DBus\nrace:libdbus-1\n";
}
// A suppression only applies once a report is built, and building one for memory that Qt
// reallocates on the connection's thread while the bus closes once crashed the tool itself
// (an internal check on its thread registry) under a loaded CI run. Accesses made through the
// tool's interceptors from those uninstrumented libraries are therefore not checked at all.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}

namespace tardivox {

// The service's two methods as the audio threads use them; it records every call and refuses
// real-time scheduling when told to.
class TRealtimeServiceStandIn : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")

 public:
  struct TCall {
    QString method;
    quint64 thread;
    qint64 value;
  };
  std::vector<TCall> calls;
  bool refuseRealtime = false;

 public slots:
  void MakeThreadRealtime(quint64 thread, quint32 priority) {
    calls.push_back({QStringLiteral("realtime"), thread, priority});
    if (refuseRealtime)
      sendErrorReply(QDBusError::AccessDenied, QStringLiteral("not allowed here"));
  }
  void MakeThreadHighPriority(quint64 thread, qint32 nice) {
    calls.push_back({QStringLiteral("high"), thread, nice});
  }
};

namespace {

bool WaitWithEvents(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeoutMs)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class RealtimeKitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The bus ends with the test process, also when a failure aborts it before TearDown.
    daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon_.waitForStarted(5000)) << "dbus-daemon did not start";
    ASSERT_TRUE(WaitWithEvents([&] { return daemon_.canReadLine(); }))
        << "dbus-daemon told no address";
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus(QStringLiteral("tdx-service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("tdx-client"));
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }
  // Registers the stand-in under the service's name.
  void OfferService() {
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("tdx-service"));
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.RealtimeKit1")));
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), &service_,
                                   QDBusConnection::ExportAllSlots));
  }
  QDBusConnection Client() {
    return QDBusConnection::connectToBus(address_, QStringLiteral("tdx-client"));
  }

  QProcess daemon_;
  QString address_;
  TRealtimeServiceStandIn service_;
};

// An audio thread hands its id over without waiting; the window's thread asks for it; refused,
// the thread is asked the highest normal priority instead; the outcome is told and counted.
TEST_F(RealtimeKitTest, AudioThreadsAreHandedToTheServiceAndRefusalFallsBackToHighPriority) {
  OfferService();
  TRealtimeKit kit(Client());
  kit.Install();
  std::vector<std::pair<qint64, bool>> answers;
  QObject::connect(&kit, &TRealtimeKit::Answered,
                   [&](qint64 thread, bool realtime) { answers.emplace_back(thread, realtime); });

  std::atomic<bool> handed{false};
  std::thread audio([&] { handed = RequestRealtime(4242, 3); });
  audio.join();
  EXPECT_TRUE(handed.load()) << "no request function installed";
  ASSERT_TRUE(WaitWithEvents([&] { return answers.size() == 1; })) << "no answer";
  EXPECT_EQ(answers[0], std::make_pair(qint64{4242}, true));
  ASSERT_EQ(service_.calls.size(), 1u);
  EXPECT_EQ(service_.calls[0].method, QStringLiteral("realtime"));
  EXPECT_EQ(service_.calls[0].thread, 4242u);
  EXPECT_EQ(service_.calls[0].value, 3);

  service_.refuseRealtime = true;
  kit.Request(77, 3);
  ASSERT_TRUE(WaitWithEvents([&] { return answers.size() == 2; })) << "no answer after refusal";
  EXPECT_EQ(answers[1], std::make_pair(qint64{77}, false));
  ASSERT_EQ(service_.calls.size(), 3u);
  EXPECT_EQ(service_.calls[2].method, QStringLiteral("high"));
  EXPECT_EQ(service_.calls[2].value, TRealtimeKit::kHighPriorityNice);
  EXPECT_EQ(kit.Granted(), 1);
  EXPECT_EQ(kit.Refused(), 1);
}

// Without the service (or without any bus) the request is refused at once; destroying the
// object removes the request function, so later audio threads hand nothing to a dead object.
TEST_F(RealtimeKitTest, NoServiceOrNoBusIsARefusalAndDestructionUninstalls) {
  {
    TRealtimeKit kit(Client());
    kit.Install();
    int answers = 0;
    QObject::connect(&kit, &TRealtimeKit::Answered, [&](qint64, bool realtime) {
      EXPECT_FALSE(realtime);
      ++answers;
    });
    kit.Request(1, 3);
    EXPECT_TRUE(WaitWithEvents([&] { return answers == 1; })) << "no answer without a service";

    TRealtimeKit unconnected(QDBusConnection(QStringLiteral("tdx-nothing")));
    unconnected.Request(2, 3);
    EXPECT_EQ(unconnected.Refused(), 1);
  }
  EXPECT_FALSE(RequestRealtime(3, 3));
}

}  // namespace
}  // namespace tardivox

#include "RealtimeKitTest.moc"
