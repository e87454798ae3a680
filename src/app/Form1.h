// The main window's logic: all shared state and every operation and event
// handler of the application shell, the data pipe, the S19 reader and the
// reflash engine. It reaches the world only through the ports it is given.
//
// The implementation is split by subsystem: app/Form1*.cpp, pipe/*.cpp,
// image/*.cpp, engine/*.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/Controls.h"
#include "app/Platform.h"
#include "app/ReflashSession.h"
#include "engine/BlockObserver.h"
#include "engine/Timing.h"
#include "engine/Preflight.h"
#include "image/FileDialog.h"
#include "image/SequentialFile.h"
#include "pipe/SerialDiagnostics.h"
#include "pipe/SerialLibrary.h"
#include "pipe/TcpControl.h"

namespace qrb {

class Form2;

struct Form1Controls {
  ListBox& List1;  // Status
  ListBox& List2;  // Debug
  TextBox& Text2;  // chosen S19 file
  TextBox& Text3;  // open link
  CommandButton& SelectSourceFile;
  CommandButton& ProgramFlash;
  CommandButton& VerifyFlash;
  CommandButton& SelectDataPipe;
  Timer& Timer1;
};

struct Form1Services {
  SerialLibrary& Serial;
  TcpControl& Winsock1Data;
  FileDialog& CommonDialog1;
  Clock& WallClock;
  Application& App;
  SerialDiagnostics* SerialReasons = nullptr;  // optional
  BlockObserver* Blocks = nullptr;             // optional
};

class Form1 : public TcpEvents {
 public:
  Form1(const Form1Controls& controls, const Form1Services& services);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  void AttachSettingsDialog(Form2* dialog) { form2_ = dialog; }
  // The optional services, when they come after construction.
  void AttachSerialReasons(SerialDiagnostics* reasons) { P.SerialReasons = reasons; }
  void AttachBlockObserver(BlockObserver* blocks) { P.Blocks = blocks; }

  ReflashSession S;

  // Timer1's interval in milliseconds, applied by InitVariables; every wait
  // is a count of ticks derived from it. The main window keeps the default.
  static constexpr int DefaultTickMs = timing::DefaultTickMs;
  int TickIntervalMs = DefaultTickMs;
  // Sets Timer1's interval and the tick counts derived from it; between runs.
  void SetTickInterval(int milliseconds);
  // "Program FLASH" reads each block back first and leaves out the blocks
  // the board already holds. Off in a plain run.
  bool SkipUnchanged = false;

  // ---- application shell (app/) ----
  void InitVariables();
  void PostMsg1(const std::string& message);
  void PostMsg2(std::string& Msgy);
  // Post one line through StatusLine (kept) or DebugLine (emptied again).
  void Status(std::string text);
  void Debug(std::string text);
  void ClearStatusList_Click();
  void ClearDebugList_Click();
  // The exit sequence; returns true when the program was ended.
  bool AbortProgram_Click();

  // ---- data pipe (pipe/) ----
  void FlushDataPipe();
  void GetAByte();
  void SendAPacket();
  void Fifo1Put(std::uint8_t& b);
  std::int32_t Fifo1Get();
  // Ends a burst of bytes dropped on a full FIFO: posts how many were lost.
  void EndFifo1Burst();
  // Empties the FIFO.
  void ResetFifo1();
  void InitComPort();
  void CloseDataPipe();
  void InitWinSock();
  // Each link kind's part of the data-pipe operations (pipe/LinkKind.h).
  void FlushComPort();
  void GetComByte();
  void SendComPacket();
  void CloseComPort();
  void FlushWinsock();
  void GetWinsockByte();
  void SendWinsockPacket();
  void CloseWinsock();
  void SelectDataPipe_Click();
  void Winsock1Data_Connect() override;
  void Winsock1Data_DataArrival(std::int32_t IncomingByteCount) override;
  void Winsock1Data_ConnectFailed(const std::string& reason) override;
  void Winsock1Data_Dropped(const std::string& reason) override;

  // ---- S19 source file and reader (image/) ----
  void SelectSourceFile_Click();
  // Closes and re-opens the chosen file at its start; false (with a Debug
  // line) when it cannot be opened.
  bool ReopenSourceFile();
  void GetARecord();
  std::uint8_t HexToByte(const std::string& pair);
  std::uint8_t ReadDataByte();  // next two characters through HexToByte
  void SkipRecordTrailer();     // checksum pair and line end
  SequentialFile SourceFile;

  // ---- reflash engine (engine/) ----
  void Timer1_Timer();
  void ProgramFlash_Click();
  void VerifyFlash_Click();
  // Reads every 256-byte block that the ranges touch back from the board and
  // hands it to the block observer; no S19 file is needed. While it runs,
  // any start button aborts it. Each block is read until two reads agree,
  // or once with singleRead.
  void ReadFlash(const std::vector<AddressRange>& ranges, bool singleRead = false);
  void SetProgramMode(std::int16_t mode);
  void AbortSequence();
  void FillBlock();
  void SendProgramBlock();
  void SendVerifyBlock();
  // Reads the chosen file through as a run would, posting and sending
  // nothing; the file is left at its start. Used by both start buttons.
  PreflightReport Preflight();
  // The blocks the last start's pre-flight found the run would send.
  std::int32_t BlocksToSend() const { return blocksToSend_; }

  // ---- what the front ends read and do beside the controls ----
  // How the current or last run stands.
  struct RunResult {
    RunOutcome outcome;
    std::int32_t totalErrors;
    std::int32_t blocksWritten;
    std::int32_t blocksUnchanged;
    std::int32_t startupIdleVersion;  // -1 when not read
    std::int32_t flashModeVersion;    // -1 when not read
  };
  RunResult Result() const {
    return {S.Outcome, S.TotalErrors, S.BlocksWritten, S.BlocksUnchanged, S.StartupIdleVersion, S.FlashModeVersion};
  }
  bool Running() const { return S.ProgramMode != 0; }
  bool SourceFileChosen() const { return S.SourceFileSelected == 1; }
  const std::string& SourceFilePath() const { return S.SourceFilePath; }
  // The link the settings dialog chose is open.
  bool LinkOpen() const;
  // Aborts the run that is going, as its "Abort" button does; nothing when idle.
  void AbortRun();
  // Why the last start was refused; Problem is empty when it was not.
  const StartRefusal& LastRefusal() const { return refusal_; }
  // Set while the pre-flight reads.
  PreflightWatch* Muted = nullptr;

 private:
  // Controls and services, for the subsystems' implementation files.
  Form1Controls C;
  Form1Services P;
  Form2* form2_ = nullptr;
  std::int32_t blocksToSend_ = 0;
  StartRefusal refusal_;

  // The four buttons as they stand between runs.
  void SetIdleButtons();

  // ---- engine internals (engine/) ----
  enum class RunPath { Program, Verify, Read };
  void StartRun(RunPath path);
  // The pre-flight; a refused start posts the reader's lines and the reason.
  bool PreflightPasses();
  // The pre-flight's way of "sending" a block: it is only counted.
  void CountBlock();
  void DispatchProgramMode();
  friend struct EngineStates;
};

}  // namespace qrb
