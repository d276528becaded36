// The two settings dialogs of the current site's slots: CDlgDownSet (download parameters) and
// CDlgSaveSet (naming rules). Each works on its slot; the caller saves the settings file when
// the dialog ends with OK.
#pragma once

#include <QDialog>
#include <functional>

#include "model/Settings.h"

class QLineEdit;
class QRadioButton;
class QButtonGroup;

namespace albumora::gui {

using MessageFn = std::function<void(const QString& text)>;

class CDlgDownSet : public QDialog {
 public:
  CDlgDownSet(DownParam& slot, MessageFn message, QWidget* parent);

  QLineEdit* ThreadsEdit() const { return threads_; }
  QLineEdit* TimeoutEdit() const { return timeout_; }
  QLineEdit* MinEdit() const { return minKB_; }
  QLineEdit* MaxEdit() const { return maxKB_; }
  // "确 定".
  void Confirm();

 private:
  DownParam& slot_;
  MessageFn message_;
  QLineEdit* threads_;
  QLineEdit* timeout_;
  QLineEdit* minKB_;
  QLineEdit* maxKB_;
};

class CDlgSaveSet : public QDialog {
 public:
  // The texts are stored with at most this many UTF-16 units.
  static constexpr int kMaxUnits = 38;

  CDlgSaveSet(NameRule& slot, QWidget* parent);

  QLineEdit* Edit(int id) const;      // by control id: 1000 to 1003, 1021, 1022
  QRadioButton* Radio(int id) const;  // 1016 to 1020
  // "确 定".
  void Confirm();

 private:
  NameRule& slot_;
  QLineEdit* prefix_;
  QLineEdit* suffix_;
  QLineEdit* from_;
  QLineEdit* to_;
  QLineEdit* dirPrefix_;
  QLineEdit* dirSuffix_;
  QButtonGroup* nameMode_;
  QButtonGroup* dirMode_;
};

}  // namespace albumora::gui
