#pragma once
// A panel with a vertical gradient background and a caption bar across its top.
//
// The caption bar has its own vertical gradient and text colour, one set while the focus is
// outside the panel and another while the panel or any control inside it holds the focus
// (the window being active). The caption can be replaced at any time; long captions are
// elided rather than drawn past the bar. Children are placed in panel coordinates; the
// caption bar covers the top `CaptionHeight()` pixels.
//
// Window thread only.
// Ownership: a Qt widget, owned by its parent widget; it holds the controls placed in it as
// its children. Failure: nothing here raises.

#include <QColor>
#include <QString>
#include <QWidget>

namespace tardivox {

class TGradientToolPanel : public QWidget {
  Q_OBJECT

 public:
  struct TCaptionColors {
    QColor top;
    QColor bottom;
    QColor text;
  };

  static constexpr int kDefaultCaptionHeight = 22;

  explicit TGradientToolPanel(const QString& caption, QWidget* parent = nullptr);
  ~TGradientToolPanel() override;
  TGradientToolPanel(const TGradientToolPanel&) = delete;
  TGradientToolPanel& operator=(const TGradientToolPanel&) = delete;

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

  QColor GradientTop() const { return gradientTop_; }
  QColor GradientBottom() const { return gradientBottom_; }
  void SetGradient(const QColor& top, const QColor& bottom);

  const TCaptionColors& CaptionColors() const { return captionColors_; }
  const TCaptionColors& FocusedCaptionColors() const { return focusedCaptionColors_; }
  void SetCaptionColors(const TCaptionColors& colors);
  void SetFocusedCaptionColors(const TCaptionColors& colors);
  // The colours the caption bar is drawn with now.
  const TCaptionColors& CurrentCaptionColors() const {
    return focused_ ? focusedCaptionColors_ : captionColors_;
  }

  int CaptionHeight() const { return captionHeight_; }
  void SetCaptionHeight(int pixels);
  // The font of the caption text (the panel's font, bold).
  QFont CaptionFont() const;

  // True while the panel or one of its descendants holds the application's focus.
  bool HoldsFocus() const { return focused_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateFocus();

  QString caption_;
  QColor gradientTop_{0xD6, 0xE7, 0xFF};
  QColor gradientBottom_{0x52, 0x7B, 0xC6};
  TCaptionColors captionColors_{QColor(0x59, 0x87, 0xD6), QColor(0x03, 0x38, 0x93), Qt::white};
  TCaptionColors focusedCaptionColors_{QColor(0xFB, 0xE6, 0x94), QColor(0xEE, 0x95, 0x15),
                                       Qt::black};
  int captionHeight_ = kDefaultCaptionHeight;
  bool focused_ = false;
};

}  // namespace tardivox
