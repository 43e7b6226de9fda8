#include "app/CheckBox.h"

namespace tardivox {

TCheckBox::TCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
  // Without a filled background the parent (a gradient panel) shows through.
  setAutoFillBackground(false);
  // QAbstractButton emits clicked only for user clicks (and click()), after the state has
  // been toggled; setChecked does not emit it.
  connect(this, &QCheckBox::clicked, this, [this] {
    const TClickHandler handler = onClick_;
    if (handler) handler();
  });
}

TCheckBox::~TCheckBox() = default;

}  // namespace tardivox
