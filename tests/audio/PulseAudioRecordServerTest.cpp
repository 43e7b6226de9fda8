// The recording control against a real, private PulseAudio server (a CTest fixture starts it
// with scripts/pulse-test-server.sh and always stops it): names, ranges, the lazy connection of
// the wrapper, and a server that dies and comes back.
//
// Environment: PULSE_SERVER names the private server; TARDIVOX_PULSE_SCRIPT and
// TARDIVOX_PULSE_DIR let the restart test kill and start it again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "audio/AudioRecord.h"
#include "audio/PulseAudioRecord.h"
#include "audio/PulseConnection.h"
#include "audio/PulseSourceClient.h"
#include "audio/WaveService.h"

namespace tardivox {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Runs a shell command; returns its standard output, and whether it succeeded in *ok.
std::string Shell(const std::string& command, bool* ok = nullptr) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (ok) *ok = false;
    return output;
  }
  char buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, read);
  const int status = pclose(pipe);
  if (ok) *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return output;
}

std::string Pactl(const std::string& arguments, bool* ok = nullptr) {
  return Shell("LC_ALL=C pactl " + arguments + " 2>&1", ok);
}

// The source descriptions as pactl lists them, in the server's order.
std::vector<std::string> ServerDescriptions() {
  bool ok = false;
  std::istringstream listing(Pactl("list sources", &ok));
  EXPECT_TRUE(ok) << "pactl list sources failed";
  // Real inputs first, then the monitors of sinks, each in the server's order.
  std::vector<std::string> inputs;
  std::vector<std::string> monitors;
  std::string description;
  const std::string key = "Description: ";
  const std::string monitorKey = "Monitor of Sink: ";
  for (std::string line; std::getline(listing, line);) {
    const auto at = line.find(key);
    if (at != std::string::npos && line.find_first_not_of(" \t") == at) {
      description = line.substr(at + key.size());
    }
    const auto monitorAt = line.find(monitorKey);
    if (monitorAt != std::string::npos && line.find_first_not_of(" \t") == monitorAt) {
      const bool monitor = line.substr(monitorAt + monitorKey.size()) != "n/a";
      (monitor ? monitors : inputs).push_back(description);
    }
  }
  inputs.insert(inputs.end(), monitors.begin(), monitors.end());
  return inputs;
}

std::vector<std::string> DeviceNames(IAudioRecord& record) {
  std::vector<std::string> names;
  for (int32_t i = 0, n = record.GetDeviceCount(); i < n; ++i) {
    names.push_back(record.GetDeviceName(i));
  }
  return names;
}

class PulseAudioRecordServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_THAT(Env("PULSE_SERVER"), HasSubstr("unix:"))
        << "run through ctest: the fixture starts the private server";
    sources_ = ServerDescriptions();
    ASSERT_GE(sources_.size(), 2u) << "the private server should offer several sources";
  }

  std::vector<std::string> sources_;
};

TEST_F(PulseAudioRecordServerTest, DevicesAreTheServerSourcesByFullDescriptionInServerOrder) {
  TPulseAudioRecord record;
  EXPECT_THAT(DeviceNames(record), ElementsAreArray(sources_));
}

TEST_F(PulseAudioRecordServerTest, DevicesAreNamedExactlyAsTheWaveServiceNamesItsInputs) {
  TPulseAudioRecord record;
  IALWaveService& waves = CurrentWaveService();
  const int32_t count = record.GetDeviceCount();
  ASSERT_EQ(waves.waveInGetNumDevs(), static_cast<uint32_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TWaveDevCaps caps;
    ASSERT_EQ(waves.waveInGetDevCapsA(static_cast<uint32_t>(i), caps), TWaveResult::NoError);
    EXPECT_EQ(record.GetDeviceName(i), caps.name) << "device " << i;
  }
}

