// SPDX-License-Identifier: GPL-3.0-or-later
// CComboBox2: the address and save-path boxes. An editable combo box with its own memory of
// every item added; its drop-down shows them all, sorted. While the person types, the items
// whose lower-cased form contains the typed text (lower-cased) are suggested below the box,
// in lower case. An item may carry hidden text after the marker; suggestions show only the
// part before it.
//
// A pick from the drop-down (by mouse or keys) puts the item into the box. Enter lists
// (Entered), also while the suggestion list is open: it closes the list, puts the suggestion
// chosen there (if any) into the box, and lists. A click outside the open suggestion list
// closes it and still reaches what was clicked.
#pragma once

#include <QComboBox>
#include <QStringList>

class QCompleter;
class QStringListModel;

namespace albumora::gui {

class CComboBox2 : public QComboBox {
  Q_OBJECT

 public:
  static constexpr const char* kMarker = "zrk?!oxff";

  explicit CComboBox2(QWidget* parent = nullptr);

  // Appends an item (the drop-down is rebuilt from every item, sorted unless SetSorted(false)).
  void AddItem(const QString& text);
  // Replaces every item (the save box's recent paths, newest first).
  void SetItems(const QStringList& items);
  void SetSorted(bool sorted) { sorted_ = sorted; }
  const QStringList& Items() const { return items_; }
  // The suggestions offered for the last typed text, as shown.
  QStringList Suggestions() const;
  bool SuggestionsShown() const;

 signals:
  // A suggestion or a drop-down item was picked; the box holds its text.
  void Picked();
  // Enter was pressed in the box (after the suggestion list, if open, has done its pick).
  void Entered();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void EditChanged(const QString& text);
  void SuggestionPicked(const QString& shown);
  void ItemPicked(int row);
  void RebuildDropDown();

  QStringList items_;
  bool sorted_ = true;
  QStringList shownFrom_;  // the item behind each suggestion
  QStringListModel* suggestions_;
  QCompleter* completer_;
};

}  // namespace albumora::gui
