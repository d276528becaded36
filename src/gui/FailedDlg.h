// "失败的图片": the pictures of the last download that were not written, with their address,
// their file and why, so the user can see what a rerun will fetch again.
#pragma once

#include <QDialog>
#include <vector>

#include "download/DownloadJob.h"

class QTableWidget;

namespace albumora {

class CFailedDlg : public QDialog {
 public:
  CFailedDlg(const std::vector<FailedPicture>& failures, QWidget* parent);
  QTableWidget* Table() const { return table_; }

 private:
  QTableWidget* table_ = nullptr;
};

}  // namespace albumora
