// Ports used by the About box: the registry, starting a program, a message box.
#pragma once

#include <cstdint>
#include <string>

namespace qrb {

inline constexpr std::uint32_t HKEY_LOCAL_MACHINE_ROOT = 0x80000002u;
inline constexpr std::uint32_t KEY_ALL_ACCESS_MASK = 0x2003Fu;

class Registry {
 public:
  enum class ValueType { None, String, Other };
  virtual ~Registry() = default;
  // Opens KeyName under root with the given access mask; false on failure.
  virtual bool OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) = 0;
  // Reads a value of the open key into buffer (at most bufferSize characters);
  // size is the value's size in characters, NUL included where stored.
  virtual bool QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize,
                          ValueType& type, std::size_t& size) = 0;
  virtual void CloseKey() = 0;
};

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;
  virtual bool FileExists(const std::string& path) = 0;
  // Starts the program detached in a normal, focused window; false when it cannot be started.
  virtual bool StartDetached(const std::string& path) = 0;
};

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // An OK-only message box.
  virtual void Show(const std::string& text, const std::string& title) = 0;
};

}  // namespace qrb
