#include "layout/StoredForm.h"

#include <gtest/gtest.h>

#include <random>

namespace tardivox {
namespace {

const char* const kSample =
    "object fmMain: TfmMain\n"
    "  Left = -8\n"
    "  Caption = 'Tardivox l''app'\n"
    "  Scale = 0.5\n"
    "  Anchors = [akLeft, akTop]\n"
    "  object ALAudioIn1: TALAudioIn\n"
    "    Enabled = False\n"
    "    OutputPin.SinkPins = (fmMain.ALAudioToReal1.InputPin fmMain.ALDelayLine1.InputPin)\n"
    "  end\n"
    "  object ALAudioToReal1: TALAudioToReal\n"
    "    OutputPins.Pins = (Sinks ((fmMain.SLAdd1.InputPins._Pin0 'fmMain.SLAdd1.InputPins.Pin "
    "[0]')) nil)\n"
    "  end\n"
    "end\n";

TEST(StoredForm, CanonicalTextRoundTrips) {
  const TStoredObject root = ParseStoredForm(kSample);
  EXPECT_EQ(root.name, "fmMain");
  EXPECT_EQ(root.className, "TfmMain");
  ASSERT_EQ(root.children.size(), 2u);
  EXPECT_EQ(root.Find("Left")->value.integer, -8);
  EXPECT_EQ(root.Find("Caption")->value.text, "Tardivox l'app");
  EXPECT_EQ(root.Find("Scale")->value.kind, TStoredValue::Kind::Number);
  EXPECT_EQ(root.Find("Anchors")->value.items.size(), 2u);
  const auto& sinks = root.children[0].Find("OutputPin.SinkPins")->value;
  ASSERT_EQ(sinks.items.size(), 2u);
  EXPECT_TRUE(sinks.items[1].IsIdentifier("fmMain.ALDelayLine1.InputPin"));
  EXPECT_EQ(root.children[0].Find("OutputPin.SinkPins")->line, 8);
  const auto& pins = root.children[1].Find("OutputPins.Pins")->value;
  EXPECT_TRUE(pins.items[0].IsIdentifier("Sinks"));
  EXPECT_EQ(pins.items[1].items[0].items[1].text, "fmMain.SLAdd1.InputPins.Pin [0]");
  EXPECT_EQ(WriteStoredForm(root), kSample);
}

TEST(StoredForm, ListsMaySpanLines) {
  const auto root = ParseStoredForm("object A: TA\n  L = (\n    1\n    'x')\nend\n");
  EXPECT_EQ(root.Find("L")->value.items.size(), 2u);
}

TEST(StoredForm, MalformedTextNamesTheLine) {
  struct Case {
    const char* text;
    int line;
    const char* fragment;
  };
  const Case cases[] = {
      {"object A: TA\n  X = 1\n", 3, "'end' missing"},
      {"object A TA\nend\n", 1, "':' expected"},
      {"object A: TA\n  X 1\nend\n", 2, "'=' expected"},
      {"object A: TA\n  X = (1 2\nend\n", 2, "never closed"},
      {"object A: TA\n  X = 'abc\nend\n", 2, "string not closed"},
      {"object A: TA\n  X = \nend\n", 2, "value missing"},
      {"object A: TA\n  X = 99999999999999999999\nend\n", 2, "integer out of range"},
      {"object A: TA\n  X = [a b]\nend\n", 2, "','"},
      {"object A: TA\n  X = 1 2\nend\n", 2, "unexpected text"},
      {"object A: TA\nend\nend\n", 3, "after the last"},
      {"", 1, "'object' expected"},
      {"object A: TA\n  X = #\nend\n", 2, "unexpected character"},
  };
  for (const auto& c : cases) {
    try {
      ParseStoredForm(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EStoredFormError& e) {
      EXPECT_EQ(e.Line(), c.line) << c.text;
      EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u);
    }
  }
}

TEST(StoredForm, DeepNestingIsRefusedNotOverflowed) {
  std::string deep = "object A: TA\n  X = " + std::string(100000, '(') + "\nend\n";
  EXPECT_THROW(ParseStoredForm(deep), EStoredFormError);
}

// Every truncation and many random corruptions of a valid text either parse or raise the
// form's own error: never a crash, never another exception (checked under the sanitizers).
TEST(StoredForm, CorruptedTextNeverCrashes) {
  const std::string sample = kSample;
  for (size_t n = 0; n < sample.size(); ++n) {
    try {
      ParseStoredForm(std::string_view(sample).substr(0, n));
    } catch (const EStoredFormError&) {
    }
  }
  std::mt19937 rng(42);
  const std::string alphabet = "()[]'=:.,-+ \n\tabAZ09_";
  for (int i = 0; i < 6000; ++i) {
    std::string text = sample;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = rng() % text.size();
      switch (rng() % 3) {
        case 0:
          text[at] = alphabet[rng() % alphabet.size()];
          break;
        case 1:
          text.erase(at, 1 + rng() % 8);
          break;
        default:
          text.insert(at, 1, alphabet[rng() % alphabet.size()]);
      }
      if (text.empty()) text = "x";
    }
    try {
      const auto root = ParseStoredForm(text);
      // Whatever parses must survive a write and a second read unchanged.
      EXPECT_EQ(WriteStoredForm(ParseStoredForm(WriteStoredForm(root))), WriteStoredForm(root));
    } catch (const EStoredFormError&) {
    }
  }
}

}  // namespace
}  // namespace tardivox
