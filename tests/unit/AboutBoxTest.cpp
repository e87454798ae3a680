// How the About box finds and starts System Information.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/AboutBox.h"

namespace qrb {
namespace {

using Paths = std::vector<std::string>;

// The registry, its values by "key|name" as it stores them (strings with their NUL), keys opening only under
// HKEY_LOCAL_MACHINE; the launcher, with the files that exist; and the message box.
struct AboutRig : Registry, ProgramLauncher, MessageBox {
  std::map<std::string, std::pair<std::string, ValueType>> values;
  std::string openKey;  // "key|" of the open key
  std::vector<std::uint32_t> accessAsked;
  int closes = 0;
  std::set<std::string> files;
  bool startFails = false;
  Paths existenceChecks, started;
  std::vector<std::pair<std::string, std::string>> shown;  // text, title
  AboutBox about{*this, *this, *this};

  bool OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) override {
    accessAsked.push_back(access);
    const auto it = values.lower_bound(openKey = keyName + "|");
    if (root != HKEY_LOCAL_MACHINE_ROOT || it == values.end() || !it->first.starts_with(openKey)) openKey.clear();
    return !openKey.empty();
  }
  bool QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize, ValueType& type,
                  std::size_t& size) override {
    auto it = values.find(openKey + valueName);
    if (openKey.empty() || it == values.end() || it->second.first.size() > bufferSize) return false;
    buffer.replace(0, it->second.first.size(), it->second.first);
    type = it->second.second, size = it->second.first.size();
    return true;
  }
  void CloseKey() override { ++closes, openKey.clear(); }
  bool FileExists(const std::string& path) override {
    existenceChecks.push_back(path);
    return files.contains(path);
  }
  bool StartDetached(const std::string& path) override {
    started.push_back(path);
    return !startFails;
  }
  void Show(const std::string& text, const std::string& title) override { shown.emplace_back(text, title); }
};

// The first value is the program itself, started without looking for it;
// the second names the folder of MSINFO32.EXE, which must exist. Every key
// opened is closed, also after failures.
TEST(AboutBox, SystemInfoStartsTheProgramTheRegistryNamesOrSaysItIsUnavailable) {
  const std::string first = "C:\\Program Files\\msinfo32.exe", second = "C:\\Tools\\MSINFO32.EXE";
  const struct {
    const char* name;
    std::optional<std::string> path, location;
    Registry::ValueType pathType;
    bool exists, startFails;
    Paths checked, started;
  } cases[] = {
      {"first value", first, "C:\\Other", Registry::ValueType::String, false, false, {}, {first}},
      {"second value", {}, "C:\\Tools", Registry::ValueType::String, true, false, {second}, {second}},
      {"second value, no file", {}, "C:\\Tools", Registry::ValueType::String, false, false, {second}, {}},
      {"not a string", "\x01\x00\x00", {}, Registry::ValueType::Other, true, false, {}, {}},
      {"fails to start", "/usr/bin/missing", {}, Registry::ValueType::String, true, true, {}, {"/usr/bin/missing"}},
  };
  const std::vector<std::pair<std::string, std::string>> unavailable{{"System Information Is Unavailable At This Time", AppInfo::Title}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AboutRig f;
    if (c.path) f.values["SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH"] = {*c.path + '\0', c.pathType};
    if (c.location)
      f.values["SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO"] = {*c.location + '\0', Registry::ValueType::String};
    if (c.exists) f.files = {second};
    f.startFails = c.startFails;
    f.about.StartSysInfo();
    EXPECT_EQ(f.existenceChecks, c.checked);
    EXPECT_EQ(f.started, c.started);
    EXPECT_EQ(f.accessAsked.front(), KEY_ALL_ACCESS_MASK);
    EXPECT_EQ(f.closes, static_cast<int>(f.accessAsked.size()));
    EXPECT_EQ(f.shown, c.started.empty() || c.startFails ? unavailable : decltype(f.shown){});
  }
}

}  // namespace
}  // namespace qrb
