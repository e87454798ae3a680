// The headless main window with fakes at every port, for driving the core
// deterministically.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/HeadlessWindow.h"

namespace qrb::test {

// The link a run goes over.
enum class Link { Serial, Ethernet };

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

// Records every call; results can be scripted per function name.
class FakeSerialLibrary : public SerialLibrary {
  using I32 = std::int32_t;
  using I16 = std::int16_t;

 public:
  std::vector<std::string> calls;                  // "Name(arg,arg,...)"
  std::map<std::string, I32> results;              // by function name, default 0
  std::deque<std::uint8_t> rx;                     // bytes the board has sent
  std::vector<std::uint8_t> tx;                    // bytes put, in order
  std::vector<std::vector<std::uint8_t>> packets;  // tx split at each putpacket

  I32 InitializePort(I32 port, I32 portIndex, I16 io, I16 irq, I32 a, I32 b, I32 c, I32 d, I32 e) override {
    return Call("InitializePort", {port, portIndex, io, irq, a, b, c, d, e});
  }
  I32 ser_rs232_getport(I32 port, ComPortRecord&) override { return Call("ser_rs232_getport", {port}); }
  I32 SetPortCharacteristics(I32 port, I32 baud, I16 a, I16 b, I16 c, I16 d) override {
    return Call("SetPortCharacteristics", {port, baud, a, b, c, d});
  }
  I32 CdrvSetTimerResolution(I32 port, I32 v) override { return Call("CdrvSetTimerResolution", {port, v}); }
  I32 SetTimeout(I32 port, I32 v) override { return Call("SetTimeout", {port, v}); }
  I32 SetPaceTime(I32 port, I32 v) override { return Call("SetPaceTime", {port, v}); }
  I32 FlushReceiveBuffer(I32 port) override {
    const auto r = Call("FlushReceiveBuffer", {port});
    if (r == 0) rx.clear();
    return r;
  }
  I32 FlushTransmitBuffer(I32 port) override { return Call("FlushTransmitBuffer", {port}); }
  I32 ser_rs232_getpacket(I32 port, I32 len, const std::string& text) override {
    return Call("ser_rs232_getpacket", {port, len}, text);
  }
  I32 GetByte(I32 port) override {
    Call("GetByte", {port});
    if (rx.empty()) return -1;
    const I32 b = rx.front();
    rx.pop_front();
    return b;
  }
  I32 PutByte(I32 port, I32 byte) override {
    tx.push_back(static_cast<std::uint8_t>(byte));
    pending_.push_back(static_cast<std::uint8_t>(byte));
    return Call("PutByte", {port, byte});
  }
  I32 ser_rs232_putpacket(I32 port, I32 len, const std::string& text) override {
    packets.push_back(std::exchange(pending_, {}));
    return Call("ser_rs232_putpacket", {port, len}, text);
  }
  I32 UnInitializePort(I32 port) override { return Call("UnInitializePort", {port}); }

  // The names of the calls, in order.
  std::vector<std::string> CallNames() const {
    std::vector<std::string> names;
    for (const auto& c : calls) names.push_back(c.substr(0, c.find('(')));
    return names;
  }

 private:
  // Records the call and returns its scripted result.
  I32 Call(const std::string& name, std::initializer_list<std::int64_t> args, const std::string& text = {}) {
    std::string s = name + "(";
    for (auto a : args) s += (s.back() == '(' ? "" : ",") + std::to_string(a);
    if (!text.empty()) s += ",\"" + text + "\"";
    calls.push_back(s + ")");
    auto it = results.find(name);
    return it == results.end() ? 0 : it->second;
  }
  std::vector<std::uint8_t> pending_;
};

class FakeTcpControl : public TcpControl {
 public:
  TcpEvents* events = nullptr;
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> sent;  // one entry per SendData
  std::vector<std::uint8_t> received;           // waiting for GetData

  void SetEvents(TcpEvents* e) override { events = e; }
  void SetLocalPort(std::int32_t p) override { calls.push_back("SetLocalPort(" + std::to_string(p) + ")"); }
  void SetRemoteHost(const std::string& h) override { calls.push_back("SetRemoteHost(" + h + ")"); }
  void SetRemotePort(std::int32_t p) override { calls.push_back("SetRemotePort(" + std::to_string(p) + ")"); }
  void Connect() override { calls.push_back("Connect"); }
  std::vector<std::uint8_t> GetData() override {
    calls.push_back("GetData");
    return std::exchange(received, {});
  }
  void SendData(const std::vector<std::uint8_t>& bytes) override { sent.push_back(bytes); }
  void Close() override { calls.push_back("Close"); }

  // The board sends bytes: they arrive with one data-arrival event.
  void Arrive(const std::vector<std::uint8_t>& bytes) {
    received.insert(received.end(), bytes.begin(), bytes.end());
    if (events != nullptr) events->Winsock1Data_DataArrival(static_cast<std::int32_t>(received.size()));
  }
};

class FakeFileDialog : public FileDialog {
 public:
  bool cancel = false;
  std::string answer;
  bool ShowOpen(FileDialogSettings& s) override {
    if (cancel) return false;
    s.FileName = answer;
    return true;
  }
};

// Advances one second every `readsPerStep` reads; a wait that never ends
// fails instead of hanging.
class FakeClock : public Clock {
 public:
  int second = 0;
  int reads = 0;
  int readsPerStep = 3;
  int Seconds() override {
    if (++reads > 100000) throw std::runtime_error("the clock was read 100000 times");
    if (reads % readsPerStep == 0) second = (second + 1) % 60;
    return second;
  }
};

// The operating system's reason, as a line that names the port and the code.
class FakeSerialReasons : public SerialDiagnostics {
 public:
  std::string DescribeFailure(std::int32_t port, std::int32_t code) override {
    return "reason for COM" + std::to_string(port) + " code " + std::to_string(code);
  }
};

class FakeApp : public Application {
 public:
  int ended = 0;
  void EndProgram() override { ++ended; }
};

// The fakes come first, so the window is built on them.
struct HarnessPorts {
  PlainTimer Timer1;
  FakeSerialLibrary serial;
  FakeTcpControl tcp;
  FakeFileDialog dialog;
  FakeClock clock;
  FakeApp app;
  // Both lists' lines in posting order: "S: " for Status, "D: " for Debug.
  std::vector<std::string> posted;
};

struct Harness : HarnessPorts, HeadlessWindow {
  Harness()
      : HeadlessWindow(Timer1, {serial, tcp, dialog, clock, app},
                       [this](const std::string& line) { posted.push_back("S: " + line); },
                       [this](const std::string& line) { posted.push_back("D: " + line); }) {
    form1.InitVariables();
  }

  ReflashSession& S() { return form1.S; }
  const ReflashSession& S() const { return form1.S; }
  const std::vector<std::string>& Status() const { return List1.Lines(); }
  const std::vector<std::string>& Debug() const { return List2.Lines(); }
};

}  // namespace qrb::test
