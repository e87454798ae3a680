#include "app/qt/WidgetControls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QWindow>

namespace qrb {

// ---- list box ----

void WidgetListBox::AddItem(const std::string& line) {
  auto* item = new QListWidgetItem(QString::fromStdString(line));
  // The line's own size, measured once here as the list's delegate would:
  // the list then lays its lines out without measuring each one again on
  // every post.
  QStyleOptionViewItem option;
  option.initFrom(list_);
  option.widget = list_;
  option.font = list_->font();
  option.fontMetrics = list_->fontMetrics();
  option.text = item->text();
  option.features = QStyleOptionViewItem::HasDisplay;
  option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  item->setSizeHint(list_->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), list_));
  list_->addItem(item);
}

void WidgetListBox::RemoveItem(int index) { delete list_->takeItem(index); }

int WidgetListBox::ListCount() const { return list_->count(); }

void WidgetListBox::SetListIndex(int index) {
  // Scrolls up or down. Sideways, a line that fits the list is shown whole,
  // from the left edge; a line wider than the list leaves a reader scrolled
  // sideways where he is.
  QScrollBar* sideways = list_->horizontalScrollBar();
  const int x = sideways->value();
  list_->setCurrentRow(index);
  QListWidgetItem* item = list_->item(index);
  if (item != nullptr) list_->scrollToItem(item);
  const bool fits = item == nullptr || item->sizeHint().width() <= list_->viewport()->width();
  sideways->setValue(fits ? 0 : x);
}

void WidgetListBox::SetSelected(int index, bool selected) {
  if (QListWidgetItem* item = list_->item(index)) item->setSelected(selected);
}

void WidgetListBox::Refresh() { list_->viewport()->repaint(); }

void WidgetListBox::Clear() { list_->clear(); }

// ---- command button ----

void WidgetButton::SetCaption(const std::string& caption) { button_->setText(QString::fromStdString(caption)); }

std::string WidgetButton::Caption() const { return button_->text().toStdString(); }

void WidgetButton::SetEnabled(bool enabled) { button_->setEnabled(enabled); }

bool WidgetButton::Enabled() const { return button_->isEnabled(); }

// ---- text box ----

void WidgetTextBox::SetText(const std::string& text) { edit_->setText(QString::fromStdString(text)); }

std::string WidgetTextBox::Text() const { return edit_->text().toStdString(); }

void WidgetTextBox::SetEnabled(bool enabled) { edit_->setEnabled(enabled); }

bool WidgetTextBox::Enabled() const { return edit_->isEnabled(); }

// ---- label ----

void WidgetLabel::SetText(const std::string& text) { label_->setText(QString::fromStdString(text)); }

std::string WidgetLabel::Text() const { return label_->text().toStdString(); }

void WidgetLabel::SetEnabled(bool enabled) { label_->setEnabled(enabled); }

bool WidgetLabel::Enabled() const { return label_->isEnabled(); }

// ---- option button ----

void WidgetOptionButton::SetValue(bool checked) {
  // The checked button of an exclusive group cannot be unchecked directly.
  QButtonGroup* group = button_->group();
  if (checked || group == nullptr || !group->exclusive()) {
    button_->setChecked(checked);
    return;
  }
  group->setExclusive(false);
  button_->setChecked(false);
  group->setExclusive(true);
}

bool WidgetOptionButton::Value() const { return button_->isChecked(); }

void WidgetOptionButton::SetEnabled(bool enabled) { button_->setEnabled(enabled); }

bool WidgetOptionButton::Enabled() const { return button_->isEnabled(); }

// ---- window ----

void WidgetWindow::Show() {
  window_->show();
  window_->raise();
  // Takes the keyboard. (activateWindow() would not: a dialog counts as
  // active already while the window it belongs to is.)
  if (QWindow* handle = window_->windowHandle()) {
    handle->requestActivate();
  } else {
    window_->activateWindow();
  }
}

void WidgetWindow::Hide() { window_->hide(); }

bool WidgetWindow::Visible() const { return window_->isVisible(); }

}  // namespace qrb
