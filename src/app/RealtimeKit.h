#pragma once
// Asks the desktop's real-time service (RealtimeKit, on the system bus) for real-time
// scheduling of the audio threads when the system refuses it to the program itself, as it does
// to an ordinary desktop user. The audio threads hand their ids over through the audio layer's
// request function (SetRealtimeRequest), which this object installs; each request is then sent
// from the window's thread without waiting for the answer, so no audio thread ever waits for
// the bus. The service wants a bounded real-time CPU budget (RLIMIT_RTTIME) before it grants
// anything: the first request sets it to the service's usual maximum, 200 ms of CPU without
// blocking, which the audio threads never come near (they block on every buffer).
//
// Failure: no bus, no service or a refusal leaves the thread at the highest normal priority the
// service grants (MakeThreadHighPriority), or where it was; nothing is reported to the user,
// the outcome is told by Answered and counted.
//
// Ownership: one object, owned by main() (or a test) and living on the window's thread, made
// before and destroyed after every audio component (an audio thread may hand a request over
// until it stops); destroying it removes the request function first. At most one is installed
// at a time.
// Threads: every member runs on the object's thread; the installed request function may be
// called from any thread. Locks: none of the program's.

#include <QDBusConnection>
#include <QObject>

#include <cstdint>

namespace tardivox {

class TRealtimeKit : public QObject {
  Q_OBJECT

 public:
  static constexpr int kHighPriorityNice = -11;

  // Talks to the service on `bus` (the system bus in the program, a private bus in tests).
  explicit TRealtimeKit(const QDBusConnection& bus, QObject* parent = nullptr);
  ~TRealtimeKit() override;
  TRealtimeKit(const TRealtimeKit&) = delete;
  TRealtimeKit& operator=(const TRealtimeKit&) = delete;

  // Makes this object the process's request function.
  void Install();
  // Asks for real-time scheduling of `thread` (a thread id of this process) at `priority`.
  void Request(int64_t thread, int priority);

  int Granted() const { return granted_; }
  int Refused() const { return refused_; }

 signals:
  // The service's answer: realtime true when it granted real-time scheduling.
  void Answered(qint64 thread, bool realtime);

 private:
  static void Forward(int64_t thread, int priority);
  void AskHighPriority(int64_t thread);

  QDBusConnection bus_;
  bool budgetSet_ = false;
  int granted_ = 0;
  int refused_ = 0;
};

}  // namespace tardivox
