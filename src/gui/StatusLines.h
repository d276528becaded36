// SPDX-License-Identifier: GPL-3.0-or-later
// The status lines under the album views: the main line (what the jobs say), the second line
// (the current picture), and the notes row (the start-up notice, the update link, the
// version). The lines keep one line's height, empty or not, and a long text is cut rather than
// widening the window: the grid above them does not move as they fill.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>

class QBoxLayout;
class QLabel;
class QTimer;
class QWidget;

namespace albumora::gui {

class StatusLines : public QObject {
 public:
  explicit StatusLines(QWidget* parent);

  // Adds the two lines and the notes row to the window's column.
  void AddTo(QBoxLayout* column);

  // The main line; during a wait it is kept and shown when the wait ends.
  void SetMain(const QString& text);
  // A host asked to slow down: "等待 N 秒：HOST 要求放慢（429）", counted down each second, then
  // the main line again. A later wait replaces an earlier one.
  void ShowWait(const QString& host, int seconds, long status);
  // The job ended: no wait is shown any more.
  void EndWait();
  bool Waiting() const;
  void SetProgress(const QString& text);
  void SetNotice(const QString& text);
  void HideNotice();

  QLabel* Main() const { return main_; }
  QLabel* Progress() const { return progress_; }
  QLabel* Notice() const { return notice_; }

 private:
  void Tick();

  QString mainText_ = "就绪";
  QTimer* waitTimer_;
  std::chrono::steady_clock::time_point waitEnd_;
  QString waitHost_;
  long waitStatus_ = 0;
  int waitShown_ = -1;  // the seconds the line shows
  QLabel* main_;
  QLabel* progress_;
  QLabel* notice_;
  QLabel* version_;
  QLabel* updateLink_;
};

}  // namespace albumora::gui
