// How the About box finds and starts System Information.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "app/AboutBox.h"

namespace qrb {
namespace {

// Values by key and name, stored as the registry holds them (strings with
// their NUL); keys open only under HKEY_LOCAL_MACHINE.
class FakeRegistry : public Registry {
 public:
  std::map<std::string, std::map<std::string, std::pair<std::string, ValueType>>> keys;
  std::vector<std::uint32_t> accessAsked;
  int closes = 0;

  void SetString(const std::string& key, const std::string& name, const std::string& text) {
    keys[key][name] = {text + '\0', ValueType::String};
  }
  bool OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) override {
    accessAsked.push_back(access);
    open_ = root == HKEY_LOCAL_MACHINE_ROOT && keys.contains(keyName) ? &keys[keyName] : nullptr;
    return open_ != nullptr;
  }
  bool QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize, ValueType& type,
                  std::size_t& size) override {
    if (open_ == nullptr) return false;
    auto it = open_->find(valueName);
    if (it == open_->end() || it->second.first.size() > bufferSize) return false;
    buffer.replace(0, it->second.first.size(), it->second.first);
    std::tie(type, size) = std::pair(it->second.second, it->second.first.size());
    return true;
  }
  void CloseKey() override {
    ++closes;
    open_ = nullptr;
  }

 private:
  std::map<std::string, std::pair<std::string, ValueType>>* open_ = nullptr;
};

class FakeLauncher : public ProgramLauncher {
 public:
  std::set<std::string> files;
  bool startFails = false;
  std::vector<std::string> existenceChecks, started;

  bool FileExists(const std::string& path) override {
    existenceChecks.push_back(path);
    return files.contains(path);
  }
  bool StartDetached(const std::string& path) override {
    started.push_back(path);
    return !startFails;
  }
};

class FakeMessageBox : public MessageBox {
 public:
  std::vector<std::pair<std::string, std::string>> shown;  // text, title
  void Show(const std::string& text, const std::string& title) override { shown.emplace_back(text, title); }
};

struct AboutRig {
  FakeRegistry registry;
  FakeLauncher launcher;
  FakeMessageBox messages;
  AboutBox about{registry, launcher, messages};
};

const std::string kMsInfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";

// The first value is the program itself, started without looking for it;
// the second names the folder of MSINFO32.EXE, which must exist. Every key
// opened is closed, also after failures.
TEST(AboutBox, SystemInfoStartsTheProgramTheRegistryNamesOrSaysItIsUnavailable) {
  using Paths = std::vector<std::string>;
  const std::string first = "C:\\Program Files\\Common Files\\msinfo32.exe", second = "C:\\Tools\\MSINFO32.EXE";
  const struct {
    const char* name;
    std::function<void(FakeRegistry&, FakeLauncher&)> setUp;
    Paths checked, started;
  } cases[] = {
      {"first value",
       [&](FakeRegistry& r, FakeLauncher&) {
         r.SetString(kMsInfo, "PATH", first);
         r.SetString(kLocation, "MSINFO", "C:\\Other");
       },
       {}, {first}},
      {"second value",
       [&](FakeRegistry& r, FakeLauncher& l) {
         r.SetString(kLocation, "MSINFO", "C:\\Tools");
         l.files = {second};
       },
       {second}, {second}},
      {"second value, no file", [](FakeRegistry& r, FakeLauncher&) { r.SetString(kLocation, "MSINFO", "C:\\Tools"); },
       {second}, {}},
      {"no value", [](FakeRegistry& r, FakeLauncher&) { r.keys[kMsInfo]; }, {}, {}},
      {"not a string",
       [](FakeRegistry& r, FakeLauncher&) {
         r.keys[kMsInfo]["PATH"] = {std::string("\x01\x00\x00\x00", 4), Registry::ValueType::Other};
       },
       {}, {}},
      {"fails to start",
       [](FakeRegistry& r, FakeLauncher& l) {
         r.SetString(kMsInfo, "PATH", "/usr/bin/missing");
         l.startFails = true;
       },
       {}, {"/usr/bin/missing"}},
  };
  using Shown = std::vector<std::pair<std::string, std::string>>;
  const Shown unavailable{{"System Information Is Unavailable At This Time", AppInfo::Title}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AboutRig f;
    c.setUp(f.registry, f.launcher);
    f.about.StartSysInfo();
    EXPECT_EQ(f.launcher.existenceChecks, c.checked);
    EXPECT_EQ(f.launcher.started, c.started);
    EXPECT_EQ(f.registry.accessAsked.front(), KEY_ALL_ACCESS_MASK);
    EXPECT_EQ(f.registry.closes, static_cast<int>(f.registry.accessAsked.size()));
    EXPECT_EQ(f.messages.shown, !c.started.empty() && !f.launcher.startFails ? Shown{} : unavailable);
  }
}

TEST(AboutBox, GetKeyValueDropsOnlyOneTrailingNul) {
  AboutRig f;
  f.registry.keys[kMsInfo]["PATH"] = {std::string("ab\0\0", 4), Registry::ValueType::String};
  f.registry.keys[kMsInfo]["RAW"] = {"abc", Registry::ValueType::String};  // stored without NUL
  std::string value = "stale";
  EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kMsInfo, "PATH", value));
  EXPECT_EQ(value, std::string("ab\0", 3));
  EXPECT_TRUE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kMsInfo, "RAW", value));
  EXPECT_EQ(value, "abc");
  EXPECT_FALSE(f.about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kLocation, "MSINFO", value));
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace qrb
