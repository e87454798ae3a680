// Why this user may not open a serial device, and what would let them: the
// device's owner, group and mode, read from the device itself.
#pragma once

#include <QString>

namespace qrb {

struct DeviceAccess {
  QString owner;               // the owning user's name (or number)
  QString group;               // the owning group's name (or number)
  unsigned mode = 0;           // permission bits, e.g. 0660
  bool rootGroup = false;      // the group is root's own (gid 0)
  bool rootOwner = false;      // the owner is root (uid 0)
  QString user;                // who runs this program
  bool listedInGroup = false;  // the user database makes user a member of group
  bool groupInSession = false; // this process holds the group
};

// The device's access as the system has it now; an empty owner when the
// device cannot be examined.
DeviceAccess ReadDeviceAccess(const QString& device);

// The clause that follows "permission denied": who owns the device, and
// either the command that lets this user open it, that a new login is
// needed, or that only its owner may open it.
QString AccessAdvice(const DeviceAccess& access);

}  // namespace qrb
