// The About box's texts and how it finds and starts System Information.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/AboutBox.h"

namespace qrb {
namespace {

// A registry of string or other values; keys open only with full access.
class FakeRegistry : public Registry {
 public:
  struct Value {
    std::string data;  // as stored, NUL included for strings
    ValueType type = ValueType::String;
  };
  std::map<std::string, std::map<std::string, Value>> keys;
  std::vector<std::uint32_t> accessAsked;
  int closes = 0;

  void SetString(const std::string& key, const std::string& name, const std::string& text) {
    keys[key][name] = Value{text + '\0', ValueType::String};
  }

  bool OpenKey(std::uint32_t root, const std::string& keyName, std::uint32_t access) override {
    accessAsked.push_back(access);
    open_.reset();
    if (root != HKEY_LOCAL_MACHINE_ROOT || !keys.contains(keyName)) return false;
    open_ = keyName;
    return true;
  }
  bool QueryValue(const std::string& valueName, std::string& buffer, std::size_t bufferSize, ValueType& type,
                  std::size_t& size) override {
    if (!open_) return false;
    const auto& values = keys[*open_];
    auto it = values.find(valueName);
    if (it == values.end() || it->second.data.size() > bufferSize) return false;
    buffer.replace(0, it->second.data.size(), it->second.data);
    type = it->second.type;
    size = it->second.data.size();
    return true;
  }
  void CloseKey() override {
    ++closes;
    open_.reset();
  }

 private:
  std::optional<std::string> open_;
};

class FakeLauncher : public ProgramLauncher {
 public:
  std::set<std::string> files;
  bool startFails = false;
  std::vector<std::string> existenceChecks;
  std::vector<std::string> started;

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

struct AboutFixture : ::testing::Test {
  FakeRegistry registry;
  FakeLauncher launcher;
  FakeMessageBox messages;
  AboutBox about{registry, launcher, messages};

  void ExpectUnavailable() {
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "System Information Is Unavailable At This Time");
    EXPECT_EQ(messages.shown[0].second, AppInfo::Title);
  }
};

const std::string kMsInfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";

TEST_F(AboutFixture, FirstValueIsStartedUnchangedWithoutLookingForTheFile) {
  registry.SetString(kMsInfo, "PATH", "C:\\Program Files\\Common Files\\msinfo32.exe");
  registry.SetString(kLocation, "MSINFO", "C:\\Other");
  about.StartSysInfo();
  EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Program Files\\Common Files\\msinfo32.exe"});
  EXPECT_TRUE(launcher.existenceChecks.empty());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(registry.accessAsked, std::vector<std::uint32_t>{0x2003F});
}

TEST_F(AboutFixture, SecondValueNamesTheFolderOfMsInfo32) {
  registry.SetString(kLocation, "MSINFO", "C:\\Tools");
  launcher.files = {"C:\\Tools\\MSINFO32.EXE"};
  about.StartSysInfo();
  EXPECT_EQ(launcher.existenceChecks, std::vector<std::string>{"C:\\Tools\\MSINFO32.EXE"});
  EXPECT_EQ(launcher.started, std::vector<std::string>{"C:\\Tools\\MSINFO32.EXE"});
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(AboutFixture, SecondValueWithoutTheFileIsUnavailable) {
  registry.SetString(kLocation, "MSINFO", "C:\\Tools");
  about.StartSysInfo();
  EXPECT_TRUE(launcher.started.empty());
  ExpectUnavailable();
}

TEST_F(AboutFixture, NeitherValueIsUnavailable) {
  registry.keys[kMsInfo];  // the key exists, the value does not
  about.StartSysInfo();
  EXPECT_TRUE(launcher.started.empty());
  ExpectUnavailable();
  EXPECT_EQ(registry.closes, 2);  // one per attempt, also after failures
}

TEST_F(AboutFixture, NonStringValueGivesNoPath) {
  registry.keys[kMsInfo]["PATH"] = {std::string("\x01\x00\x00\x00", 4), Registry::ValueType::Other};
  about.StartSysInfo();
  EXPECT_TRUE(launcher.started.empty());
  ExpectUnavailable();
}

TEST_F(AboutFixture, ProgramThatFailsToStartIsUnavailable) {
  registry.SetString(kMsInfo, "PATH", "/usr/bin/missing");
  launcher.startFails = true;
  about.StartSysInfo();
  EXPECT_EQ(launcher.started.size(), 1u);
  ExpectUnavailable();
}

TEST_F(AboutFixture, GetKeyValueDropsOnlyOneTrailingNul) {
  registry.keys[kMsInfo]["PATH"] = {std::string("ab\0\0", 4), Registry::ValueType::String};
  registry.keys[kMsInfo]["RAW"] = {"abc", Registry::ValueType::String};  // stored without NUL
  std::string value = "stale";
  EXPECT_TRUE(about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kMsInfo, "PATH", value));
  EXPECT_EQ(value, std::string("ab\0", 3));
  EXPECT_TRUE(about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kMsInfo, "RAW", value));
  EXPECT_EQ(value, "abc");
  EXPECT_FALSE(about.GetKeyValue(HKEY_LOCAL_MACHINE_ROOT, kLocation, "MSINFO", value));
  EXPECT_EQ(value, "");
}

TEST(AboutTexts, CaptionVersionAndDisclaimer) {
  EXPECT_EQ(AboutCaption(), std::string("About ") + AppInfo::Title);
  EXPECT_EQ(VersionText(), "Version 1.9.0");
  const std::string disclaimer = DisclaimerText();
  for (const char* item : {AppInfo::Developer, AppInfo::SupportPhone, AppInfo::SupportEmail}) {
    EXPECT_NE(disclaimer.find(item), std::string::npos) << item;
  }
}

}  // namespace
}  // namespace qrb
