/*
 * Veltra probe library: the public C interface.
 *
 * Every function returns a 16-bit status word (STATUS_... below, one single bit per call)
 * unless its comment says it returns a plain value. All functions act on the one instrument that
 * InitInstrument opened; channel, generator and I2C host numbers count from 1, and the functions
 * without the suffix Ch act on number 1. Call them from the thread that called InitInstrument.
 *
 * Bad input: a number out of range gives STATUS_INVALID_CHANNEL, STATUS_NO_GENERATOR
 * or STATUS_INVALID_VALUE as stated per function. A null pointer is never dereferenced:
 * zeros a function writes first are skipped for it, the function's checks run as usual (without an
 * instrument the answer stays STATUS_NO_INSTRUMENT), and where a result would be written
 * through the pointer, or a caller buffer read, the function returns STATUS_INVALID_VALUE.
 * Buffers of samples must hold the record length of the measurement read (see Measurement).
 *
 * Threads and messages. What the instrument reports (a completed measurement, its removal)
 * reaches the library through hidden windows owned by the thread that called InitInstrument,
 * and is handled only while that thread processes their messages: inside StartMeasurement,
 * inside the polling functions ADC_Ready, ADC_Running and ADC_Triggered, and on Windows in the
 * application's own message loop. The polling functions deliver the library's pending messages
 * and nothing else (the application's own windows' messages and its thread messages, WM_QUIT
 * among them, stay queued), so a program with no message loop can start a measurement with
 * ADC_Start and poll ADC_Ready until it is complete. Called on another thread they deliver
 * nothing and only report.
 *
 * The simulated probe. With the environment variable VELTRA_SIMULATE set, InitInstrument opens
 * simulated probes instead of hardware; they answer exactly as the probe does. The library reads
 * the variable once, when it is loaded: set it before the program starts (or before it loads the
 * library). VELTRA_SIMULATE=1 gives one probe with a 1 kHz sine of 1 V on channel 1; a list such
 * as "probe:serial=27001,ch1=sine:1k:0.5,timing=instant" chooses the signals, instant or real
 * timing, and faults such as a removal (the library's sources describe the keys in
 * sim/README.md).
 *
 * 32-bit Windows: veltra.dll, every function __stdcall and exported by its plain name.
 * Linux: libveltra.so, the same functions with C linkage.
 */
#ifndef VELTRA_VELTRA_H
#define VELTRA_VELTRA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VELTRA_CALL __stdcall
#else
#define VELTRA_CALL
#endif

#if defined(_WIN32)
#define VELTRA_API
#else
#define VELTRA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint16_t VeltraStatus;

/* Status codes: one bit each. */
#ifdef __cplusplus
static const VeltraStatus STATUS_OK = 0;
static const VeltraStatus STATUS_NO_INSTRUMENT = 1;          /* no instrument is open */
static const VeltraStatus STATUS_NOT_INITIALIZED = 2;        /* ADC_Start without an instrument */
static const VeltraStatus STATUS_NOT_SUPPORTED = 4;          /* feature absent, or the instrument refused */
static const VeltraStatus STATUS_NO_GENERATOR = 8;           /* no function generator with that number */
static const VeltraStatus STATUS_INVALID_CHANNEL = 16;       /* channel (or I2C host) number out of range */
static const VeltraStatus STATUS_INVALID_VALUE = 32;         /* value outside the accepted set or range */
static const VeltraStatus STATUS_I2C_ERROR = 64;             /* the I2C transfer failed */
static const VeltraStatus STATUS_I2C_INVALID_ADDRESS = 128;  /* no device answered at the I2C address */
static const VeltraStatus STATUS_I2C_INVALID_ARGUMENT = 256; /* the I2C host refused the arguments */
static const VeltraStatus STATUS_I2C_HOST_ERROR = 512;       /* the I2C host failed */
#else
#define STATUS_OK 0
#define STATUS_NO_INSTRUMENT 1
#define STATUS_NOT_INITIALIZED 2
#define STATUS_NOT_SUPPORTED 4
#define STATUS_NO_GENERATOR 8
#define STATUS_INVALID_CHANNEL 16
#define STATUS_INVALID_VALUE 32
#define STATUS_I2C_ERROR 64
#define STATUS_I2C_INVALID_ADDRESS 128
#define STATUS_I2C_INVALID_ARGUMENT 256
#define STATUS_I2C_HOST_ERROR 512
#endif

