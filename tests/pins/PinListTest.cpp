// Pin names, pin lists and placeholders.

#include <gtest/gtest.h>

#include <memory>

#include "LayoutTestSupport.h"
#include "core/Exceptions.h"
#include "pins/PinNames.h"
#include "pins/UnloadedPin.h"

namespace tardivox {
namespace {

using namespace testing;

class TNamedSplitter : public TComponent {
 public:
  explicit TNamedSplitter(TComponent* owner) : TComponent(owner) {
    PublishObject("InputPin", &InputPin);
    PublishObject("OutputPins", &OutputPins);
    for (int i = 0; i < 2; ++i) OutputPins.Add(new TSLOWRealSourcePin(this, nullptr));
  }
  TALOWAudioSinkPin InputPin{this, nullptr};
  TOWPinList OutputPins{this, true};
};

class TRootWithPin : public TTestRoot {
 public:
  TRootWithPin() : TTestRoot("fmMain") { PublishObject("OutputPin", &OutputPin); }
  TALOWAudioSourcePin OutputPin{this, nullptr};
};

TEST(PinNames, FollowOwnerListAndRoot) {
  TRootWithPin root;
  auto* splitter = new TNamedSplitter(&root);
  splitter->SetName("ALAudioToReal1");
  TOWBasicPin& out0 = *splitter->OutputPins.Items(0);
  TOWBasicPin& out1 = *splitter->OutputPins.Items(1);

  struct {
    TOWBasicPin* pin;
    bool internal;
    bool withRoot;
    const char* expected;
  } const cases[] = {
      {&out0, false, true, "fmMain.ALAudioToReal1.OutputPins.Pin [0]"},
      {&out0, true, true, "fmMain.ALAudioToReal1.OutputPins._Pin0"},
      {&out1, false, false, "ALAudioToReal1.OutputPins.Pin [1]"},
      {&out1, true, false, "ALAudioToReal1.OutputPins._Pin1"},
      {&splitter->InputPin, false, true, "fmMain.ALAudioToReal1.InputPin"},
      {&splitter->InputPin, true, false, "ALAudioToReal1.InputPin"},
      {&root.OutputPin, true, true, "fmMain.OutputPin"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PinFullName(*c.pin, c.internal, c.withRoot), c.expected);
  }
  EXPECT_EQ(PinName(out1, false), "OutputPins.Pin [1]");
  EXPECT_EQ(PinOwnerName(out1), "ALAudioToReal1");
  EXPECT_EQ(PinRootName(out1), "fmMain");

  // Names follow the list position.
  splitter->OutputPins.Delete(0);
  EXPECT_EQ(InternalFullName(out1, true), "fmMain.ALAudioToReal1.OutputPins._Pin0");
}

TEST(PinNames, PinWithoutOwnerOrPathIsNamedAsSuch) {
  TALOWAudioSourcePin lonely(nullptr, nullptr);
  EXPECT_EQ(DisplayFullName(lonely, true), "(No owner)");
  EXPECT_EQ(InternalFullName(lonely, false), "(No owner)");

  TTestRoot root("fmMain");
  TALOWAudioSourcePin unpublished(&root, nullptr);  // not reachable through a property
  EXPECT_EQ(PinName(unpublished, true), "");
  EXPECT_EQ(DisplayFullName(unpublished, true), "");
}

TEST(PinListOwner, CountIsBroughtIntoRangeAndRemovesLastFirst) {
  TTestRoot root("fmMain");
  std::vector<int> removedIndexes;
  int created = 0;
  TOWPinListOwner list(
      &root, [&](TOWPinList& l, TOWBasicPin* pin) { removedIndexes.push_back(l.IndexOf(pin)); },
      [&](TComponent* owner) {
        ++created;
        return new TSLOWRealSinkPin(owner, nullptr);
      },
      100, 2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(created, 2);

  struct {
    int requested;
    int expected;
  } const counts[] = {{1, 2}, {150, 100}, {-5, 2}, {3, 3}};
  for (const auto& c : counts) {
    list.SetCount(c.requested);
    EXPECT_EQ(list.Count(), c.expected) << "requested " << c.requested;
  }
  removedIndexes.clear();
  list.SetCount(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(removedIndexes, std::vector<int>{2});

  TOWPinListOwner negativeMinimum(&root, nullptr, nullptr, 4, -3);
  EXPECT_EQ(negativeMinimum.Minimum(), 0);
  EXPECT_EQ(negativeMinimum.Count(), 0);
}

TEST(PinList, RemoveDeleteAndClearFreeOwnedPinsOnly) {
  TTestRoot root("fmMain");
  auto* owned = new TSLOWRealSinkPin(&root, nullptr);
  TSLOWRealSinkPin notOwned(&root, nullptr);
  const int registered = TOWInternalPinList::Count();
  {
    TOWPinList owning(&root, true);
    owning.Add(owned);
    owning.Remove(owned);  // freed
    EXPECT_EQ(TOWInternalPinList::Count(), registered - 1);
    EXPECT_EQ(owning.Count(), 0);
  }
  {
    TOWPinList borrowing(&root, false);
    borrowing.Add(&notOwned);
    EXPECT_EQ(TOWPinList::ListOf(&notOwned), &borrowing);
    borrowing.Clear();
    EXPECT_EQ(TOWPinList::ListOf(&notOwned), nullptr);
    EXPECT_TRUE(TOWInternalPinList::Contains(&notOwned));
    EXPECT_THROW(borrowing.Items(0), ERangeError);
    EXPECT_THROW(borrowing.Delete(-1), ERangeError);
  }
}

TEST(PinList, PlaceholderItemsAreTakenByRealPinsAndDroppedAfterLoading) {
  TTestRoot root("fmMain");
  auto* splitter = new TTestSplitter(&root);
  splitter->SetName("Split1");
  splitter->BeginLoading();
  splitter->OutputPins.EnsureItem(2);
  ASSERT_EQ(splitter->OutputPins.RawCount(), 3);
  EXPECT_EQ(splitter->OutputPins.PlaceholderCount(), 3);
  auto* first = dynamic_cast<TOWUnloadedPin*>(splitter->OutputPins.RawItem(0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->InternalName(), "fmMain.Split1.OutputPins._Pin0");
  EXPECT_EQ(first->DisplayName(), "fmMain.Split1.OutputPins.Pin [0]");
  EXPECT_EQ(splitter->OutputPins.Count(), 0);  // still loading: placeholders stay

  splitter->Loaded();  // adds two real pins in the places of the first two placeholders
  EXPECT_EQ(splitter->OutputPins.Count(), 2);
  EXPECT_EQ(splitter->OutputPins.RawCount(), 2);
  EXPECT_EQ(splitter->OutputPins.PlaceholderCount(), 0);
  for (TOWUnloadedPin* p : TOWUnloadedPin::All()) EXPECT_NE(p->Root(), &root);
}

TEST(UnloadedPin, ResolvingReplaysLinksAndDisappears) {
  TTestRoot root("fmMain");
  auto* source = new TTestSource(&root);
  source->SetName("Src1");
  TOWUnloadedPin* placeholder = TOWUnloadedPin::Create(
      "fmMain.Out1.InputPin", "fmMain.Out1.InputPin", TOWPinKind::Sink, &root, false);
  EXPECT_TRUE(placeholder->ConnectTo(&source->OutputPin));
  EXPECT_EQ(placeholder->LinkCount(), 1);
  // The referring pin stays unconnected: nothing is delivered.
  EXPECT_FALSE(source->OutputPin.IsConnected());
  EXPECT_EQ(TOWUnloadedPin::Find("fmMain.Out1.InputPin", "", &root), placeholder);

  auto* sink = new TTestSink(&root);
  sink->SetName("Out1");
  EXPECT_EQ(TOWUnloadedPin::ResolveFor(sink->InputPin), 1);
  EXPECT_TRUE(sink->InputPin.IsConnectedTo(&source->OutputPin));
  EXPECT_EQ(TOWUnloadedPin::Find("fmMain.Out1.InputPin", "", &root), nullptr);
}

TEST(UnloadedPin, ForgetsDestroyedPinsAndIsDroppedWhenUnused) {
  TTestRoot root("fmMain");
  TOWUnloadedPin* placeholder =
      TOWUnloadedPin::Create("fmMain.X.InputPin", "", TOWPinKind::Sink, &root, false);
  {
    TTestSource source(&root);
    placeholder->ConnectTo(&source.OutputPin);
    TOWUnloadedPin::DropUnused();
    EXPECT_EQ(TOWUnloadedPin::Find("fmMain.X.InputPin", "", &root), placeholder);
  }
  EXPECT_EQ(placeholder->LinkCount(), 0);
  TOWUnloadedPin::DropUnused();
  EXPECT_EQ(TOWUnloadedPin::Find("fmMain.X.InputPin", "", &root), nullptr);
}

}  // namespace
}  // namespace tardivox
