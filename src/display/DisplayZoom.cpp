#include "display/DisplayZoom.h"

namespace tardivox {

TSLDisplayZoom::TSLDisplayZoom() {
  const auto flag = [this](std::string name, bool (TSLDisplayZoom::*get)() const,
                           void (TSLDisplayZoom::*set)(bool)) {
    PublishValue(
        std::move(name), [this, get] { return TPropertyValue((this->*get)()); },
        [this, set](const TPropertyValue& v) { (this->*set)(AsBool(v)); }, true);
  };
  flag("MouseZoom", &TSLDisplayZoom::MouseZoom, &TSLDisplayZoom::SetMouseZoom);
  flag("KeyboardZoom", &TSLDisplayZoom::KeyboardZoom, &TSLDisplayZoom::SetKeyboardZoom);
  flag("MouseWheelEnabled", &TSLDisplayZoom::MouseWheelEnabled,
       &TSLDisplayZoom::SetMouseWheelEnabled);
  flag("HoldOnZoom", &TSLDisplayZoom::HoldOnZoom, &TSLDisplayZoom::SetHoldOnZoom);
  PublishValue(
      "SelectionColor", [this] { return TPropertyValue(static_cast<int64_t>(selectionColor_)); },
      [this](const TPropertyValue& v) { SetSelectionColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clWhite));
}

bool TSLDisplayZoomList::Pop(Entry& entry) {
  if (entries_.empty()) return false;
  entry = entries_.back();
  entries_.pop_back();
  return true;
}

}  // namespace tardivox
