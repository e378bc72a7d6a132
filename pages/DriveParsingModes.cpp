#include "pages/DriveParsingModes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/Text.h"
#include "disk/Reader.h"
#include "pages/Physical_DriveDialog.h"
#include "pages/PopulateDriveDlg.h"
#include "platform/MessageBox.h"

namespace lv {

DriveParsingModes::DriveParsingModes(Physical_DriveDialog* first) : WizardPage(first, 152) {
  devicePath_ = Physical_DriveDialog::DrivePath(first->SelectedItem());

  auto* driveRow = new QHBoxLayout;
  auto* driveLabel = new QLabel(QStringLiteral("Currently Selected Drive :"), this);
  driveLabel->setObjectName(ControlName(1028));
  auto* drivePath = new QLabel(QString::fromStdString(devicePath_), this);
  drivePath->setObjectName(ControlName(1263));
  drivePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = drivePath->font();
  bold.setBold(true);
  drivePath->setFont(bold);
  driveRow->addWidget(driveLabel);
  driveRow->addWidget(drivePath, 1);
  Body()->addLayout(driveRow);

  auto* group = new QGroupBox(QStringLiteral("Scan Mode:"), this);
  auto* grid = new QGridLayout(group);
  standard_ = new QRadioButton(QStringLiteral("Standard Scan"), group);
  standard_->setObjectName(ControlName(1323));
  gpt_ = new QCheckBox(QStringLiteral("GPT format"), group);
  gpt_->setObjectName(ControlName(1253));
  auto* gptNote = new QLabel(QStringLiteral("* Check If Partition type is GPT"), group);
  advance_ = new QRadioButton(QStringLiteral("Advance Scan"), group);
  advance_->setObjectName(ControlName(1324));
  noSkip_ = new QCheckBox(QStringLiteral("Do not Skip Volume Size While Parsing in Advance  Scan "), group);
  noSkip_->setObjectName(ControlName(1144));
  custom_ = new QCheckBox(QStringLiteral("Custom Setting:"), group);
  custom_->setObjectName(ControlName(1153));
  startLabel_ = new QLabel(QStringLiteral("Starting Sector:"), group);
  startLabel_->setObjectName(ControlName(1155));
  endLabel_ = new QLabel(QStringLiteral("Ending Sector:"), group);
  endLabel_->setObjectName(ControlName(1156));
  startEdit_ = new QLineEdit(QStringLiteral("0"), group);
  startEdit_->setObjectName(ControlName(1157));
  endEdit_ = new QLineEdit(QStringLiteral("0"), group);
  endEdit_->setObjectName(ControlName(1158));
  grid->addWidget(standard_, 0, 0, 1, 2);
  grid->addWidget(gpt_, 1, 1);
  grid->addWidget(gptNote, 1, 2, 1, 2);
  grid->addWidget(advance_, 2, 0, 1, 2);
  grid->addWidget(noSkip_, 3, 1, 1, 3);
  grid->addWidget(custom_, 4, 1);
  grid->addWidget(startLabel_, 5, 1);
  grid->addWidget(startEdit_, 5, 2);
  grid->addWidget(endLabel_, 6, 1);
  grid->addWidget(endEdit_, 6, 2);
  grid->setColumnMinimumWidth(0, fontMetrics().height());
  grid->setColumnStretch(3, 1);
  Body()->addWidget(group);
  auto* hint = new QLabel(QStringLiteral("Choose any one of the mode and Click Next...."), this);
  hint->setObjectName(ControlName(1074));
  Body()->addWidget(hint);
  Body()->addStretch(1);

  // The two Next actions, kept as hidden buttons.
  for (auto [text, id] : {std::pair{"Standard-Scan", 1025}, std::pair{"Advanced-Scan", 1026}}) {
    auto* hidden = MakeButton(QString::fromUtf8(text), id, ButtonImage::Next);
    hidden->setVisible(false);
    connect(hidden, &QPushButton::clicked, this, &DriveParsingModes::Next);
  }
  auto* back = MakeButton(QStringLiteral("Back"), 1051, ButtonImage::Back);
  connect(back, &QPushButton::clicked, this, &WizardPage::GoBack);
  auto* next = MakeButton(QStringLiteral("Next"), 1229, ButtonImage::Next, true);
  connect(next, &QPushButton::clicked, this, &DriveParsingModes::Next);
  ButtonRow()->addWidget(back);
  ButtonRow()->addWidget(next);

  connect(standard_, &QRadioButton::clicked, this, &DriveParsingModes::StandardChosen);
  connect(advance_, &QRadioButton::clicked, this, &DriveParsingModes::AdvanceChosen);
  connect(custom_, &QCheckBox::toggled, this, &DriveParsingModes::CustomToggled);

  if (SharedReader) SharedReader->OpenUtf8(devicePath_);
  standard_->setChecked(true);
  StandardChosen();
  CustomToggled();
}

void DriveParsingModes::StandardChosen() {
  standard_->setChecked(true);
  noSkip_->setEnabled(false);
  custom_->setEnabled(false);
  if (custom_->isChecked()) custom_->setChecked(false);
  CustomToggled();
}

void DriveParsingModes::AdvanceChosen() {
  advance_->setChecked(true);
  noSkip_->setEnabled(true);
  custom_->setEnabled(true);
}

void DriveParsingModes::CustomToggled() {
  const bool on = custom_->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(startEdit_), static_cast<QWidget*>(endEdit_),
                     static_cast<QWidget*>(startLabel_), static_cast<QWidget*>(endLabel_)})
    w->setEnabled(on);
}

void DriveParsingModes::Next() {
  PopulateDriveDlg::Values values;
  values.devicePath = devicePath_;
  values.mode = standard_->isChecked() ? 1 : 2;
  values.noSkip = noSkip_->isChecked();
  values.gpt = gpt_->isChecked();
  if (custom_->isChecked()) {
    const int64_t start = LeadingInteger(startEdit_->text().toStdWString());
    const int64_t end = LeadingInteger(endEdit_->text().toStdWString());
    if (end >= 0) {
      values.customStart = start;
      values.customEnd = end;
    }
  }
  OpenChild(new PopulateDriveDlg(this, values));
}

}  // namespace lv
