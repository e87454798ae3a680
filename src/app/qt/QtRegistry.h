// The registry the About box reads. On Windows the real one; elsewhere a
// stand-in that knows one value: the System Information tool's path, the
// first system-information program found on PATH.
#pragma once

#include <QtGlobal>
#include <string>

#include "app/AboutPorts.h"

namespace qrb {

class QtRegistry : public Registry {
 public:
  QtRegistry() = default;
  ~QtRegistry() override { CloseKey(); }
  QtRegistry(const QtRegistry&) = delete;
  QtRegistry& operator=(const QtRegistry&) = delete;

  bool OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) override;
  bool QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize, ValueType& type,
                  std::size_t& size) override;
  void CloseKey() override;  // nothing to do when no key is open

 private:
#ifdef Q_OS_WIN
  void* key_ = nullptr;  // HKEY
#else
  bool sysInfoKeyOpen_ = false;
#endif
};

}  // namespace qrb
