#include "app/MainComponents.h"

#include <mutex>

#include "app/ControlComponents.h"
#include "app/MainLayoutText.h"
#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "core/Exceptions.h"
#include "display/Waterfall.h"
#include "layout/LayoutReader.h"
#include "model/ClassRegistry.h"
#include "processing/Add.h"
#include "processing/AudioToReal.h"
#include "processing/DelayLine.h"

namespace tardivox {

std::string_view TMainWindowComponents::MainWindowLayout() {
  return kMainWindowLayoutText;
}

void TMainWindowComponents::RegisterClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    TClassRegistry& registry = TClassRegistry::Global();
    registry.RegisterName("TfmMain", typeid(TMainWindowComponents));
    RegisterControlClasses(registry);
    registry.Register<TALAudioIn>("TALAudioIn");
    registry.Register<TALDelayLine>("TALDelayLine");
    registry.Register<TALAudioOut>("TALAudioOut");
    registry.Register<TALAudioToReal>("TALAudioToReal");
    registry.Register<TSLAdd>("TSLAdd");
  });
}

TMainWindowComponents::TMainWindowComponents(std::string_view layout, QWidget* window)
    : TWindowComponent(window) {
  RegisterClasses();
  ReadLayout(*this, layout);
  // The controller relies on these; a layout without them is not this window's.
  audioIn_ = Find<TALAudioIn>("ALAudioIn1");
  delayLine_ = Find<TALDelayLine>("ALDelayLine1");
  audioOut_ = Find<TALAudioOut>("ALAudioOut1");
  splitters_[0] = Find<TALAudioToReal>("ALAudioToReal1");
  splitters_[1] = Find<TALAudioToReal>("ALAudioToReal2");
  adders_[0] = Find<TSLAdd>("SLAdd1");
  adders_[1] = Find<TSLAdd>("SLAdd2");
  waterfalls_[0] = ControlWidget<TSLWaterfall>("SLWaterfall1");
  waterfalls_[1] = ControlWidget<TSLWaterfall>("SLWaterfall2");
}

template <class T>
T* TMainWindowComponents::Find(const char* name) const {
  auto* component = dynamic_cast<T*>(FindComponent(name));
  if (!component) throw Exception(std::string("The window layout has no ") + name);
  return component;
}

}  // namespace tardivox
