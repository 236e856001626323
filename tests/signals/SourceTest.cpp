// The signal source: defaults, attributes and their change bits, sinks, the sample buffer, the
// time stamp of new data and the dialogs of its user actions.

#include <gtest/gtest.h>

#include <functional>

#include "SignalTestObjects.h"
#include "framework/Dialogs.h"
#include "framework/Strings.h"

namespace veltra::test {
namespace {

using Log = std::vector<std::string>;

TEST(Source, NewSourceHasItsDefaults) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  EXPECT_EQ(source->Span(), (TSpan{-200.0, 200.0}));
  EXPECT_EQ(source->GetSampleFrequency(), 10000.0);
  EXPECT_EQ(source->GetFrequencyStep(), 0.0);
  EXPECT_EQ(source->GetResolution(), 16);
  EXPECT_EQ(source->GetColour(), -1);
  EXPECT_EQ(source->GetColourMode(), 0u);
  EXPECT_EQ(source->GetUnit(), "V");
  EXPECT_FALSE(source->UnitLocked());
  EXPECT_EQ(source->GetDataType(), 0u);
  EXPECT_EQ(source->GetCount(), 0);
  EXPECT_EQ(source->GetDomain(), kDomainTime);
  EXPECT_EQ(source->GetTimeStamp(), 0.0);
  EXPECT_EQ(source->GetKeyCipherMask(), 0u);
  EXPECT_FALSE(source->FixedSpan());
  EXPECT_FALSE(source->SnappedSpan());
  EXPECT_EQ(source->GetAuthor(), TCustomSignal::kDefaultAuthor);
  EXPECT_EQ(source->GetSinkCount(), 0);
  EXPECT_TRUE(source->AllowsDuplicateSinks());
  EXPECT_TRUE(source->GetSampleBytes().empty());
  EXPECT_TRUE(source->ColourModeAction(0).checked);

  struct Item {
    const char* name;
    int32_t number;
    uint32_t caption;
    bool enabled;
  };
  for (const Item& expected :
       {Item{"Delete", 200, 0x1000D2, true}, Item{"Duplicate", 201, 0x100197, false},
        Item{"DisconnectAllSinks", 400, 0x100025, false},
        Item{"DisconnectSinksDialog", 400, 0x100023, false}}) {
    const TPublishedItem* item = source->PublishedItems().Find(expected.name);
    ASSERT_NE(item, nullptr) << expected.name;
    EXPECT_EQ(item->number, expected.number) << expected.name;
    EXPECT_EQ(item->captionId, expected.caption) << expected.name;
    EXPECT_FALSE(LocalisedString(item->captionId).empty()) << expected.name;
    EXPECT_EQ(item->enabled, expected.enabled) << expected.name;
  }
  EXPECT_TRUE(Query<ISignal>(source.Get()));
  EXPECT_TRUE(Query<ISource>(source.Get()));
  EXPECT_TRUE(Query<IVTObject>(source.Get()));
}

// Each setter reports its own bit once, and nothing when given the value the source has.
TEST(Source, SettersReportTheirChangeBitOnlyForNewValues) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  TChangeRecorder changes(static_cast<ISource*>(source.Get()));
  struct Case {
    const char* name;
    std::function<void(TTestSource&)> set;
    uint32_t bit;
  };
  const Case cases[] = {
      {"span", [](TTestSource& s) { s.SetSpan(false, -1, 1); }, kChangeSpan},
      {"sample frequency", [](TTestSource& s) { s.SetSampleFrequency(5e6); },
       kChangeSampleFrequency},
      {"count", [](TTestSource& s) { s.SetCount(100); }, kChangeCount},
      {"pre-samples", [](TTestSource& s) { s.SetPreSamples(10); }, kChangePreSamples},
      {"unit", [](TTestSource& s) { s.SetUnit("A", false); }, kChangeUnit},
      {"frequency step", [](TTestSource& s) { s.SetFrequencyStep(50.0); }, kChangeFrequencyStep},
      {"start value", [](TTestSource& s) { s.SetStartValue(-0.5); }, kChangeStartValue},
      {"resolution", [](TTestSource& s) { s.SetResolution(12); }, kChangeResolution},
      {"colour", [](TTestSource& s) { s.SetColour(0xFF00); }, kChangeColour},
      {"name", [](TTestSource& s) { s.SetName("Probe"); }, kChangeName},
      {"short name", [](TTestSource& s) { s.SetShortName("P"); }, kChangeName},
  };
  for (const Case& c : cases) {
    c.set(*source);
    EXPECT_EQ(changes.Take(), c.bit) << c.name;
    c.set(*source);
    EXPECT_EQ(changes.Take(), 0u) << c.name << " again";
  }
  // The time stamp, the domain and the data type are changed without a report.
  source->SetTimeStamp(3.0);
  source->SetDomain(kDomainFrequency);
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_DOUBLE));
  EXPECT_EQ(changes.Take(), 0u);
}

