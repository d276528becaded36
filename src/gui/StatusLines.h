// The status lines under the album views: the main line (what the jobs say), the second line
// (the current picture), and the notes row (the start-up notice, the update link, the
// version). The lines keep one line's height, empty or not, and a long text is cut rather than
// widening the window: the grid above them does not move as they fill.
#pragma once

#include <QObject>
#include <QString>

class QBoxLayout;
class QLabel;
class QWidget;

namespace albumora::gui {

class StatusLines : public QObject {
 public:
  explicit StatusLines(QWidget* parent);

  // Adds the two lines and the notes row to the window's column.
  void AddTo(QBoxLayout* column);

  void SetMain(const QString& text);
  void SetProgress(const QString& text);
  void SetNotice(const QString& text);
  void HideNotice();

  QLabel* Main() const { return main_; }
  QLabel* Progress() const { return progress_; }
  QLabel* Notice() const { return notice_; }

 private:
  QLabel* main_;
  QLabel* progress_;
  QLabel* notice_;
  QLabel* version_;
  QLabel* updateLink_;
};

}  // namespace albumora::gui
