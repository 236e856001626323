#pragma once
// TDriverTriggerChannel: one input channel of a driver-backed instrument (TDriverTriggerHW).
//
// Its settings reach the driver through the instrument's accessors with the channel's index. What
// it adds is the sample data: the source holds the record in volts (DT_ARRAY_DOUBLE), and the
// measurement-ready step fetches each completed measurement's codes from the driver's sample
// buffer (data identifier: the channel's index) and converts them in place, reusing the samples'
// storage while the record length stays. A probe-gain change rescales stored samples. Where the
// driver offers it, the channel has connection-test settings (IChannelConnectionTest).

#include <cstdint>

#include "driver/CTObjects.h"
#include "hw/TrigChannel.h"

namespace veltra {

class TDriverTriggerHW;

// Bits the channel reports with a measurement besides the source's own change bits.
inline constexpr uint32_t kChangeMoreToCome = 0x40000000;  // a streaming run goes on
inline constexpr uint32_t kChangeRunEnded = 0x20000000;    // stopped, or a block measurement

class TDriverTriggerChannel : public TCustomTriggerChannel {
 public:
  TDriverTriggerChannel(TDriverTriggerHW* instrument, int32_t index);

  // The inherited steps, then the measurement-ready step with every bit but HW_MREADY, which
  // sizes the record without touching the driver's buffers.
  void Initialise() override;
  // In coupling class 0 (couplings other than 4, 8 and 16) the stored samples follow the new gain;
  // then the inherited notification.
  void NotifyGainListeners() override;

  // The steps of the instrument's notification pass. MeasurementReady answers whether the
  // instrument should stop (transfer mode 1 and the measurement's buffer could not be had).
  bool MeasurementReady(uint32_t mask, uint32_t measurement);
  void NextSettingsChanged(uint32_t mask);
  // curOrNext: 0 the Cur, 1 the Next trigger settings.
  void TriggerChanged(int32_t curOrNext, uint32_t mask);
  void ConnectionTestChanged(uint32_t mask);

 protected:
  bool GetInterface(const Guid& iid, void** object) override;

 private:
  TDriverTriggerHW* DriverInstrument() const;
  // Fetches, converts and releases measurement `measurement`; false when the buffer was not had.
  bool FetchSamples(TDriverTriggerHW& instrument, uint32_t measurement);

  HResult SetConTest(uint32_t id, int64_t value);
  HResult GetConTest(uint32_t id, int64_t& value);
  int32_t GetConTestInfo(int32_t index);

  Owned<TConTestChan> conTest_;
};

// Makes channel `index` of `instrument`; it takes its place in the instrument's channel list.
void MakeDriverTriggerChannel(TDriverTriggerHW& instrument, int32_t index);

}  // namespace veltra