/* Called with no arguments, on the thread that called InitInstrument, once per completed
 * measurement while that thread processes the library's messages: inside StartMeasurement,
 * ADC_Ready, ADC_Running or ADC_Triggered, or in the application's own message loop (Windows).
 * The readers called inside it read the measurement just completed. It must not wait for a
 * measurement itself. */
typedef void(VELTRA_CALL* VeltraDataReadyCallback)(void);

/* Instrument and information. */
/* Opens the instrument; the argument is ignored. NO_INSTRUMENT when none can be opened. */
VELTRA_API VeltraStatus VELTRA_CALL InitInstrument(uint32_t reserved);
/* Closes the instrument and every generator; always OK. */
VELTRA_API VeltraStatus VELTRA_CALL ExitInstrument(void);
/* Writes (day << 24) | (month << 16) | year; writes 0 first; NOT_SUPPORTED when none is known. */
VELTRA_API VeltraStatus VELTRA_CALL GetCalibrationDate(uint32_t* date);
/* Writes the instrument's serial number. */
VELTRA_API VeltraStatus VELTRA_CALL GetSerialNumber(uint32_t* serial);
/* Writes the number of channels. */
VELTRA_API VeltraStatus VELTRA_CALL GetNrChannels(uint16_t* channels);
/* Returns the highest sample frequency in Hz; 0.0 without an instrument. */
VELTRA_API double VELTRA_CALL GetMaxSampleFrequencyF(void);
/* Returns the highest sample frequency in Hz, rounded; 0 without an instrument. */
VELTRA_API uint32_t VELTRA_CALL GetMaxSampleFrequency(void);
/* Returns the largest record length in samples; 0 without an instrument. */
VELTRA_API uint32_t VELTRA_CALL GetMaxRecordLength(void);
/* Always NOT_SUPPORTED: this instrument has no DC level output. */
VELTRA_API VeltraStatus VELTRA_CALL GetDCLevelStatus(void);
/* Always NO_GENERATOR: this instrument has no square-wave generator. */
VELTRA_API VeltraStatus VELTRA_CALL GetSquareWaveGenStatus(void);
/* OK when a function generator is open; else NO_GENERATOR (instrument open) or NO_INSTRUMENT. */
VELTRA_API VeltraStatus VELTRA_CALL GetFunctionGenStatus(void);

/* Acquisition settings (those of the next measurement). */
/* Writes the resolution in bits. */
VELTRA_API VeltraStatus VELTRA_CALL GetResolution(uint8_t* bits);
/* Sets the resolution; INVALID_VALUE when the instrument chose another one. */
VELTRA_API VeltraStatus VELTRA_CALL SetResolution(uint8_t bits);
/* Writes up to 20 available resolutions in bits into resolutions[20], zeros after the last. */
VELTRA_API VeltraStatus VELTRA_CALL GetAvailableResolutions(double* resolutions);
/* Writes the enabled channels as a mask, bit 0 = channel 1 (channels 1-8); writes 0 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetMeasureMode(uint8_t* mask);
/* Enables the channels whose bits are set in mask and disables the others (channels 1-8). */
VELTRA_API VeltraStatus VELTRA_CALL SetMeasureMode(uint8_t mask);
/* Writes 1 when the channel takes part in measurements, else 0; writes 0 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetChEnabled(uint16_t channel, uint8_t* enabled);
/* Lets the channel take part in measurements (non-zero) or not (0). */
VELTRA_API VeltraStatus VELTRA_CALL SetChEnabled(uint16_t channel, uint8_t enabled);
/* Returns the record length in samples; 0 without an instrument. */
VELTRA_API uint32_t VELTRA_CALL GetRecordLength(void);
/* Sets the record length; INVALID_VALUE above the largest record length. */
VELTRA_API VeltraStatus VELTRA_CALL SetRecordLength(uint32_t samples);
/* Returns the number of samples after the trigger; 0 without an instrument or on failure. */
VELTRA_API uint32_t VELTRA_CALL GetPostSamples(void);
/* Sets the number of samples after the trigger (at most the record length). */
VELTRA_API VeltraStatus VELTRA_CALL SetPostSamples(uint32_t samples);
/* Returns the sample frequency in Hz, rounded; 0 without an instrument. */
VELTRA_API uint32_t VELTRA_CALL GetSampleFrequency(void);
/* Sets the sample frequency in Hz and writes back, rounded, the one the instrument chose. */
VELTRA_API VeltraStatus VELTRA_CALL SetSampleFrequency(uint32_t* hertz);
/* Returns the sample frequency in Hz; 0.0 without an instrument. */
VELTRA_API double VELTRA_CALL GetSampleFrequencyF(void);
/* Sets the sample frequency in Hz and writes back the one the instrument chose; INVALID_VALUE
 * (nothing set or written) for a value that is not a finite number. */
