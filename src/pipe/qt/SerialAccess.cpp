#include "pipe/qt/SerialAccess.h"

#include <QFile>
#include <algorithm>

#if defined(Q_OS_UNIX)
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace qrb {

namespace {

// "crw-rw----" as ls shows a character device.
QString ModeText(unsigned mode) {
  QString text = QStringLiteral("c");
  const char* letters = "rwxrwxrwx";
  for (int bit = 8; bit >= 0; --bit) text += (mode >> bit) & 1U ? QLatin1Char(letters[8 - bit]) : QLatin1Char('-');
  return text;
}

}  // namespace

#if defined(Q_OS_UNIX)
DeviceAccess ReadDeviceAccess(const QString& device) {
  DeviceAccess access;
  struct stat info {};
  if (::stat(QFile::encodeName(device).constData(), &info) != 0) return access;
  const passwd* owner = ::getpwuid(info.st_uid);
  access.owner = owner != nullptr ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);
  const group* grp = ::getgrgid(info.st_gid);
  access.group = grp != nullptr ? QString::fromLocal8Bit(grp->gr_name) : QString::number(info.st_gid);
  access.mode = info.st_mode & 0777U;
  access.rootOwner = info.st_uid == 0;
  access.rootGroup = info.st_gid == 0;

  const uid_t uid = ::geteuid();
  const passwd* me = ::getpwuid(uid);
  access.user = me != nullptr ? QString::fromLocal8Bit(me->pw_name) : QString::number(uid);
  access.groupInSession = ::getegid() == info.st_gid;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0U);
  if (count > 0 && ::getgroups(count, groups.data()) == count)
    for (gid_t g : groups) access.groupInSession = access.groupInSession || g == info.st_gid;
  if (me != nullptr) {
    // The user database's groups, as the next login gets them.
    const QByteArray name = me->pw_name;
    const gid_t primary = me->pw_gid;
    int listed = 64;
    std::vector<gid_t> all(static_cast<std::size_t>(listed));
    if (::getgrouplist(name.constData(), primary, all.data(), &listed) < 0) {
      all.resize(static_cast<std::size_t>(listed));
      ::getgrouplist(name.constData(), primary, all.data(), &listed);
    }
    all.resize(static_cast<std::size_t>(std::max(listed, 0)));
    for (gid_t g : all) access.listedInGroup = access.listedInGroup || g == info.st_gid;
  }
  return access;
}
#else
DeviceAccess ReadDeviceAccess(const QString&) { return {}; }
#endif

QString AccessAdvice(const DeviceAccess& access) {
  if (access.owner.isEmpty()) return {};
  QString text = QStringLiteral("it belongs to user %1 and group %2 (%3)")
                     .arg(access.owner, access.group, ModeText(access.mode));
  const bool groupMayUse = (access.mode & 0060U) == 0060U && !access.rootGroup;
  if (groupMayUse && access.listedInGroup && !access.groupInSession)
    return text + QStringLiteral(": %1 is a member of group %2, but not yet in this session: log in again")
                      .arg(access.user, access.group);
  if (groupMayUse && !access.groupInSession)
    return text + QStringLiteral(": join the group with 'sudo usermod -aG %1 %2', then log in again")
                      .arg(access.group, access.user);
  if (!groupMayUse && (access.mode & 0006U) != 0006U)
    return text + (access.rootOwner ? QStringLiteral(": only root may open it")
                                    : QStringLiteral(": only %1 and root may open it").arg(access.owner));
  return text;
}

}  // namespace qrb
