#include "pages/VolumeOperations.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "common/Text.h"
#include "pages/ParceModeNtfsDlg.h"
#include "pages/Physical_DriveDialog.h"

namespace lv {

VolumeOperations::VolumeOperations(Physical_DriveDialog* first) : WizardPage(first, 135) {
  QTreeWidgetItem* item = first->SelectedItem();
  if (const VolumeEntry* entry = first->VolumeOf(item)) entry_ = *entry;
  auto* hidden = new QLabel(item ? item->text(0) : QString(), this);
  hidden->setObjectName(ControlName(1097));
  hidden->setVisible(false);

  auto* group = new QGroupBox(QStringLiteral("Volume Information:"), this);
  auto* form = new QFormLayout(group);
  form->setHorizontalSpacing(fontMetrics().height() * 2);
  form->setVerticalSpacing(fontMetrics().height());
  const auto row = [&](const char* caption, int captionId, const std::wstring& value, int valueId) {
    auto* label = new QLabel(QString::fromUtf8(caption), group);
    label->setObjectName(ControlName(captionId));
    auto* text = new QLabel(QString::fromStdWString(value), group);
    text->setObjectName(ControlName(valueId));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = text->font();
    bold.setBold(true);
    text->setFont(bold);
    form->addRow(label, text);
  };
  row("Volume Name:", 1043, entry_.label, 1039);
  row("Volume File System:", 1044, entry_.fileSystem, 1041);
  row("Volume Size:", 1045, entry_.sizeText, 1042);
  Body()->addWidget(group);
  Body()->addStretch(1);

  auto* back = MakeButton(QStringLiteral("Back"), 1037, ButtonImage::Back);
  auto* next = MakeButton(QStringLiteral("Next"), 1046, ButtonImage::Next, true);
  connect(back, &QPushButton::clicked, this, &WizardPage::GoBack);
  connect(next, &QPushButton::clicked, this, &VolumeOperations::Next);
  ButtonRow()->addWidget(back);
  ButtonRow()->addWidget(next);
}

std::string VolumeOperations::SourcePath() const { return WideToUtf8(entry_.name); }

void VolumeOperations::Next() { OpenChild(new ParceModeNtfsDlg(this, entry_)); }

}  // namespace lv