TEST(Source, ChangesInsideABracketGoOutOnceWhenItCloses) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  TChangeRecorder changes(static_cast<ISource*>(source.Get()));
  source->BeginUpdate(false);
  source->SetResolution(8);
  source->SetCount(10);
  EXPECT_EQ(changes.Events(), 0);
  source->EndUpdate();
  EXPECT_EQ(changes.Events(), 1);
  EXPECT_EQ(changes.Take(), kChangeResolution | kChangeCount);
}

TEST(Source, LockedUnitChangesOnlyWhenForced) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetUnitLocked(true);
  source->SetUnit("A", false);
  EXPECT_EQ(source->GetUnit(), "V");
  source->SetUnit("A", true);
  EXPECT_EQ(source->GetUnit(), "A");
}

TEST(Source, ColourAndColourModeFollowEachOther) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetColourMode(2);
  EXPECT_TRUE(source->ColourModeAction(2).checked);
  EXPECT_FALSE(source->ColourModeAction(0).checked);
  source->SetColour(0x80FF);
  EXPECT_EQ(source->GetColourMode(), 2u);
  source->SetColour(-1);  // no colour: back to mode 0
  EXPECT_EQ(source->GetColourMode(), 0u);
  EXPECT_TRUE(source->ColourModeAction(0).checked);

  source->SetColourMode(1);
  source->SetColour(0xFF);
  source->SetColour(-1);  // mode 1 lives without a colour of its own
  EXPECT_EQ(source->GetColourMode(), 1u);

  source->SetColour(0xFF);
  source->SetColourMode(0);  // mode 0 drops the colour
  EXPECT_EQ(source->GetColour(), -1);
  source->SetColourMode(7);  // above 2 counts as 2
  EXPECT_EQ(source->GetColourMode(), 2u);
}

// ---------------------------------------------------------------------------------------------
// Sinks

struct SinkFixture : ::testing::Test {
  Log log;
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  ComPtr<TTestSink> a = MakeObject<TTestSink>(log, "a");
  ComPtr<TTestSink> b = MakeObject<TTestSink>(log, "b");

  ~SinkFixture() override { source->DisconnectAllSinks(); }

  bool Enabled(const char* item) const { return source->PublishedItems().Find(item)->enabled; }
};

TEST_F(SinkFixture, ConnectSinkAnswersAndRefusals) {
  EXPECT_EQ(source->ConnectSink(nullptr), kConnectNoSink);

  source->acceptSinks = false;
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectRefused);
  EXPECT_TRUE(log.empty()) << "a refused sink is not asked";
  source->acceptSinks = true;

  a->connectAnswer = 7;  // the sink's own refusal is the result, and it is not kept
  EXPECT_EQ(source->ConnectSink(a.Get()), 7);
  EXPECT_EQ(source->GetSinkCount(), 0);
  a->connectAnswer = 0;

  source->SetMaxSinks(1);
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  EXPECT_EQ(source->ConnectSink(b.Get()), kConnectFull);
  EXPECT_EQ(source->GetSinkCount(), 1);
  EXPECT_EQ(source->GetSink(0), ComPtr<ISink>(a.Get()));
  EXPECT_EQ(source->GetSink(1), nullptr);
  EXPECT_EQ(source->GetSink(-1), nullptr);
  EXPECT_EQ(a->sources, std::vector<ISource*>{source.Get()});
}

