#pragma once
// Measurements as files for scripts and spreadsheets: CSV (a commented header with the settings,
// then one row per sample: time in seconds, volts per channel) and JSON (settings, figures and
// samples of every measurement).

#include <ostream>
#include <span>

#include "Capture.h"

namespace veltra::scope {

// The commented lines with the settings and the channels' ranges and couplings, then the column
// names. withMeasurementColumn puts a first column numbering the measurements (from 1).
void WriteCsvHeader(std::ostream& out, const std::string& title, const AcquisitionSettings& settings,
                    std::span<const ChannelRecord> channels, bool withMeasurementColumn);

// One row per sample of the channels' records, sample i at firstTime + i / sample frequency.
// measurement > 0 fills the measurement column that WriteCsvHeader was asked for.
void WriteCsvRows(std::ostream& out, std::span<const ChannelRecord> channels, double firstTime,
                  double sampleFrequency, int measurement = 0);

// Every capture with its settings, trigger state, figures and samples as one JSON document.
void WriteJson(std::ostream& out, std::span<const Capture> captures);

}  // namespace veltra::scope
