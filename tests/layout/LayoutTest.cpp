// Reading and writing stored layouts: connections whichever side is read first, root
// renaming, unresolved references, round trips and malformed text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "buffers/AudioBuffer.h"
#include "layout/LayoutReader.h"
#include "layout/LayoutWriter.h"
#include "pins/LayoutTestSupport.h"
#include "pins/PinNames.h"
#include "pins/UnloadedPin.h"
#include "support/CorruptedText.h"

namespace tardivox {
namespace {

using namespace testing;

const char* const kChildren[] = {
    "  object Src1: TTestSource\n"
    "    Enabled = False\n"
    "    Gain = 0.25\n"
    "    Caption = 'L''entr\xC3\xA9"
    "e'\n"
    "    Style = bsSingle\n"
    "    AudioFormat.SampleRate = 44100\n"
    "    OutputPin.SinkPins = (fmTest.Split1.InputPin fmTest.Delay1.InputPin)\n"
    "  end\n",
    "  object Split1: TTestSplitter\n"
    "    InputPin.SourcePin = fmTest.Src1.OutputPin\n"
    "    OutputPins.Form = fmTest\n"
    "    OutputPins.Pins = (Sinks ((fmTest.Add1.InputPins._Pin0 'fmTest.Add1.InputPins.Pin [0]')) "
    "Sinks ((fmTest.Add1.InputPins._Pin1 'fmTest.Add1.InputPins.Pin [1]')))\n"
    "  end\n",
    "  object Add1: TTestAdder\n"
    "    InputPins.Form = fmTest\n"
    "    InputPins.Pins = ((fmTest.Split1.OutputPins._Pin0 'fmTest.Split1.OutputPins.Pin [0]') "
    "(fmTest.Split1.OutputPins._Pin1 'fmTest.Split1.OutputPins.Pin [1]'))\n"
    "  end\n",
    "  object Delay1: TTestFilter\n"
    "    InputPin.SourcePin = fmTest.Src1.OutputPin\n"
    "    OutputPin.SinkPins = (fmTest.Out1.InputPin)\n"
    "  end\n",
    "  object Out1: TTestSink\n"
    "    InputPin.SourcePin = fmTest.Delay1.OutputPin\n"
    "  end\n",
};

std::string Layout(const std::vector<int>& order, const std::string& rootName = "fmTest") {
  std::string text = "object " + rootName + ": TfmTest\n";
  for (int i : order) text += kChildren[i];
  return text + "end\n";
}

std::string StoredLayout() {
  return Layout({0, 1, 2, 3, 4});
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t pos = 0; (pos = text.find(from, pos)) != std::string::npos; pos += to.size()) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

class LayoutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestClasses(); }
  void TearDown() override {
    root.reset();
    TOWUnloadedPin::DropUnused();
    EXPECT_TRUE(TOWUnloadedPin::All().empty()) << "placeholders left behind";
  }
  template <class T>
  T& Get(const char* name) {
    auto* c = dynamic_cast<T*>(root->FindComponent(name));
    EXPECT_NE(c, nullptr) << name;
    return *c;
  }
  // Every connection of the stored window, checked from both sides.
  void ExpectWindowConnected() {
    auto& src = Get<TTestSource>("Src1");
    auto& split = Get<TTestSplitter>("Split1");
    auto& add = Get<TTestAdder>("Add1");
    auto& delay = Get<TTestFilter>("Delay1");
    auto& out = Get<TTestSink>("Out1");
    EXPECT_EQ(src.OutputPin.SinkCount(), 2);
    EXPECT_TRUE(src.OutputPin.IsConnectedTo(&split.InputPin));
    EXPECT_TRUE(src.OutputPin.IsConnectedTo(&delay.InputPin));
    EXPECT_EQ(delay.InputPin.SourcePin(), &src.OutputPin);
    EXPECT_EQ(out.InputPin.SourcePin(), &delay.OutputPin);
    ASSERT_EQ(split.OutputPins.Count(), 2);
    ASSERT_EQ(add.InputPins.Count(), 2);
    for (int i = 0; i < 2; ++i) {
      auto* sink = dynamic_cast<TOWSinkPin*>(add.InputPins.Items(i));
      ASSERT_NE(sink, nullptr);
      EXPECT_EQ(sink->SourcePin(), split.OutputPins.Items(i)) << "adder input " << i;
    }
    EXPECT_TRUE(TOWUnloadedPin::All().empty());
  }

