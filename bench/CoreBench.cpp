// Google Benchmark figures for the core: the work of one sequencer tick in
// each kind of state, during whole runs of a 64 KiB image against the board's
// protocol model in process (Ethernet link, replies waiting before each tick),
// reading S19 records, and the start buttons' pre-flight of a 256 KiB image
// (target: under 20 ms).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "ReferenceImage.h"
#include "Rig.h"
#include "engine/ProgramModes.h"

using namespace qrb;
using namespace qrb::test;

namespace {

constexpr std::uint32_t ImageAddress = 0x10000;
constexpr std::size_t ImageBytes = 64 * 1024;

const std::string& ImagePath() {
  static const std::string path = WriteTempFile(S3Records(ImageAddress, ImageBytes, 32) + std::string(S7EndRecord));
  return path;
}

const ReferenceImage& Image() {
  static const ReferenceImage image = ReadReferenceImage(S3Records(ImageAddress, ImageBytes, 32));
  return image;
}

bool IsHandshake(StateKind kind) { return kind == StateKind::Handshake || kind == StateKind::FlushDelay; }

// Runs back to back against a board that starts each run at start-up idle;
// a verify run finds the image in its FLASH.
class TickRig {
 public:
  explicit TickRig(bool program) : program_(program), run_(Link::Ethernet) { run_.UseFile(ImagePath()); }

  // Ticks, untimed, until the next tick starts in a state of `kind`, with the
  // board's replies already handed over; starts a new run when one ends, and
  // aborts one that is past the handshake when a handshake state is wanted.
  void AdvanceTo(StateKind kind) {
    for (;;) {
      if (IsHandshake(kind) && run_.S().ProgramMode != 0 && !IsHandshake(KindOfState(run_.S().ProgramMode)))
        run_.Start(program_);  // the started button, now "Abort"
      if (run_.S().ProgramMode == 0 && kind != StateKind::Idle) {
        run_.board = FakeBoard();
        run_.board.flashMode = false;
        run_.packetsSeen = run_.Sent().size();  // the last board's
        if (!program_)
          for (const auto& [address, block] : Image().Blocks) run_.board.Load(address, Bytes(block.begin(), block.end()));
        run_.Start(program_);
      }
      run_.Deliver();
      if (KindOfState(run_.S().ProgramMode) == kind) return;
      run_.form1.Timer1_Timer();
    }
  }

  double TimedTick() {
    const auto start = std::chrono::steady_clock::now();
    run_.form1.Timer1_Timer();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  bool program_;
  BoardRig run_;
};

void OneTick(benchmark::State& state, bool program, StateKind kind) {
  TickRig rig(program);
  for (auto _ : state) {
    rig.AdvanceTo(kind);
    state.SetIterationTime(rig.TimedTick());
  }
}

void ReadS19Records(benchmark::State& state) {
  BoardRig run(Link::Ethernet);
  run.UseFile(ImagePath());
  Form1& f = run.form1;
  std::int64_t records = 0, bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    f.ReopenSourceFile();
    state.ResumeTiming();
    for (f.GetARecord(); f.S.RecordValid != False; f.GetARecord()) {
      ++records;
      for (; f.S.RecordByteCount > 0; --f.S.RecordByteCount, ++bytes) benchmark::DoNotOptimize(f.ReadDataByte());
      f.SkipRecordTrailer();
    }
  }
  state.SetItemsProcessed(records);
  state.SetBytesProcessed(bytes);
  state.counters["records"] = static_cast<double>(records) / static_cast<double>(state.iterations());
}

// The pre-flight of both start buttons over a 256 KiB image (1 024 blocks,
// 8 192 S3 records of 32 bytes): the file read through by the run's own
// reader and block builder, muted.
void Preflight256KiB(benchmark::State& state) {
  constexpr std::size_t Bytes = 256 * 1024;
  const std::string path = WriteTempFile(S3Records(ImageAddress, Bytes, 32) + std::string(S7EndRecord));
  BoardRig run(Link::Ethernet);
  run.UseFile(path);
  std::int32_t blocks = 0;
  for (auto _ : state) {
    const PreflightReport report = run.form1.Preflight();
    blocks = report.Blocks;
    if (!report.Passes) state.SkipWithError("the image did not pass");
  }
  state.counters["blocks"] = blocks;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(Bytes));
}

}  // namespace

// A fixed count of ticks each: the untimed ticks between two timed ones would
// make the library's own choice of count (by timed time) take minutes.
constexpr int TimedTicks = 5000;
BENCHMARK_CAPTURE(OneTick, Idle, true, StateKind::Idle)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, Handshake, true, StateKind::Handshake)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, FlushDelay, true, StateKind::FlushDelay)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, BuildAndSendProgramBlock, true, StateKind::BuildBlock)
    ->UseManualTime()
    ->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, ProgramAcknowledgement, true, StateKind::BlockReply)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, ProgramReadBack256, true, StateKind::ReadBackReply)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, BuildAndSendVerifyRequest, false, StateKind::BuildBlock)
    ->UseManualTime()
    ->Iterations(TimedTicks);
BENCHMARK_CAPTURE(OneTick, VerifyReadBack256, false, StateKind::ReadBackReply)->UseManualTime()->Iterations(TimedTicks);
BENCHMARK(ReadS19Records)->Unit(benchmark::kMicrosecond);
BENCHMARK(Preflight256KiB)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
