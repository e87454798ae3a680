// "Read FLASH to File": the address range to read, its start and end both
// included, in hexadecimal. OK is refused, with the reason in the dialog,
// until both are addresses the board has and the start is not after the end.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

#include "engine/BlockObserver.h"

class QLabel;
class QLineEdit;

namespace qrb {

class ReadRangeDialog : public QDialog {
  Q_OBJECT

 public:
  // Prefilled with `range` when there is one.
  ReadRangeDialog(const std::optional<AddressRange>& range, QWidget* parent);

  AddressRange Range() const { return range_; }
  void accept() override;

 private:
  QLineEdit* start_;
  QLineEdit* end_;
  QLabel* reason_;
  AddressRange range_;
};

// "0x8000" for a dialog box.
QString HexAddress(std::uint32_t address);

}  // namespace qrb
