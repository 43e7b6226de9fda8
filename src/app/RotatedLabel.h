#pragma once
// A transparent label whose text is turned about the label's centre.
//
// The angle is in degrees, clockwise on screen; 270 (the default) makes the text read from
// bottom to top. The text is centred in the label and drawn in `TextColor()` with the
// widget's font; it is not clipped to fit, so choose a label large enough for it
// (`TextSize()` gives the rotated extent).
//
// Window thread only.
// Ownership: a Qt widget, owned by its parent widget. Failure: nothing here raises.

#include <QColor>
#include <QString>
#include <QWidget>

namespace tardivox {

class TRotatedLabel : public QWidget {
  Q_OBJECT

 public:
  explicit TRotatedLabel(const QString& text, QWidget* parent = nullptr);
  ~TRotatedLabel() override;
  TRotatedLabel(const TRotatedLabel&) = delete;
  TRotatedLabel& operator=(const TRotatedLabel&) = delete;

  QString Text() const { return text_; }
  void SetText(const QString& text);
  int AngleDegrees() const { return angleDegrees_; }
  void SetAngleDegrees(int degrees);
  QColor TextColor() const { return textColor_; }
  void SetTextColor(const QColor& color);

  // The on-screen width and height the text takes at the current angle (bounding box).
  QSize TextSize() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  int angleDegrees_ = 270;
  QColor textColor_{Qt::black};
};

}  // namespace tardivox
