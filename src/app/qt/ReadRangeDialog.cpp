#include "app/qt/ReadRangeDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/qt/FormMetrics.h"

namespace qrb {

namespace {

// The highest address the reader takes; a run never reaches beyond it.
constexpr std::uint32_t LastAddress = 0x7FFFFFFF;

// Hexadecimal with or without "0x", blanks around it allowed.
std::optional<std::uint32_t> ParseAddress(QString text) {
  text = text.trimmed();
  if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) text = text.mid(2);
  bool ok = false;
  const qulonglong value = text.toULongLong(&ok, 16);
  if (!ok || text.isEmpty() || text.contains(QLatin1Char(' ')) || value > LastAddress) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

QString HexAddress(std::uint32_t address) { return QStringLiteral("0x%1").arg(address, 0, 16).toUpper().replace(QLatin1String("0X"), QLatin1String("0x")); }

ReadRangeDialog::ReadRangeDialog(const std::optional<AddressRange>& range, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ReadRange"));
  UseFormFont(this);
  setWindowTitle(QStringLiteral("Read FLASH to File"));
  start_ = new QLineEdit(range ? HexAddress(range->First) : QString(), this);
  start_->setObjectName(QStringLiteral("Start"));
  end_ = new QLineEdit(range ? HexAddress(range->Last) : QString(), this);
  end_->setObjectName(QStringLiteral("End"));
  reason_ = new QLabel(this);
  reason_->setObjectName(QStringLiteral("Reason"));
  reason_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ReadRangeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ReadRangeDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Start address:"), start_);
  form->addRow(QStringLiteral("&End address:"), end_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(reason_);
  layout->addWidget(buttons);
  start_->setFocus();
  start_->selectAll();
}

void ReadRangeDialog::accept() {
  const auto first = ParseAddress(start_->text());
  const auto last = ParseAddress(end_->text());
  QLineEdit* wrong = !first ? start_ : !last ? end_ : *first > *last ? end_ : nullptr;
  if (wrong == nullptr) {
    range_ = {*first, *last};
    QDialog::accept();
    return;
  }
  reason_->setText(!first || !last ? QStringLiteral("\"%1\" is not an address from 0x0 to 0x7FFFFFFF.").arg(wrong->text())
                                   : QStringLiteral("The end address is before the start address."));
  wrong->setFocus();
  wrong->selectAll();
}

}  // namespace qrb
