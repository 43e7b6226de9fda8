#pragma once
// The recording control's questions to the sound server: lists the server's sources with their
// ports and sets a source's active port, on the process's one connection (TPulseConnection).
//
// Connection: the constructor connects (no autospawn) to the server the environment names
// (PULSE_SERVER, or the user's default) and raises EAudioRecordError when no server answers
// within the connection's timeout. When the server goes away, the operation that notices it
// raises; the next operation connects afresh, so a restarted server is picked up without
// recreating the client.
//
// Every operation waits at most the timeout for the server's answer, then raises.
//
// Thread: the window's (one thread at a time). Locks: takes the main loop lock for each
// operation and releases it while waiting (rank: sound server loop — see docs/ARCHITECTURE.md);
// the caller holds no component lock.

#include <chrono>
#include <string>
#include <vector>

#include "audio/PulseAudioRecord.h"
#include "audio/PulseConnection.h"

namespace tardivox {

struct TRecordRequest;

class TPulseSourceClient final : public IRecordSourceServer {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{5000};

  explicit TPulseSourceClient(std::chrono::milliseconds timeout = kDefaultTimeout);
  TPulseSourceClient(const TPulseSourceClient&) = delete;
  TPulseSourceClient& operator=(const TPulseSourceClient&) = delete;
  ~TPulseSourceClient() override;

  std::vector<TRecordSource> ListSources() override;
  std::string DefaultSourceName() override;
  void SetActivePort(const std::string& sourceName, const std::string& portName) override;

 private:
  // With the main loop lock held: the ready context, connecting afresh when needed; raises
  // EAudioRecordError when the server cannot be reached.
  pa_context* Live();
  // Starts an operation and waits for its answer, for the loss of the connection or for the
  // timeout, whichever comes first. Raises in the last two cases and when the server answered
  // with an error; `what` opens that message.
  template <typename Start>
  void Run(TRecordRequest& request, const std::string& what, Start start);

  std::chrono::milliseconds timeout_;
  TPulseConnection& connection_;
};

}  // namespace tardivox
