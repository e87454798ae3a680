// The About box's texts and its System Information button.
#pragma once

#include <cstdint>
#include <string>

#include "Version.h"
#include "app/AboutPorts.h"

namespace qrb {

// Who we are and how to reach support: the one place for these texts.
struct AppInfo {
  static constexpr const char* Title = "QRB FLASH Download";
  static constexpr int Major = VersionMajor;
  static constexpr int Minor = VersionMinor;
  static constexpr int Revision = VersionPatch;
  static constexpr const char* Description =
      "This application is intended to be used to download operational firmware to the QRB-260 or "
      "QRB-530 on-board FLASH device.";
  static constexpr const char* Developer = "QRB Tools";
  static constexpr const char* SupportPhone = "(800) 555-0142";
  static constexpr const char* SupportEmail = "support@example.com";
};

std::string AboutCaption();    // "About " and the title
std::string VersionText();     // "Version " and major.minor.revision
std::string DisclaimerText();  // developer, phone and e-mail, one per line

inline constexpr const char* SysInfoUnavailable = "System Information Is Unavailable At This Time";
inline constexpr const char* SysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* SysInfoValue = "PATH";
inline constexpr const char* SysInfoLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* SysInfoLocationValue = "MSINFO";

class AboutBox {
 public:
  AboutBox(Registry& registry, ProgramLauncher& launcher, MessageBox& messageBox)
      : registry_(registry), launcher_(launcher), messageBox_(messageBox) {}

  // Starts the System Information tool, or says that it cannot.
  void StartSysInfo();

  // Reads a string value of the registry; true when it was read.
  bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                   std::string& KeyVal);

 private:
  Registry& registry_;
  ProgramLauncher& launcher_;
  MessageBox& messageBox_;
};

}  // namespace qrb
