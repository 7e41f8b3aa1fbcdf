#include "audio/WYXAviAudio.h"

#include "media/WYXAviFile.h"

namespace {
constexpr int kStallRepeats = 3;  // a fourth repeat of one position stops the clock
}

WYXAviAudio::WYXAviAudio() : m_file(std::make_unique<WYXAviFile>()) {}

WYXAviAudio::~WYXAviAudio() {
  // The feeding thread reads from the file: stop it before the file goes.
  Stop();
  AbandonDevice();
  m_thread.StopAndWait();
  m_file.reset();
}

bool WYXAviAudio::OpenFile(const char* pszFile, int nStream) {
  if (!m_file->Open(pszFile)) return false;
  if (nStream < 0 || nStream >= m_file->GetAudioStreamCount()) {
    m_file->Close();
    m_nStream = -1;
    return false;
  }
  m_nStream = nStream;
  SetFormat(m_file->GetAudioFormat(nStream));
  return true;
}

bool WYXAviAudio::IsFileOpen() { return m_file->IsOpen(); }

bool WYXAviAudio::CloseFile() {
  if (!m_file->IsOpen()) return false;
  m_file->Close();
  m_nStream = -1;
  return true;
}

WAVEFORMATEX* WYXAviAudio::GetFormat() {
  const int s = m_nStream;
  if (s < 0 || s >= m_file->GetAudioStreamCount()) return nullptr;
  SetFormat(m_file->GetAudioFormat(s));
  return m_pFormat;
}

void WYXAviAudio::GetBufferSpec(int& nSize, int& nCount) {
  WYXAudio::GetBufferSpec(nSize, nCount);
  const int s = m_nStream;
  if (s < 0) return;
  const LONG readSize = m_file->GetAudioReadSize(s);
  if (readSize != 0) {
    nSize = readSize;
    nCount = WYX_AUDIO_MAX_BUFFERS;
  }
}

bool WYXAviAudio::OnInputBuffer(WAVEHDR*) { return false; }

bool WYXAviAudio::FillBuffer(WAVEHDR* pHdr) {
  if (!pHdr || !pHdr->lpData) return false;
  LONG position = m_nReadPos;
  LONG size = m_nBufferSize;
  if (!m_file->ReadAudio(m_nStream, &position, pHdr->lpData, &size)) {
    // Nothing was read (past the end, or a damaged chunk): never hand the
    // device what the buffer held before.
    pHdr->dwBufferLength = 0;
    return false;
  }
  pHdr->dwBufferLength = static_cast<DWORD>(size);
  m_nReadPos = position;
  return true;
}

bool WYXAviAudio::QueueBuffers() {
  HWAVEOUT h = m_hWaveOut;
  if (!h || m_bInput || m_bStarted) return false;
  MMRESULT r = waveOutPause(h);
  m_lastResult = r;
  if (r != MMSYSERR_NOERROR) return false;
  m_nReadPos = m_file->AudioTimeToSample(m_nStream, m_nStartTime);
  for (int i = 0; i < m_nBufferCount; ++i) {
    FillBuffer(&m_headers[i]);
    r = waveOutWrite(h, &m_headers[i], sizeof(WAVEHDR));
    m_lastResult = r;
    if (r != MMSYSERR_NOERROR) return false;
  }
  return true;
}

int WYXAviAudio::GetPosition() {
  const int p = WYXAudio::GetPosition();
  const int s = m_nStream;
  if (p == -1 || s < 0) return p;
  if (p >= m_file->GetAudioEndTime(s)) m_bStarted = false;
  if (p == m_nLastPosition) {
    if (++m_nRepeatCount > kStallRepeats) m_bStarted = false;
  } else {
    m_nRepeatCount = 0;
    m_nLastPosition = p;
  }
  return p;
}

int WYXAviAudio::GetDuration() {
  const int s = m_nStream;
  return s < 0 ? 0 : m_file->GetAudioEndTime(s);
}