TEST_F(SinkFixture, SinkIsAskedInsideBothBracketsAndConnectsOnceWhenItReconnects) {
  TChangeRecorder changes(static_cast<ISource*>(source.Get()));
  a->reconnect = true;
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  EXPECT_EQ(a->reconnectResult, kConnectDone);
  EXPECT_EQ(source->GetSinkCount(), 1);
  EXPECT_EQ(log, Log{"a connect in bracket"});
  EXPECT_EQ(a->Updates(), 0);
  EXPECT_EQ(source->Events().UpdateCount(), 0);
  EXPECT_EQ(changes.Events(), 0) << "a connection is no data change";
}

TEST_F(SinkFixture, DuplicatesAreKeptUnlessRefused) {
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  EXPECT_EQ(source->GetSinkCount(), 2);
  source->DisconnectAllSinks();

  source->SetAllowDuplicateSinks(false);
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  log.clear();
  EXPECT_EQ(source->ConnectSink(a.Get()), kConnectDone);
  EXPECT_EQ(source->GetSinkCount(), 1);
  EXPECT_TRUE(log.empty());
}

TEST_F(SinkFixture, DisconnectItemsFollowTheSinkCount) {
  std::vector<int32_t> seen;
  struct Counter {
    std::vector<int32_t>& seen;
    void OnSink(ISource* s, ISink*) { seen.push_back(s->GetSinkCount()); }
  } counter{seen};
  source->SetOnSinkConnected(TCustomSource::TSinkEvent::Bind<&Counter::OnSink>(&counter));
  source->SetOnSinkDisconnected(TCustomSource::TSinkEvent::Bind<&Counter::OnSink>(&counter));

  source->ConnectSink(a.Get());
  EXPECT_TRUE(Enabled("DisconnectAllSinks"));
  EXPECT_FALSE(Enabled("DisconnectSinksDialog"));
  source->ConnectSink(b.Get());
  EXPECT_TRUE(Enabled("DisconnectSinksDialog"));
  source->DisconnectAllSinks();
  EXPECT_FALSE(Enabled("DisconnectAllSinks"));
  EXPECT_FALSE(Enabled("DisconnectSinksDialog"));
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 1, 0}));
}

TEST_F(SinkFixture, DisconnectAllGoesLastFirstAndStopsAtARefusal) {
  ComPtr<TTestSink> c = MakeObject<TTestSink>(log, "c");
  for (TTestSink* sink : {a.Get(), b.Get(), c.Get()}) source->ConnectSink(sink);
  b->disconnectAnswer = 1;
  log.clear();
  source->DisconnectAllSinks();
  EXPECT_EQ(log, (Log{"c disconnect", "b disconnect"}));
  ASSERT_EQ(source->GetSinkCount(), 2);
  EXPECT_EQ(source->GetSink(1), ComPtr<ISink>(b.Get())) << "a refusing sink keeps its place";
  EXPECT_TRUE(c->sources.empty());

  b->disconnectAnswer = 0;
  EXPECT_EQ(source->DisconnectSink(c.Get()), 1) << "not connected";
  source->DisconnectAllSinks();
  EXPECT_EQ(source->GetSinkCount(), 0);
}