VELTRA_API VeltraStatus VELTRA_CALL SetSampleFrequencyF(double* hertz);
/* Writes 1 when the external clock is selected, else 0; writes 0 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetExternalClock(uint16_t* external);
/* 1 selects the external clock, 0 or 2 the internal one; INVALID_VALUE for others (checked first). */
VELTRA_API VeltraStatus VELTRA_CALL SetExternalClock(uint16_t mode);
/* Writes the transfer mode: 0 block, 1 streaming. */
VELTRA_API VeltraStatus VELTRA_CALL GetTransferMode(uint32_t* mode);
/* Sets the transfer mode: 0 block, 1 streaming; INVALID_VALUE for others. */
VELTRA_API VeltraStatus VELTRA_CALL SetTransferMode(uint32_t mode);

/* Channel inputs (channel numbers modulo 256). */
/* Writes the input range in volts full scale. */
VELTRA_API VeltraStatus VELTRA_CALL GetSensitivity(uint8_t channel, double* volts);
/* Sets the input range in volts and writes back the range the instrument chose; INVALID_VALUE
 * (nothing set or written) for a value that is not a finite number. */
VELTRA_API VeltraStatus VELTRA_CALL SetSensitivity(uint8_t channel, double* volts);
/* Writes 1 when auto-ranging is on, else 0. */
VELTRA_API VeltraStatus VELTRA_CALL GetAutoRanging(uint8_t channel, uint8_t* on);
/* Switches auto-ranging on (non-zero) or off (0). */
VELTRA_API VeltraStatus VELTRA_CALL SetAutoRanging(uint8_t channel, uint8_t on);
/* Writes the coupling code: 1 DC, 2 AC (the input's mean taken away); on instruments that have
 * them 4 and 8 are inputs spanning -range ... +range and 16 one spanning 0 ... range. */
VELTRA_API VeltraStatus VELTRA_CALL GetCoupling(uint8_t channel, uint8_t* coupling);
/* Sets the coupling code (this probe takes 1 and 2); NOT_SUPPORTED or INVALID_VALUE when the
 * instrument refuses it. */
VELTRA_API VeltraStatus VELTRA_CALL SetCoupling(uint8_t channel, uint8_t coupling);
/* Writes up to 20 input ranges of channel 1 in volts, largest first, into volts[20] (zeros after). */
VELTRA_API VeltraStatus VELTRA_CALL GetAvailableSensitivities(double* volts);
/* Always NOT_SUPPORTED; writes nothing. */
VELTRA_API VeltraStatus VELTRA_CALL GetDcLevel(uint8_t channel, double* volts);
/* Always NOT_SUPPORTED. */
VELTRA_API VeltraStatus VELTRA_CALL SetDcLevel(uint8_t channel, double volts);

/* Trigger. Source numbers: 0-3 channels 1-4, 6 channels 1 and 2 together, 7 channel 1 or 2,
 * 9 none, 4, 5 and 11-14 the other trigger inputs (13 is the probe's external trigger input);
 * 15 is reported for anything else.
 * Trigger modes (per channel): 0 rising slope, the input reaching the level after it was below
 * level - hysteresis; 1 falling slope, reaching it after it was above level + hysteresis;
 * 2 entering the window level +- hysteresis; 3 leaving that window.
 * The trigger point is sample (record length - post samples) of the record: the samples before
 * it show the input before the trigger (see SetPostSamples). A record for which no trigger came
 * within the time-out is taken all the same, untriggered (see ADC_Triggered). */