TEST_F(PulseAudioRecordServerTest, ANewSourceShowsAtTheNextCall) {
  TPulseAudioRecord record;
  const int32_t before = record.GetDeviceCount();
  bool ok = false;
  std::string module = Pactl(
      "load-module module-null-source source_name=tvx_record_extra "
      "description='\"Entrée ajoutée\"'",
      &ok);
  ASSERT_TRUE(ok) << module;
  module.erase(module.find_last_not_of("\n") + 1);
  EXPECT_EQ(record.GetDeviceCount(), before + 1);
  EXPECT_THAT(DeviceNames(record), ElementsAreArray(ServerDescriptions()));
  // A real input comes before the monitors of the sinks.
  EXPECT_EQ(record.GetDeviceName(0), "Entrée ajoutée");
  // The new source has no ports: no lines.
  record.SelectDevice(0);
  EXPECT_EQ(record.GetLineCount(), 0);
  ASSERT_TRUE((Pactl("unload-module " + module, &ok), ok));
  EXPECT_EQ(record.GetDeviceCount(), before);
  EXPECT_THROW(record.GetLineCount(), EAudioRecordError) << "the selected source is gone";
}

TEST_F(PulseAudioRecordServerTest, SourcesWithoutPortsHaveNoLines) {
  TPulseAudioRecord record;
  EXPECT_EQ(record.GetLineCount(), 0) << "the default source";
  for (int32_t device = 0; device < static_cast<int32_t>(sources_.size()); ++device) {
    record.SelectDevice(device);
    EXPECT_EQ(record.GetLineCount(), 0) << "device " << device;
    EXPECT_THROW(record.SelectLine(0), EAudioRecordError) << "device " << device;
    EXPECT_THROW(record.GetLineName(0), EAudioRecordError) << "device " << device;
  }
}

TEST_F(PulseAudioRecordServerTest, OutOfRangeDeviceIndexesRaise) {
  TPulseAudioRecord record;
  const auto count = static_cast<int32_t>(sources_.size());
  for (int32_t index : {-1, count, count + 1000, INT32_MIN}) {
    EXPECT_THROW(record.GetDeviceName(index), EAudioRecordError) << index;
    EXPECT_THROW(record.SelectDevice(index), EAudioRecordError) << index;
  }
  EXPECT_EQ(record.GetDeviceCount(), count) << "the connection is still usable";
}

TEST_F(PulseAudioRecordServerTest, APortTheServerRefusesIsAnError) {
  TPulseSourceClient client;
  const auto sources = client.ListSources();
  ASSERT_FALSE(sources.empty());
  try {
    client.SetActivePort(sources[0].name, "no-such-port");
    FAIL() << "a port the source lacks was accepted";
  } catch (const EAudioRecordError& error) {
    EXPECT_THAT(error.what(), HasSubstr("« no-such-port » de « " + sources[0].name + " »"));
  }
  EXPECT_EQ(client.ListSources().size(), sources.size()) << "the connection survives a refusal";
}

// A server that stops answering (here: stopped with SIGSTOP) costs a call at most the timeout,
// then a clear error; the connection is usable again once the server answers.
TEST_F(PulseAudioRecordServerTest, AServerThatDoesNotAnswerTimesOut) {
  const std::string dir = Env("TARDIVOX_PULSE_DIR");
  if (dir.empty()) GTEST_SKIP() << "the server's pid is unknown in this run";
  bool ok = false;
  const std::string pidText = Shell("cat '" + dir + "/pid'", &ok);
  ASSERT_TRUE(ok) << pidText;
  const pid_t pid = static_cast<pid_t>(std::stol(pidText));
  ASSERT_GT(pid, 0);

  using std::chrono::milliseconds;
  constexpr milliseconds kTimeout{300};
  TPulseSourceClient client(kTimeout);
  ASSERT_EQ(client.ListSources().size(), sources_.size());

  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  struct TContinue {
    pid_t pid;
    ~TContinue() { kill(pid, SIGCONT); }
  } resume{pid};
  const auto started = std::chrono::steady_clock::now();
  try {
    client.ListSources();
    ADD_FAILURE() << "a stopped server answered";
  } catch (const EAudioRecordError& error) {
    EXPECT_THAT(error.what(), HasSubstr("Timeout"));
  }
  // Clients share the process's connection: a new one is answered no sooner.
  TPulseSourceClient second(kTimeout);
  EXPECT_THROW(second.ListSources(), EAudioRecordError) << "a second client waits for ever";
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(5000));

  ASSERT_EQ(kill(pid, SIGCONT), 0);
  EXPECT_EQ(client.ListSources().size(), sources_.size());
}

