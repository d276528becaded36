// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AddressBar.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QPushButton>

#include "gui/ComboBox2.h"
#include "model/Settings.h"
#include "sites/Registry.h"

namespace albumora::gui {

AddressBar::AddressBar(QWidget* parent) {
  site_ = new QComboBox(parent);
  site_->setMinimumWidth(150);
  address_ = new CComboBox2(parent);
  address_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  list_ = new QPushButton("获取相册", parent);

  connect(site_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          [this] { emit SiteChanged(); });
  connect(address_, &QComboBox::editTextChanged, this, [this] {
    RecognizeTyped();
    emit SiteChanged();
  });
  connect(list_, &QPushButton::clicked, this, [this] { emit ListRequested(); });
  // Enter in the address box lists, as the button does.
  connect(address_, &CComboBox2::Entered, this, [this] {
    if (list_->isEnabled()) list_->click();
  });
}

void AddressBar::AddTo(QBoxLayout* row) {
  row->addWidget(site_);
  row->addWidget(address_, 1);
  row->addWidget(list_);
}

void AddressBar::SetSites(const QStringList& sites) {
  const QSignalBlocker blocker(site_);
  site_->addItems(sites);
  site_->setCurrentIndex(0);
}

int AddressBar::Site() const {
  const int site = site_->currentIndex();
  return site >= 0 && site < static_cast<int>(kSettingsSlots) ? site : 0;
}

QString AddressBar::Address() const { return address_->currentText(); }

void AddressBar::SetListing(bool busy) {
  site_->setEnabled(!busy);
  address_->setEnabled(!busy);
  list_->setText(busy ? "终止获取" : "获取相册");
}

void AddressBar::SetLocked(bool locked) {
  for (QWidget* control : std::initializer_list<QWidget*>{site_, list_, address_}) {
    control->setEnabled(!locked);
  }
}

void AddressBar::RecognizeTyped() {
  if (site_->count() == 0) return;
  const int current = site_->currentIndex();
  const int index = RecognizeSite(address_->currentText().toStdString(), current);
  if (index != current && index >= 0 && index < site_->count()) {
    const QSignalBlocker blocker(site_);
    site_->setCurrentIndex(index);
  }
}

}  // namespace albumora::gui