/* Writes the trigger source number; writes 15 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerSource(uint8_t* source);
/* Selects a trigger source number; INVALID_VALUE above 14 or for an unavailable source,
 * NOT_SUPPORTED for 8 and 10. */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerSource(uint8_t source);
/* Writes the mask of available trigger sources (bit k below 58 = channel k + 1). */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerSources(uint64_t* mask);
/* Writes the mask of sources any of which triggers. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerSourceOR(uint64_t* mask);
/* Sets the mask of sources any of which triggers; NOT_SUPPORTED for unavailable sources. */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerSourceOR(uint64_t mask);
/* Writes the mask of sources that trigger together. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerSourceAND(uint64_t* mask);
/* Sets the mask of sources that trigger together; NOT_SUPPORTED for unavailable sources. */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerSourceAND(uint64_t mask);
/* Writes the trigger mode (0-3) of channel 1. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerMode(uint8_t* mode);
/* Sets the trigger mode 0-3 of every channel; 4-11 NOT_SUPPORTED, others INVALID_VALUE. */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerMode(int8_t mode);
/* Writes the trigger mode (0-3) of a channel. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerModeCh(uint8_t channel, uint8_t* mode);
/* Sets the trigger mode 0-3 of a channel; 4-11 NOT_SUPPORTED, above 11 INVALID_VALUE (checked first). */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerModeCh(uint8_t channel, uint8_t mode);
/* Writes the trigger level in volts; writes 0.0 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerLevel(uint8_t channel, double* volts);
/* Sets the trigger level in volts, kept within the channel's input span (-range ... +range, or
 * 0 ... range for coupling 16) as range and coupling are at the time of the call: set those
 * first. NOT_SUPPORTED for a range of 0; INVALID_VALUE for a value that is not a finite number. */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerLevel(uint8_t channel, double volts);
/* Writes the trigger hysteresis in volts; writes 0.0 first. */
VELTRA_API VeltraStatus VELTRA_CALL GetTriggerHys(uint8_t channel, double* volts);
/* Sets the trigger hysteresis in volts, kept within the input span as for SetTriggerLevel
 * (and with its answers). */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerHys(uint8_t channel, double volts);
/* Returns the trigger time-out in ms, -1 for waiting for ever; 0 without an instrument. */
VELTRA_API int32_t VELTRA_CALL GetTriggerTimeOut(void);
/* Sets how long a measurement waits for its trigger, in ms, before it takes the record
 * untriggered; -1 waits for ever (what InitInstrument sets). */
VELTRA_API VeltraStatus VELTRA_CALL SetTriggerTimeOut(int32_t ms);
/* Always NOT_SUPPORTED; the argument is ignored. */
VELTRA_API VeltraStatus VELTRA_CALL GetPXITriggerSlopes(uint32_t reserved);
/* Always NOT_SUPPORTED; the argument is ignored. */
VELTRA_API VeltraStatus VELTRA_CALL SetPXITriggerSlopes(uint32_t reserved);
/* Always NOT_SUPPORTED; the argument is ignored. */
VELTRA_API VeltraStatus VELTRA_CALL GetPXITriggerEnables(uint32_t reserved);
/* Always NOT_SUPPORTED; the argument is ignored. */
VELTRA_API VeltraStatus VELTRA_CALL SetPXITriggerEnables(uint32_t reserved);

/* Measurement. The readers give the record of the last completed measurement, as long as the
 * record length it was taken with (what GetRecordLength answered at its start: size the buffers
 * by that, not by a record length set since), in volts or as raw codes 0-65535 with 32768 the
 * middle of the range: code c is (c - 32768) * range / 32768 volts (c * range / 65536 for
 * coupling 16). A channel that was off reads 0.0 V, code 32768. The
 * functions for channels 1 and 2 fill channel 1 first and then answer INVALID_CHANNEL on a
 * one-channel probe. */
