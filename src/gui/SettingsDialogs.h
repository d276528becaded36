// SPDX-License-Identifier: GPL-3.0-or-later
// The two settings dialogs of the current site's slots: CDlgDownSet (download parameters) and
// CDlgSaveSet (naming rules). Each works on its slot; the caller saves the settings file when
// the dialog ends with OK. CDlgDownSet also shows the transfer limits and the resume switch of
// albumora.toml when it is given the config (the caller then saves that file too).
#pragma once

#include <QDialog>
#include <functional>

#include "model/Config.h"
#include "model/Settings.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QButtonGroup;

namespace albumora::gui {

using MessageFn = std::function<void(const QString& text)>;

class CDlgDownSet : public QDialog {
 public:
  // config null: the slot's fields only.
  CDlgDownSet(DownParam& slot, MessageFn message, QWidget* parent, Config* config = nullptr);

  QLineEdit* ThreadsEdit() const { return threads_; }
  QLineEdit* TimeoutEdit() const { return timeout_; }
  QLineEdit* MinEdit() const { return minKB_; }
  QLineEdit* MaxEdit() const { return maxKB_; }
  // albumora.toml's values; null without a config.
  QLineEdit* LowSpeedBytesEdit() const { return lowSpeedBytes_; }
  QLineEdit* LowSpeedSecondsEdit() const { return lowSpeedSeconds_; }
  QLineEdit* UserAgentEdit() const { return userAgent_; }
  QCheckBox* ResumeBox() const { return resume_; }
  QLineEdit* RetriesEdit() const { return retries_; }
  QLineEdit* WaitEdit() const { return waitMs_; }
  QCheckBox* RandomWaitBox() const { return randomWait_; }
  QLineEdit* HostConnectionsEdit() const { return hostConnections_; }
  QLineEdit* LimitRateEdit() const { return limitRate_; }
  // "确 定".
  void Confirm();

 private:
  DownParam& slot_;
  MessageFn message_;
  QLineEdit* threads_;
  QLineEdit* timeout_;
  QLineEdit* minKB_;
  QLineEdit* maxKB_;
  Config* config_;
  QLineEdit* lowSpeedBytes_ = nullptr;
  QLineEdit* lowSpeedSeconds_ = nullptr;
  QLineEdit* userAgent_ = nullptr;
  QCheckBox* resume_ = nullptr;
  QLineEdit* lookAhead_ = nullptr;
  QLineEdit* retries_ = nullptr;
  QLineEdit* waitMs_ = nullptr;
  QCheckBox* randomWait_ = nullptr;
  QLineEdit* hostConnections_ = nullptr;
  QLineEdit* limitRate_ = nullptr;
  QGroupBox* TransferGroup();
  // Stores the config's values when they pass; false (with the message shown) when not.
  bool StoreConfig();
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
