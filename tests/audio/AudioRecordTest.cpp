// The recording control's wrapper and the PulseAudio provider's rules, the latter over a table
// of sources standing in for the server (a private test server cannot make a source with ports;
// PulseAudioRecordServerTest covers the real server).
#include "audio/AudioRecord.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/FakeAudioRecord.h"
#include "audio/PulseAudioRecord.h"

namespace tardivox {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TFakeAudioRecord;

TEST(TCAudioRecordTest, CreatesItsProviderAtTheFirstCallOnly) {
  auto log = std::make_shared<TFakeAudioRecord::TLog>();
  int created = 0;
  TCAudioRecord record([&]() -> std::unique_ptr<IAudioRecord> {
    ++created;
    return std::make_unique<TFakeAudioRecord>(log);
  });
  EXPECT_EQ(created, 0);
  EXPECT_FALSE(record.Connected());

  EXPECT_EQ(record.GetDeviceCount(), 2);
  EXPECT_TRUE(record.Connected());
  EXPECT_EQ(record.GetDeviceName(1), "Périphérique 2");
  record.SelectDevice(1);
  EXPECT_EQ(record.GetLineCount(), 1);
  EXPECT_EQ(record.GetLineName(0), "C");
  record.SelectLine(0);
  EXPECT_EQ(created, 1);
  EXPECT_THAT(*log, ElementsAre("SelectDevice(1)", "SelectLine(0)"));
}

TEST(TCAudioRecordTest, RaisesAtTheFirstCallWhenTheProviderCannotBeCreatedAndRetriesLater) {
  bool reachable = false;
  int attempts = 0;
  TCAudioRecord record([&]() -> std::unique_ptr<IAudioRecord> {
    ++attempts;
    if (!reachable) throw EAudioRecordError("Le serveur de son est injoignable : refused");
    return std::make_unique<TFakeAudioRecord>();
  });
  EXPECT_EQ(attempts, 0);

  // Every operation is a first call while the provider is missing; each raises the
  // provider's own error, as an error the controller's guards catch.
  const std::vector<std::function<void()>> calls = {
      [&] { record.GetDeviceCount(); }, [&] { record.GetDeviceName(0); },
      [&] { record.SelectDevice(0); },  [&] { record.GetLineCount(); },
      [&] { record.SelectLine(0); },    [&] { record.GetLineName(0); }};
  for (const auto& call : calls) {
    try {
      call();
      ADD_FAILURE() << "the call succeeded without a provider";
    } catch (const Exception& error) {
      EXPECT_THAT(error.what(), HasSubstr("injoignable"));
    }
  }
  EXPECT_EQ(attempts, 6);
  EXPECT_FALSE(record.Connected());

  reachable = true;
  EXPECT_EQ(record.GetDeviceCount(), 2);
  EXPECT_EQ(attempts, 7);
}

TEST(TCAudioRecordTest, AFactoryGivingNothingIsAFailedConnection) {
  TCAudioRecord record([]() -> std::unique_ptr<IAudioRecord> { return nullptr; });
  EXPECT_THROW(record.GetDeviceCount(), EAudioRecordError);
  EXPECT_FALSE(record.Connected());
}

TEST(CheckAudioRecordIndexTest, AcceptsExactlyZeroToCountMinusOne) {
  EXPECT_NO_THROW(CheckAudioRecordIndex(0, 1, "Ligne d'entrée"));
  EXPECT_NO_THROW(CheckAudioRecordIndex(2, 3, "Ligne d'entrée"));
  struct TCase {
    int32_t index;
    int32_t count;
    const char* message;
  };
  for (const TCase& c :
       {TCase{-1, 3, "Ligne d'entrée : index -1 hors limites (de 0 à 2)"},
        TCase{3, 3, "Ligne d'entrée : index 3 hors limites (de 0 à 2)"},
        TCase{0, 0, "Ligne d'entrée : index 0 hors limites (liste vide)"},
        TCase{INT32_MIN, 0, "Ligne d'entrée : index -2147483648 hors limites (liste vide)"}}) {
    try {
      CheckAudioRecordIndex(c.index, c.count, "Ligne d'entrée");
      ADD_FAILURE() << "index " << c.index << " of " << c.count << " accepted";
    } catch (const EAudioRecordError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

// A server reduced to a table: sources with ports, a default source, and a log of the ports
// it was asked to activate. Shared state so the test keeps it after handing the server over.
struct TTableServerState {
  std::vector<TRecordSource> sources;
  std::string defaultSource;
  std::vector<std::string> activated;  // "source/port"
  bool reachable = true;
};

class TTableServer final : public IRecordSourceServer {
 public:
  explicit TTableServer(std::shared_ptr<TTableServerState> state) : state_(std::move(state)) {}

  std::vector<TRecordSource> ListSources() override {
    Check();
    return state_->sources;
  }
  std::string DefaultSourceName() override {
    Check();
    return state_->defaultSource;
  }
  void SetActivePort(const std::string& sourceName, const std::string& portName) override {
    Check();
    state_->activated.push_back(sourceName + "/" + portName);
  }

 private:
  void Check() {
    if (!state_->reachable) throw EAudioRecordError("Le serveur de son est injoignable : gone");
  }
  std::shared_ptr<TTableServerState> state_;
};

class PulseAudioRecordRulesTest : public ::testing::Test {
 protected:
  PulseAudioRecordRulesTest() : state_(std::make_shared<TTableServerState>()) {
    state_->sources = {
        {"alsa_input.mic", "Microphone interne", {{"analog-input-mic", "Micro"}}},
        {"alsa_input.card",
         "Carte son USB",
         {{"analog-input-linein", "Entrée ligne"}, {"analog-input-mic", "Microphone"}}},
        {"null.monitor", "Monitor of Null Output", {}},
    };
    state_->defaultSource = "alsa_input.card";
    record_ = std::make_unique<TPulseAudioRecord>(std::make_unique<TTableServer>(state_));
  }

  std::vector<std::string> LineNames() {
    std::vector<std::string> names;
    for (int32_t i = 0, n = record_->GetLineCount(); i < n; ++i) {
      names.push_back(record_->GetLineName(i));
    }
    return names;
  }

  std::shared_ptr<TTableServerState> state_;
  std::unique_ptr<TPulseAudioRecord> record_;
};

TEST_F(PulseAudioRecordRulesTest, DevicesAreTheSourcesInServerOrderByDescription) {
  ASSERT_EQ(record_->GetDeviceCount(), 3);
  EXPECT_EQ(record_->GetDeviceName(0), "Microphone interne");
  EXPECT_EQ(record_->GetDeviceName(1), "Carte son USB");
  EXPECT_EQ(record_->GetDeviceName(2), "Monitor of Null Output");
}

TEST_F(PulseAudioRecordRulesTest, LinesAreThePortsOfTheDefaultSourceUntilADeviceIsSelected) {
  EXPECT_THAT(LineNames(), ElementsAre("Entrée ligne", "Microphone"));
  record_->SelectLine(1);
  EXPECT_THAT(state_->activated, ElementsAre("alsa_input.card/analog-input-mic"));
}

TEST_F(PulseAudioRecordRulesTest, SelectLineActivatesThatPortOfTheSelectedSource) {
  record_->SelectDevice(0);
  EXPECT_THAT(LineNames(), ElementsAre("Micro"));
  record_->SelectLine(0);
  record_->SelectDevice(1);
  EXPECT_THAT(LineNames(), ElementsAre("Entrée ligne", "Microphone"));
  record_->SelectLine(0);
  record_->SelectLine(1);
  EXPECT_THAT(state_->activated,
              ElementsAre("alsa_input.mic/analog-input-mic", "alsa_input.card/analog-input-linein",
                          "alsa_input.card/analog-input-mic"));
}

TEST_F(PulseAudioRecordRulesTest, ASourceWithoutPortsHasNoLines) {
  record_->SelectDevice(2);
  EXPECT_EQ(record_->GetLineCount(), 0);
  EXPECT_THROW(record_->SelectLine(0), EAudioRecordError);
  EXPECT_THROW(record_->GetLineName(0), EAudioRecordError);
  EXPECT_TRUE(state_->activated.empty());
}

TEST_F(PulseAudioRecordRulesTest, NoDefaultSourceMeansNoLinesBeforeASelection) {
  state_->defaultSource.clear();
  EXPECT_EQ(record_->GetLineCount(), 0);
  state_->defaultSource = "vanished";
  EXPECT_EQ(record_->GetLineCount(), 0);
}

TEST_F(PulseAudioRecordRulesTest, OutOfRangeIndexesRaiseAndChangeNothing) {
  record_->SelectDevice(0);
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"GetDeviceName(-1)", [&] { record_->GetDeviceName(-1); }},
      {"GetDeviceName(3)", [&] { record_->GetDeviceName(3); }},
      {"SelectDevice(-1)", [&] { record_->SelectDevice(-1); }},
      {"SelectDevice(3)", [&] { record_->SelectDevice(3); }},
      {"GetLineName(-1)", [&] { record_->GetLineName(-1); }},
      {"GetLineName(1)", [&] { record_->GetLineName(1); }},
      {"SelectLine(-1)", [&] { record_->SelectLine(-1); }},
      {"SelectLine(1)", [&] { record_->SelectLine(1); }},
  };
  for (const auto& [name, call] : calls) {
    EXPECT_THROW(call(), EAudioRecordError) << name;
  }
  // The device choice survived: the lines are still those of device 0.
  EXPECT_THAT(LineNames(), ElementsAre("Micro"));
  EXPECT_TRUE(state_->activated.empty());
}

TEST_F(PulseAudioRecordRulesTest, ASelectedSourceThatVanishedIsReportedByName) {
  record_->SelectDevice(0);
  state_->sources.erase(state_->sources.begin());
  try {
    record_->GetLineCount();
    FAIL() << "the lines of a vanished source were listed";
  } catch (const EAudioRecordError& error) {
    EXPECT_THAT(error.what(), HasSubstr("« alsa_input.mic » n'existe plus"));
  }
  // Selecting again by index picks what is there now.
  record_->SelectDevice(0);
  EXPECT_THAT(LineNames(), ElementsAre("Entrée ligne", "Microphone"));
}

TEST_F(PulseAudioRecordRulesTest, TheSelectedSourceIsFoundByNameAfterTheListChanged) {
  record_->SelectDevice(1);
  state_->sources.insert(state_->sources.begin(), TRecordSource{"new", "Nouvelle source", {}});
  EXPECT_THAT(LineNames(), ElementsAre("Entrée ligne", "Microphone"));
}

TEST_F(PulseAudioRecordRulesTest, ServerErrorsPassThroughAndTheChoiceSurvives) {
  record_->SelectDevice(0);
  state_->reachable = false;
  EXPECT_THROW(record_->GetDeviceCount(), EAudioRecordError);
  EXPECT_THROW(record_->SelectDevice(1), EAudioRecordError);
  EXPECT_THROW(record_->SelectLine(0), EAudioRecordError);
  state_->reachable = true;
  EXPECT_THAT(LineNames(), ElementsAre("Micro"));
}

}  // namespace
}  // namespace tardivox