/* Takes a measurement and returns when it is complete; NO_INSTRUMENT if the instrument goes while
 * it waits. With the trigger time-out at -1 (what InitInstrument sets) it waits for the trigger
 * for ever. */
VELTRA_API VeltraStatus VELTRA_CALL StartMeasurement(void);
/* Writes a channel's record in volts. */
VELTRA_API VeltraStatus VELTRA_CALL GetMeasurementCh(uint16_t channel, double* volts);
/* Writes the records of channels 1 and 2 in volts (channel 1 first; stops at its error). */
VELTRA_API VeltraStatus VELTRA_CALL GetMeasurement(double* channel1, double* channel2);
/* Writes one sample of a channel in volts; INVALID_CHANNEL for an index beyond the record. */
VELTRA_API VeltraStatus VELTRA_CALL GetOneMeasurementCh(uint16_t channel, uint32_t index, double* volts);
/* Writes one sample of channels 1 and 2 in volts. */
VELTRA_API VeltraStatus VELTRA_CALL GetOneMeasurement(uint32_t index, double* channel1, double* channel2);
/* Writes a channel's record as raw codes. */
VELTRA_API VeltraStatus VELTRA_CALL GetMeasurementRawCh(uint16_t channel, uint16_t* codes);
/* Writes the records of channels 1 and 2 as raw codes. */
VELTRA_API VeltraStatus VELTRA_CALL GetMeasurementRaw(uint16_t* channel1, uint16_t* channel2);
/* Writes one raw sample of a channel; INVALID_CHANNEL for an index beyond the record. */
VELTRA_API VeltraStatus VELTRA_CALL GetOneMeasurementRawCh(uint16_t channel, uint32_t index, uint16_t* code);
/* Writes one raw sample of channels 1 and 2. */
VELTRA_API VeltraStatus VELTRA_CALL GetOneMeasurementRaw(uint32_t index, uint16_t* channel1, uint16_t* channel2);
/* Starts a measurement and returns at once (in streaming mode a run of records without gaps,
 * each one completing as a measurement, until ADC_Abort); NOT_INITIALIZED without an instrument. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_Start(void);
/* Returns 1 while a measurement started by ADC_Start is not yet complete, else 0; 0 once the
 * instrument is gone. Delivers the library's pending messages first (see the top). */
VELTRA_API uint16_t VELTRA_CALL ADC_Running(void);
/* Stops the running measurement. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_Abort(void);
/* Forces a trigger; NOT_SUPPORTED when the instrument refuses. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_ForceTrig(void);
/* Returns 1 when the last record was triggered (a forced trigger counts), 0 for one taken when
 * the time-out passed, and 0 without an instrument. Delivers the library's pending messages
 * first (see the top). */
VELTRA_API uint16_t VELTRA_CALL ADC_Triggered(void);
/* Returns 1 from the completion of a measurement until the next start (ADC_Start or
 * StartMeasurement; also across ExitInstrument and InitInstrument), else 0. Delivers the
 * library's pending messages first (see the top): a completion reported meanwhile, and its
 * data-ready callback, happen inside this call. */
VELTRA_API uint16_t VELTRA_CALL ADC_Ready(void);
/* As GetMeasurementRaw. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_GetData(uint16_t* channel1, uint16_t* channel2);
/* As GetMeasurementRawCh. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_GetDataCh(uint16_t channel, uint16_t* codes);
/* As GetMeasurement. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_GetDataVolt(double* channel1, double* channel2);
/* As GetMeasurementCh. */
VELTRA_API VeltraStatus VELTRA_CALL ADC_GetDataVoltCh(uint16_t channel, double* volts);

