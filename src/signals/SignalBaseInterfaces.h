#pragma once
// The interfaces of the signal model: signals (ISignal), the signals that produce samples
// (ISource), the objects that take samples from sources (ISink), and the numbering through which an
// owner tells its sources apart. Also the change bits every signal reports and the flags of its
// persistence.
//
// Changes are reported as 32-bit masks through the signal's data-change events (kSourceEventsIID,
// framework/VTCOMEvents.h); listeners connect a TSourceEventsSingleSink (framework/EventSinks.h).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "framework/Interface.h"
#include "util/DataTypes.h"
#include "util/IFF.h"
#include "util/Streams.h"

namespace veltra {

// ---------------------------------------------------------------------------------------------
// Change bits

inline constexpr uint32_t kChangeSpan = 0x1;
inline constexpr uint32_t kChangeSampleFrequency = 0x2;
inline constexpr uint32_t kChangeCount = 0x4;
inline constexpr uint32_t kChangePreSamples = 0x8;
inline constexpr uint32_t kChangeUnit = 0x10;
inline constexpr uint32_t kChangeFrequencyStep = 0x20;
inline constexpr uint32_t kChangeStartValue = 0x40;
inline constexpr uint32_t kChangeResolution = 0x80;
inline constexpr uint32_t kChangeColour = 0x8000000;
inline constexpr uint32_t kChangeName = 0x10000000;
inline constexpr uint32_t kChangeLoaded = 0x20000000;   // reported once a file has been read
inline constexpr uint32_t kChangeNewData = 0x80000000;  // the samples are new (a measurement)
inline constexpr uint32_t kChangeAll = 0xFFFFFFFF;

// ---------------------------------------------------------------------------------------------
// Persistence flags (in and out): with kFileNoData a writer leaves the samples out and a reader
// does not take them; a writer or reader that stored or took no samples adds it to the flags it
// returns.

inline constexpr uint32_t kFileNoData = 0x1000;
// Given by a group to the members whose output goes only to other members of the group.
inline constexpr uint32_t kFileInternalOutput = 0x2000;

// ---------------------------------------------------------------------------------------------
// Results of ISource::ConnectSink (any other value is the sink's own refusal)

inline constexpr int32_t kConnectDone = 0;     // connected, or nothing to do
inline constexpr int32_t kConnectFull = 1;     // the source's maximum number of sinks is reached
inline constexpr int32_t kConnectNoSink = 2;   // a null sink
inline constexpr int32_t kConnectRefused = 3;  // the source does not accept this sink

// Domains of a source's samples.
inline constexpr int32_t kDomainTime = 0;       // spaced by 1 / sample frequency
inline constexpr int32_t kDomainFrequency = 1;  // spaced by the frequency step

// ---------------------------------------------------------------------------------------------
// Interfaces

struct ISource;

// Every object that carries a signal: names (IVTObject), a description and an author, change
// reporting with an update bracket, and persistence as chunks of an IFF stream.
struct ISignal : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{ED4A6710-484F-4C9B-AEDD-58D8C82DAE6B}");

  // Both report kChangeName when the text changes.
  virtual void SetName(const std::string& name) = 0;
  virtual void SetShortName(const std::string& shortName) = 0;
  virtual std::string GetDescription() = 0;
  virtual void SetDescription(const std::string& description) = 0;
  virtual std::string GetAuthor() = 0;
  virtual void SetAuthor(const std::string& author) = 0;

  // Changes reported inside a bracket are merged and go out once, when the outermost one closes.
  // With `announce` the bracket tells the listeners at once that a data change begins.
  virtual void BeginUpdate(bool announce) = 0;
  virtual void EndUpdate() = 0;
  virtual void Changed(uint32_t mask) = 0;

  // Reads the signal from the chunks below `node` (its own container). `flags` in and out (the
  // kFile... flags above). Hostile or truncated data never fail the read: what is missing or
  // unusable takes its default, and the samples the file does not supply are the zero level.
  virtual HResult LoadFromIFF(IIFFStream& iff, TIFFChunk* node, uint32_t& flags) = 0;
  // Writes the signal below `node`; with `create`, first a new container of the signal's type
  // there, which becomes `node`. Chunks whose value is the default are removed rather than
  // written, so writing over an older copy leaves no stale chunk. Raises EIFFError when `node`
  // cannot hold chunks.
  virtual HResult SaveToIFF(IIFFStream& iff, TIFFChunk*& node, uint32_t& flags, bool create) = 0;

  // The user's "Delete": hides the signal, so every holder lets it go.
  virtual void Delete() = 0;
};

// The object a source gives its samples to (a display, a recorder, a multi-source object).
struct ISink : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{6A4C1F0E-3B2D-4E59-9C71-0D8E5B2F4A13}");

  // The source's ConnectSink asks the sink to take `source`: 0 accepts, any other value refuses and
  // becomes ConnectSink's result. The source holds both update brackets meanwhile.
  virtual int32_t ConnectSource(ISource* source) = 0;
  // The source has let the sink go (it is no longer in the source's list): 0 when the sink let go
  // of the source as well; any other value asks the source to keep it.
  virtual int32_t DisconnectSource(ISource* source) = 0;
  virtual void BeginUpdate(bool announce) = 0;
  virtual void EndUpdate() = 0;
};

