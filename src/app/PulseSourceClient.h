#pragma once
// A PulseAudio client for the recording control: lists the server's sources with their ports
// and sets a source's active port.
//
// Connection: the constructor connects (threaded main loop, no autospawn) to the server the
// environment names (PULSE_SERVER, or the user's default) and raises EAudioRecordError when no
// server answers within the timeout. When the server goes away, the operation that notices it
// raises; the next operation connects afresh, so a restarted server is picked up without
// recreating the client.
//
// Every operation waits at most the timeout for the server's answer, then raises.
//
// Threads: the operations are called from one thread at a time. Internally the main loop's own
// thread runs the library's callbacks, which only fill the waiting request and wake the caller.
// Lock order: the main loop's lock → mutex_. The caller never holds mutex_ while it takes the
// main loop's lock.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/PulseAudioRecord.h"

namespace tardivox {

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
  class TConnection;

  // The live connection: the current one if it is still ready, else a new one.
  TConnection& Live();

  std::chrono::milliseconds timeout_;
  std::unique_ptr<TConnection> connection_;
};

}  // namespace tardivox
