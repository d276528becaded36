// SPDX-License-Identifier: GPL-3.0-or-later
// The address bar: the site box, the address box with its suggestions, and "获取相册". A typed
// address that names a site selects it; Enter in the address box lists, as the button does.
//
// The site box names the site of the next listing and the settings slot the menu edits.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QBoxLayout;
class QComboBox;
class QPushButton;
class QWidget;

namespace albumora::gui {

class CComboBox2;

class AddressBar : public QObject {
  Q_OBJECT

 public:
  explicit AddressBar(QWidget* parent);

  // Adds the site box, the address box and the button to the window's top row.
  void AddTo(QBoxLayout* row);
  // The start-up thread's site names (no signal for the first selection).
  void SetSites(const QStringList& sites);
  // The site box's index as a settings slot (0 while the box is empty).
  int Site() const;
  QString Address() const;
  // The listing's busy form (the button stops it) and the idle form.
  void SetListing(bool busy);
  // A download is running: nothing here may start another job.
  void SetLocked(bool locked);
  // Selects the site the typed address names, if any.
  void RecognizeTyped();

  QComboBox* SiteBox() const { return site_; }
  CComboBox2* AddressBox() const { return address_; }
  QPushButton* ListButton() const { return list_; }

 signals:
  // "获取相册" (or Enter in the address box).
  void ListRequested();
  // The site box changed, by the person or by a recognised address.
  void SiteChanged();

 private:
  QComboBox* site_;
  CComboBox2* address_;
  QPushButton* list_;
};

}  // namespace albumora::gui
