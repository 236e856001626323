// The value span of a source: round numbers, snapped spans, fixed spans and the update lock.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SignalTestObjects.h"

namespace veltra::test {
namespace {

TEST(Span, RoundNumbers) {
  struct Case {
    double v;
    double round;
  };
  for (const Case c : {Case{0, 0}, Case{3, 4}, Case{5, 8}, Case{8.5, 10}, Case{0.0021, 0.004},
                       Case{2.0000001, 2}, Case{1, 1}, Case{8, 8}, Case{9, 10}, Case{1000, 1000},
                       Case{1001, 2000}, Case{0.001, 0.001}, Case{7.9e-9, 8e-9}, Case{150, 200}}) {
    EXPECT_EQ(RoundNumber(c.v), c.round) << c.v;
  }
}

TEST(Span, SnappedSpanRunsBetweenRoundValues) {
  struct Case {
    TSpan requested;
    TSpan span;
  };
  const TSpan unchanged = TCustomSource::kDefaultSpan;
  for (const Case c :
       {Case{{-3, 5}, {-8, 8}}, Case{{2, 3}, {0, 4}}, Case{{-5, -1}, {-8, 0}},
        Case{{0, 0}, unchanged}, Case{{-0.3, 0.2}, {-0.4, 0.4}}, Case{{0, 150}, {0, 200}}}) {
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    source->SetSnappedSpan(true);
    source->SetSpan(false, c.requested.low, c.requested.high);
    EXPECT_EQ(source->Span(), c.span) << c.requested.low << " " << c.requested.high;
    EXPECT_EQ(source->RequestedSpan(), c.requested);
  }
}

TEST(Span, SpanNeedsHighAboveLowAndFiniteBounds) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  for (const TSpan bad : {TSpan{1, 1}, TSpan{2, -2}, TSpan{std::nan(""), 1}, TSpan{-kInf, kInf}}) {
    ComPtr<TTestSource> source = MakeObject<TTestSource>();
    source->SetSpan(true, bad.low, bad.high);
    EXPECT_EQ(source->Span(), TCustomSource::kDefaultSpan);
  }
}

TEST(Span, FixedSpanIgnoresRequestsUnlessForced) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->ToggleFixedSpan();
  source->SetSpan(false, -1, 1);
  EXPECT_EQ(source->Span(), TCustomSource::kDefaultSpan);
  EXPECT_EQ(source->RequestedSpan(), TCustomSource::kDefaultSpan)
      << "an ignored request is not kept";
  source->SetSpan(true, -1, 1);
  EXPECT_EQ(source->Span(), (TSpan{-1, 1}));
}

TEST(Span, TogglingSnapReappliesTheRequest) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  TChangeRecorder changes(static_cast<ISource*>(source.Get()));
  source->SetSpan(false, -3, 5);
  source->ToggleSnappedSpan();
  EXPECT_EQ(source->Span(), (TSpan{-8, 8}));
  source->ToggleSnappedSpan();
  EXPECT_EQ(source->Span(), (TSpan{-3, 5}));
  EXPECT_EQ(changes.Events(), 3);
  EXPECT_EQ(changes.Take(), kChangeSpan);
}

TEST(Span, LockedUpdatesApplyTheLastRequestOnUnlock) {
  ComPtr<TTestSource> source = MakeObject<TTestSource>();
  source->SetSpanUpdateLock(true);
  source->SetSpan(false, -1, 1);
  source->SetSpan(false, -2, 2);
  EXPECT_EQ(source->Span(), TCustomSource::kDefaultSpan);
  source->SetSpanUpdateLock(false);
  EXPECT_EQ(source->Span(), (TSpan{-2, 2}));
}

}  // namespace
}  // namespace veltra::test