  std::unique_ptr<TTestRoot> root = std::make_unique<TTestRoot>();
};

TEST_F(LayoutTest, EveryReadingOrderConnectsEveryPinAsListed) {
  std::vector<int> order{0, 1, 2, 3, 4};
  int orders = 0;
  do {
    root = std::make_unique<TTestRoot>();
    SCOPED_TRACE(Layout(order));
    ReadLayout(*root, Layout(order));
    ExpectWindowConnected();
    ++orders;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 120);
}

TEST_F(LayoutTest, AppliesSettingsAndCallsLoadedAfterEverythingIsRead) {
  ReadLayout(*root, StoredLayout());
  auto& src = Get<TTestSource>("Src1");
  EXPECT_FALSE(src.enabled);
  EXPECT_DOUBLE_EQ(src.gain, 0.25);
  EXPECT_EQ(src.caption,
            "L'entr\xC3\xA9"
            "e");
  EXPECT_EQ(src.style, "bsSingle");
  EXPECT_EQ(src.format.rate, 44100);
  EXPECT_EQ(root->Name(), "fmTest");
  EXPECT_FALSE(root->IsLoading());
  EXPECT_FALSE(src.IsLoading());
}

TEST_F(LayoutTest, WritingTheLoadedWindowGivesTheSameText) {
  const std::string canonical = WriteStoredForm(ParseStoredForm(StoredLayout()));
  ReadLayout(*root, StoredLayout());
  EXPECT_EQ(WriteLayout(*root), canonical);

  // And the written text reads back into the same window.
  auto again = std::make_unique<TTestRoot>();
  ReadLayout(*again, canonical);
  EXPECT_EQ(WriteLayout(*again), canonical);
  again.reset();
}

TEST_F(LayoutTest, BuffersFlowThroughTheLoadedConnections) {
  ReadLayout(*root, StoredLayout());
  TRef<IALAudioBuffer> buffer(new TALAudioBuffer(44100, 16, 2, 64, 3));
  Get<TTestSource>("Src1").OutputPin.SendBuffer(buffer);
  EXPECT_EQ(Get<TTestSink>("Out1").received, 1);
}

TEST_F(LayoutTest, ADifferentRootNameStillResolvesItsOwnReferences) {
  root = std::make_unique<TTestRoot>("fmOther");
  ReadLayout(*root, StoredLayout());
  EXPECT_EQ(root->Name(), "fmOther");
  ExpectWindowConnected();
  std::string expected = WriteStoredForm(ParseStoredForm(StoredLayout()));
  expected = Replace(Replace(expected, "fmTest.", "fmOther."), "Form = fmTest", "Form = fmOther");
  expected = Replace(expected, "object fmTest:", "object fmOther:");
  EXPECT_EQ(WriteLayout(*root), expected);

  // A list whose Form names yet another root is read under that name.
  auto renamed = std::make_unique<TTestRoot>();
  std::string text = Replace(StoredLayout(), "OutputPins.Form = fmTest", "OutputPins.Form = fmOld");
  text = Replace(text, "Sinks ((fmTest.", "Sinks ((fmOld.");
  ReadLayout(*renamed, text);
  auto* add = dynamic_cast<TTestAdder*>(renamed->FindComponent("Add1"));
  ASSERT_NE(add, nullptr);
  EXPECT_TRUE(add->InputPins.Items(1)->IsConnected());
  renamed.reset();
}

TEST_F(LayoutTest, AnUnresolvedReferenceLeavesAPlaceholderThatDeliversNothing) {
  std::string text = Replace(StoredLayout(), "InputPin.SourcePin = fmTest.Delay1.OutputPin",
                             "InputPin.SourcePin = fmTest.Missing1.OutputPin");
  text = Replace(text, "    OutputPin.SinkPins = (fmTest.Out1.InputPin)\n", "");
  ReadLayout(*root, text);
  auto& out = Get<TTestSink>("Out1");
  EXPECT_FALSE(out.InputPin.IsConnected());
  TOWUnloadedPin* p = TOWUnloadedPin::Find("fmTest.Missing1.OutputPin", "", root.get());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetPinKind(), TOWPinKind::Source);
  EXPECT_TRUE(p->IsConnectedTo(&out.InputPin));
  TRef<IALAudioBuffer> buffer(new TALAudioBuffer(44100, 16, 2, 64, 3));
  Get<TTestSource>("Src1").OutputPin.SendBuffer(buffer);
  EXPECT_EQ(out.received, 0);
  EXPECT_FALSE(Get<TTestFilter>("Delay1").OutputPin.IsConnected());
}