TEST_F(PulseAudioRecordServerTest, TheWrapperConnectsAtItsFirstCallAndRaisesThereWhenUnreachable) {
  const std::string server = Env("PULSE_SERVER");
  const std::string nowhere = "unix:" + ::testing::TempDir() + "tvx-no-server";
  setenv("PULSE_SERVER", nowhere.c_str(), 1);
  {
    // Earlier tests left the process's connection on the real server: forget it, so the next
    // connection goes where the environment now points.
    TPulseConnection& connection = TPulseConnection::Instance();
    TPulseConnection::TLock lock(connection);
    connection.DropContext();
  }
  TCAudioRecord record;  // must neither connect nor raise here
  EXPECT_FALSE(record.Connected());
  try {
    record.GetDeviceCount();
    ADD_FAILURE() << "connected to a server that does not exist";
  } catch (const EAudioRecordError& error) {
    EXPECT_THAT(error.what(), HasSubstr("injoignable"));
  }
  EXPECT_FALSE(record.Connected());

  setenv("PULSE_SERVER", server.c_str(), 1);
  EXPECT_THAT(DeviceNames(record), ElementsAreArray(sources_));
  EXPECT_TRUE(record.Connected());
}

TEST_F(PulseAudioRecordServerTest, AServerThatDiedRaisesClearlyAndIsReconnectedWhenBack) {
  const std::string script = Env("TARDIVOX_PULSE_SCRIPT");
  const std::string dir = Env("TARDIVOX_PULSE_DIR");
  if (script.empty() || dir.empty()) GTEST_SKIP() << "no restartable server in this run";

  TCAudioRecord record;
  record.SelectDevice(1);
  ASSERT_THAT(DeviceNames(record), ElementsAreArray(sources_));

  bool ok = false;
  const std::string killed = Shell(script + " kill '" + dir + "' 2>&1", &ok);
  ASSERT_TRUE(ok) << killed;
  // While the server is away every call raises a clear error; none hangs or crashes.
  for (int round = 0; round < 2; ++round) {
    try {
      record.GetDeviceCount();
      ADD_FAILURE() << "counted devices without a server";
    } catch (const EAudioRecordError& error) {
      EXPECT_THAT(error.what(), HasSubstr("serveur de son")) << error.what();
    }
    EXPECT_THROW(record.GetDeviceName(0), EAudioRecordError);
    EXPECT_THROW(record.SelectDevice(0), EAudioRecordError);
    EXPECT_THROW(record.GetLineCount(), EAudioRecordError);
    EXPECT_THROW(record.SelectLine(0), EAudioRecordError);
    EXPECT_THROW(record.GetLineName(0), EAudioRecordError);
  }

  // The start script can mistake a server that is still being exec'd for one that died and
  // give up; a few attempts keep this test about the client, not about that race.
  std::string started;
  ok = false;
  for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
    started = Shell(script + " start '" + dir + "' 2>&1", &ok);
  }
  ASSERT_TRUE(ok) << started;
  EXPECT_THAT(DeviceNames(record), ElementsAreArray(ServerDescriptions()));
  // The choice made before the crash is found again by the source's server name.
  EXPECT_EQ(record.GetLineCount(), 0);
}

}  // namespace
}  // namespace tardivox
