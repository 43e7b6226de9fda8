#pragma once
// The title band of a display: `Text` centred horizontally on the display, 4 pixels below the
// band's top, in `Font` (21 pixels, bold, white). Docks on top; its height is the text height of
// "Xg" + 16 unless `ViewSize` fixes it.
//
// Ownership: in its display's view list. Threads: the window's thread. Failure: none.

#include <string>

#include "display/DisplayLabels.h"
#include "display/DisplayView.h"

namespace tardivox {

class TSLDisplayTitle : public TSLOptionalView {
 public:
  explicit TSLDisplayTitle(TSLDataDisplay& owner, std::string text = {});

  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  TSLDisplayFont& Font() { return font_; }

  void GetSize(int& width, int& height) override;
  TSLDockKind GetDockKind() override { return TSLDockKind::Top; }
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;

 private:
  std::string text_;
  TSLDisplayFont font_;
};

}  // namespace tardivox
