// veltra-scope stream: records that follow each other without gaps, into one CSV file, until the
// time asked for has been recorded or Ctrl-C ends it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "Commands.h"
#include "Export.h"
#include "OutputFile.h"
#include "System.h"
#include "ToolError.h"

namespace veltra::scope {
namespace {

using Clock = std::chrono::steady_clock;

// A stream ends with an error when no record arrived for this long beyond one record's duration.
constexpr double kRecordWaitSeconds = 5.0;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

struct StreamState {
  Probe* probe = nullptr;
  OutputFile* file = nullptr;
  AcquisitionSettings settings;
  uint64_t samplesWanted = 0;
  uint64_t samplesWritten = 0;
  uint64_t records = 0;
  Clock::time_point lastRecord;
  std::string error;  // set when a record could not be read or written; ends the stream
};

StreamState* activeStream = nullptr;

// The data-ready callback: runs on this thread while the library processes its messages (inside
// the polling calls), once per completed record. It writes the record's samples, up to the count
// asked for. No exception may leave it into the library.
void VELTRA_CALL OnRecord() {
  StreamState& state = *activeStream;
  if (!state.error.empty() || state.samplesWritten >= state.samplesWanted) return;
  try {
    std::vector<ChannelRecord> channels = state.probe->ReadRecords(state.settings.recordLength);
    const uint64_t room = state.samplesWanted - state.samplesWritten;
    for (ChannelRecord& channel : channels) {
      if (channel.volts.size() > room) channel.volts.resize(static_cast<size_t>(room));
    }
    const double firstTime = static_cast<double>(state.samplesWritten) / state.settings.sampleFrequency;
    WriteCsvRows(state.file->Stream(), channels, firstTime, state.settings.sampleFrequency);
    state.samplesWritten += channels.empty() ? 0 : channels.front().volts.size();
    ++state.records;
    state.lastRecord = Clock::now();
    if (!state.file->Stream()) state.error = "cannot write " + state.file->Path() + " (is the disk full?)";
  } catch (const std::exception& e) {
    state.error = e.what();
  }
}

// Records the probe must have completed in the time the stream ran that never arrived; one record
// may still be on its way. The library numbers no records, so the clock is the only witness.
uint64_t LostRecords(const StreamState& state, double elapsedSeconds) {
  const double recordSeconds = state.settings.recordLength / state.settings.sampleFrequency;
  const auto expected = static_cast<uint64_t>(std::floor(elapsedSeconds / recordSeconds));
  return expected > state.records + 1 ? expected - state.records - 1 : 0;
}

void PrintProgress(const StreamState& state, double elapsed, bool final) {
  const double rate = elapsed > 0.0 ? static_cast<double>(state.samplesWritten) / elapsed : 0.0;
  std::fprintf(stderr, "\r%6.1f s  %12llu samples  %s  %llu records lost   %s", elapsed,
               static_cast<unsigned long long>(state.samplesWritten), FormatQuantity(rate, "S/s", 3).c_str(),
               static_cast<unsigned long long>(LostRecords(state, elapsed)), final ? "\n" : "");
  std::fflush(stderr);
}

}  // namespace

int RunStream(const StreamOptions& options) {
  MeasureRequest request = ParseAcquisition(options.acquisition);
  const double seconds = ParseSeconds("--seconds", options.seconds);
  if (ExtensionOf(options.output) != ".csv") {
    throw ToolError(kExitUsage, "-o '" + options.output + "': a stream is written as CSV, the file name must end in .csv");
  }
  OutputFile file(options.output);

  Probe probe(options.common.simulated);
  StreamState state;
  state.probe = &probe;
  state.file = &file;
  state.settings = probe.Apply(request, true);
  state.samplesWanted = std::max<uint64_t>(1, static_cast<uint64_t>(std::llround(seconds * state.settings.sampleFrequency)));
  WriteCsvHeader(file.Stream(), "veltra-scope stream", state.settings, probe.ChannelInputs(), false);

  activeStream = &state;
  SetDataReadyCallback(OnRecord);
  CatchStopRequests();
  const bool showProgress = StderrIsTerminal();
  const Clock::time_point start = Clock::now();
  state.lastRecord = start;
  const double recordSeconds = state.settings.recordLength / state.settings.sampleFrequency;
  const VeltraStatus started = ADC_Start();
  Clock::time_point nextProgress = start;
  while (started == STATUS_OK && state.error.empty() && state.samplesWritten < state.samplesWanted &&
         !StopRequested()) {
    ADC_Ready();  // lets the library deliver finished records to OnRecord
    const Clock::time_point now = Clock::now();
    if (std::chrono::duration<double>(now - state.lastRecord).count() > recordSeconds + kRecordWaitSeconds) {
      state.error = "no record arrived for " + FormatQuantity(kRecordWaitSeconds, "s") + "; is the probe still there?";
    }
    if (showProgress && now >= nextProgress) {
      PrintProgress(state, std::chrono::duration<double>(now - start).count(), false);
      nextProgress = now + kProgressInterval;
    }
    PauseBriefly();
  }
  ADC_Abort();
  SetDataReadyCallback(nullptr);
  activeStream = nullptr;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  if (showProgress) PrintProgress(state, elapsed, true);

  if (started != STATUS_OK) throw ToolError(kExitFailure, "the stream did not start (" + StatusName(started) + ")");
  file.Finish();  // what arrived stays readable, also when the stream failed
  if (!state.error.empty()) {
    throw ToolError(kExitFailure, "the stream failed after " + std::to_string(state.samplesWritten) +
                                      " samples (kept in " + file.Path() + "): " + state.error);
  }
  std::printf("%llu samples (%s) in %llu records written to %s%s; %llu records lost\n",
              static_cast<unsigned long long>(state.samplesWritten),
              FormatQuantity(static_cast<double>(state.samplesWritten) / state.settings.sampleFrequency, "s").c_str(),
              static_cast<unsigned long long>(state.records), file.Path().c_str(),
              StopRequested() ? " (stopped by Ctrl-C)" : "",
              static_cast<unsigned long long>(LostRecords(state, elapsed)));
  return kExitOk;
}

}  // namespace veltra::scope
