// Identifier codes against the name tables, and the identities of the hardware interfaces.

#include <gtest/gtest.h>

#include <bit>
#include <set>
#include <string>

#include "couplers/I2CInterface.h"
#include "hw/FGInterface.h"
#include "hw/HWInterfaces.h"
#include "hw/TrigInterface.h"

namespace veltra {
namespace {

struct Named {
  uint32_t code;
  const char* name;
};

// Each code has one bit, and that bit indexes the identifier's name in its family's table.
template <size_t N>
void ExpectNamesMatchCodes(const std::array<std::string_view, N>& names,
                           std::initializer_list<Named> ids) {
  std::set<size_t> named;
  for (const Named& id : ids) {
    ASSERT_EQ(std::popcount(id.code), 1) << id.name;
    const size_t bit = static_cast<size_t>(std::countr_zero(id.code));
    ASSERT_LT(bit, N) << id.name;
    EXPECT_EQ(names[bit], id.name);
    named.insert(bit);
  }
  for (size_t bit = 0; bit < N; ++bit) {
    if (!named.count(bit)) {
      EXPECT_TRUE(names[bit].empty()) << "entry " << bit;
    }
  }
}

TEST(Identifiers, HWCodesMatchTheirNames) {
  ExpectNamesMatchCodes(HWNames, {{HW_SUPPORTSGET, "HW_SUPPORTSGET"},
                                  {HW_SUPPORTSSET, "HW_SUPPORTSSET"},
                                  {HW_CHANNELCOUNT, "HW_CHANNELCOUNT"},
                                  {HW_START, "HW_START"},
                                  {HW_STOP, "HW_STOP"},
                                  {HW_MODE, "HW_MODE"},
                                  {HW_ENABLE, "HW_ENABLE"},
                                  {HW_COUPLING, "HW_COUPLING"},
                                  {HW_RANGE, "HW_RANGE"},
                                  {HW_RANGES, "HW_RANGES"},
                                  {HW_RANGECOUNT, "HW_RANGECOUNT"},
                                  {HW_AUTORANGING, "HW_AUTORANGING"},
                                  {HW_SAMPLEFREQUENCY, "HW_SAMPLEFREQUENCY"},
                                  {HW_SAMPLEFREQUENCIES, "HW_SAMPLEFREQUENCIES"},
                                  {HW_SAMPLEFREQUENCYCOUNT, "HW_SAMPLEFREQUENCYCOUNT"},
                                  {HW_DATASIZE, "HW_DATASIZE"},
                                  {HW_DATASIZEMAX, "HW_DATASIZEMAX"},
                                  {HW_RESOLUTION, "HW_RESOLUTION"},
                                  {HW_RESOLUTIONS, "HW_RESOLUTIONS"},
                                  {HW_RESOLUTIONCOUNT, "HW_RESOLUTIONCOUNT"},
                                  {HW_CLOCKSOURCE, "HW_CLOCKSOURCE"},
                                  {HW_COUPLINGS, "HW_COUPLINGS"},
                                  {HW_RESOLUTIONMODE, "HW_RESOLUTIONMODE"},
                                  {HW_MREADY, "HW_MREADY"}});
  EXPECT_EQ(HW_SELECTOR23, 0x800000u);  // the one identifier without a name
  EXPECT_EQ(HW_RESOLUTIONS | HW_RESOLUTIONCOUNT, 0xC0000u);
}

TEST(Identifiers, TRCodesMatchTheirNames) {
  ExpectNamesMatchCodes(TRNames, {{TR_SUPPORTSGET, "TR_SUPPORTSGET"},
                                  {TR_SUPPORTSSET, "TR_SUPPORTSSET"},
                                  {TR_USED, "TR_USED"},
                                  {TR_PRESAMPLES, "TR_PRESAMPLES"},
                                  {TR_RESOLUTION, "TR_RESOLUTION"},
                                  {TR_TIMEOUT, "TR_TIMEOUT"},
                                  {TR_SOURCEOR, "TR_SOURCEOR"},
                                  {TR_SOURCEAND, "TR_SOURCEAND"},
                                  {TR_SOURCES, "TR_SOURCES"},
                                  {TR_KIND, "TR_KIND"},
                                  {TR_KINDS, "TR_KINDS"},
                                  {TR_LEVEL, "TR_LEVEL"},
                                  {TR_HYSTERESIS, "TR_HYSTERESIS"},
                                  {TR_TRIGGER, "TR_TRIGGER"},
                                  {TR_HOLDOFF, "TR_HOLDOFF"},
                                  {TR_HOLDOFFMAX, "TR_HOLDOFFMAX"}});
  EXPECT_EQ(TR_PULSETIME, 0x10000u);  // beyond the 16-entry table
  EXPECT_EQ(kTRCachable, 0x1DFFFu & ~TR_TRIGGER);
}

TEST(Identifiers, FGCodesMatchTheirNames) {
  ExpectNamesMatchCodes(FGNames, {{FG_SUPPORTSGET, "FG_SUPPORTSGET"},
                                  {FG_SUPPORTSSET, "FG_SUPPORTSSET"},
                                  {FG_OUTPUTON, "FG_OUTPUTON"},
                                  {FG_START, "FG_START"},
                                  {FG_STOP, "FG_STOP"},
                                  {FG_MODE, "FG_MODE"},
                                  {FG_BURSTCOUNT, "FG_BURSTCOUNT"},
                                  {FG_BURSTCOUNTMAX, "FG_BURSTCOUNTMAX"},
                                  {FG_SIGNALTYPE, "FG_SIGNALTYPE"},
                                  {FG_SIGNALTYPES, "FG_SIGNALTYPES"},
                                  {FG_FREQUENCY, "FG_FREQUENCY"},
                                  {FG_FREQUENCYMAX, "FG_FREQUENCYMAX"},
                                  {FG_AMPLITUDE, "FG_AMPLITUDE"},
                                  {FG_AMPLITUDEMAX, "FG_AMPLITUDEMAX"},
                                  {FG_OFFSET, "FG_OFFSET"},
                                  {FG_OFFSETMIN, "FG_OFFSETMIN"},
                                  {FG_OFFSETMAX, "FG_OFFSETMAX"},
                                  {FG_SYMMETRY, "FG_SYMMETRY"},
                                  {FG_DATASIZEARB, "FG_DATASIZEARB"},
                                  {FG_DATASIZEARBMAX, "FG_DATASIZEARBMAX"},
                                  {FG_FREQUENCYMIN, "FG_FREQUENCYMIN"},
                                  {FG_RESOLUTION, "FG_RESOLUTION"},
                                  {FG_DATASIZECUR, "FG_DATASIZECUR"},
                                  {FG_PHASE, "FG_PHASE"},
                                  {FG_BURSTMODE, "FG_BURSTMODE"},
                                  {FG_NEWDATA, "FG_NEWDATA"}});
}

TEST(Identifiers, CacheMasksHoldOnlyCachableIdentifiers) {
  // Values cached: everything readable that does not change behind the object's back.
  EXPECT_EQ(kHWCachable, HW_SUPPORTSGET | HW_SUPPORTSSET | HW_CHANNELCOUNT | HW_MODE | HW_ENABLE |
                             HW_COUPLING | HW_RANGE | HW_RANGECOUNT | HW_AUTORANGING |
                             HW_SAMPLEFREQUENCY | HW_SAMPLEFREQUENCYCOUNT | HW_DATASIZE |
                             HW_DATASIZEMAX | HW_RESOLUTIONCOUNT | HW_COUPLINGS);
  EXPECT_EQ(kHWCachableIndices, HW_RANGE | HW_SAMPLEFREQUENCY | HW_RESOLUTION);
  EXPECT_EQ(kControlCachable, kControlSupportsGet | kControlSupportsSet | kControlFrameInterval |
                                  kControl8 | kControlOpenCount | kControl32);
  EXPECT_EQ(kConTestInstrumentCachable, kConTestSupportsGet | kConTestSupportsSet | kConTestSetting);
  EXPECT_EQ(kConTestChannelCachable, kConTestSupportsGet | kConTestSupportsSet | kConTestState);
}

// A query finds an interface by its identity alone, so two interfaces must never share one.
TEST(Identifiers, InterfaceIdentitiesAreDistinct) {
  const Guid ids[] = {IInterface::IID,          IChangeNotify2::IID,
                      ISettings::IID,           ICurNext::IID,
                      IVTObject::IID,           IScopeHW::IID,
                      IScopeHWSettings::IID,    IInstrument::IID,
                      IChannel::IID,            IInstrumentSettings::IID,
                      IChannelSettings::IID,    IProbeGain::IID,
                      ICombinedInstrument::IID, ITrigger::IID,
                      ITriggerSettings::IID,    IInstrumentTrigger::IID,
                      IChannelTrigger::IID,     IInstrumentTriggerSettings::IID,
                      IChannelTriggerSettings::IID, IFunctionGenerator::IID,
                      IGeneratorSettings::IID,  IGeneratorMemory::IID,
                      IGeneratorProvider::IID,  II2CHost::IID};
  std::set<std::string> texts;
  for (const Guid& id : ids) texts.insert(id.ToString());
  EXPECT_EQ(texts.size(), std::size(ids));
  EXPECT_EQ(IInstrument::IID.ToString(), "{07E08CA4-567A-44D2-8A50-2135CB5E1FA9}");
}

}  // namespace
}  // namespace veltra
