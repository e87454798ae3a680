// The command line's kinds of link, one row each: how a board given by
// --tcp, --com or --serial is named, what it opens, how the settings dialog
// is set for it, what identifies it and how the report describes it. A new
// kind is one more row here and its option in CliOptions.cpp.
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <set>
#include <string>

#include "CliOptions.h"

namespace qrb {
struct HeadlessWindow;
struct ReflashSession;
}  // namespace qrb

namespace qrb::cli {

struct CliLinkKind {
  CliLink link;
  std::int16_t pipe;    // the settings dialog's data pipe
  bool connectsLater;   // the link opens in an event after Initialize
  bool namedByDevice;   // failures name the device, not the COM port
  std::string (*name)(const CliBoard&);  // in the lines, the summary and the report
  QString (*device)(const CliBoard&);    // the serial device opened; empty for none
  int (*comPort)(const CliBoard&);       // the COM port the dialog chooses
  // The dialog's choices for the board, between the data pipe and Initialize.
  void (*choose)(HeadlessWindow&, const CliBoard&, const CliOptions&);
  // What identifies the board's link once names are resolved.
  std::set<std::string> (*endpoints)(const CliBoard&);
  void (*report)(const CliBoard&, const CliOptions&, QJsonObject& link);
  // The board the desktop program's open link stands for; null when the
  // window cannot choose this kind.
  bool (*fromWindow)(const ReflashSession&, CliBoard&);
};

// The row of the board's kind, or null for a board without a link.
const CliLinkKind* CliLinkKindOf(const CliBoard& board);

// The board the desktop program's open link stands for.
CliBoard WindowBoard(const ReflashSession& session);

}  // namespace qrb::cli
