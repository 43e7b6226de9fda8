#pragma once
// Components with published pins and pin lists for the stored-layout tests: a window root, an
// audio source, a pass-through filter, an audio sink, a splitter whose output list is filled
// when it is loaded (as a converter fills it when the stream starts), and an adder whose input
// list keeps between 2 and 100 pins.

#include <memory>
#include <string>
#include <vector>

#include "model/ClassRegistry.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "pins/BoolPins.h"
#include "pins/PinList.h"
#include "pins/RealPins.h"

namespace tardivox::testing {

inline TOWReceiveHandler Counting(int& count) {
  return [&count](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
    if (OperationIs<TOWSuppliedBufferOperation>(op)) ++count;
    return false;
  };
}

class TTestRoot : public TComponent {
 public:
  explicit TTestRoot(std::string name = {}) : TComponent(nullptr) {
    if (!name.empty()) SetName(std::move(name));
  }
  bool IsRoot() const override { return true; }
};

class TTestFormat : public TPersistent {
 public:
  TTestFormat() {
    PublishValue(
        "SampleRate", [this] { return TPropertyValue(rate); },
        [this](const TPropertyValue& v) { rate = AsInteger(v); }, int64_t{11025});
  }
  int64_t rate = 11025;
};

class TTestSource : public TComponent {
 public:
  explicit TTestSource(TComponent* owner) : TComponent(owner) {
    PublishValue(
        "Enabled", [this] { return TPropertyValue(enabled); },
        [this](const TPropertyValue& v) { enabled = AsBool(v); }, true);
    PublishValue(
        "Gain", [this] { return TPropertyValue(gain); },
        [this](const TPropertyValue& v) { gain = AsFloat(v); }, 1.0);
    PublishValue(
        "Caption", [this] { return TPropertyValue(caption); },
        [this](const TPropertyValue& v) { caption = AsString(v); }, std::string());
    PublishIdentifier(
        "Style", [this] { return style; }, [this](const std::string& v) { style = v; }, "bsNone");
    PublishValue(
        "Channels", [this] { return TPropertyValue(int64_t{2}); }, nullptr, int64_t{1});
    PublishObject("AudioFormat", &format);
    PublishObject("OutputPin", &OutputPin);
    PublishObject("EnablePin", &EnablePin);
  }
  bool enabled = true;
  double gain = 1.0;
  std::string caption;
  std::string style = "bsNone";
  int received = 0;
  TTestFormat format;
  TALOWAudioSourcePin OutputPin{this, Counting(received)};
  TOWBoolStatePin EnablePin{this, nullptr};
};

class TTestFilter : public TComponent {
 public:
  explicit TTestFilter(TComponent* owner) : TComponent(owner) {
    OutputPin.FunctionSinkPins().AddPassThrough(&InputPin, true);
    PublishObject("InputPin", &InputPin);
    PublishObject("OutputPin", &OutputPin);
  }
  TALOWAudioSinkPin InputPin{this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op,
                                          TOWStateFlags) { return OutputPin.Notify(op); }};
  TALOWAudioSourcePin OutputPin{this, nullptr};
};

class TTestSink : public TComponent {
 public:
  explicit TTestSink(TComponent* owner) : TComponent(owner) {
    PublishObject("InputPin", &InputPin);
    PublishObject("EnablePin", &EnablePin);
  }
  int received = 0;
  TALOWAudioSinkPin InputPin{this, Counting(received)};
  TOWBoolStatePin EnablePin{this, nullptr};
};

class TTestSplitter : public TComponent {
 public:
  explicit TTestSplitter(TComponent* owner) : TComponent(owner) {
    PublishObject("InputPin", &InputPin);
    PublishObject("OutputPins", &OutputPins);
  }
  ~TTestSplitter() override { OutputPins.Clear(); }
  // The pins are added while still loading, so that they take the places of the placeholder
  // items that the stored connections made.
  void Loaded() override {
    while (OutputPins.Count() < 2) OutputPins.Add(new TSLOWRealSourcePin(this, nullptr));
    TComponent::Loaded();
    OutputPins.DropPlaceholders();
  }
  TALOWAudioSinkPin InputPin{this, nullptr};
  TOWPinList OutputPins{this, true};
};

class TTestAdder : public TComponent {
 public:
  explicit TTestAdder(TComponent* owner) : TComponent(owner) {
    PublishObject("InputPins", &InputPins);
  }
  void Loaded() override {
    TComponent::Loaded();
    InputPins.DropPlaceholders();
  }
  int received = 0;
  TOWPinListOwner InputPins{
      this, nullptr,
      [this](TComponent* owner) { return new TSLOWRealSinkPin(owner, Counting(received)); }, 100,
      2};
};

// A control placed in another control: its parent is set by the layout, its font style is a
// set and its items a list of strings.
class TTestControl : public TComponent {
 public:
  explicit TTestControl(TComponent* owner) : TComponent(owner) {
    PublishSet(
        "Style", [this] { return style; }, [this](const std::string& v) { style = v; }, "");
    PublishStrings(
        "Items", [this] { return items; },
        [this](const std::vector<std::string>& v) { items = v; });
  }
  TComponent* ParentComponent() const override { return parent; }
  void SetParentComponent(TComponent* p) override { parent = p; }
  TComponent* parent = nullptr;
  std::string style;
  std::vector<std::string> items;
};

// Registers the test classes once.
inline void RegisterTestClasses() {
  TClassRegistry& r = TClassRegistry::Global();
  r.RegisterName("TfmTest", typeid(TTestRoot));
  r.Register<TTestSource>("TTestSource");
  r.Register<TTestFilter>("TTestFilter");
  r.Register<TTestSink>("TTestSink");
  r.Register<TTestSplitter>("TTestSplitter");
  r.Register<TTestAdder>("TTestAdder");
  r.Register<TTestControl>("TTestControl");
}

}  // namespace tardivox::testing
