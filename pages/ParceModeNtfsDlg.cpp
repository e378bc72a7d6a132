#include "pages/ParceModeNtfsDlg.h"

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
#include "pages/VolumeScanDlg.h"

namespace lv {

ParceModeNtfsDlg::ParceModeNtfsDlg(WizardPage* parentPage, const VolumeEntry& volume)
    : WizardPage(parentPage, 136), volume_(volume) {
  auto* group = new QGroupBox(QStringLiteral("Select Recovery Mode:"), this);
  group->setObjectName(ControlName(1050));
  auto* grid = new QGridLayout(group);
  standard_ = new QRadioButton(QStringLiteral("Standard"), group);
  standard_->setObjectName(ControlName(1047));
  advanced_ = new QRadioButton(QStringLiteral("Advanced"), group);
  advanced_->setObjectName(ControlName(1048));
  deep_ = new QRadioButton(QStringLiteral("Deep"), group);
  deep_->setObjectName(ControlName(1049));
  auto* maxLabel = new QLabel(QStringLiteral("Please Enter Max File Systems to Find :"), group);
  maxLabel->setObjectName(ControlName(1128));
  auto* maxEdit = new QLineEdit(QStringLiteral("3"), group);
  maxEdit->setObjectName(ControlName(1129));
  auto* maxNote = new QLabel(QStringLiteral("( By  Default  it's  = 3 )"), group);
  maxNote->setObjectName(ControlName(1130));
  formatted_ = new QCheckBox(QStringLiteral("Is Drive Formated..?"), group);
  formatted_->setObjectName(ControlName(1255));
  maxControls_ = {maxLabel, maxEdit, maxNote};
  const auto note = [&](const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), group);
    label->setWordWrap(true);
    QPalette muted = label->palette();
    muted.setColor(QPalette::WindowText, QColor(85, 85, 85));
    label->setPalette(muted);
    return label;
  };
  standardNote_ = note("Reads the volume's own tables: the quickest way to find lost and deleted files.");
  deepNote_ = note("Also reads every sector of the volume for file records that the tables no longer point to. "
                   "Takes longer.");
  grid->addWidget(standard_, 0, 0, 1, 4);
  grid->addWidget(standardNote_, 1, 1, 1, 4);
  grid->addWidget(advanced_, 2, 0, 1, 4);
  grid->addWidget(maxLabel, 3, 1);
  grid->addWidget(maxEdit, 3, 2);
  grid->addWidget(maxNote, 3, 3);
  grid->addWidget(formatted_, 4, 1, 1, 3);
  grid->addWidget(deep_, 5, 0, 1, 4);
  grid->addWidget(deepNote_, 6, 1, 1, 4);
  grid->setColumnMinimumWidth(0, fontMetrics().height());
  grid->setColumnStretch(4, 1);
  auto* volumeLine = new QLabel(QStringLiteral("Selected volume:  %1      File system:  %2      Size:  %3")
                                    .arg(QString::fromStdWString(volume_.label.empty() ? volume_.name : volume_.label),
                                         QString::fromStdWString(volume_.fileSystem),
                                         QString::fromStdWString(Trim(volume_.sizeText))),
                                this);
  volumeLine->setObjectName(QStringLiteral("volume"));
  Body()->addWidget(volumeLine);
  Body()->addWidget(group);
  Body()->addStretch(1);

  auto* back = MakeButton(QStringLiteral("Back"), 1051, ButtonImage::Back);
  auto* next = MakeButton(QStringLiteral("Next"), 1053, ButtonImage::Next, true);
  connect(back, &QPushButton::clicked, this, &WizardPage::GoBack);
  connect(next, &QPushButton::clicked, this, &ParceModeNtfsDlg::Next);
  ButtonRow()->addWidget(back);
  ButtonRow()->addWidget(next);
  connect(standard_, &QRadioButton::clicked, this, [this] { Choose(1); });
  connect(advanced_, &QRadioButton::clicked, this, [this] { Choose(2); });
  connect(deep_, &QRadioButton::clicked, this, [this] { Choose(3); });
  connect(formatted_, &QCheckBox::toggled, this, [](bool on) { FormattedDriveMode.store(on ? 1 : 0); });

  for (QWidget* w : maxControls_) w->setVisible(false);
  formatted_->setVisible(false);
  prefix_ = QString::fromStdWString(Trim(volume_.fileSystem)).left(3);
  const auto is = [this](const char* p) { return prefix_.compare(QString::fromUtf8(p), Qt::CaseInsensitive) == 0; };
  bool advancedOffered = true, deepOffered = true;
  if (is("fat") || is("exF")) deepOffered = false;
  else if (is("ext")) advancedOffered = deepOffered = false;
  else if (is("HFS")) advancedOffered = false;
  // The advanced-input page is not part of this build yet.
  (void)advancedOffered;
  advanced_->setVisible(false);
  deep_->setVisible(deepOffered);
  deepNote_->setVisible(deepOffered);
  Choose(1);
}

void ParceModeNtfsDlg::Choose(int mode) {
  FormattedDriveMode.store(0);
  formatted_->setChecked(false);
  formatted_->setVisible(mode == 2 && prefix_.compare(QStringLiteral("fat"), Qt::CaseInsensitive) == 0);
  for (QWidget* w : maxControls_) w->setVisible(mode == 2);
  standard_->setChecked(mode == 1);
  advanced_->setChecked(mode == 2);
  deep_->setChecked(mode == 3);
  mode_ = mode;
}

void ParceModeNtfsDlg::Next() {
  if (mode_ == 2) return;  // the advanced-input page comes with the advanced mode
  OpenChild(new VolumeScanDlg(this, volume_, mode_));
}

}  // namespace lv