TEST_F(LayoutTest, ListPlaceholdersLeftAfterLoadingAreDropped) {
  // Three entries for a splitter that makes two pins when loaded.
  const std::string text =
      "object fmTest: TfmTest\n"
      "  object Split1: TTestSplitter\n"
      "    OutputPins.Pins = (nil nil Sinks (fmTest.Out1.InputPin))\n"
      "  end\n"
      "  object Out1: TTestSink\n"
      "  end\n"
      "end\n";
  ReadLayout(*root, text);
  auto& split = Get<TTestSplitter>("Split1");
  EXPECT_EQ(split.OutputPins.Count(), 2);
  EXPECT_EQ(split.OutputPins.RawCount(), 2);
  EXPECT_FALSE(Get<TTestSink>("Out1").InputPin.IsConnected());
}

TEST_F(LayoutTest, StatePinsAreLinkedThroughTheirStoredDispatcher) {
  const std::string text =
      "object fmTest: TfmTest\n"
      "  object Src1: TTestSource\n"
      "    EnablePin.Form = fmTest\n"
      "    EnablePin.State = 'fmTestLink1'\n"
      "  end\n"
      "  object Out1: TTestSink\n"
      "    EnablePin.Form = fmTest\n"
      "    EnablePin.State = 'fmTestLink1'\n"
      "  end\n"
      "end\n";
  ReadLayout(*root, text);
  auto& src = Get<TTestSource>("Src1");
  auto& out = Get<TTestSink>("Out1");
  ASSERT_NE(src.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(src.EnablePin.Dispatcher(), out.EnablePin.Dispatcher());
  EXPECT_EQ(WriteLayout(*root), WriteStoredForm(ParseStoredForm(text)));
}

TEST_F(LayoutTest, ControlledCountOfAnOwnerListIsStoredAndRead) {
  const std::string text =
      "object fmTest: TfmTest\n"
      "  object Add1: TTestAdder\n"
      "    InputPins.Count = 3\n"
      "    InputPins.Form = fmTest\n"
      "    InputPins.Pins = (nil nil nil)\n"
      "  end\n"
      "end\n";
  ReadLayout(*root, text);
  EXPECT_EQ(Get<TTestAdder>("Add1").InputPins.Count(), 3);
  EXPECT_EQ(WriteLayout(*root), WriteStoredForm(ParseStoredForm(text)));
}

TEST_F(LayoutTest, ControlsAreReadInsideTheirParentsAndWrittenBackThere) {
  const std::string text =
      "object fmTest: TfmTest\n"
      "  object Panel1: TTestControl\n"
      "    Style = [fsBold, fsItalic]\n"
      "    object Edit1: TTestControl\n"
      "      Items = ('11025' 'l''entr\xC3\xA9"
      "e' '')\n"
      "      object Inner1: TTestControl\n"
      "      end\n"
      "    end\n"
      "  end\n"
      "  object Src1: TTestSource\n"
      "  end\n"
      "  object Edit2: TTestControl\n"
      "    Items = ()\n"
      "    Style = []\n"
      "  end\n"
      "end\n";
  ReadLayout(*root, text);
  auto& panel = Get<TTestControl>("Panel1");
  auto& edit = Get<TTestControl>("Edit1");
  auto& edit2 = Get<TTestControl>("Edit2");
  EXPECT_EQ(panel.parent, nullptr);
  EXPECT_EQ(edit.parent, &panel);
  EXPECT_EQ(Get<TTestControl>("Inner1").parent, &edit);
  EXPECT_EQ(edit2.parent, nullptr);
  EXPECT_EQ(panel.style, "fsBold,fsItalic");
  EXPECT_EQ(edit.items, (std::vector<std::string>{"11025",
                                                  "l'entr\xC3\xA9"
                                                  "e",
                                                  ""}));
  EXPECT_TRUE(edit2.items.empty());
  EXPECT_EQ(root->ComponentCount(), 5) << "every control is owned by the window";

  // Empty sets and lists are the defaults and are not written.
  std::string expected = text;
  expected.erase(expected.find("    Items = ()\n"), 15);
  expected.erase(expected.find("    Style = []\n"), 15);
  EXPECT_EQ(WriteLayout(*root), expected);

  // A control placed in a component that is not among the window's is written at the top.
  TTestRoot other("fmOther");
  edit2.parent = &other;
  EXPECT_NE(WriteLayout(*root).find("\n  object Edit2: TTestControl\n"), std::string::npos);
  // Controls placed in each other in a circle cannot be written without losing them.
  edit2.parent = &edit;
  edit.parent = &edit2;
  EXPECT_THROW(WriteLayout(*root), Exception);
  edit.parent = &panel;
  edit2.parent = nullptr;
}

TEST_F(LayoutTest, MalformedTextGivesAnErrorNamingTheLine) {
  struct {
    const char* what;
    std::string text;
    int line;
    const char* message;
  } const cases[] = {
      {"truncated", "object fmTest: TfmTest\n  object Src1: TTestSource\n    Enabled = False\n", 0,
       ""},
      {"unknown class", "object fmTest: TfmTest\n  object X1: TNoSuchClass\n  end\nend\n", 2,
       "Unknown class TNoSuchClass"},
      {"unknown property",
       "object fmTest: TfmTest\n  object Src1: TTestSource\n    Colour = 3\n  end\nend\n", 3,
       "Unknown property Colour"},
      {"bad list",
       "object fmTest: TfmTest\n  object Src1: TTestSource\n\n    OutputPin.SinkPins = "
       "fmTest.Out1.InputPin\n  end\nend\n",
       4, "Invalid sink list"},
      {"bad reference",
       "object fmTest: TfmTest\n  object Out1: TTestSink\n    InputPin.SourcePin = (1 2)\n  "
       "end\nend\n",
       3, "Invalid pin reference"},
      {"bad value",
       "object fmTest: TfmTest\n  object Src1: TTestSource\n    Enabled = 5\n  end\nend\n", 3,
       "True or False expected"},
      {"list for a value",
       "object fmTest: TfmTest\n  object Src1: TTestSource\n    Gain = (1 2)\n  end\nend\n", 3,
       "A list is not expected"},
      {"read-only property",
       "object fmTest: TfmTest\n  object Src1: TTestSource\n    Channels = 3\n  end\nend\n", 3,
       "cannot be set"},
      {"wrong root class", "object fmTest: TOtherForm\nend\n", 1, "TOtherForm"},
      {"component placed in a non-control",
       "object fmTest: TfmTest\n  object Out1: TTestSink\n    object Src1: TTestSource\n"
       "    end\n  end\nend\n",
       3, "Src1 cannot be placed in Out1"},
      {"set for a list",
       "object fmTest: TfmTest\n  object C1: TTestControl\n    Items = [a]\n  end\nend\n", 3,
       "A list of strings expected"},
      {"number in a string list",
       "object fmTest: TfmTest\n  object C1: TTestControl\n    Items = ('a' 2)\n  end\nend\n", 3,
       "A string expected in the list"},
      {"list for a set",
       "object fmTest: TfmTest\n  object C1: TTestControl\n    Style = (a)\n  end\nend\n", 3,
       "A set expected"},
      {"refused connection",
       "object fmTest: TfmTest\n  object Out1: TTestSink\n  end\n  object Out2: TTestSink\n"
       "    InputPin.SourcePin = fmTest.Out1.InputPin\n  end\nend\n",
       5, "Cannot connect"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    root = std::make_unique<TTestRoot>();
    TClassRegistry::Global().RegisterName("TfmTest", typeid(TTestRoot));
    try {
      ReadLayout(*root, c.text);
      ADD_FAILURE() << "no error";
    } catch (const EStoredFormError& e) {
      if (c.line > 0) {
        EXPECT_EQ(e.Line(), c.line) << e.what();
      }
      EXPECT_NE(std::string(e.what()).find("line "), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(root->IsLoading());
  }
}

TEST_F(LayoutTest, RandomlyCorruptedLayoutsFailCleanly) {
  const TCorruptionRuns result = RunCorrupted(StoredLayout(), [&](const std::string& text) {
    bool refused = false;
    root = std::make_unique<TTestRoot>();
    try {
      ReadLayout(*root, text);
      WriteLayout(*root);
    } catch (const EStoredFormError& e) {
      refused = true;
      EXPECT_GT(e.Line(), 0) << e.what();
    }
    EXPECT_FALSE(root->IsLoading());
    root.reset();
    TOWUnloadedPin::DropUnused();
    return refused;
  });
  EXPECT_GT(result.runs, 100);
  EXPECT_GT(result.refused, 0);
  root = std::make_unique<TTestRoot>();
}

}  // namespace
}  // namespace tardivox
