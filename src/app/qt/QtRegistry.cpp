#include "app/qt/QtRegistry.h"

#include <QString>
#include <algorithm>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>
#else
#include <QStandardPaths>

#include "app/AboutBox.h"
#endif

namespace qrb {

#ifdef Q_OS_WIN

namespace {

HKEY RootKey(std::uint32_t root) {
  // Predefined keys are sign-extended 32-bit handles.
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

}  // namespace

bool QtRegistry::OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) {
  CloseKey();
  const std::wstring name = QString::fromStdString(keyName).toStdWString();
  HKEY key = nullptr;
  if (RegOpenKeyExW(RootKey(root), name.c_str(), 0, access, &key) != ERROR_SUCCESS) return false;
  key_ = key;
  return true;
}

bool QtRegistry::QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize,
                            ValueType& type, std::size_t& size) {
  if (key_ == nullptr) return false;
  const std::wstring name = QString::fromStdString(valueName).toStdWString();
  std::vector<wchar_t> wide(bufferSize, L'\0');
  DWORD bytes = static_cast<DWORD>(bufferSize * sizeof(wchar_t));
  DWORD regType = REG_NONE;
  if (RegQueryValueExW(static_cast<HKEY>(key_), name.c_str(), nullptr, &regType,
                       reinterpret_cast<LPBYTE>(wide.data()), &bytes) != ERROR_SUCCESS) {
    return false;
  }
  type = regType == REG_SZ ? ValueType::String : ValueType::Other;
  const std::size_t chars = std::min<std::size_t>(bytes / sizeof(wchar_t), bufferSize);
  buffer = QString::fromWCharArray(wide.data(), static_cast<qsizetype>(chars)).toStdString();
  size = buffer.size();
  return true;
}

void QtRegistry::CloseKey() {
  if (key_ != nullptr) RegCloseKey(static_cast<HKEY>(key_));
  key_ = nullptr;
}

#else

namespace {

// Registry names compare without regard to case.
bool SameName(const std::string& a, const char* b) {
  return QString::fromStdString(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

QString FindSysInfoTool() {
  for (const char* program : {"hardinfo", "gnome-system-monitor", "kinfocenter"}) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
    if (!path.isEmpty()) return path;
  }
  return {};
}

}  // namespace

bool QtRegistry::OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t /*access*/) {
  sysInfoKeyOpen_ = root == HKEY_LOCAL_MACHINE_ROOT && SameName(keyName, SysInfoKey);
  return sysInfoKeyOpen_;
}

bool QtRegistry::QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize,
                            ValueType& type, std::size_t& size) {
  if (!sysInfoKeyOpen_ || !SameName(valueName, SysInfoValue)) return false;
  const QString tool = FindSysInfoTool();
  if (tool.isEmpty()) return false;
  std::string value = tool.toStdString();
  value.push_back('\0');  // stored with its terminating NUL
  if (value.size() > bufferSize) return false;
  buffer = value;
  size = value.size();
  type = ValueType::String;
  return true;
}

void QtRegistry::CloseKey() { sysInfoKeyOpen_ = false; }

#endif

}  // namespace qrb
