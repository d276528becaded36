#include "gui/ComboBox2.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringListModel>

namespace albumora::gui {

namespace {

QString BeforeMarker(const QString& text) {
  const qsizetype at = text.indexOf(QLatin1String(CComboBox2::kMarker));
  return at < 0 ? text : text.left(at);
}

}  // namespace

CComboBox2::CComboBox2(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  suggestions_ = new QStringListModel(this);
  // The box filters by itself; the completer only shows the list below the edit and passes
  // the typing on to it.
  completer_ = new QCompleter(suggestions_, this);
  completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  completer_->setWidget(lineEdit());
  // Only the person's typing filters: text set by the program or by a pick does not.
  connect(lineEdit(), &QLineEdit::textEdited, this, &CComboBox2::EditChanged);
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
          &CComboBox2::SuggestionPicked);
  connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { emit Picked(); });
}

void CComboBox2::AddItem(const QString& text) {
  items_.append(text);
  QStringList sorted;
  for (const QString& item : items_) sorted.append(BeforeMarker(item));
  sorted.sort();
  const QString edit = currentText();
  const int cursor = lineEdit()->cursorPosition();
  const QSignalBlocker blocker(this);
  clear();
  addItems(sorted);
  setCurrentIndex(-1);
  setEditText(edit);
  lineEdit()->setCursorPosition(cursor);
}

void CComboBox2::EditChanged(const QString& text) {
  if (text.isEmpty()) {
    completer_->popup()->hide();
    return;
  }
  const QString typed = text.toLower();
  QStringList shown;
  shownFrom_.clear();
  for (const QString& item : items_) {
    const QString lower = item.toLower();
    if (!lower.contains(typed)) continue;
    shown.append(BeforeMarker(lower));
    shownFrom_.append(BeforeMarker(item));
  }
  suggestions_->setStringList(shown);
  if (shown.isEmpty()) {
    completer_->popup()->hide();
    return;
  }
  completer_->complete();
  completer_->popup()->setCursor(Qt::ArrowCursor);
}

// A suggestion is shown in lower case; the box takes the item as it was stored, because on a
// case-sensitive file system a lower-cased folder is another folder.
void CComboBox2::SuggestionPicked(const QString& shown) {
  const QStringList list = suggestions_->stringList();
  const qsizetype at = list.indexOf(shown);
  setEditText(at >= 0 && at < shownFrom_.size() ? shownFrom_[at] : shown);
  emit Picked();
}

QStringList CComboBox2::Suggestions() const { return suggestions_->stringList(); }

bool CComboBox2::SuggestionsShown() const { return completer_->popup()->isVisible(); }

}  // namespace albumora::gui
