#include "app/qt/WidgetControls.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>

namespace qrb {

// ---- list box ----

void WidgetListBox::AddItem(const std::string& line) { list_->addItem(QString::fromStdString(line)); }

void WidgetListBox::RemoveItem(int index) { delete list_->takeItem(index); }

int WidgetListBox::ListCount() const { return list_->count(); }

void WidgetListBox::SetListIndex(int index) {
  list_->setCurrentRow(index);
  if (QListWidgetItem* item = list_->item(index)) list_->scrollToItem(item);
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

// ---- option button ----

void WidgetOptionButton::SetValue(bool checked) {
  // An auto-exclusive radio button cannot be unchecked directly.
  const bool exclusive = button_->autoExclusive();
  if (!checked) button_->setAutoExclusive(false);
  button_->setChecked(checked);
  button_->setAutoExclusive(exclusive);
}

bool WidgetOptionButton::Value() const { return button_->isChecked(); }

void WidgetOptionButton::SetEnabled(bool enabled) { button_->setEnabled(enabled); }

bool WidgetOptionButton::Enabled() const { return button_->isEnabled(); }

// ---- window ----

void WidgetWindow::Show() {
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void WidgetWindow::Hide() { window_->hide(); }

bool WidgetWindow::Visible() const { return window_->isVisible(); }

}  // namespace qrb
