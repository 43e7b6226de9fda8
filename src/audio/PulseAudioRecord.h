#pragma once
// The production recording control on the sound server (PulseAudio, or PipeWire through its
// PulseAudio service).
//
// Devices are the server's sources, real inputs first and then the monitors of sinks, each in
// the server's order, named by their full descriptions:
// the names the wave service gives its input devices, so a chosen name always resolves when the
// capture opens its device. Lines are the current source's ports, named by their descriptions;
// a source without ports has no lines. SelectLine makes that port the source's active port on
// the server. SelectDevice changes only which source the line operations describe: the capture
// is told its device separately, by name.
//
// Every operation asks the server afresh, so names and counts are always the server's current
// ones and an index means "the index-th item now". The current source is remembered by its
// server name, which survives a restart of the server; if that source disappears, the line
// operations raise until another device is selected.
//
// Failure: EAudioRecordError for an index out of range, a current source that vanished, a port
// the server refuses, and a server that cannot be reached or went away. A server that went away
// is reconnected at the next call (TPulseSourceClient).
//
// Threads: one thread at a time (the window's thread).

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioRecord.h"

namespace tardivox {

struct TRecordPort {
  std::string name;         // the server's identifier of the port
  std::string description;  // what the user sees
};

struct TRecordSource {
  std::string name;         // the server's identifier of the source, stable across restarts
  std::string description;  // what the user sees; the wave service's input device name
  std::vector<TRecordPort> ports;
  bool monitor = false;  // records what a sink plays; listed after the real inputs
};

// What the provider needs of the sound server. TPulseSourceClient talks to PulseAudio; tests
// put a table of sources behind it (a private test server cannot make a source with ports).
// Every operation raises EAudioRecordError when the server cannot be reached or refuses.
class IRecordSourceServer {
 public:
  virtual ~IRecordSourceServer() = default;

  // Every source: real inputs first, then the monitors of sinks, each in the server's order.
  virtual std::vector<TRecordSource> ListSources() = 0;
  // The server name of the default source; empty when the server has none.
  virtual std::string DefaultSourceName() = 0;
  // Makes portName the active port of sourceName.
  virtual void SetActivePort(const std::string& sourceName, const std::string& portName) = 0;
};

class TPulseAudioRecord final : public IAudioRecord {
 public:
  // Connects to the PulseAudio server named by the environment (PULSE_SERVER, or the user's
  // default server); raises EAudioRecordError when it cannot be reached.
  TPulseAudioRecord();
  explicit TPulseAudioRecord(std::unique_ptr<IRecordSourceServer> server);
  TPulseAudioRecord(const TPulseAudioRecord&) = delete;
  TPulseAudioRecord& operator=(const TPulseAudioRecord&) = delete;
  ~TPulseAudioRecord() override;

  int32_t GetDeviceCount() override;
  std::string GetDeviceName(int32_t index) override;
  void SelectDevice(int32_t index) override;
  int32_t GetLineCount() override;
  void SelectLine(int32_t index) override;
  std::string GetLineName(int32_t index) override;

 private:
  // The ports of the current source: the selected one, else the server's default source. An
  // empty list when nothing was selected and the server has no default source.
  std::pair<std::string, std::vector<TRecordPort>> CurrentLines();

  std::unique_ptr<IRecordSourceServer> server_;
  std::string selectedSourceName_;  // server name; empty until SelectDevice succeeded
};

}  // namespace tardivox
