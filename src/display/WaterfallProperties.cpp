#include "display/WaterfallProperties.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "display/Waterfall.h"

namespace tardivox {

namespace {

constexpr int kShapeCount = msVLine + 1;

}  // namespace

TSLWaterfallPropertiesForm::TSLWaterfallPropertiesForm(TSLBasicWaterfall& display, int page,
                                                       int item)
    : QDialog(&display),
      display_(display),
      groups_(std::make_unique<TSLWaterfallMarkerGroups>(nullptr, nullptr)) {
  setWindowTitle(QStringLiteral("Settings"));
  setModal(true);
  groups_->Assign(display.MarkerGroups());

  auto* groupsPage = new QWidget;
  list_ = new QListWidget;
  for (int i = 0; i < groups_->Count(); ++i) {
    list_->addItem(QString::fromStdString(groups_->Items(i).Name()));
  }
  name_ = new QLineEdit;
  shape_ = new QComboBox;
  for (int i = 0; i < kShapeCount; ++i) {
    shape_->addItem(QString::fromStdString(MarkerShapeName(static_cast<TSLDisplayMarkerShape>(i))));
  }
  size_ = new QSpinBox;
  size_->setRange(0, 100);
  visible_ = new QCheckBox(QStringLiteral("Visible"));
  penColor_ = new QPushButton(QStringLiteral("Pen colour…"));
  penWidth_ = new QSpinBox;
  penWidth_->setRange(0, 20);
  brushColor_ = new QPushButton(QStringLiteral("Brush colour…"));
  brushSolid_ = new QCheckBox(QStringLiteral("Solid"));
  labelText_ = new QLineEdit;
  labelVisible_ = new QCheckBox(QStringLiteral("Label visible"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Name"), name_);
  form->addRow(QStringLiteral("Shape"), shape_);
  form->addRow(QStringLiteral("Size"), size_);
  form->addRow(QString(), visible_);
  form->addRow(QStringLiteral("Pen"), penColor_);
  form->addRow(QStringLiteral("Pen width"), penWidth_);
  form->addRow(QStringLiteral("Brush"), brushColor_);
  form->addRow(QString(), brushSolid_);
  form->addRow(QStringLiteral("Label"), labelText_);
  form->addRow(QString(), labelVisible_);
  auto* row = new QHBoxLayout(groupsPage);
  row->addWidget(list_);
  row->addLayout(form);

  pages_ = new QTabWidget;
  pages_->addTab(groupsPage, QStringLiteral("Marker Groups"));
  pages_->setCurrentIndex(std::clamp(page, 0, pages_->count() - 1));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::currentRowChanged, this, [this] { ShowGroup(); });
  for (QLineEdit* edit : {name_, labelText_}) {
    connect(edit, &QLineEdit::textEdited, this, [this] { StoreGroup(); });
  }
  connect(shape_, &QComboBox::currentIndexChanged, this, [this] { StoreGroup(); });
  for (QSpinBox* box : {size_, penWidth_}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { StoreGroup(); });
  }
  for (QCheckBox* box : {visible_, brushSolid_, labelVisible_}) {
    connect(box, &QCheckBox::toggled, this, [this] { StoreGroup(); });
  }
  connect(penColor_, &QPushButton::clicked, this, [this] {
    if (CurrentGroup() < 0) return;
    const QColor color =
        QColorDialog::getColor(ToQColor(groups_->Items(CurrentGroup()).PenColor()), this);
    if (color.isValid()) SetPenColor(FromQColor(color));
  });
  connect(brushColor_, &QPushButton::clicked, this, [this] {
    if (CurrentGroup() < 0) return;
    const QColor color =
        QColorDialog::getColor(ToQColor(groups_->Items(CurrentGroup()).BrushColor()), this);
    if (color.isValid()) SetBrushColor(FromQColor(color));
  });
  SelectGroup(item);
  ShowGroup();
}

TSLWaterfallPropertiesForm::~TSLWaterfallPropertiesForm() = default;

void TSLWaterfallPropertiesForm::PlaceBeside(const QWidget& display) {
  adjustSize();
  const QPoint topRight = display.mapToGlobal(QPoint(display.width(), 0));
  move(topRight.x() - 20 - frameGeometry().width(), topRight.y() + 20);
}

int TSLWaterfallPropertiesForm::CurrentGroup() const {
  const int row = list_->currentRow();
  return row >= 0 && row < groups_->Count() ? row : -1;
}

void TSLWaterfallPropertiesForm::SelectGroup(int index) {
  list_->setCurrentRow(index >= 0 && index < groups_->Count() ? index : -1);
}

void TSLWaterfallPropertiesForm::ShowSwatch(QPushButton& button, TColor color) {
  QPixmap swatch(12, 12);
  swatch.fill(ToQColor(color));
  button.setIcon(QIcon(swatch));
}

void TSLWaterfallPropertiesForm::ShowGroup() {
  const int index = CurrentGroup();
  for (QWidget* editor :
       std::initializer_list<QWidget*>{name_, shape_, size_, visible_, penColor_, penWidth_,
                                       brushColor_, brushSolid_, labelText_, labelVisible_}) {
    editor->setEnabled(index >= 0);
  }
  if (index < 0) return;
  TSLWaterfallMarkerGroup& group = groups_->Items(index);
  showing_ = true;
  name_->setText(QString::fromStdString(group.Name()));
  shape_->setCurrentIndex(static_cast<int>(group.Shape()));
  size_->setValue(group.Size());
  visible_->setChecked(group.Visible());
  penWidth_->setValue(group.PenWidth());
  brushSolid_->setChecked(group.BrushSolid());
  labelText_->setText(QString::fromStdString(group.Labels().Text()));
  labelVisible_->setChecked(group.Labels().Visible());
  ShowSwatch(*penColor_, group.PenColor());
  ShowSwatch(*brushColor_, group.BrushColor());
  showing_ = false;
}

void TSLWaterfallPropertiesForm::StoreGroup() {
  const int index = CurrentGroup();
  if (showing_ || index < 0) return;
  TSLWaterfallMarkerGroup& group = groups_->Items(index);
  group.SetName(name_->text().toStdString());
  group.SetShape(
      static_cast<TSLDisplayMarkerShape>(std::clamp(shape_->currentIndex(), 0, kShapeCount - 1)));
  group.SetSize(size_->value());
  group.SetVisible(visible_->isChecked());
  group.SetPenWidth(penWidth_->value());
  group.SetBrushSolid(brushSolid_->isChecked());
  group.Labels().SetText(labelText_->text().toStdString());
  group.Labels().SetVisible(labelVisible_->isChecked());
  list_->item(index)->setText(name_->text());
}

void TSLWaterfallPropertiesForm::SetPenColor(TColor color) {
  if (CurrentGroup() < 0) return;
  groups_->Items(CurrentGroup()).SetPenColor(color);
  ShowSwatch(*penColor_, color);
}

void TSLWaterfallPropertiesForm::SetBrushColor(TColor color) {
  if (CurrentGroup() < 0) return;
  groups_->Items(CurrentGroup()).SetBrushColor(color);
  ShowSwatch(*brushColor_, color);
}

void TSLWaterfallPropertiesForm::accept() {
  display_.MarkerGroups().Assign(*groups_);
  display_.LayoutChanged();
  QDialog::accept();
}

}  // namespace tardivox