/* Function generators (numbers count the open generators; NO_GENERATOR for 0 or too large). */
/* Sets the frequency in Hz and writes back the one the generator chose. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenFrequencyCh(uint16_t generator, double* hertz);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenFrequency(double* hertz); /* generator 1 */
/* Writes the frequency in Hz. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenFrequencyCh(uint16_t generator, double* hertz);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenFrequency(double* hertz); /* generator 1 */
/* Sets the amplitude. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenAmplitudeCh(uint16_t generator, double amplitude);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenAmplitude(double amplitude); /* generator 1 */
/* Writes the amplitude. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenAmplitudeCh(uint16_t generator, double* amplitude);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenAmplitude(double* amplitude); /* generator 1 */
/* Writes the largest amplitude. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenMaxAmplitudeCh(uint16_t generator, double* amplitude);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenMaxAmplitude(double* amplitude); /* generator 1 */
/* Sets the DC offset. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenDCOffsetCh(uint16_t generator, double offset);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenDCOffset(double offset); /* generator 1 */
/* Writes the DC offset. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenDCOffsetCh(uint16_t generator, double* offset);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenDCOffset(double* offset); /* generator 1 */
/* Sets the symmetry in percent, kept within 0-100. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenSymmetryCh(uint16_t generator, double percent);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenSymmetry(double percent); /* generator 1 */
/* Writes the symmetry in percent. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenSymmetryCh(uint16_t generator, double* percent);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenSymmetry(double* percent); /* generator 1 */
/* Sets the signal type 0-5; other types are ignored. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenSignalTypeCh(uint16_t generator, uint16_t type);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenSignalType(uint16_t type); /* generator 1 */
/* Writes the signal type 0-5. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenSignalTypeCh(uint16_t generator, uint16_t* type);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenSignalType(uint16_t* type); /* generator 1 */
/* Switches the output on (non-zero; the generator then runs) or off. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenOutputOnCh(uint16_t generator, uint16_t on);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenOutputOn(uint16_t on); /* generator 1 */
/* Writes 1 when the output is on, else 0. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenOutputOnCh(uint16_t generator, uint16_t* on);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenOutputOn(uint16_t* on); /* generator 1 */
/* Starts (non-zero) or stops (0) the generator. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenEnableCh(uint16_t generator, uint16_t enable);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenEnable(uint16_t enable); /* generator 1 */
/* Writes 1 when the generator runs, else 0. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenEnableCh(uint16_t generator, uint16_t* enabled);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenEnable(uint16_t* enabled); /* generator 1 */
/* Loads an arbitrary waveform of count codes (0 = -1, 32768 = 0); null clears the memory. */
VELTRA_API VeltraStatus VELTRA_CALL FillFuncGenMemoryCh(uint16_t generator, uint32_t count, const uint16_t* codes);
VELTRA_API VeltraStatus VELTRA_CALL FillFuncGenMemory(uint32_t count, const uint16_t* codes); /* generator 1 */
/* Outputs a burst of count periods; NOT_SUPPORTED when the generator has no bursts. */
VELTRA_API VeltraStatus VELTRA_CALL FuncGenBurstCh(uint16_t generator, uint16_t count);
VELTRA_API VeltraStatus VELTRA_CALL FuncGenBurst(uint16_t count); /* generator 1 */
/* Sets the generator mode; NOT_SUPPORTED when the generator refuses it. */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenModeCh(uint16_t generator, uint32_t mode);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenMode(uint32_t mode); /* generator 1 */
/* Writes the generator mode. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenModeCh(uint16_t generator, uint32_t* mode);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenMode(uint32_t* mode); /* generator 1 */
/* Selects the trigger source (numbers as for SetTriggerSource). */
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenTrigSourceCh(uint16_t generator, uint8_t source);
VELTRA_API VeltraStatus VELTRA_CALL SetFuncGenTrigSource(uint8_t source); /* generator 1 */
/* Writes the trigger source number, 15 when it matches none. */
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenTrigSourceCh(uint16_t generator, uint8_t* source);
VELTRA_API VeltraStatus VELTRA_CALL GetFuncGenTrigSource(uint8_t* source); /* generator 1 */
/* Returns the number of open function generators. */
VELTRA_API uint16_t VELTRA_CALL GetFunctionGeneratorCount(void);
/* Closes every function generator. */
VELTRA_API void VELTRA_CALL CloseGenerators(void);
/* Always NO_GENERATOR: this instrument has no square-wave generator. */
VELTRA_API VeltraStatus VELTRA_CALL SetSquareWaveGenFrequency(uint32_t hertz);
/* Always returns 0. */
VELTRA_API uint32_t VELTRA_CALL GetSquareWaveGenFrequency(void);

