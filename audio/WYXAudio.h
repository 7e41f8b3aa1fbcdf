// The wave output engine: opens the wave device for the source's format,
// rotates up to eight buffers that its own feeding thread refills from the
// source, turns the device position into media time (ms) and pauses, resumes
// and stops. A playback rate of 0.25-4 opens the device with the sample rate
// times the rate. The source comes from a subclass (format, data, length).
//
// Threads: the owner calls the operations; the feeding thread (WYXAudioThread)
// refills buffers; the device thread only raises flags through WaveOutProc.
// m_lock (re-entrant) is held by Open, Close, PrepareBuffers, UnprepareBuffers
// and WriteBuffer; Pause, Resume, Stop and GetPosition do not take it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "audio/WYXMMError.h"
#include "engine/WYXBaseThread.h"
#include "platform/SoundFormat.h"
#include "platform/WaveOut.h"
#include "platform/WinTypes.h"

constexpr int WYX_AUDIO_MAX_BUFFERS = 8;
constexpr int WYX_AUDIO_MAX_BUFFER_SIZE = 22800;
constexpr unsigned IDS_AUDIO_NO_DECOMPRESSOR = 10201;

class WYXAudio : public WYXMMError {
 public:
  // The feeding thread: returns played buffers to the device refilled, and
  // turns the device's open and close reports into the open flag.
  class WYXAudioThread : public WYXBaseThread {
   public:
    explicit WYXAudioThread(WYXAudio* pOwner) : m_pOwner(pOwner) {}
    int Run() override;
    WYXAudio* m_pOwner;
  };

  WYXAudio();
  // Stops, leaves the registry, then stops the feeding thread.
  virtual ~WYXAudio();
  WYXAudio(const WYXAudio&) = delete;
  WYXAudio& operator=(const WYXAudio&) = delete;

  virtual const char* GetRuntimeClassName() const { return "WYXAudio"; }

  // ---- virtual operations ----
  // Opens the device for the format (GetFormat when none is set), waits up
  // to 2 s for it to confirm, prepares and queues the buffers (paused).
  virtual bool Open(bool bInput);
  virtual bool Close();
  virtual void GetBufferSpec(int& nSize, int& nCount);  // 22800 bytes, 8 buffers
  virtual WAVEFORMATEX* GetFormat() = 0;
  virtual bool OnInputBuffer(WAVEHDR* pHdr) = 0;
  // Fills the header's data from the read position and sets its length.
  virtual bool FillBuffer(WAVEHDR* pHdr) = 0;
  // Queues every prepared header to the paused device.
  virtual bool QueueBuffers() = 0;
  virtual bool OpenFile(const char* pszFile, int nStream) = 0;
  virtual bool IsFileOpen() = 0;
  virtual bool CloseFile() = 0;
  virtual bool Play();    // Resume
  virtual bool Pause();   // the started flag stays set
  virtual bool Resume();  // opens the device first when it is closed
  virtual bool Stop();    // returns every buffer and closes the device
  virtual void SetStartTime(int nMs);
  // Start time + played time in ms, or -1 when not open and started.
  virtual int GetPosition();
  virtual int GetDuration() = 0;

  // ---- other operations ----
  // Copies the format (18 + cbSize bytes; a PCM format's cbSize is first set
  // to 0 in the caller's record) and applies the rate.
  void SetFormat(const WAVEFORMATEX* pFormat);
  // False outside 0.25-4 (the rate is stored anyway, and Resume then opens
  // nothing). Takes effect at the next Open.
  bool SetRate(float fRate);
  // Asks the device whether it can play the format; shows message 10201
  // when it cannot.
  bool IsFormatSupported(bool bInput);

  // Read directly by the owner: the movie window takes GetPosition as its
  // clock only while m_bStarted is set and m_bInput is clear.
  std::atomic<bool> m_bStarted{false};
  std::atomic<bool> m_bInput{false};

 protected:
  bool PrepareBuffers();
  bool UnprepareBuffers();
  bool WriteBuffer(bool bInput, WAVEHDR* pHdr);
  bool ResetState(bool bFreeFormat);
  static void WaveOutProc(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2);

  // Releases a device that was opened but never confirmed its open.
  void AbandonDevice();

  std::atomic<bool> m_bClosing{false};
  std::recursive_mutex m_lock;
  std::atomic<int> m_nStartTime{0};
  LONG m_nReadPos = 0;  // next sample the source reads; under m_lock
  std::atomic<HWAVEOUT> m_hWaveOut{nullptr};
  WAVEFORMATEX* m_pFormat = nullptr;  // owned, 18 + cbSize bytes; sample rate already scaled
  std::atomic<int> m_nBufferCount{0};
  WAVEHDR m_headers[WYX_AUDIO_MAX_BUFFERS];
  std::atomic<bool> m_bDone[WYX_AUDIO_MAX_BUFFERS];
  std::atomic<bool> m_bOpenEvent{false};
  std::atomic<bool> m_bCloseEvent{false};
  std::atomic<int> m_nCurrent{-1};
  std::atomic<bool> m_bOpen{false};  // set and cleared by the feeding thread
  int m_nBufferSize = 0;
  std::atomic<float> m_fMsPerByte{0.0f};
  std::atomic<float> m_fMsPerSample{0.0f};
  std::atomic<int> m_nLastPosition{-1};
  std::atomic<int> m_nRepeatCount{0};
  std::atomic<float> m_fRate{1.0f};
  DWORD m_nSourceRate = 0;  // nSamplesPerSec before the rate, 0 without a format
  WYXAudioThread m_thread;

 private:
  // The device thread may report WOM_OPEN only while an open waits for it.
  std::atomic<bool> m_bAwaitingOpen{false};
};
