// Wave output: the waveOut calls the sound engine makes, over one output
// device chosen process-wide (WaveOutDevice.h is the interface behind them).
//
// The device is ALSA's "default" PCM unless a test selects the null device,
// which consumes the buffers at real-time pace and plays nothing.
//
// Callbacks (WOM_OPEN, WOM_DONE, WOM_CLOSE) come from the device's own thread.
// waveOutReset has returned every queued header (WOM_DONE) before it returns.
// A handle that was closed (or never existed) gives MMSYSERR_INVALHANDLE, from
// any thread, so a late position query cannot reach a destroyed device.
#pragma once

#include "platform/MMResult.h"
#include "platform/SoundFormat.h"
#include "platform/WinTypes.h"

struct WaveOutHandle;  // opaque
using HWAVEOUT = WaveOutHandle*;

constexpr UINT WAVE_MAPPER = 0xFFFFFFFF;

// waveOutOpen flags.
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;

// Callback messages.
constexpr UINT WOM_OPEN = 0x3BB;
constexpr UINT WOM_CLOSE = 0x3BC;
constexpr UINT WOM_DONE = 0x3BD;

// Callback: (device, message, instance given to waveOutOpen, the header for
// WOM_DONE or 0, 0).
using LPWAVECALLBACK = void (*)(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                DWORD_PTR dwParam2);

// WAVEHDR::dwFlags
constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

struct WAVEHDR {
  char* lpData = nullptr;
  DWORD dwBufferLength = 0;
  DWORD dwBytesRecorded = 0;
  DWORD_PTR dwUser = 0;
  DWORD dwFlags = 0;
  DWORD dwLoops = 0;
  WAVEHDR* lpNext = nullptr;
  DWORD_PTR reserved = 0;
};

// MMTIME::wType
constexpr UINT TIME_MS = 0x0001;
constexpr UINT TIME_SAMPLES = 0x0002;
constexpr UINT TIME_BYTES = 0x0004;
constexpr UINT TIME_SMPTE = 0x0008;
constexpr UINT TIME_MIDI = 0x0010;
constexpr UINT TIME_TICKS = 0x0020;

#pragma pack(push, 1)
struct MMTIME {  // 12 bytes
  UINT wType;
  union {
    DWORD ms;
    DWORD sample;
    DWORD cb;
    DWORD ticks;
    struct {
      BYTE hour, min, sec, frame, fps, dummy;
      BYTE pad[2];
    } smpte;
    struct {
      DWORD songptrpos;
    } midi;
  } u;
};
#pragma pack(pop)
static_assert(sizeof(MMTIME) == 12);

// With WAVE_FORMAT_QUERY phwo may be null and nothing is opened: 0 when the
// format can be played, WAVERR_BADFORMAT when it cannot. Otherwise *phwo
// receives the handle and WOM_OPEN follows on the device thread (it may come
// before this returns). No device at all: MMSYSERR_NODRIVER (or another
// MMSYSERR_ code), never WAVERR_BADFORMAT.
MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
// WAVERR_STILLPLAYING while headers are queued.
MMRESULT waveOutClose(HWAVEOUT hwo);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// The data is taken at once; the header comes back with WOM_DONE once all of
// it has been played.
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Paused, queued data waits and the position stands still; nothing is lost.
MMRESULT waveOutPause(HWAVEOUT hwo);
MMRESULT waveOutRestart(HWAVEOUT hwo);
// Stops, returns every queued header and sets the position back to 0; the
// device is no longer paused afterwards.
MMRESULT waveOutReset(HWAVEOUT hwo);
// Samples played since the open or the last reset (frames of the opened
// format), as the type asked for where the device can, else TIME_SAMPLES.
MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* pmmt, UINT cbmmt);

// Which device waveOutOpen opens from now on (devices already open stay as
// they are). ALSA unless chosen otherwise; the null device is for tests.
enum class WaveOutDeviceKind { Alsa, Null };
void SelectWaveOutDevice(WaveOutDeviceKind kind);
WaveOutDeviceKind SelectedWaveOutDevice();
// Devices open right now (any kind), for tests that check nothing leaked.
int OpenWaveOutDeviceCount();
