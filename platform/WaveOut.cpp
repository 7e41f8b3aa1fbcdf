#include "platform/WaveOut.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/AlsaWaveOut.h"
#include "platform/NullWaveOut.h"

namespace {

constexpr UINT kHeaderBytes = 32;  // the smallest header size callers may give

struct Table {
  std::mutex mutex;
  std::map<std::uintptr_t, std::shared_ptr<WaveOutDevice>> devices;
  std::uintptr_t next = 1;
};

// Never destroyed: a device left open by its owner keeps its thread to the
// end of the process.
Table& Devices() {
  static Table* table = new Table;
  return *table;
}

std::atomic<WaveOutDeviceKind> g_kind{WaveOutDeviceKind::Alsa};

std::shared_ptr<WaveOutDevice> Find(HWAVEOUT hwo) {
  Table& t = Devices();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.devices.find(reinterpret_cast<std::uintptr_t>(hwo));
  return it == t.devices.end() ? nullptr : it->second;
}

std::size_t FormatBytes(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM ? sizeof(WAVEFORMATEX) : sizeof(WAVEFORMATEX) + f.cbSize;
}

}  // namespace

void SelectWaveOutDevice(WaveOutDeviceKind kind) { g_kind = kind; }
WaveOutDeviceKind SelectedWaveOutDevice() { return g_kind; }

int OpenWaveOutDeviceCount() {
  Table& t = Devices();
  std::lock_guard<std::mutex> lock(t.mutex);
  return static_cast<int>(t.devices.size());
}

MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen) {
  if (!pwfx) return MMSYSERR_INVALPARAM;
  if (uDeviceID != WAVE_MAPPER && uDeviceID != 0) return MMSYSERR_BADDEVICEID;
  WaveOutDeviceKind kind = g_kind;
  std::size_t formatBytes = FormatBytes(*pwfx);
  if (fdwOpen & WAVE_FORMAT_QUERY) {
    if (kind == WaveOutDeviceKind::Alsa) return AlsaWaveOut::Query(*pwfx, formatBytes);
    WaveOutConverter conv;
    return conv.Init(*pwfx, formatBytes) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
  }
  if (!phwo) return MMSYSERR_INVALPARAM;
  *phwo = nullptr;
  if ((fdwOpen & CALLBACK_FUNCTION) != CALLBACK_FUNCTION && fdwOpen != CALLBACK_NULL) return MMSYSERR_INVALFLAG;

  std::shared_ptr<WaveOutDevice> device;
  if (kind == WaveOutDeviceKind::Null)
    device = std::make_shared<NullWaveOut>();
  else
    device = std::make_shared<AlsaWaveOut>();

  Table& t = Devices();
  std::uintptr_t id;
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    id = t.next++;
  }
  HWAVEOUT hwo = reinterpret_cast<HWAVEOUT>(id);
  auto callback = (fdwOpen & CALLBACK_FUNCTION) ? reinterpret_cast<LPWAVECALLBACK>(dwCallback) : nullptr;
  WaveOutDevice::Notify notify = [callback, hwo, dwInstance](UINT msg, WAVEHDR* pwh) {
    if (callback) callback(hwo, msg, dwInstance, reinterpret_cast<DWORD_PTR>(pwh), 0);
  };
  // The handle is valid before the device thread can report WOM_OPEN.
  *phwo = hwo;
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.devices[id] = device;
  }
  MMRESULT r = device->Open(*pwfx, formatBytes, std::move(notify));
  if (r != MMSYSERR_NOERROR) {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.devices.erase(id);
    *phwo = nullptr;
  }
  return r;
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  if (!device) return MMSYSERR_INVALHANDLE;
  MMRESULT r = device->Close();
  if (r == MMSYSERR_NOERROR) {
    Table& t = Devices();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.devices.erase(reinterpret_cast<std::uintptr_t>(hwo));
  }
  return r;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
  if (!pwh || cbwh < kHeaderBytes) return MMSYSERR_INVALPARAM;
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->Prepare(pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
  if (!pwh || cbwh < kHeaderBytes) return MMSYSERR_INVALPARAM;
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->Unprepare(pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh) {
  if (!pwh || cbwh < kHeaderBytes) return MMSYSERR_INVALPARAM;
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->Write(pwh) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutPause(HWAVEOUT hwo) {
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  if (!device) return MMSYSERR_INVALHANDLE;
  if (dynamic_cast<NullWaveOut*>(device.get())) {
    MMRESULT refused = GetNullWaveOutOptions().pauseResult;
    if (refused != MMSYSERR_NOERROR) return refused;
  }
  return device->Pause();
}

MMRESULT waveOutRestart(HWAVEOUT hwo) {
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->Restart() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetPosition(HWAVEOUT hwo, MMTIME* pmmt, UINT cbmmt) {
  if (!pmmt || cbmmt < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  std::shared_ptr<WaveOutDevice> device = Find(hwo);
  return device ? device->GetPosition(*pmmt) : MMSYSERR_INVALHANDLE;
}
