#include "app/AboutBox.h"

#include "app/Text.h"

namespace qrb {

std::string AboutCaption() { return std::string("About ") + AppInfo::Title; }

std::string VersionText() {
  return "Version " + Dec(AppInfo::Major) + "." + Dec(AppInfo::Minor) + "." + Dec(AppInfo::Revision);
}

std::string DisclaimerText() {
  return std::string("Developed by ") + AppInfo::Developer + "\nSupport: " + AppInfo::SupportPhone + "\n" +
         AppInfo::SupportEmail;
}

void AboutBox::StartSysInfo() {
  std::string sysInfoPath;
  bool found = GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, SysInfoKey, SysInfoValue, sysInfoPath);
  if (!found && GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, SysInfoLocationKey, SysInfoLocationValue, sysInfoPath) &&
      !sysInfoPath.empty()) {
    sysInfoPath += "\\MSINFO32.EXE";
    found = launcher_.FileExists(sysInfoPath);
  }
  // A value that is not a string leaves no path to start.
  if (found && !sysInfoPath.empty() && launcher_.StartDetached(sysInfoPath)) return;
  messageBox_.Show(SysInfoUnavailable, AppInfo::Title);
}

bool AboutBox::GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                           std::string& KeyVal) {
  constexpr std::size_t BufferSize = 1024;
  KeyVal.clear();
  bool read = false;
  std::string buffer(BufferSize, '\0');
  Registry::ValueType type = Registry::ValueType::None;
  std::size_t size = 0;
  if (registry_.OpenKey(KeyRoot, KeyName, KEY_ALL_ACCESS_MASK)) {
    read = registry_.QueryValue(SubKeyRef, buffer, BufferSize, type, size);
  }
  if (read) {
    std::string text = buffer.substr(0, size);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    if (type == Registry::ValueType::String) KeyVal = text;
  }
  registry_.CloseKey();  // in every case, also after a failure
  return read;
}

}  // namespace qrb