// A signal that produces samples, and the attributes that give them a physical meaning.
//
// Sample k of a time-domain source was taken at (k - pre-samples) / sample frequency + start
// value; integer codes stand for values over the span [low, high) (util/DataTypes.h). The samples
// are held by the source (see TCustomSource) and read here without a copy.
struct ISource : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{C4E3B8A1-7D25-4F6B-8E09-1A2B3C4D5E6F}");

  // Connects `sink`: kConnectDone, kConnectFull, kConnectNoSink, kConnectRefused, or the sink's own
  // refusal. Called again while a connection is being made, it does nothing (kConnectDone).
  virtual int32_t ConnectSink(ISink* sink) = 0;
  // Lets the last entry of `sink` go and tells the sink: its answer (1 when it is not connected).
  virtual int32_t DisconnectSink(ISink* sink) = 0;
  // Disconnects from the last sink to the first; stops at a sink that refuses.
  virtual void DisconnectAllSinks() = 0;
  virtual int32_t GetSinkCount() = 0;
  virtual ComPtr<ISink> GetSink(int32_t index) = 0;  // null out of range

  virtual uint32_t GetDataType() = 0;  // a DT_ARRAY_ code of util/DataTypes.h, or 0 (no samples)
  virtual int64_t GetCount() = 0;      // samples of the record
  // The bytes of the samples: count x the size of the data type; empty without a data type.
  virtual std::span<const std::byte> GetSampleBytes() = 0;
  virtual double GetSpanLow() = 0;
  virtual double GetSpanHigh() = 0;
  virtual std::string GetUnit() = 0;
  virtual int32_t GetResolution() = 0;  // bits
  virtual int32_t GetDomain() = 0;
  virtual double GetSampleFrequency() = 0;  // hertz, domain kDomainTime
  virtual double GetFrequencyStep() = 0;    // hertz, domain kDomainFrequency
  virtual int64_t GetPreSamples() = 0;
  virtual double GetStartValue() = 0;
  virtual double GetTimeStamp() = 0;  // when the samples were taken (0.0 = not known)
  virtual int32_t GetColour() = 0;    // -1 = none
  virtual void SetColour(int32_t colour) = 0;
};

// The sample array code whose elements are T (DT_ARRAY_DOUBLE for double); 0 for a T that is no
// element type of a sample array. DT_ARRAY_EXTENDED has no C++ element type: read it as bytes.
template <class T>
inline constexpr uint32_t kArrayTypeOf = 0;
template <>
inline constexpr uint32_t kArrayTypeOf<int8_t> = DT_ARRAY_INT8;
template <>
inline constexpr uint32_t kArrayTypeOf<int16_t> = DT_ARRAY_INT16;
template <>
inline constexpr uint32_t kArrayTypeOf<int32_t> = DT_ARRAY_INT32;
template <>
inline constexpr uint32_t kArrayTypeOf<int64_t> = DT_ARRAY_INT64;
template <>
inline constexpr uint32_t kArrayTypeOf<uint8_t> = DT_ARRAY_UINT8;
template <>
inline constexpr uint32_t kArrayTypeOf<uint16_t> = DT_ARRAY_UINT16;
template <>
inline constexpr uint32_t kArrayTypeOf<uint32_t> = DT_ARRAY_UINT32;
template <>
inline constexpr uint32_t kArrayTypeOf<uint64_t> = DT_ARRAY_UINT64;
template <>
inline constexpr uint32_t kArrayTypeOf<float> = DT_ARRAY_SINGLE;
template <>
inline constexpr uint32_t kArrayTypeOf<double> = DT_ARRAY_DOUBLE;

// The samples of `source` as T, without a copy; empty when the source's data type is not the array
// of T (SamplesOf<uint16_t> for DT_ARRAY_UINT16 codes, SamplesOf<double> for DT_ARRAY_DOUBLE).
// Valid until the source's count or data type changes.
template <class T>
std::span<const T> SamplesOf(ISource& source) {
  static_assert(kArrayTypeOf<T> != 0, "no sample array of this element type");
  if (source.GetDataType() != kArrayTypeOf<T>) return {};
  const std::span<const std::byte> bytes = source.GetSampleBytes();
  return {reinterpret_cast<const T*>(bytes.data()), bytes.size() / sizeof(T)};
}

// An owner that numbers the sources it holds (an instrument its channels, a multi-source object the
// outputs of its members). A source stores its number in files.
struct INumberedSources : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{2DF47622-20D7-4A82-828D-074762FC8185}");

  virtual int32_t GetSourceCount() = 0;
  virtual ComPtr<IInterface> GetSourceByIndex(int32_t index) = 0;  // null out of range
  virtual int32_t IndexOfSource(IInterface* source) = 0;           // -1 when not held
};

// The object a signal belongs to (a channel's instrument), kept by the signal without a count.
struct ISignalParent : virtual IInterface {
  static constexpr Guid IID = Guid::Parse("{ECB6814E-2ACF-4D63-AB32-8470D8204781}");

  virtual IInterface* GetParent() = 0;  // null when the signal stands alone
};

}  // namespace veltra