TEST_F(SinkFixture, DataTypeIsRefusedWhileSinksAreConnected) {
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_UINT16));
  source->ConnectSink(a.Get());
  source->ConnectSink(b.Get());
  EXPECT_FALSE(source->SetDataType(DT_ARRAY_DOUBLE));
  EXPECT_EQ(source->SetDataTypeFromVarType(0x2005), 2) << "the sink count";
  EXPECT_EQ(source->GetDataType(), DT_ARRAY_UINT16);
  source->DisconnectAllSinks();
  EXPECT_EQ(source->SetDataTypeFromVarType(0x2005), DT_ARRAY_DOUBLE);
  EXPECT_EQ(source->SetDataTypeFromVarType(0x0005), DT_ARRAY_DOUBLE)
      << "a scalar VARTYPE names no samples";
}

TEST(Source, HiddenSourceLetsItsSinksGo) {
  Log log;
  ComPtr<TTestSink> sink = MakeObject<TTestSink>(log);
  {
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    source->ConnectSink(sink.Get());
    sink->disconnectAnswer = 1;  // even one that would rather stay
  }
  EXPECT_EQ(log, (Log{"sink connect in bracket", "sink disconnect"}));
  EXPECT_EQ(sink->RefCount(), 1) << "the source's reference is gone";
}

// A sink may hold the only reference to its source and let it go when it is disconnected, also
// when it asked for the disconnection through that reference: the source stays whole until its
// own call is over.
TEST(Source, SinkHoldingTheLastReferenceMayLetGoWhileBeingDisconnected) {
  for (const bool all : {false, true}) {
    SCOPED_TRACE(all ? "DisconnectAllSinks" : "DisconnectSink");
    Log log;
    ComPtr<TTestSink> sink = MakeObject<TTestSink>(log);
    sink->holdSource = true;
    MakeObject<TTestSource>()->ConnectSink(sink.Get());
    ASSERT_NE(sink->held, nullptr);
    if (all) {
      sink->held->DisconnectAllSinks();
    } else {
      EXPECT_EQ(sink->held->DisconnectSink(sink.Get()), 0);
    }
    EXPECT_EQ(sink->held, nullptr);
    EXPECT_EQ(log, (Log{"sink connect in bracket", "sink disconnect"}));
    EXPECT_EQ(sink->RefCount(), 1) << "the source's reference went with it";
  }
}

// ---------------------------------------------------------------------------------------------
// Sample buffer

TEST(Source, SteadyMeasurementsReuseTheBuffer) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_DOUBLE));
  ASSERT_TRUE(source->SetCount(5000));
  const std::byte* storage = source->GetSampleBytes().data();
  for (int measurement = 0; measurement < 3; ++measurement) {
    ASSERT_TRUE(source->SetCount(5000));
    std::span<double> samples = source->Samples<double>();
    ASSERT_EQ(samples.size(), 5000u);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = measurement + 0.001 * static_cast<double>(i);
    source->Changed(kChangeNewData);
    EXPECT_EQ(source->GetSampleBytes().data(), storage);
  }
  const std::span<const double> read = SamplesOf<double>(*static_cast<ISource*>(source.Get()));
  ASSERT_EQ(read.size(), 5000u);
  EXPECT_EQ(std::vector<double>(read.begin(), read.end())[10], 2.01);
  EXPECT_EQ(static_cast<const void*>(read.data()), storage) << "read in place";
  EXPECT_TRUE(SamplesOf<uint16_t>(*static_cast<ISource*>(source.Get())).empty());
}

TEST(Source, NewShapeHoldsTheZeroLevel) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  ASSERT_TRUE(source->SetCount(3));
  EXPECT_TRUE(source->GetSampleBytes().empty()) << "no data type, no samples";
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_UINT16));
  EXPECT_EQ(SamplesIn<uint16_t>(*source), std::vector<uint16_t>(3, 32768));
  SetSample<uint16_t>(*source, 0, 1);
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_INT16));
  EXPECT_EQ(SamplesIn<int16_t>(*source), std::vector<int16_t>(3, 0));
  ASSERT_TRUE(source->SetCount(4));
  EXPECT_EQ(source->GetSampleBytes().size(), 8u);
  EXPECT_TRUE(source->Samples<uint16_t>().empty()) << "not the element type";
}

