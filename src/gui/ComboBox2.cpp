// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ComboBox2.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QWindow>

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
  // The drop-down's own pick, and the list's activation or click, which the drop-down leaves
  // alone when it did not see the press (a click without a move before it, a style that
  // activates on a single click): either way the item goes into the box.
  connect(this, qOverload<int>(&QComboBox::activated), this, &CComboBox2::ItemPicked);
  connect(view(), &QAbstractItemView::activated, this,
          [this](const QModelIndex& index) { ItemPicked(index.row()); });
  connect(view(), &QAbstractItemView::clicked, this,
          [this](const QModelIndex& index) { ItemPicked(index.row()); });
  connect(lineEdit(), &QLineEdit::returnPressed, this, [this] {
    if (!SuggestionsShown()) {
      emit Entered();
      return;
    }
    // With the suggestions open the completer closes them (and puts a chosen suggestion into
    // the box) after this: the one Enter lists once that is done.
    QMetaObject::invokeMethod(
        this, [this] { emit Entered(); }, Qt::QueuedConnection);
  });
  // The suggestion list is a pop-up, which would swallow the click that closes it: the filter
  // passes that click on (and Qt is told not to replay it a second time).
  QWidget* popup = completer_->popup();
  popup->setAttribute(Qt::WA_NoMouseReplay);
  popup->installEventFilter(this);
}

bool CComboBox2::eventFilter(QObject* watched, QEvent* event) {
  QAbstractItemView* popup = completer_->popup();
  if (watched == popup && event->type() == QEvent::KeyPress) {
    // Enter before any suggestion was chosen lists the typed text (the completer would put
    // the first suggestion into the box); with one chosen the completer puts it there and
    // the line edit's Enter lists it.
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        !popup->selectionModel()->hasSelection()) {
      popup->hide();
      emit Entered();
      return true;
    }
  }
  if (watched != popup || event->type() != QEvent::MouseButtonPress) {
    return QComboBox::eventFilter(watched, event);
  }
  const auto* press = static_cast<QMouseEvent*>(event);
  const QPoint global = press->globalPosition().toPoint();
  if (popup->rect().contains(popup->mapFromGlobal(global))) return false;
  popup->hide();
  // Delivered through the window under the pointer (most often the box's own), as the person's
  // press would be, once the closing has been handled: the release that follows reaches the
  // same widget. The event is made at delivery, so no later event of the device changes it.
  QWidget* top =
      window()->geometry().contains(global) ? window() : QApplication::topLevelAt(global);
  QPointer<QWindow> handle = top != nullptr ? top->windowHandle() : nullptr;
  if (handle != nullptr) {
    QMetaObject::invokeMethod(
        handle,
        [handle, global = press->globalPosition(), button = press->button(),
         buttons = press->buttons(), modifiers = press->modifiers()] {
          if (!handle || !handle->isVisible()) return;
          const QPointF local = handle->mapFromGlobal(global);
          QMouseEvent replay(QEvent::MouseButtonPress, local, local, global, button, buttons,
                             modifiers);
          QCoreApplication::sendEvent(handle, &replay);
        },
        Qt::QueuedConnection);
  }
  return true;
}

void CComboBox2::AddItem(const QString& text) {
  items_.append(text);
  RebuildDropDown();
}

void CComboBox2::SetItems(const QStringList& items) {
  items_ = items;
  RebuildDropDown();
}

void CComboBox2::RebuildDropDown() {
  QStringList sorted;
  for (const QString& item : items_) sorted.append(BeforeMarker(item));
  if (sorted_) sorted.sort();
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

void CComboBox2::ItemPicked(int row) {
  if (row < 0 || row >= count()) return;
  hidePopup();
  completer_->popup()->hide();
  setCurrentIndex(row);
  setEditText(itemText(row));
  emit Picked();
}

QStringList CComboBox2::Suggestions() const { return suggestions_->stringList(); }

bool CComboBox2::SuggestionsShown() const { return completer_->popup()->isVisible(); }

}  // namespace albumora::gui
