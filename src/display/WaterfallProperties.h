#pragma once
// TSLWaterfallPropertiesForm: the waterfall's modal "Settings" dialog. Its "Marker Groups" page
// lists the groups and edits the chosen one: name, shape, size, visibility, pen (colour,
// width), brush (colour, solid) and label (text, visibility). The edits are made on a copy and
// reach the display only when the dialog is accepted; cancelling leaves the groups as they were.
//
// Ownership: the caller owns the dialog; it borrows the display for its lifetime.
// Threads: the window's thread. Failure: none; a group index outside the list selects none.

#include <QDialog>

#include <memory>

#include "display/WaterfallMarkers.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace tardivox {

class TSLBasicWaterfall;

class TSLWaterfallPropertiesForm : public QDialog {
  Q_OBJECT

 public:
  // Opens on `page` (0: "Marker Groups") with group `item` chosen.
  TSLWaterfallPropertiesForm(TSLBasicWaterfall& display, int page, int item);
  ~TSLWaterfallPropertiesForm() override;

  // Places the dialog with its top 20 pixels below the display's top and its right edge 20
  // pixels inside the display's right edge (screen coordinates).
  void PlaceBeside(const QWidget& display);
  // The copy being edited.
  TSLWaterfallMarkerGroups& Groups() { return *groups_; }
  int CurrentGroup() const;
  void SelectGroup(int index);

  // The editors of the chosen group (for the display's tests and keyboard users alike).
  QLineEdit& NameEdit() const { return *name_; }
  QComboBox& ShapeBox() const { return *shape_; }
  QSpinBox& SizeBox() const { return *size_; }
  QCheckBox& VisibleBox() const { return *visible_; }
  QSpinBox& PenWidthBox() const { return *penWidth_; }
  QCheckBox& BrushSolidBox() const { return *brushSolid_; }
  QLineEdit& LabelEdit() const { return *labelText_; }
  QCheckBox& LabelVisibleBox() const { return *labelVisible_; }
  // Sets the chosen group's pen or brush colour (what the colour buttons do after their
  // colour dialog).
  void SetPenColor(TColor color);
  void SetBrushColor(TColor color);

  void accept() override;

 private:
  void ShowGroup();
  void StoreGroup();
  void ShowSwatch(QPushButton& button, TColor color);

  TSLBasicWaterfall& display_;
  std::unique_ptr<TSLWaterfallMarkerGroups> groups_;
  bool showing_ = false;
  QTabWidget* pages_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* shape_ = nullptr;
  QSpinBox* size_ = nullptr;
  QCheckBox* visible_ = nullptr;
  QPushButton* penColor_ = nullptr;
  QSpinBox* penWidth_ = nullptr;
  QPushButton* brushColor_ = nullptr;
  QCheckBox* brushSolid_ = nullptr;
  QLineEdit* labelText_ = nullptr;
  QCheckBox* labelVisible_ = nullptr;
};

}  // namespace tardivox