TEST(Source, ImpossibleBuffersAreRefusedAndChangeNothing) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  ASSERT_TRUE(source->SetDataType(DT_ARRAY_DOUBLE));
  ASSERT_TRUE(source->SetCount(10));
  EXPECT_FALSE(source->SetCount(-1));
  EXPECT_FALSE(source->SetCount(int64_t{1} << 40));
  EXPECT_FALSE(source->SetCount(static_cast<int64_t>(TSampleBuffer::kMaxBytes / 8 + 1)));
  EXPECT_FALSE(source->SetDataType(DT_DOUBLE)) << "a scalar is no sample array";
  EXPECT_FALSE(source->SetDataType(12345));
  EXPECT_EQ(source->GetCount(), 10);
  EXPECT_EQ(source->GetDataType(), DT_ARRAY_DOUBLE);
  EXPECT_EQ(source->GetSampleBytes().size(), 80u);
}

TEST(Source, NewDataIsStampedWithTheSourcesClock) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->clock = 45000.25;
  source->Changed(kChangeCount);
  EXPECT_EQ(source->GetTimeStamp(), 0.0);
  source->Changed(kChangeNewData);
  EXPECT_EQ(source->GetTimeStamp(), 45000.25);
}

// ---------------------------------------------------------------------------------------------
// Dialogs

struct DialogFixture : SinkFixture {
  ~DialogFixture() override { SetDialogHooks({}); }
};

TEST_F(DialogFixture, WithoutHooksDialogsChangeNothing) {
  source->ConnectSink(a.Get());
  source->ConnectSink(b.Get());
  source->DisconnectSinksDialog();
  source->EditUnit();
  EXPECT_EQ(source->GetSinkCount(), 2);
  EXPECT_EQ(source->GetUnit(), "V");
}

TEST_F(DialogFixture, CheckedSinksAreDisconnected) {
  source->ConnectSink(a.Get());
  source->ConnectSink(b.Get());
  std::string shownCaption;
  size_t shown = 0;
  TDialogHooks hooks;
  hooks.select = [&](const std::string& caption, std::vector<TDialogChoice>& choices) {
    shownCaption = caption;
    shown = choices.size();
    choices[0].checked = true;
    return true;
  };
  SetDialogHooks(hooks);
  source->DisconnectSinksDialog();
  EXPECT_EQ(shown, 2u);
  EXPECT_NE(shownCaption.find(LocalisedString(strings::kDisconnectSinksDialog)), std::string::npos);
  ASSERT_EQ(source->GetSinkCount(), 1);
  EXPECT_EQ(source->GetSink(0), ComPtr<ISink>(b.Get()));
}

TEST_F(DialogFixture, AnswerWithOtherChoicesIsNotTaken) {
  source->ConnectSink(a.Get());
  TDialogHooks hooks;
  hooks.select = [](const std::string&, std::vector<TDialogChoice>& choices) {
    choices.push_back({"extra", true});
    choices[0].checked = true;
    return true;
  };
  SetDialogHooks(hooks);
  source->DisconnectSinksDialog();
  EXPECT_EQ(source->GetSinkCount(), 1);
}

TEST_F(DialogFixture, EditedUnitIsLockedUnlessEmpty) {
  std::string entered = "mV";
  std::string shownText;
  TDialogHooks hooks;
  hooks.editText = [&](const std::string& caption, std::string& text) {
    EXPECT_EQ(caption, LocalisedString(strings::kEditUnit));
    shownText = text;
    text = entered;
    return true;
  };
  SetDialogHooks(hooks);
  source->EditUnit();
  EXPECT_EQ(shownText, "V");
  EXPECT_EQ(source->GetUnit(), "mV");
  EXPECT_TRUE(source->UnitLocked());
  entered.clear();
  source->EditUnit();
  EXPECT_EQ(source->GetUnit(), "");
  EXPECT_FALSE(source->UnitLocked());
}

}  // namespace
}  // namespace veltra::test
