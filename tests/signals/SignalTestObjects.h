#pragma once
// A source and a sink for the signal tests, and a recorder of a signal's change events.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "framework/EventSinks.h"
#include "signals/Signals.h"

namespace veltra::test {

// A source as a channel is one: it holds its record in the source's buffer and stamps new records
// with a clock of its own. `acceptSinks` false refuses every sink.
class TTestSource : public TCustomSource {
 public:
  TTestSource() = default;

  double CurrentTime() override { return clock; }
  bool AcceptSink(ISink* sink) override { return acceptSinks && TCustomSource::AcceptSink(sink); }

  double clock = 0.0;
  bool acceptSinks = true;
};

// A sink that answers as told and logs what happens to it.
class TTestSink : public TOwnInterfacedObject, public ISink {
 public:
  explicit TTestSink(std::vector<std::string>& log, std::string name = "sink")
      : log_(log), name_(std::move(name)) {}

  int32_t ConnectSource(ISource* source) override {
    log_.push_back(name_ + " connect" + (updates_ > 0 ? " in bracket" : ""));
    if (connectAnswer == 0) sources.push_back(source);
    if (connectAnswer == 0 && holdSource) held = ComPtr<ISource>(source);
    // A sink that connects itself again while being connected is not connected twice.
    if (reconnect) reconnectResult = source->ConnectSink(this);
    return connectAnswer;
  }
  int32_t DisconnectSource(ISource* source) override {
    log_.push_back(name_ + " disconnect");
    if (disconnectAnswer != 0) return disconnectAnswer;
    std::erase(sources, source);
    held = nullptr;
    return 0;
  }
  void BeginUpdate(bool) override { ++updates_; }
  void EndUpdate() override { --updates_; }

  int32_t Updates() const { return updates_; }

  int32_t connectAnswer = 0;
  int32_t disconnectAnswer = 0;
  bool reconnect = false;
  int32_t reconnectResult = -1;
  std::vector<ISource*> sources;  // the sources it is connected to
  // With holdSource the sink keeps a reference to the source it takes, as a display does, and
  // lets it go when disconnected.
  bool holdSource = false;
  ComPtr<ISource> held;

 protected:
  bool GetInterface(const Guid& iid, void** object) override {
    return Answer<ISink>(this, iid, object) || TOwnInterfacedObject::GetInterface(iid, object);
  }

 private:
  std::vector<std::string>& log_;
  std::string name_;
  int32_t updates_ = 0;
};

// The samples of `source` as T, copied (empty when it holds no samples of T).
template <class T>
std::vector<T> SamplesIn(TCustomSource& source) {
  const std::span<T> samples = source.Samples<T>();
  return {samples.begin(), samples.end()};
}

// Writes sample `index`; the test fails when the source has no such sample of T.
template <class T>
void SetSample(TCustomSource& source, size_t index, T value) {
  const std::span<T> samples = source.Samples<T>();
  ASSERT_LT(index, samples.size());
  samples[index] = value;
}

// The change masks a signal reports, as its listeners receive them.
class TChangeRecorder {
 public:
  explicit TChangeRecorder(IInterface* signal)
      : sink_(MakeSink<TSourceEventsSingleSink>(
            TSourceEventsSingleSink::TBeginsHandler{},
            TSourceEventsSingleSink::TChangedHandler::Bind<&TChangeRecorder::OnChanged>(this))) {
    sink_->Connect(signal);
  }
  ~TChangeRecorder() { sink_->Disconnect(); }
  TChangeRecorder(const TChangeRecorder&) = delete;
  TChangeRecorder& operator=(const TChangeRecorder&) = delete;

  // The OR of the masks received since the last call.
  uint32_t Take() { return std::exchange(changes_, 0); }
  int32_t Events() const { return events_; }

 private:
  void OnChanged(IInterface*, uint32_t changes) {
    changes_ |= changes;
    ++events_;
  }

  SinkPtr<TSourceEventsSingleSink> sink_;
  uint32_t changes_ = 0;
  int32_t events_ = 0;
};

}  // namespace veltra::test