/* I2C (host numbers count the open instruments; I2C_... codes report the bus). */
/* Writes count bytes to the device at address, ending with a stop condition. */
VELTRA_API VeltraStatus VELTRA_CALL I2CWriteCh(uint16_t host, uint32_t address, const uint8_t* bytes, uint32_t count);
VELTRA_API VeltraStatus VELTRA_CALL I2CWrite(uint32_t address, const uint8_t* bytes, uint32_t count); /* host 1 */
/* Writes count bytes without a stop condition (a repeated start follows). */
VELTRA_API VeltraStatus VELTRA_CALL I2CWriteNoStopCh(uint16_t host, uint32_t address, const uint8_t* bytes, uint32_t count);
VELTRA_API VeltraStatus VELTRA_CALL I2CWriteNoStop(uint32_t address, const uint8_t* bytes, uint32_t count); /* host 1 */
/* Reads count bytes from the device at address, ending with a stop condition. */
VELTRA_API VeltraStatus VELTRA_CALL I2CReadCh(uint16_t host, uint32_t address, uint8_t* bytes, uint32_t count);
VELTRA_API VeltraStatus VELTRA_CALL I2CRead(uint32_t address, uint8_t* bytes, uint32_t count); /* host 1 */
/* Reads count bytes without a stop condition. */
VELTRA_API VeltraStatus VELTRA_CALL I2CReadNoStopCh(uint16_t host, uint32_t address, uint8_t* bytes, uint32_t count);
VELTRA_API VeltraStatus VELTRA_CALL I2CReadNoStop(uint32_t address, uint8_t* bytes, uint32_t count); /* host 1 */
/* Writes the bus speed. */
VELTRA_API VeltraStatus VELTRA_CALL I2CGetSpeedCh(uint16_t host, uint32_t* speed);
VELTRA_API VeltraStatus VELTRA_CALL I2CGetSpeed(uint32_t* speed); /* host 1 */
/* Sets the bus speed and writes back the speed the host chose. */
VELTRA_API VeltraStatus VELTRA_CALL I2CSetSpeedCh(uint16_t host, uint32_t* speed);
VELTRA_API VeltraStatus VELTRA_CALL I2CSetSpeed(uint32_t* speed); /* host 1 */

/* Digital I/O, ohm measurement and configuration. */
/* Always NOT_SUPPORTED. */
VELTRA_API VeltraStatus VELTRA_CALL SetDigitalOutputs(uint32_t outputs);
/* Always NOT_SUPPORTED; writes nothing. */
VELTRA_API VeltraStatus VELTRA_CALL GetDigitalOutputs(uint32_t* outputs);
/* Always NOT_SUPPORTED; writes nothing. */
VELTRA_API VeltraStatus VELTRA_CALL GetDigitalInputValues(uint32_t* inputs);
/* Always NOT_SUPPORTED; writes nothing. */
VELTRA_API VeltraStatus VELTRA_CALL GetOneDigitalValue(uint16_t input, uint16_t* value);
/* Always NOT_SUPPORTED. */
VELTRA_API VeltraStatus VELTRA_CALL SetupOhmMeasurements(uint32_t reserved);
/* Writes 0.0 to both values and returns NOT_SUPPORTED. */
VELTRA_API VeltraStatus VELTRA_CALL GetOhmValues(double* ohm1, double* ohm2);
/* 0 adds the instrument's generator, 1 two channels, 2 one channel; INVALID_VALUE for others. */
VELTRA_API VeltraStatus VELTRA_CALL SetInstrumentConfig(uint16_t config);

/* Data-ready notification (both work without an instrument). */
/* Registers the procedure called once per completed measurement; null for none. Always OK. */
VELTRA_API VeltraStatus VELTRA_CALL SetDataReadyCallback(VeltraDataReadyCallback callback);
/* Registers an event set once per completed measurement; 0 for none. Always OK. On Windows an
 * event HANDLE; on Linux an eventfd descriptor, which the library sets by adding 1. The library
 * never closes it. */
VELTRA_API VeltraStatus VELTRA_CALL SetDataReadyEvent(uint32_t event);

#ifdef __cplusplus
}
#endif

#endif /* VELTRA_VELTRA_H */
